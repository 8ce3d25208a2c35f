// Whole games at both volumes "Max" with steady fire and steering, through the
// replay harness's captured mix: the mix must never clip, and stay at a
// comfortable loudness while the shots fly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <ebur128.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "kelvora/audio/sample.h"
#include "replay_runner.h"

using namespace kelvora;

namespace {

constexpr int FIRE = 162, LEFT = 37, RIGHT = 39;
constexpr int GAME_FRAMES = 17400;  // a whole game: the last alien has gone by then
constexpr int FIRE_UNTIL = 16000;   // the 250th alien is spawned about here
constexpr int FAST_HAND = 7;        // frames between presses of a player firing fast
// Aliens come every 40 frames from about frame 10,500 on, so any stretch after
// that is as crowded as the game gets; this one is fired at the game's limit,
// one shot a frame, where lasers pile up and hits land together. (A whole game
// at that rate takes minutes under the sanitisers: every shot is tested
// against every alien; 900 frames keep the test to tens of seconds.)
constexpr int BURST_FROM = 15100;

// Title menu rows are 30 pixels apart from y 245.
std::string click_row(int frame, int row)
{
    return click(frame, 320, 245 + 30 * row);
}

// Skips the logo, optionally picks a 3D mode, starts a game in frame 12, then
// fires every FAST_HAND frames (every frame from burst_from on) and steers
// left and right in turns.
std::string steady_fire(bool stereo, int burst_from)
{
    std::string s = key_press(2, 32);
    if (stereo)
        s += click_row(5, 1) + click_row(7, 1);
    s += click_row(12, 0);
    for (int f = 13; f < FIRE_UNTIL; f += f >= burst_from ? 1 : FAST_HAND)
        s += key_press(f, FIRE);
    for (int f = 13; f < FIRE_UNTIL; f += 300) {
        const std::string key = std::to_string(f % 600 == 13 ? LEFT : RIGHT);
        s += std::to_string(f) + " key down " + key + "\n" + std::to_string(f + 120) + " key up " + key + "\n";
    }
    return s;
}

struct Wav {
    int channels = 0, rate = 0, bits = 0;
    std::vector<int16_t> samples;
};

uint32_t le32(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The PCM of a RIFF WAV file, walking its chunks.
Wav read_wav(const std::vector<unsigned char>& b)
{
    Wav w;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return w;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = le32(&b[at + 4]);
        const unsigned char* body = &b[at + 8];
        if (at + 8 + size > b.size())
            break;
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && size >= 16) {
            w.channels = body[2] | body[3] << 8;
            w.rate = static_cast<int>(le32(body + 4));
            w.bits = body[14] | body[15] << 8;
        } else if (std::memcmp(&b[at], "data", 4) == 0) {
            w.samples.resize(size / 2);
            std::memcpy(w.samples.data(), body, w.samples.size() * 2);
        }
        at += 8 + size + (size & 1);
    }
    return w;
}

struct Loudness {
    long clipped = 0;          // samples at either end of the 16-bit range, anywhere in the capture
    double lufs = -200;        // integrated, over [from, to) seconds
    double true_peak = -200;   // dBTP over the same stretch
};

// Integrated loudness and true peak (EBU R128, ITU-R BS.1770) of 16-bit
// stereo frames, with libebur128.
Loudness measure(const std::vector<int16_t>& samples, int rate, double from, double to)
{
    Loudness l;
    for (int16_t s : samples) l.clipped += s == 32767 || s == -32768;
    const size_t first = std::min(static_cast<size_t>(from * rate), samples.size() / 2);
    const size_t last = std::min(static_cast<size_t>(to * rate), samples.size() / 2);
    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!st) return l;
    if (last > first) ebur128_add_frames_short(st, samples.data() + 2 * first, last - first);
    ebur128_loudness_global(st, &l.lufs);
    double tp = 0;
    for (unsigned c = 0; c < 2; ++c) {
        double p = 0;
        ebur128_true_peak(st, c, &p);
        tp = std::max(tp, p);
    }
    l.true_peak = 20 * std::log10(tp + 1e-12);
    ebur128_destroy(&st);
    std::printf("   mix: %ld clipped samples, %.1f LUFS integrated, true peak %.1f dBTP\n", l.clipped, l.lufs,
                l.true_peak);
    return l;
}

// The loudest 400 ms (momentary loudness, LUFS) of 16-bit stereo frames.
double loudest_moment(const std::vector<int16_t>& samples, int rate)
{
    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_M);
    double loudest = -HUGE_VAL;
    const size_t step = static_cast<size_t>(rate / 100);
    for (size_t at = 0; at < samples.size() / 2; at += step) {
        ebur128_add_frames_short(st, samples.data() + 2 * at, std::min(step, samples.size() / 2 - at));
        double m = -HUGE_VAL;
        if (ebur128_loudness_momentary(st, &m) == EBUR128_SUCCESS) loudest = std::max(loudest, m);
    }
    ebur128_destroy(&st);
    return loudest;
}

// The goals at both volumes "Max": the whole game near the loudness home
// systems are set up for, the title screen at the usual -24 for games, the
// play music (alone between shots) clearly audible, and nothing clipping
// or near full scale between samples either.
constexpr double GAME_LUFS = -22, GAME_LU = 2;
constexpr double TITLE_LUFS = -24, TITLE_LU = 1;
constexpr double PLAY_MUSIC_MIN_LUFS = -30;
constexpr double TRUE_PEAK_MAX = -1;

