#include "audio/ogg_loader.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <vector>

#include "audio/samplefill.h"

namespace kelvora {

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
        return s.Seek(pos) >= 0 ? 0 : -1;
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
        // The decoder's tell is a long, 32 bits on Windows.
        const int64_t pos = src->stream->Pos();
        return pos <= LONG_MAX ? long(pos) : -1;
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
        const size_t before = pcm.size();
        try {
            if (channels <= 2) {
                const auto* b = reinterpret_cast<const uint8_t*>(chunk.data());
                pcm.insert(pcm.end(), b, b + size_t(got) * 2 * size_t(channels));
            } else {
                MixDown(chunk.data(), got, channels, pcm);
            }
        } catch (...) {
            // Out of memory on the way: keep what there is, as a decoding
            // finished in the background does.
            pcm.resize(before);
            break;
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

// A decoder's place in the whole file held in memory.
struct Bytes {
    const std::vector<uint8_t>* data;
    size_t pos = 0;
};

size_t BytesRead(void* buf, size_t size, size_t count, void* p)
{
    auto* b = static_cast<Bytes*>(p);
    if (size == 0) return 0;
    const size_t n = std::min((b->data->size() - b->pos) / size, count);
    std::memcpy(buf, b->data->data() + b->pos, n * size);
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
    case SEEK_END: pos = ogg_int64_t(b->data->size()) + offset; break;
    default: return -1;
    }
    if (pos < 0 || pos > ogg_int64_t(b->data->size())) return -1;
    b->pos = size_t(pos);
    return 0;
}

long BytesTell(void* p) { return long(static_cast<Bytes*>(p)->pos); }

// Reads the rest of the stream; false when it cannot be read to its end.
bool ReadAll(TStream& stream, std::vector<uint8_t>& bytes)
{
    const int64_t total = stream.Size();
    if (total <= 0 || total > kMaxFillBytes || stream.Pos() != 0) return false;
    const int size = int(total);
    bytes.resize(size_t(size));
    int got = 0;
    while (got < size) {
        const int n = stream.Read(bytes.data() + got, size - got);
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
bool WholePages(const std::vector<uint8_t>& bytes)
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buf = ogg_sync_buffer(&sync, long(bytes.size()));
    bool ok = buf != nullptr;
    if (ok) {
        std::memcpy(buf, bytes.data(), bytes.size());
        ogg_sync_wrote(&sync, long(bytes.size()));
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
    return ok && ended && consumed == long(bytes.size());
}

// True when the audio packets' block sizes add up to every page's stated
// position: then the decoder's positions are the frames a whole decode has
// given up to there, and a seek lands exactly where a whole decode would
// be. A packet the decoder would drop (damaged where it names its kind or
// mode), or an offset at the start, makes it false.
bool PacketsMatchPositions(const std::vector<uint8_t>& bytes)
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buf = ogg_sync_buffer(&sync, long(bytes.size()));
    if (!buf) {
        ogg_sync_clear(&sync);
        return false;
    }
    std::memcpy(buf, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, long(bytes.size()));
    ogg_stream_state os;
    bool os_init = false;
    vorbis_info vi;
    vorbis_comment vc;
    vorbis_info_init(&vi);
    vorbis_comment_init(&vc);
    int headers = 0;
    long previous = 0;
    int64_t frames = 0;
    bool ok = true;
    ogg_page page;
    ogg_packet op;
    while (ok && ogg_sync_pageout(&sync, &page) == 1) {
        if (!os_init) {
            ogg_stream_init(&os, ogg_page_serialno(&page));
            os_init = true;
        }
        ogg_stream_pagein(&os, &page);
        int got;
        while (ok && (got = ogg_stream_packetout(&os, &op)) != 0) {
            if (got < 0) {
                ok = false;
            } else if (headers < 3) {
                ok = vorbis_synthesis_headerin(&vi, &vc, &op) == 0;
                ++headers;
            } else {
                // The first block only primes the overlap; each later one
                // gives a quarter of its own and of the previous block.
                const long size = vorbis_packet_blocksize(&vi, &op);
                ok = size > 0;
                if (previous > 0) frames += previous / 4 + size / 4;
                previous = size;
            }
        }
        const int64_t granule = ogg_page_granulepos(&page);
        if (ok && headers == 3 && granule >= 0 && !ogg_page_eos(&page) && granule != frames) ok = false;
    }
    if (os_init) ogg_stream_clear(&os);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    ogg_sync_clear(&sync);
    return ok && headers == 3;
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

// One decoder over the file in memory, with its own place in the bytes and
// its own buffers. Held by pointer: the decoder keeps the cursor's address.
struct OggSide {
    Bytes cursor{};
    Decoder dec;
    std::vector<int16_t> chunk;
    std::vector<uint8_t> mixed;
    int pos = 0;
    bool ended = false;
};

std::unique_ptr<OggSide> OpenSide(const std::vector<uint8_t>& data)
{
    auto side = std::make_unique<OggSide>();
    side->cursor.data = &data;
    ov_callbacks cb = {BytesRead, BytesSeek, CloseCallback, BytesTell};
    std::memset(&side->dec.vf, 0, sizeof side->dec.vf);
    if (ov_open_callbacks(&side->cursor, &side->dec.vf, nullptr, 0, cb) < 0) return nullptr;
    side->dec.open = true;
    return side;
}

// The decoding of one file: its first piece done by the loader, the rest by
// the background decoder, and from wherever the reader overtakes that, by
// the reader's own decoder, put there by an exact seek. The reader's
// decoder is opened with the other at load: opening costs far more than
// the seek it may need later.
class OggFill : public TSampleFill {
public:
    OggFill(uint8_t* data, int out_channels, int stated, std::unique_ptr<std::vector<uint8_t>> bytes,
            std::unique_ptr<OggSide> background, std::unique_ptr<OggSide> reader, int channels)
        : TSampleFill(data, 2 * out_channels, stated, 0), bytes_(std::move(bytes)), channels_(channels)
    {
        side_[BACKGROUND] = std::move(background);
        side_[READER] = std::move(reader);
        for (auto& s : side_) {
            s->chunk.resize(size_t(4096) * size_t(channels));
            if (channels > 2) s->mixed.reserve(size_t(PIECE_FRAMES) * 4);
        }
    }

    // The first piece, on the loader's thread, straight into the sample.
    int First()
    {
        const int n = Decode(BACKGROUND, data_, PIECE_FRAMES);
        Begin(n);
        return n;
    }
    bool EndedFirst() const { return side_[BACKGROUND]->ended; }

protected:
    // Whole pieces, as a whole decode reads them: up to the stated length,
    // ending at the end of the data or of the first logical stream.
    int Decode(TSampleFill::Side which, uint8_t* out, int room) override
    {
        OggSide& s = *side_[which];
        int got = 0;
        room = std::min(room, stated_length_ - s.pos);
        while (!s.ended && got < room) {
            int section = 0;
            const int want = std::min(int(s.chunk.size()), (room - got) * channels_) * 2;
            const long n = ov_read(&s.dec.vf, reinterpret_cast<char*>(s.chunk.data()), want, 0, 2, 1, &section);
            // Whole pages give no error; an end before the stated length
            // keeps the frames decoded so far, as a whole decode does.
            if (n <= 0 || section != 0) {
                s.ended = true;
                break;
            }
            const int frames = int(n / (2 * channels_));
            got += Take(s.chunk.data(), frames, channels_, out + size_t(got) * size_t(frame_bytes_), room - got,
                        s.mixed);
        }
        s.pos += got;
        if (s.pos >= stated_length_) s.ended = true;
        return got;
    }

    void StartReader(int frame) override
    {
        OggSide& s = *side_[READER];
        if (ov_pcm_seek(&s.dec.vf, frame) != 0) s.ended = true;
        s.pos = frame;
    }

    void CloseBackground() override { side_[BACKGROUND].reset(); }

private:
    std::unique_ptr<std::vector<uint8_t>> bytes_;
    const int channels_;
    std::unique_ptr<OggSide> side_[2];
};

// A load whose first piece is decoded here and the rest in the background.
// Declines (no value) when the file is not whole, so the caller decodes it
// whole as before; otherwise the sample or null as a whole decode gives.
bool LoadProgressive(TStream& stream, TAudioSamplePtr& result)
{
    auto bytes = std::make_unique<std::vector<uint8_t>>();
    if (!ReadAll(stream, *bytes) || !WholePages(*bytes) || !PacketsMatchPositions(*bytes)) return false;
    std::unique_ptr<OggSide> background = OpenSide(*bytes);
    if (!background) return false;
    OggVorbis_File& vf = background->dec.vf;
    ogg_int64_t frames = ov_pcm_total(&vf, 0);
    vorbis_info* info = ov_info(&vf, 0);
    if (frames < 0 || !info || info->channels < 1 || info->rate <= 0 || info->rate > INT_MAX) return false;
    const int outChannels = info->channels == 1 ? 1 : 2;
    if (frames == 0 || frames * 2 * outChannels > kMaxFillBytes) return false;
    const int channels = info->channels;
    std::unique_ptr<OggSide> reader = OpenSide(*bytes);
    if (!reader) return false;

    const int format = outChannels == 1 ? FORMAT_MONO16LE : FORMAT_STEREO16LE;
    TAudioSamplePtr sample = TAudioSample::CreateForDecoder(int(frames), int(info->rate), format);
    auto fill = std::make_shared<OggFill>(sample->samples, outChannels, int(frames), std::move(bytes),
                                          std::move(background), std::move(reader), channels);
    const int ready = fill->First();
    if (ready == 0) {
        result = nullptr;  // nothing to play, or damaged from the start
    } else if (fill->EndedFirst()) {
        sample->length = ready;  // the whole file in one piece
        sample->capacity = sample->ByteCount();
        result = sample;
    } else {
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
    const int64_t start = stream->Pos();
    try {
        TAudioSamplePtr sample;
        if (LoadProgressive(*stream, sample)) return sample;
    } catch (...) {
        // decoded whole below, meeting the error as before
    }
    stream->Seek(start);
    return LoadAudioSample(stream);
}

}  // namespace kelvora
