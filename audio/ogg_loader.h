// Ogg Vorbis files, decoded whole into 16-bit little-endian frames.
#pragma once

#include "kelvora/audio/sample.h"

namespace kelvora {

// One channel gives FORMAT_MONO16LE, every other count FORMAT_STEREO16LE:
// files of 3 to 8 channels are mixed down to two by their speaker layout,
// more than 8 by averaging every channel into both sides.
// Only the first logical bitstream of a chained file is read. A file whose
// data ends before its stated length keeps the frames decoded up to there;
// one that gives no frame at all, or whose data is damaged on the way (the
// decoder reports an error), gives null.
class TAudioSampleLoaderOGG : public TAudioSampleLoader {
public:
    TAudioSamplePtr LoadAudioSample(const TStreamPtr& stream) override;
    // A file in whole, unbroken pages is decoded here only up to its first
    // piece and the rest in the background (the sample's fill); any other
    // is decoded whole. Either way the frames are those of a whole decode.
    TAudioSamplePtr LoadAudioSampleProgressive(const TStreamPtr& stream) override;
};

}  // namespace kelvora
