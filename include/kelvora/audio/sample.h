/// @file
/// Decoded PCM in memory, its formats and conversions, and the chain of
/// loaders that turns a stream into a sample.
#pragma once

#include <cstdint>
#include <memory>

#include "kelvora/io/stream.h"

namespace kelvora {

class TSampleFill;

/// @name Sample formats
/// 8-bit values are unsigned (128 = silence), 16-bit values signed; stereo
/// frames hold left, then right.
/// @{
constexpr int FORMAT_MONO8 = 1;       ///< Mono, 8-bit unsigned
constexpr int FORMAT_MONO16LE = 2;    ///< Mono, 16-bit little-endian
constexpr int FORMAT_MONO16BE = 3;    ///< Mono, 16-bit big-endian
constexpr int FORMAT_STEREO8 = 4;     ///< Stereo, 8-bit unsigned
constexpr int FORMAT_STEREO16LE = 5;  ///< Stereo, 16-bit little-endian
constexpr int FORMAT_STEREO16BE = 6;  ///< Stereo, 16-bit big-endian
/// @}

/// Bytes per frame of each format, indexed by format code 0..6.
extern const int BytesPerSample[7];
/// Channels of each format, indexed by format code 0..6.
extern const int ChannelsPerSample[7];

/// Bytes per frame of a format; 0 for codes outside 0..6.
int SampleFrameBytes(int format);
/// Channel count of a format; 0 for codes outside 0..6.
int SampleChannels(int format);

class TAudioSample;
/// A sample, shared by whoever holds it.
using TAudioSamplePtr = std::shared_ptr<TAudioSample>;

/// Decoded frames in memory, and how to read them. A sample is plain data:
/// a thread that holds one alone may work on it.
class TAudioSample {
public:
    /// Frees the bytes the sample owns; a background decoding is cancelled.
    virtual ~TAudioSample();

    /// length frames of the given format, all zero bytes; the sample owns them.
    /// Throws TRuntimeException "Audio sample too large" past 2 GiB.
    static TAudioSamplePtr Create(int length, int hertz, int format);
    /// The same with the bytes left as they come, for a decoder that writes
    /// every frame it reports (a sample's fill): no pages touched up front.
    static TAudioSamplePtr CreateForDecoder(int length, int hertz, int format);
    /// Wraps frames that belong to the caller (capacity -1: never freed here);
    /// they must outlive the sample.
    static TAudioSamplePtr CreateStatic(uint8_t* samples, int length, int hertz, int format);

    /// A sample of its own with the same frames.
    virtual TAudioSamplePtr Copy();
    /// The frames in another format, by way of 16-bit stereo (mono takes the
    /// average of both sides). Codes outside 1..6 throw TRuntimeException
    /// "Unimplemented sample format conversion".
    virtual TAudioSamplePtr Convert(int format);

    /// Create leaves room for one frame more (a player's guard frame) after
    /// the data, so the bytes can be handed over instead of copied.
    static constexpr int SPARE_BYTES = 4;
    /// Hands the bytes, and the duty to free them with delete[], to the caller;
    /// the sample is empty afterwards. Null when the bytes are not the
    /// sample's own or have no spare room. A fill still decoding them is
    /// cancelled here (only the frames already read are there): whoever
    /// goes on with it takes the fill first.
    uint8_t* Release();

    /// Decodes whatever a background decoder has not yet; length is final
    /// afterwards. Copy and Convert do this first.
    void Complete();

    /// Bytes per frame.
    int FrameBytes() const { return SampleFrameBytes(format); }
    /// 1 or 2 (0 for an unknown format).
    int Channels() const { return SampleChannels(format); }
    /// Bytes of all the frames.
    int ByteCount() const { return length * FrameBytes(); }

    uint8_t* samples = nullptr;   ///< Interleaved frames
    int length = 0;               ///< Frames, not bytes
    int hertz = 0;                ///< Frames per second
    int format = 0;               ///< A FORMAT_ code
    int capacity = 0;             ///< Bytes owned, or -1 when they belong to someone else
    bool spare_room = false;      ///< SPARE_BYTES allocated after the data
    /// Set while frames are still being decoded (from a progressive load):
    /// length is the stated one until Complete.
    std::shared_ptr<TSampleFill> fill;

private:
    static TAudioSamplePtr Make(int length, int hertz, int format, bool zeroed);
};

/// A decoder of one file format. Loaders link themselves at the head of one
/// global list on construction, so the newest is asked first. Meant to live
/// for the whole run (a static object); one that is destroyed unlinks itself.
class TAudioSampleLoader {
public:
    /// Links the loader at the head of the list.
    TAudioSampleLoader();
    /// Unlinks it.
    virtual ~TAudioSampleLoader();
    TAudioSampleLoader(const TAudioSampleLoader&) = delete;             ///< Linked by address: not copied
    TAudioSampleLoader& operator=(const TAudioSampleLoader&) = delete;  ///< Linked by address: not copied

    /// A sample decoded from the stream at its current position, or null to decline.
    virtual TAudioSamplePtr LoadAudioSample(const TStreamPtr& stream);
    /// The same, but the loader may leave the rest of the decoding to the
    /// background (the sample's fill). The base decodes whole.
    virtual TAudioSamplePtr LoadAudioSampleProgressive(const TStreamPtr& stream);

    TAudioSampleLoader* _succ = nullptr;  ///< The next (older) loader; the list's own
};

/// Head of the loader list. The built-in Ogg Vorbis and WAV loaders are
/// registered on first use (WAV last, so it is asked first).
TAudioSampleLoader* AudioSampleLoaders();

/// Opens url for reading and asks each loader in turn, seeking back to the
/// start before each; a loader that meets a stream error counts as declining.
/// Null when the url cannot be opened or no loader accepts. A stream that
/// cannot tell its position throws TRuntimeException "Stream is not seekable".
TAudioSamplePtr LoadAudioSample(const TUrl& url);

/// The same, but a sample may come back with its frames still being decoded
/// in the background (its fill): the caller hands it to the mixer, which
/// reads the frames as it reaches them, or calls Complete before reading them.
TAudioSamplePtr LoadAudioSampleProgressive(const TUrl& url);

}  // namespace kelvora
