#include "kelvora/audio/sample.h"

#include <climits>
#include <cstring>
#include <vector>

#include "audio/ogg_loader.h"
#include "audio/samplefill.h"
#include "audio/wav_loader.h"
#include "kelvora/runtime/errors.h"

namespace kelvora {

const int BytesPerSample[7] = {0, 1, 2, 2, 2, 4, 4};
const int ChannelsPerSample[7] = {0, 1, 1, 1, 2, 2, 2};

int SampleFrameBytes(int format) { return format >= 0 && format <= 6 ? BytesPerSample[format] : 0; }
int SampleChannels(int format) { return format >= 0 && format <= 6 ? ChannelsPerSample[format] : 0; }

TAudioSample::~TAudioSample()
{
    if (fill) fill->Cancel();  // nobody reads on
    if (capacity >= 0) delete[] samples;
}

void TAudioSample::Complete()
{
    if (!fill) return;
    length = fill->Complete();
    capacity = ByteCount();
    fill.reset();
}

TAudioSamplePtr TAudioSample::Create(int length, int hertz, int format) { return Make(length, hertz, format, true); }

TAudioSamplePtr TAudioSample::CreateForDecoder(int length, int hertz, int format)
{
    return Make(length, hertz, format, false);
}

TAudioSamplePtr TAudioSample::Make(int length, int hertz, int format, bool zeroed)
{
    if (length < 0) length = 0;
    int64_t bytes = int64_t(length) * SampleFrameBytes(format);
    if (bytes > INT_MAX) throw TRuntimeException("Audio sample too large");
    auto s = std::make_shared<TAudioSample>();
    // Zeroed: a short read leaves silence.
    s->samples = zeroed ? new uint8_t[size_t(bytes + SPARE_BYTES)]() : new uint8_t[size_t(bytes + SPARE_BYTES)];
    s->spare_room = true;
    s->length = length;
    s->hertz = hertz;
    s->format = format;
    s->capacity = int(bytes);
    return s;
}

uint8_t* TAudioSample::Release()
{
    if (capacity < 0 || !spare_room) return nullptr;
    // A fill nobody took over would go on decoding for no one.
    if (fill) fill->Cancel();
    fill.reset();
    uint8_t* bytes = samples;
    samples = nullptr;
    length = 0;
    capacity = -1;
    spare_room = false;
    return bytes;
}

TAudioSamplePtr TAudioSample::CreateStatic(uint8_t* samples, int length, int hertz, int format)
{
    auto s = std::make_shared<TAudioSample>();
    s->samples = samples;
    s->length = length < 0 ? 0 : length;
    s->hertz = hertz;
    s->format = format;
    s->capacity = -1;
    return s;
}

TAudioSamplePtr TAudioSample::Copy()
{
    Complete();
    TAudioSamplePtr c = Create(length, hertz, format);
    if (c->capacity > 0) std::memcpy(c->samples, samples, size_t(c->capacity));
    return c;
}

namespace {

// One frame of the intermediate form: 16-bit stereo (held as native ints;
// the big-endian bytes are written only when that is the target).
struct Frame {
    int left, right;
};

int Get16(const uint8_t* p, bool bigEndian)
{
    return int16_t(bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
}

void Put16(uint8_t* p, int v, bool bigEndian)
{
    uint16_t u = uint16_t(v);
    if (bigEndian) {
        p[0] = uint8_t(u >> 8);
        p[1] = uint8_t(u);
    } else {
        p[0] = uint8_t(u);
        p[1] = uint8_t(u >> 8);
    }
}

int From8(uint8_t u) { return u * 257 - 32768; }
uint8_t To8(int v) { return uint8_t((v + 32768) / 257); }

Frame ToIntermediate(const uint8_t* p, int format)
{
    switch (format) {
    case FORMAT_MONO8: { int v = From8(p[0]); return {v, v}; }
    case FORMAT_MONO16LE: { int v = Get16(p, false); return {v, v}; }
    case FORMAT_MONO16BE: { int v = Get16(p, true); return {v, v}; }
    case FORMAT_STEREO8: return {From8(p[0]), From8(p[1])};
    case FORMAT_STEREO16LE: return {Get16(p, false), Get16(p + 2, false)};
    default: return {Get16(p, true), Get16(p + 2, true)};
    }
}

void FromIntermediate(Frame f, uint8_t* p, int format)
{
    // Mono targets take the average, rounded toward zero.
    int mono = (f.left + f.right) / 2;
    switch (format) {
    case FORMAT_MONO8: p[0] = To8(mono); break;
    case FORMAT_MONO16LE: Put16(p, mono, false); break;
    case FORMAT_MONO16BE: Put16(p, mono, true); break;
    case FORMAT_STEREO8: p[0] = To8(f.left); p[1] = To8(f.right); break;
    case FORMAT_STEREO16LE: Put16(p, f.left, false); Put16(p + 2, f.right, false); break;
    default: Put16(p, f.left, true); Put16(p + 2, f.right, true); break;
    }
}

} // namespace

TAudioSamplePtr TAudioSample::Convert(int to)
{
    if (format < 1 || format > 6 || to < 1 || to > 6)
        throw TRuntimeException("Unimplemented sample format conversion");
    if (to == format) return Copy();
    Complete();

    TAudioSamplePtr out = Create(length, hertz, to);
    const int fromBytes = FrameBytes(), toBytes = out->FrameBytes();
    if (format == FORMAT_STEREO16BE || to == FORMAT_STEREO16BE) {
        for (int i = 0; i < length; ++i)
            FromIntermediate(ToIntermediate(samples + size_t(i) * fromBytes, format),
                             out->samples + size_t(i) * toBytes, to);
        return out;
    }
    // Every other pair passes through a whole intermediate buffer.
    std::vector<uint8_t> mid(size_t(length) * 4);
    for (int i = 0; i < length; ++i)
        FromIntermediate(ToIntermediate(samples + size_t(i) * fromBytes, format), &mid[size_t(i) * 4],
                         FORMAT_STEREO16BE);
    for (int i = 0; i < length; ++i)
        FromIntermediate(ToIntermediate(&mid[size_t(i) * 4], FORMAT_STEREO16BE),
                         out->samples + size_t(i) * toBytes, to);
    return out;
}

// ---- loader chain ----

namespace {

TAudioSampleLoader* g_loaders = nullptr;

// The sample modules' start-up: the Ogg Vorbis loader, then the WAV loader,
// which therefore is asked first.
void StartSampleLoaders()
{
    static bool started = false;
    if (started) return;
    started = true;
    static TAudioSampleLoaderOGG ogg;
    static TAudioSampleLoaderWAV wav;
}

// Closes the stream however the loading ends.
struct CloseOnExit {
    TStreamPtr stream;
    ~CloseOnExit() { stream->Close(); }
};

} // namespace

TAudioSampleLoader::TAudioSampleLoader()
{
    StartSampleLoaders();
    _succ = g_loaders;
    g_loaders = this;
}

TAudioSampleLoader::~TAudioSampleLoader()
{
    for (TAudioSampleLoader** p = &g_loaders; *p; p = &(*p)->_succ) {
        if (*p == this) {
            *p = _succ;
            break;
        }
    }
}

TAudioSamplePtr TAudioSampleLoader::LoadAudioSample(const TStreamPtr&) { return nullptr; }

TAudioSamplePtr TAudioSampleLoader::LoadAudioSampleProgressive(const TStreamPtr& stream)
{
    return LoadAudioSample(stream);
}

TAudioSampleLoader* AudioSampleLoaders()
{
    StartSampleLoaders();
    return g_loaders;
}

namespace {

TAudioSamplePtr LoadThroughChain(const TUrl& url, bool progressive)
{
    TStreamPtr stream = OpenStream(url, 1, 0);
    if (!stream) return nullptr;
    CloseOnExit closer{stream};
    int64_t start = stream->Pos();
    if (start == -1) throw TRuntimeException("Stream is not seekable");
    for (TAudioSampleLoader* l = AudioSampleLoaders(); l; l = l->_succ) {
        stream->Seek(start);
        try {
            TAudioSamplePtr s = progressive ? l->LoadAudioSampleProgressive(stream) : l->LoadAudioSample(stream);
            if (s) return s;
        } catch (const TStreamException&) {
            // A stream error inside a loader: that loader declines.
        }
    }
    return nullptr;
}

}  // namespace

TAudioSamplePtr LoadAudioSample(const TUrl& url) { return LoadThroughChain(url, false); }

TAudioSamplePtr LoadAudioSampleProgressive(const TUrl& url) { return LoadThroughChain(url, true); }

}  // namespace kelvora