// Plays the game and measures the mix from the start of the game to the last shot.
Loudness play(const std::string& name, bool stereo, int burst_from, replay_result* out)
{
    replay_dir dir(name);
    const std::string wav = (dir.path() / "mix.wav").string();
    *out = dir.run(GAME_FRAMES, steady_fire(stereo, burst_from), {"--audio", wav});
    const Wav w = read_wav(dir.bytes("mix.wav"));
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.bits, 16);
    EXPECT_GT(w.samples.size(), 44100u * 2 * 280) << "less than the whole game was captured";
    return measure(w.samples, w.rate, 12 / 60.0, FIRE_UNTIL / 60.0);
}

// A data file played alone through the mixer at volume 1.0 (as "Max"
// plays it), looped when it loops, for the given seconds.
std::vector<int16_t> alone(const std::string& file, bool loop, double seconds)
{
    std::vector<int16_t> pcm;
    TAudioSamplePtr s = LoadAudioSample(std::string(KV_SOURCE_DIR) + "/data/" + file);
    EXPECT_TRUE(s && s->format == FORMAT_STEREO16LE) << file;
    if (!s || MixerInit(std::make_unique<softmix::manualdevice>()) != 0) return pcm;
    MixerSound* sound = MixerCreateSound(s->length, 16, 2, s->hertz, s->samples, loop);
    const int h = MixerPlaySound(sound, 1, 0);
    MixerSetVolume(h, 1.0f);
    MixerSetPaused(h, 0);
    std::vector<int16_t> fragment(1024);
    while (pcm.size() < static_cast<size_t>(seconds * 44100) * 2) {
        PullAudioFragment(fragment.data());
        pcm.insert(pcm.end(), fragment.begin(), fragment.end());
    }
    MixerStopChannel(h);
    MixerFreeSound(sound);
    MixerClose();
    return pcm;
}

void expect_goals(const Loudness& l, double lufs, double lu)
{
    EXPECT_EQ(l.clipped, 0);
    EXPECT_LT(l.true_peak, TRUE_PEAK_MAX);
    EXPECT_NEAR(l.lufs, lufs, lu);
}

}  // namespace

TEST(Loudness, AWholeGameOfFastFireNeverClips)
{
    replay_result r;
    const Loudness l = play("loud_flat", false, FIRE_UNTIL, &r);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r["aliens_left"], 0);
    EXPECT_EQ(r["alien_list"], 0) << "the game had not ended";
    EXPECT_EQ(r["sound_step"], 10);
    EXPECT_EQ(r["music_step"], 10);
    EXPECT_GE(r["aliens_killed"], 25) << "too few hits to hear them";
    expect_goals(l, GAME_LUFS, GAME_LU);
}

TEST(Loudness, AWholeGameIn3DWithAShotEveryFrameAtTheCrowdedEndNeverClips)
{
    replay_result r;
    const Loudness l = play("loud_3d", true, BURST_FROM, &r);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r["mode3d"], 2);
    EXPECT_EQ(r["aliens_left"], 0);
    EXPECT_EQ(r["alien_list"], 0) << "the game had not ended";
    EXPECT_GT(r["shots_fired"], (BURST_FROM - 13) / FAST_HAND + (FIRE_UNTIL - BURST_FROM) - 10);
    expect_goals(l, GAME_LUFS, GAME_LU);
}

// The logo, then the title menu with its music, untouched for 30 seconds.
TEST(Loudness, TheTitleScreenSitsAtTheUsualLevelForGames)
{
    replay_dir dir("loud_title");
    const std::string wav = (dir.path() / "mix.wav").string();
    const replay_result r = dir.run(1800, "", {"--audio", wav});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r["music_step"], 10);
    const Wav w = read_wav(dir.bytes("mix.wav"));
    expect_goals(measure(w.samples, w.rate, 0, 30), TITLE_LUFS, TITLE_LU);
}

// The play music fills every pause between shots: clearly audible alone,
// and the effects still stand out over it (their loudest 400 ms against
// the music's loudness). The headroom proof leaves the laser, which piles
// up fastest, level with the music; the hit and the warning well over it.
TEST(Loudness, ThePlayMusicIsHeardAndTheEffectsStandOutOverIt)
{
    const Loudness music = measure(alone("kelvora.ogg", true, 32), 44100, 0, 32);
    EXPECT_GE(music.lufs, PLAY_MUSIC_MIN_LUFS);
    EXPECT_LT(music.true_peak, TRUE_PEAK_MAX);
    const std::pair<const char*, double> over[] = {{"laserfire.ogg", 0}, {"alienhit.ogg", 3}, {"alienmiss.ogg", 3}};
    for (const auto& [effect, least] : over) {
        const double loudest = loudest_moment(alone(effect, false, 1.5), 44100);
        std::printf("   %s: loudest 400 ms %.1f LUFS, %+.1f LU over the play music\n", effect, loudest,
                    loudest - music.lufs);
        EXPECT_GE(loudest - music.lufs, least) << effect << " drowns in the music";
    }
}
