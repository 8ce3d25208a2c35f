// The sound and music files, decoded by the engine's own loaders: format,
// rate, lengths, headroom, balance, and music that loops without a seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kelvora/audio/sample.h"

using namespace kelvora;

namespace {

struct Sound {
    const char* file;
    bool music;
};

const Sound kSounds[] = {
    {"laserfire.ogg", false}, {"alienhit.ogg", false}, {"newgame.ogg", false},
    {"endgame.ogg", false},   {"alienmiss.ogg", false}, {"moontitle.ogg", true},
    {"kelvora.ogg", true},
};

struct Pcm {
    int frames = 0;
    int rate = 0;
    std::vector<double> left, right;   // -1..1
};

Pcm Decode(const std::string& path)
{
    Pcm pcm;
    TAudioSamplePtr s = LoadAudioSample(path);
    if (!s) return pcm;
    EXPECT_EQ(s->format, FORMAT_STEREO16LE);
    if (s->format != FORMAT_STEREO16LE) return pcm;
    pcm.frames = s->length;
    pcm.rate = s->hertz;
    for (int i = 0; i < s->length; ++i) {
        int16_t lr[2];
        std::memcpy(lr, s->samples + 4 * i, 4);
        pcm.left.push_back(lr[0] / 32768.0);
        pcm.right.push_back(lr[1] / 32768.0);
    }
    return pcm;
}

std::string DataPath(const char* file)
{
    return std::string(KV_SOURCE_DIR) + "/data/" + file;
}

double Peak(const Pcm& p)
{
    double m = 0;
    for (int i = 0; i < p.frames; ++i) m = std::max({m, std::fabs(p.left[i]), std::fabs(p.right[i])});
    return m;
}

double RmsDb(const Pcm& p, int from, int to)
{
    double sum = 0;
    for (int i = from; i < to; ++i) sum += p.left[i] * p.left[i] + p.right[i] * p.right[i];
    return 10 * std::log10(sum / (2.0 * std::max(to - from, 1)) + 1e-12);
}

TEST(GameSounds, DecodeAsStereo44100WithinTheirLengths)
{
    for (const Sound& s : kSounds) {
        SCOPED_TRACE(s.file);
        Pcm p = Decode(DataPath(s.file));
        ASSERT_GT(p.frames, 0);
        EXPECT_EQ(p.rate, 44100);
        const double seconds = p.frames / 44100.0;
        if (s.music) {
            EXPECT_GE(seconds, 12.0) << "too short to be music";
            EXPECT_LE(seconds, 24.0) << "too long to decode within a few frames";
        } else {
            EXPECT_GE(seconds, 0.1);
            EXPECT_LT(seconds, 1.5);
        }
    }
}

TEST(GameSounds, EffectsStartAtOnceAndEndInSilence)
{
    for (const Sound& s : kSounds) {
        if (s.music) continue;
        SCOPED_TRACE(s.file);
        Pcm p = Decode(DataPath(s.file));
        ASSERT_GT(p.frames, 1000);
        // Measured against the sound's own peak, whatever level it is mastered at.
        const double peak = Peak(p);
        int onset = 0;
        while (onset < p.frames && std::fabs(p.left[onset]) < peak / 100 && std::fabs(p.right[onset]) < peak / 100)
            ++onset;
        EXPECT_LT(onset, 44100 * 5 / 1000) << "silence before the sound starts";
        EXPECT_LT(RmsDb(p, p.frames - 441, p.frames), 20 * std::log10(peak) - 47.0) << "cut off instead of fading out";
    }
}

TEST(GameSounds, NothingClipsAndTheLoudnessIsBalanced)
{
    double lo = 0, hi = -200;
    for (const Sound& s : kSounds) {
        SCOPED_TRACE(s.file);
        Pcm p = Decode(DataPath(s.file));
        ASSERT_GT(p.frames, 0);
        // Lasers, hits, a warning and the music add up in the mixer: no file
        // may take more than a small share of full scale on its own (the
        // title music, at -24 LUFS mostly alone, the largest).
        EXPECT_LT(Peak(p), 0.18) << "no headroom for the sounds it plays with";
        const double rms = RmsDb(p, 0, p.frames);
        lo = std::min(lo, rms);
        hi = std::max(hi, rms);
        EXPECT_GT(rms, -40.0) << "too quiet";
    }
    EXPECT_LT(hi - lo, 10.0) << "loudness differs too much between files";
}

TEST(GameSounds, EffectsStandOutOverThePlayMusicAndHitsLoudest)
{
    // As heard: an effect's first 100 ms against the music's RMS. The
    // music is as loud as the headroom lets it be (data/SOUNDS.md), which
    // leaves the laser and the warning only a little over it.
    auto onset = [](const char* file) {
        Pcm p = Decode(DataPath(file));
        return RmsDb(p, 0, std::min(p.frames, 4410));
    };
    Pcm music = Decode(DataPath("kelvora.ogg"));
    ASSERT_GT(music.frames, 0);
    const double under = RmsDb(music, 0, music.frames);
    const double laser = onset("laserfire.ogg"), hit = onset("alienhit.ogg"), warning = onset("alienmiss.ogg");
    EXPECT_GT(laser, under + 1.5) << "lasers drown in the music";
    EXPECT_GT(warning, under + 2.5) << "the warning drowns in the music";
    EXPECT_GT(hit, laser + 2.0) << "a hit is not the loudest event";
    EXPECT_GT(hit, warning + 2.0) << "a hit is not the loudest event";
}

TEST(GameSounds, MusicLoopsWithoutAClickOrAGap)
{
    for (const Sound& s : kSounds) {
        if (!s.music) continue;
        SCOPED_TRACE(s.file);
        Pcm p = Decode(DataPath(s.file));
        ASSERT_GT(p.frames, 44100);
        for (const std::vector<double>* ch : {&p.left, &p.right}) {
            const std::vector<double>& x = *ch;
            std::vector<double> steps;
            for (int i = 0; i + 1 < p.frames; ++i) steps.push_back(std::fabs(x[i + 1] - x[i]));
            std::nth_element(steps.begin(), steps.begin() + steps.size() * 999 / 1000, steps.end());
            const double usual = steps[steps.size() * 999 / 1000];
            EXPECT_LE(std::fabs(x.front() - x.back()), usual) << "the wrap jumps like a click";
        }
        // No drop-out at the seam: the 20 ms either side are not quieter than
        // what the music's own quiet moments reach.
        const int w = 882;
        std::vector<double> windows;
        for (int i = 0; i + w <= p.frames; i += w) windows.push_back(RmsDb(p, i, i + w));
        std::sort(windows.begin(), windows.end());
        const double quiet = windows[windows.size() / 20];
        EXPECT_GT(RmsDb(p, p.frames - w, p.frames), quiet - 6.0) << "a gap before the loop point";
        EXPECT_GT(RmsDb(p, 0, w), quiet - 6.0) << "a gap after the loop point";
    }
}

TEST(GameSounds, TheDataFolderSitsBesideTheProgram)
{
    for (const Sound& s : kSounds) {
        SCOPED_TRACE(s.file);
        std::ifstream a(DataPath(s.file), std::ios::binary);
        std::ifstream b(std::string(KV_BUILD_DIR) + "/data/" + s.file, std::ios::binary);
        ASSERT_TRUE(b.good()) << "not copied into the build directory";
        std::vector<char> va{std::istreambuf_iterator<char>(a), {}}, vb{std::istreambuf_iterator<char>(b), {}};
        EXPECT_EQ(va, vb);
    }
}

}  // namespace
