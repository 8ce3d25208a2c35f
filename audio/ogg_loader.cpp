#include "audio/ogg_loader.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <vector>

#include "audio/samplefill.h"

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

// Largest file, and decoded size, worth finishing in the background; the
// rest is decoded whole, its buffer growing with what is really there.
constexpr int64_t kMaxFillBytes = 64 << 20;

// The whole file in memory, for the decoder to go on with on another thread.
struct Bytes {
    std::vector<uint8_t> data;
    size_t pos = 0;
};

size_t BytesRead(void* buf, size_t size, size_t count, void* p)
{
    auto* b = static_cast<Bytes*>(p);
    if (size == 0) return 0;
    const size_t n = std::min((b->data.size() - b->pos) / size, count);
    std::memcpy(buf, b->data.data() + b->pos, n * size);
    b->pos += n * size;
    return n;
}

int BytesSeek(void* p, ogg_int64_t offset, int origin)
{
    auto* b = static_cast<Bytes*>(p);
    ogg_int64_t pos;
    switch (origin) {
    case SEEK_SET: pos = offset; break;
    case SEEK_CUR: pos = ogg_int64_t(b->pos) + offset; break;
    case SEEK_END: pos = ogg_int64_t(b->data.size()) + offset; break;
    default: return -1;
    }
    if (pos < 0 || pos > ogg_int64_t(b->data.size())) return -1;
    b->pos = size_t(pos);
    return 0;
}

long BytesTell(void* p) { return long(static_cast<Bytes*>(p)->pos); }

// Reads the rest of the stream; false when it cannot be read to its end.
bool ReadAll(TStream& stream, Bytes& bytes)
{
    const int size = stream.Size();
    if (size <= 0 || size > kMaxFillBytes || stream.Pos() != 0) return false;
    bytes.data.resize(size_t(size));
    int got = 0;
    while (got < size) {
        const int n = stream.Read(bytes.data.data() + got, size - got);
        if (n <= 0) return false;
        got += n;
    }
    return true;
}

// True when the file is one logical bitstream in whole, unbroken pages:
// every page's checksum right, numbered from 0 without a gap, begun and
// ended by its flags, nothing between or after the pages. On such a file
// the decoder meets no hole and no second stream, so it reports no error
// after its first piece, and a load can be finished in the background
// with the same result as a whole decode. Anything else is decoded whole.
bool WholePages(const Bytes& bytes)
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buf = ogg_sync_buffer(&sync, long(bytes.data.size()));
    bool ok = buf != nullptr;
    if (ok) {
        std::memcpy(buf, bytes.data.data(), bytes.data.size());
        ogg_sync_wrote(&sync, long(bytes.data.size()));
    }
    long consumed = 0, pageno = 0;
    int serial = 0;
    bool ended = false;
    ogg_page page;
    while (ok) {
        const long n = ogg_sync_pageseek(&sync, &page);
        if (n == 0) break;
        if (n < 0 || ended) {
            ok = false;  // skipped bytes, or a page after the last
            break;
        }
        consumed += n;
        if (pageno == 0) serial = ogg_page_serialno(&page);
        ok = ogg_page_version(&page) == 0 && ogg_page_serialno(&page) == serial && ogg_page_pageno(&page) == pageno &&
             (ogg_page_bos(&page) != 0) == (pageno == 0);
        ended = ogg_page_eos(&page) != 0;
        ++pageno;
    }
    ogg_sync_clear(&sync);
    return ok && ended && consumed == long(bytes.data.size());
}

// Appends up to room frames of one decoded piece to out; the frames taken.
int Take(const int16_t* in, int got, int channels, uint8_t* out, int room, std::vector<uint8_t>& mixed)
{
    const int frames = std::min(got, room);
    if (channels <= 2) {
        std::memcpy(out, in, size_t(frames) * 2 * size_t(channels));
    } else {
        mixed.clear();
        MixDown(in, frames, channels, mixed);
        std::memcpy(out, mixed.data(), mixed.size());
    }
    return frames;
}

