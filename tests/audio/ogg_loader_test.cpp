#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>

#include "kelvora/audio/sample.h"
#include "sample_test_files.h"

using namespace kelvora;

namespace {

using namespace sampletest;

// A load that leaves the rest of the decoding to the background must end,
// whatever the file, with what the whole decode gives: the same frames, or
// null where that is null.
void ExpectProgressiveLoadAsWhole(const Bytes& file, const std::string& what)
{
    TAudioSamplePtr whole = LoadFromMemory(file);
    TAudioSamplePtr p = LoadAudioSampleProgressive(TUrl(TStreamPtr(TBankStream::Create(file, 1, 0))));
    ASSERT_EQ(p != nullptr, whole != nullptr) << what;
    if (!p) return;
    p->Complete();
    EXPECT_EQ(p->format, whole->format) << what;
    EXPECT_EQ(p->length, whole->length) << what;
    EXPECT_EQ(p->capacity, p->ByteCount()) << what;
    EXPECT_TRUE(BytesOf(p) == BytesOf(whole)) << what;
}

// Where two decodes first differ, in frames; -1 when they are equal.
long FirstDifference(const Bytes& a, const Bytes& b, int frameBytes)
{
    if (a == b) return -1;
    auto [i, j] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return long(i - a.begin()) / frameBytes;
}

TEST(OggLoader, DecodesRealFilesFrameForFrameLikeTheReferenceDecoder)
{
    // Debian's desktop sound theme: mono and stereo at several rates.
    const struct {
        const char* file;
        int channels, hertz;
    } sounds[] = {{"suspend-error.oga", 1, 44100},  {"phone-outgoing-busy.oga", 1, 8000},
                  {"audio-channel-front-left.oga", 1, 48000}, {"bell.oga", 2, 44100},
                  {"service-login.oga", 2, 22050},  {"camera-shutter.oga", 2, 96000}};
    for (const auto& r : sounds) {
        SCOPED_TRACE(r.file);
        Bytes expected = Oggdec(kSounds + r.file);
        ASSERT_FALSE(expected.empty()) << "needs oggdec (vorbis-tools) and sound-theme-freedesktop";
        TAudioSamplePtr s = LoadAudioSample(kSounds + r.file);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->format, r.channels == 1 ? FORMAT_MONO16LE : FORMAT_STEREO16LE);
        EXPECT_EQ(s->hertz, r.hertz);
        EXPECT_EQ(size_t(s->length), expected.size() / size_t(2 * r.channels));
        EXPECT_EQ(FirstDifference(BytesOf(s), expected, 2 * r.channels), -1);
        ExpectProgressiveLoadAsWhole(ReadFileBytes(kSounds + r.file), r.file);
    }
}

TEST(OggLoader, ChainedFilesGiveTheirFirstStreamOnly)
{
    Bytes stereo = ReadFileBytes(kSounds + "bell.oga");
    Bytes mono = ReadFileBytes(kSounds + "suspend-error.oga");
    Bytes chained = stereo;
    chained.insert(chained.end(), mono.begin(), mono.end());
    TAudioSamplePtr both = LoadFromMemory(chained);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->format, FORMAT_STEREO16LE);
    EXPECT_EQ(BytesOf(both), BytesOf(LoadFromMemory(stereo)));
    ExpectProgressiveLoadAsWhole(chained, "chained");
}

TEST(OggLoader, TruncatedFilesGiveNullOrExactlyTheFramesBeforeTheCut)
{
    Bytes file = ReadFileBytes(kSounds + "trash-empty.oga");
    TAudioSamplePtr full = LoadFromMemory(file);
    ASSERT_TRUE(full);
    int kept = 0;
    for (size_t cut : {size_t(0), size_t(27), size_t(58), size_t(3000), size_t(8000), file.size() / 2,
                       file.size() * 3 / 4, file.size() - 500, file.size() - 1}) {
        ExpectProgressiveLoadAsWhole(Bytes(file.begin(), file.begin() + long(cut)), "cut " + std::to_string(cut));
        TAudioSamplePtr s = LoadFromMemory(Bytes(file.begin(), file.begin() + long(cut)));
        if (!s) continue;
        ++kept;
        EXPECT_EQ(s->format, full->format) << cut;
        EXPECT_LT(s->length, full->length) << cut;
        EXPECT_TRUE(std::equal(s->samples, s->samples + s->ByteCount(), full->samples)) << cut;
    }
    EXPECT_GE(kept, 3);  // a file cut late still plays up to the cut
}

TEST(OggLoader, CorruptOrForeignDataGivesNullOrAWellFormedSample)
{
    Bytes file = ReadFileBytes(kSounds + "complete.oga");
    ASSERT_FALSE(file.empty());
    for (size_t at = 0; at < file.size(); at += file.size() / 23 + 1) {
        Bytes bad = file;
        for (size_t i = at; i < std::min(bad.size(), at + 40); ++i) bad[i] ^= uint8_t(0x5A + i);
        ExpectProgressiveLoadAsWhole(bad, "damaged at " + std::to_string(at));
        if (TAudioSamplePtr s = LoadFromMemory(bad)) {
            EXPECT_EQ(s->format, FORMAT_STEREO16LE) << at;
            EXPECT_EQ(s->capacity, s->ByteCount()) << at;
        }
    }
    EXPECT_FALSE(LoadFromMemory({}));
    Bytes fake = {'O', 'g', 'g', 'S', 0, 2};
    fake.resize(4096, 0x41);
    EXPECT_FALSE(LoadFromMemory(fake));
}

