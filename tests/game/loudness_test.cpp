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

#include "replay_runner.h"

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
    long clipped = 0;      // samples at either end of the 16-bit range
    double peak_db = -200;
    double rms_db = -200;  // over [from, to) seconds
};

double db(double v)
{
    return 20 * std::log10(v + 1e-12);
}

Loudness measure(const Wav& w, double from, double to)
{
    Loudness l;
    double peak = 0, sum = 0;
    long n = 0;
    const size_t first = static_cast<size_t>(from * w.rate) * 2, last = static_cast<size_t>(to * w.rate) * 2;
    for (size_t i = 0; i < w.samples.size(); ++i) {
        const int s = w.samples[i];
        l.clipped += s == 32767 || s == -32768;
        peak = std::max(peak, std::fabs(s / 32768.0));
        if (i >= first && i < last) {
            sum += (s / 32768.0) * (s / 32768.0);
            ++n;
        }
    }
    l.peak_db = db(peak);
    l.rms_db = 10 * std::log10(sum / std::max(n, 1L) + 1e-24);
    std::printf("   mix: %ld clipped samples, peak %.2f dBFS, RMS over play %.2f dBFS\n", l.clipped, l.peak_db,
                l.rms_db);
    return l;
}

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
    return measure(w, 12 / 60.0, FIRE_UNTIL / 60.0);
}

// Between these the mix is comfortable at full volume: around the loudness
// home systems are set up for (-23 to -24 on the usual programme scales),
// never so loud that it would have to be turned down.
constexpr double QUIETEST_DB = -28, LOUDEST_DB = -18;

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
    EXPECT_EQ(l.clipped, 0) << "peak " << l.peak_db << " dBFS";
    EXPECT_LT(l.peak_db, -3.0);
    EXPECT_GT(l.rms_db, QUIETEST_DB);
    EXPECT_LT(l.rms_db, LOUDEST_DB);
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
    EXPECT_EQ(l.clipped, 0) << "peak " << l.peak_db << " dBFS";
    EXPECT_LT(l.peak_db, -3.0);
    EXPECT_GT(l.rms_db, QUIETEST_DB);
    EXPECT_LT(l.rms_db, LOUDEST_DB);
}
