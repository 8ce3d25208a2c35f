// RIFF WAVE files with PCM data: 8 or 16 bits, mono or stereo.
#pragma once

#include "kelvora/audio/sample.h"

namespace kelvora {

// Declines anything that does not start with "RIFF" .. "WAVE" or is not
// plain PCM of 8 or 16 bits in one or two channels.
class TAudioSampleLoaderWAV : public TAudioSampleLoader {
public:
    TAudioSamplePtr LoadAudioSample(const TStreamPtr& stream) override;
};

}  // namespace kelvora