// The file's pages with bytes of every page body from the third on
// scrambled and the checksums made right again: whole pages of damaged
// audio, which the loader takes the background way.
Bytes WithDamagedPacketsInIntactPages(const Bytes& file, int seed)
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buf = ogg_sync_buffer(&sync, long(file.size()));
    std::copy(file.begin(), file.end(), buf);
    ogg_sync_wrote(&sync, long(file.size()));
    Bytes out;
    ogg_page page;
    for (int n = 0; ogg_sync_pageout(&sync, &page) == 1; ++n) {
        if (n >= 2)
            for (long i = seed; i < page.body_len; i += 97) page.body[i] ^= uint8_t(0x3C + i);
        ogg_page_checksum_set(&page);
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    }
    ogg_sync_clear(&sync);
    return out;
}

TEST(OggLoader, DamagedAudioInIntactPagesLoadsTheSameInTheBackground)
{
    const Bytes music = ReadFileBytes(std::string(KV_SOURCE_DIR) + "/data/moontitle.ogg");
    ASSERT_FALSE(music.empty());
    TAudioSamplePtr intact = LoadAudioSampleProgressive(TUrl(TStreamPtr(TBankStream::Create(music, 1, 0))));
    EXPECT_TRUE(intact && intact->fill) << "whole pages are decoded in the background";
    ExpectProgressiveLoadAsWhole(music, "intact");
    for (int seed : {5, 40}) {
        const Bytes damaged = WithDamagedPacketsInIntactPages(music, seed);
        // Packets the decoder drops put its positions off the frames a
        // whole decode gives, so no seek lands right: decoded whole.
        TAudioSamplePtr p = LoadAudioSampleProgressive(TUrl(TStreamPtr(TBankStream::Create(damaged, 1, 0))));
        EXPECT_TRUE(p && !p->fill) << "a damaged file is decoded whole";
        TAudioSamplePtr whole = LoadFromMemory(damaged);
        EXPECT_TRUE(!whole || BytesOf(whole) != BytesOf(LoadFromMemory(music))) << "the damage changed nothing";
        ExpectProgressiveLoadAsWhole(damaged, "seed " + std::to_string(seed));
    }
    const Bytes bell = ReadFileBytes(kSounds + "bell.oga");
    ExpectProgressiveLoadAsWhole(WithDamagedPacketsInIntactPages(bell, 11), "bell");
}

double Rms(const TAudioSamplePtr& s, int channel)
{
    const auto* v = reinterpret_cast<const int16_t*>(s->samples);
    double sum = 0;
    for (int i = 0; i < s->length; ++i) sum += double(v[2 * i + channel]) * v[2 * i + channel];
    return std::sqrt(sum / std::max(s->length, 1));
}

// Half a second of a 6-channel Vorbis file with a tone in one speaker
// (Vorbis order: front left, centre, front right, rear left, rear right,
// LFE), encoded here as an encoder at quality 4 would.
Bytes SixChannelOggWithToneIn(int speaker)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    Bytes out;
    if (vorbis_encode_init_vbr(&vi, 6, 44100, 0.4f) != 0) return out;
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);
    ogg_page og;
    auto put = [&] {
        out.insert(out.end(), og.header, og.header + og.header_len);
        out.insert(out.end(), og.body, og.body + og.body_len);
    };
    ogg_packet headers[3], op;
    vorbis_analysis_headerout(&vd, &vc, &headers[0], &headers[1], &headers[2]);
    for (ogg_packet& h : headers) ogg_stream_packetin(&os, &h);
    while (ogg_stream_flush(&os, &og)) put();
    const int frames = 22050;
    float** pcm = vorbis_analysis_buffer(&vd, frames);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < 6; ++c) pcm[c][i] = c == speaker ? float(int16_t(12000 * std::sin(i * 0.0628))) / 32768 : 0;
    vorbis_analysis_wrote(&vd, frames);
    vorbis_analysis_wrote(&vd, 0);
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
        vorbis_analysis(&vb, nullptr);
        vorbis_bitrate_addblock(&vb);
        while (vorbis_bitrate_flushpacket(&vd, &op)) {
            ogg_stream_packetin(&os, &op);
            while (ogg_stream_pageout(&os, &og)) put();
        }
    }
    while (ogg_stream_flush(&os, &og)) put();
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

TEST(OggLoader, MoreThanTwoChannelsMixDownBySpeakerPosition)
{
    TAudioSamplePtr left = LoadFromMemory(SixChannelOggWithToneIn(0));
    ASSERT_TRUE(left);
    EXPECT_EQ(left->format, FORMAT_STEREO16LE);
    EXPECT_EQ(left->length, 22050);
    EXPECT_GT(Rms(left, 0), 1000);
    EXPECT_LT(Rms(left, 1), Rms(left, 0) / 20);

    TAudioSamplePtr right = LoadFromMemory(SixChannelOggWithToneIn(4));
    ASSERT_TRUE(right);
    EXPECT_GT(Rms(right, 1), 1000);
    EXPECT_LT(Rms(right, 0), Rms(right, 1) / 20);

    TAudioSamplePtr centre = LoadFromMemory(SixChannelOggWithToneIn(1));
    ASSERT_TRUE(centre);
    EXPECT_GT(Rms(centre, 0), 500);
    EXPECT_NEAR(Rms(centre, 0), Rms(centre, 1), Rms(centre, 0) * 0.02);
}

} // namespace