// The decoding of one file, its first piece done by the loader, the rest on
// the background decoder.
class OggFill : public TSampleFill {
public:
    OggFill(uint8_t* data, int out_channels, int stated, std::unique_ptr<Bytes> bytes, std::unique_ptr<Decoder> dec,
            int channels)
        : TSampleFill(data, 2 * out_channels, stated, 0), bytes_(std::move(bytes)), dec_(std::move(dec)),
          channels_(channels), chunk_(size_t(4096) * size_t(channels))
    {
    }

    // One piece as a whole decode reads it; false when the decoding has ended.
    bool Step(int& ready) override
    {
        int section = 0;
        const long n = ov_read(&dec_->vf, reinterpret_cast<char*>(chunk_.data()), int(chunk_.size() * 2), 0, 2, 1,
                               &section);
        // Whole pages give no error; an end before the stated length keeps
        // the frames decoded so far, as a whole decode does.
        if (n <= 0 || section != 0) return false;
        const int got = int(n / (2 * channels_));
        ready += Take(chunk_.data(), got, channels_, data_ + size_t(ready) * size_t(frame_bytes_),
                      stated_length_ - ready, mixed_);
        return ready < stated_length_;
    }

    void Close() override
    {
        dec_.reset();
        bytes_.reset();
    }

    // Ready to go on from the first piece.
    void Start(int ready) { Publish(ready, false); }

private:
    std::unique_ptr<Bytes> bytes_;
    std::unique_ptr<Decoder> dec_;
    const int channels_;
    std::vector<int16_t> chunk_;
    std::vector<uint8_t> mixed_;
};

// A load whose first piece is decoded here and the rest in the background.
// Declines (no value) when the file is not whole, so the caller decodes it
// whole as before; otherwise the sample or null as a whole decode gives.
bool LoadProgressive(TStream& stream, TAudioSamplePtr& result)
{
    auto bytes = std::make_unique<Bytes>();
    if (!ReadAll(stream, *bytes) || !WholePages(*bytes)) return false;
    auto dec = std::make_unique<Decoder>();
    ov_callbacks cb = {BytesRead, BytesSeek, CloseCallback, BytesTell};
    std::memset(&dec->vf, 0, sizeof dec->vf);
    if (ov_open_callbacks(bytes.get(), &dec->vf, nullptr, 0, cb) < 0) return false;
    dec->open = true;
    ogg_int64_t frames = ov_pcm_total(&dec->vf, 0);
    vorbis_info* info = ov_info(&dec->vf, 0);
    if (frames < 0 || !info || info->channels < 1 || info->rate <= 0 || info->rate > INT_MAX) return false;
    const int outChannels = info->channels == 1 ? 1 : 2;
    if (frames == 0 || frames * 2 * outChannels > kMaxFillBytes) return false;

    const int format = outChannels == 1 ? FORMAT_MONO16LE : FORMAT_STEREO16LE;
    TAudioSamplePtr sample = TAudioSample::CreateForDecoder(int(frames), int(info->rate), format);
    const int channels = info->channels;
    auto fill = std::make_shared<OggFill>(sample->samples, outChannels, int(frames), std::move(bytes), std::move(dec),
                                          channels);
    int ready = 0;
    const bool more = fill->Step(ready);
    if (ready == 0) {
        result = nullptr;  // nothing to play, or damaged from the start
    } else if (!more) {
        sample->length = ready;  // the whole file in one piece
        sample->capacity = sample->ByteCount();
        fill->Close();
        result = sample;
    } else {
        fill->Start(ready);
        sample->fill = fill;
        StartSampleFill(fill);
        result = sample;
    }
    return true;
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

TAudioSamplePtr TAudioSampleLoaderOGG::LoadAudioSampleProgressive(const TStreamPtr& stream)
{
    const int start = stream->Pos();
    try {
        TAudioSamplePtr sample;
        if (LoadProgressive(*stream, sample)) return sample;
    } catch (...) {
        // decoded whole below, meeting the error as before
    }
    stream->Seek(start);
    return LoadAudioSample(stream);
}
