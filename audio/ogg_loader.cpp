#include "audio/ogg_loader.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <vector>

namespace {

// What the decoder's callbacks work on. An exception of the stream is kept
// here and raised again once the decoder is released: it must not pass
// through the decoder's C code.
struct Source {
    TStream* stream;
    std::exception_ptr error;
};

size_t ReadCallback(void* buf, size_t size, size_t count, void* data)
{
    auto* src = static_cast<Source*>(data);
    if (src->error || size == 0) return 0;
    size_t want = std::min<size_t>(size * count, INT_MAX);
    try {
        int n = src->stream->Read(buf, int(want));
        return n > 0 ? size_t(n) / size : 0;
    } catch (...) {
        src->error = std::current_exception();
        return 0;
    }
}

int SeekCallback(void* data, ogg_int64_t offset, int origin)
{
    auto* src = static_cast<Source*>(data);
    if (src->error) return -1;
    try {
        TStream& s = *src->stream;
        ogg_int64_t pos;
        switch (origin) {
        case SEEK_SET: pos = offset; break;
        case SEEK_CUR: pos = s.Pos() + offset; break;
        case SEEK_END: pos = s.Size() + offset; break;
        default: return -1;
        }
        if (pos < INT_MIN || pos > INT_MAX) return -1;
        return s.Seek(int(pos)) >= 0 ? 0 : -1;
    } catch (...) {
        src->error = std::current_exception();
        return -1;
    }
}

int CloseCallback(void*)
{
    return 0;  // the loader chain closes the stream
}

long TellCallback(void* data)
{
    auto* src = static_cast<Source*>(data);
    try {
        return src->stream->Pos();
    } catch (...) {
        if (!src->error) src->error = std::current_exception();
        return -1;
    }
}

// Weights of each channel on the left and the right, in the order Vorbis
// gives the channels of 3 to 8 channel files. 2 = full, 1 = half (centre,
// low-frequency and rear-centre channels go to both sides).
struct Side {
    int left, right;
};
const Side kLayouts[9][8] = {
    {}, {}, {},
    {{2, 0}, {1, 1}, {0, 2}},                                                  // L C R
    {{2, 0}, {0, 2}, {2, 0}, {0, 2}},                                          // FL FR RL RR
    {{2, 0}, {1, 1}, {0, 2}, {2, 0}, {0, 2}},                                  // FL C FR RL RR
    {{2, 0}, {1, 1}, {0, 2}, {2, 0}, {0, 2}, {1, 1}},                          // ... LFE
    {{2, 0}, {1, 1}, {0, 2}, {2, 0}, {0, 2}, {1, 1}, {1, 1}},                  // FL C FR SL SR RC LFE
    {{2, 0}, {1, 1}, {0, 2}, {2, 0}, {0, 2}, {2, 0}, {0, 2}, {1, 1}},          // FL C FR SL SR RL RR LFE
};

// Mixes frames of many channels down to stereo: each side is the weighted
// average of the channels on it, so nothing clips.
void MixDown(const int16_t* in, int frames, int channels, std::vector<uint8_t>& out)
{
    int wl = 0, wr = 0;
    if (channels <= 8)
        for (int c = 0; c < channels; ++c) {
            wl += kLayouts[channels][c].left;
            wr += kLayouts[channels][c].right;
        }
    for (int f = 0; f < frames; ++f, in += channels) {
        int l, r;
        if (channels <= 8) {
            int sl = 0, sr = 0;
            for (int c = 0; c < channels; ++c) {
                sl += in[c] * kLayouts[channels][c].left;
                sr += in[c] * kLayouts[channels][c].right;
            }
            l = sl / wl;
            r = sr / wr;
        } else {
            int sum = 0;
            for (int c = 0; c < channels; ++c) sum += in[c];
            l = r = sum / channels;
        }
        int16_t lr[2] = {int16_t(l), int16_t(r)};
        const auto* b = reinterpret_cast<const uint8_t*>(lr);
        out.insert(out.end(), b, b + 4);
    }
}

// Owns the decoder for the length of one load.
struct Decoder {
    OggVorbis_File vf;
    bool open = false;
    ~Decoder()
    {
        if (open) ov_clear(&vf);
    }
};

TAudioSamplePtr Decode(Decoder& dec, Source& src)
{
    ov_callbacks cb = {ReadCallback, SeekCallback, CloseCallback, TellCallback};
    std::memset(&dec.vf, 0, sizeof dec.vf);
    if (ov_open_callbacks(&src, &dec.vf, nullptr, 0, cb) < 0) return nullptr;
    dec.open = true;

    ogg_int64_t frames = ov_pcm_total(&dec.vf, 0);
    vorbis_info* info = ov_info(&dec.vf, 0);
    if (frames < 0 || !info || info->channels < 1 || info->rate <= 0 || info->rate > INT_MAX) return nullptr;
    const int channels = info->channels;
    const int outChannels = channels == 1 ? 1 : 2;
    const int64_t wanted = frames * 2 * outChannels;
    if (wanted > INT_MAX) return nullptr;

    // The stated length comes from the file and may be false: the buffer
    // grows with what is really decoded, never beyond the stated length.
    std::vector<uint8_t> pcm;
    pcm.reserve(size_t(std::min<int64_t>(wanted, 16 << 20)));
    std::vector<int16_t> chunk(size_t(4096) * size_t(channels));
    while (int64_t(pcm.size()) < wanted) {
        int section = 0;
        long n = ov_read(&dec.vf, reinterpret_cast<char*>(chunk.data()), int(chunk.size() * 2), 0, 2, 1,
                         &section);
        if (n < 0) return nullptr;  // damaged data
        if (n == 0 || section != 0) break;  // ended early: keep what there is
        int got = int(n / (2 * channels));
        if (channels <= 2) {
            const auto* b = reinterpret_cast<const uint8_t*>(chunk.data());
            pcm.insert(pcm.end(), b, b + size_t(got) * 2 * size_t(channels));
        } else {
            MixDown(chunk.data(), got, channels, pcm);
        }
    }
    if (int64_t(pcm.size()) > wanted) pcm.resize(size_t(wanted));
    const int frameBytes = 2 * outChannels;
    const int decoded = int(pcm.size() / size_t(frameBytes));
    if (decoded == 0) return nullptr;  // nothing to play: a file cut before its first frame

    TAudioSamplePtr sample =
        TAudioSample::Create(decoded, int(info->rate), outChannels == 1 ? FORMAT_MONO16LE : FORMAT_STEREO16LE);
    if (decoded > 0) std::memcpy(sample->samples, pcm.data(), size_t(decoded) * size_t(frameBytes));
    return sample;
}

} // namespace

TAudioSamplePtr TAudioSampleLoaderOGG::LoadAudioSample(const TStreamPtr& stream)
{
    Source src{stream.get(), nullptr};
    TAudioSamplePtr sample;
    {
        Decoder dec;
        sample = Decode(dec, src);
    }
    if (src.error) std::rethrow_exception(src.error);
    return sample;
}
