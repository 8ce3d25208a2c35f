// Which sound plays when, heard in the audio the replay harness captures:
// every piece of the mixed output is explained by the game's own sound
// files (decoded here), placed where a cue should have started them. With
// both volumes at Max the mixer adds the files' values exactly, so once
// everything expected is taken away only silence may remain.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "kelvora/audio/sample.h"
#include "replay_runner.h"

using namespace kelvora;

namespace {

constexpr int SPACE = 32, FIRE = 162;
constexpr int PER_FRAME = 735;  // audio frames per video frame at 60 Hz
const std::string SKIP_LOGO = key_press(2, SPACE);

int row_y(int row)
{
    return 245 + 30 * row;
}

// A sound file as the mixer plays it at volume 1: stereo 16-bit values.
struct Track {
    std::string name;
    std::vector<int16_t> v;
    bool loop = false;
    int frames() const { return static_cast<int>(v.size() / 2); }
    // The first frame louder than tolerance.
    int first_loud(int tolerance) const
    {
        for (size_t i = 0; i < v.size(); ++i)
            if (std::abs(v[i]) > tolerance)
                return static_cast<int>(i / 2);
        return 0;
    }
};

Track decode(const std::string& name, bool loop)
{
    Track t{name, {}, loop};
    TAudioSamplePtr s = LoadAudioSample(std::string(KV_SOURCE_DIR) + "/data/" + name);
    if (!s)
        return t;
    if (s->format != FORMAT_STEREO16LE)
        s = s->Convert(FORMAT_STEREO16LE);
    const auto* p = reinterpret_cast<const int16_t*>(s->samples);
    t.v.assign(p, p + 2 * static_cast<size_t>(s->length));
    return t;
}

std::vector<int32_t> read_wav(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int32_t> out;
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        out.push_back(static_cast<int16_t>(b[i] | (b[i + 1] << 8)));
    return out;
}

struct Placed {
    std::string name;
    int start;  // audio frame of the file's frame 0
    int end;    // first frame no longer playing
};

// The captured output minus what has been explained so far.
class Residual {
public:
    explicit Residual(std::vector<int32_t> out) : r_(std::move(out)), clipped_(r_.size())
    {
        // A clipped value says only that the sum went beyond the range: it
        // takes no part in any comparison.
        for (size_t i = 0; i < r_.size(); ++i)
            clipped_[i] = r_[i] == 32767 || r_[i] == -32768;
    }
    int frames() const { return static_cast<int>(r_.size() / 2); }
    int at(int f) const { return r_[2 * f]; }

    // Takes track away from frame start (file frame 0) up to end.
    void take(const Track& t, int start, int end, int sign = 1)
    {
        for (int f = std::max(start, 0); f < std::min(end, frames()); ++f) {
            int k = f - start;
            if (t.loop)
                k %= t.frames();
            else if (k >= t.frames())
                break;
            r_[2 * f] -= sign * t.v[2 * k];
            r_[2 * f + 1] -= sign * t.v[2 * k + 1];
        }
    }

    // The start in [lo, hi] where the track's first `span` frames match best.
    int locate(const Track& t, int lo, int hi, int span = 4096) const
    {
        span = std::min(span, t.frames());
        double best = -2;
        int at = lo;
        for (int s = std::max(lo, 0); s <= hi && s + span <= frames(); ++s) {
            double dot = 0, rr = 0;
            for (int i = 0; i < 2 * span; ++i) {
                const double x = clipped_[2 * s + i] ? 0 : r_[2 * s + i];
                dot += x * t.v[i];
                rr += x * x;
            }
            const double c = dot / std::sqrt(rr + 1);
            if (c > best) {
                best = c;
                at = s;
            }
        }
        return at;
    }

    // Sum of squares over [from, to).
    double energy(int from, int to) const
    {
        double e = 0;
        for (int i = 2 * std::max(from, 0); i < 2 * std::min(to, frames()); ++i)
            if (!clipped_[i])
                e += double(r_[i]) * r_[i];
        return e;
    }

    // Sum of squares over [from, to) once the tracks, all starting at
    // start, are taken away; the residual itself is left as it is.
    double energy_without(const std::vector<const Track*>& ts, int start, int from, int to) const
    {
        return energy_without(ts, std::vector<int>(ts.size(), start), from, to);
    }

    // The same with a start of its own for each track.
    double energy_without(const std::vector<const Track*>& ts, const std::vector<int>& starts, int from, int to) const
    {
        double e = 0;
        for (int f = std::max(from, 0); f < std::min(to, frames()); ++f) {
            for (int c = 0; c < 2; ++c) {
                if (clipped_[2 * f + c])
                    continue;
                double x = r_[2 * f + c];
                for (size_t i = 0; i < ts.size(); ++i) {
                    const int k = f - starts[i];
                    if (k >= 0 && k < ts[i]->frames())
                        x -= ts[i]->v[2 * k + c];
                }
                e += x * x;
            }
        }
        return e;
    }

    // First frame at or after `from` that still sounds.
    int next_sound(int from, int tolerance) const
    {
        for (int i = 2 * std::max(from, 0); i < 2 * frames(); ++i)
            if (!clipped_[i] && std::abs(r_[i]) > tolerance)
                return i / 2;
        return -1;
    }

private:
    std::vector<int32_t> r_;
    std::vector<bool> clipped_;
};

class Cues : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const auto& [name, loop] : std::vector<std::pair<std::string, bool>>{
                 {"moontitle.ogg", true}, {"kelvora.ogg", true}, {"newgame.ogg", false}, {"endgame.ogg", false},
                 {"laserfire.ogg", false}, {"alienhit.ogg", false}, {"alienmiss.ogg", false}})
            tracks_[name] = decode(name, loop);
    }
    void SetUp() override
    {
        for (const auto& [name, t] : tracks_)
            ASSERT_GT(t.frames(), 0) << name << " does not decode";
    }

    // Runs the game and captures its audio.
    std::vector<int32_t> capture(int frames, const std::string& script, replay_result* result = nullptr,
                                 const std::vector<int>& states_at = {})
    {
        replay_dir dir("cues");
        const auto wav = dir.path() / "out.wav";
        replay_result r = dir.run(frames, script, {"--audio", wav.string()}, "record", states_at);
        EXPECT_EQ(r.status, 0) << r.err;
        if (result)
            *result = r;
        return read_wav(wav);
    }

    // Explains the whole output: music first, then effects. A second pass
    // places the music again with the effects already taken away, where
    // nothing else can pull a track's start off by a frame.
    struct Heard {
        std::vector<Placed> music, effects;
        std::string unexplained;
    };
    Heard explain(const std::vector<int32_t>& out, const std::vector<std::pair<int, std::string>>& switches)
    {
        Heard first;
        {
            Residual r(out);
            first.music = explain_music(r, switches);
            first.effects = explain_effects(r, &first.unexplained);
        }
        Heard h;
        Residual r(out);
        for (const auto& e : first.effects)
            r.take(tracks_.at(e.name), e.start, INT_MAX);
        h.music = explain_music(r, switches);
        h.effects = first.effects;
        for (const auto& e : explain_effects(r, &h.unexplained))
            h.effects.push_back(e);
        std::sort(h.effects.begin(), h.effects.end(), [](const Placed& a, const Placed& b) { return a.start < b.start; });
        return h;
    }

    // Music: each entry starts `track` from its beginning in the given video
    // frame and stops the one before. Takes every track away and returns
    // where each was heard.
    std::vector<Placed> explain_music(Residual& r, const std::vector<std::pair<int, std::string>>& switches)
    {
        std::vector<Placed> heard;
        for (const auto& [frame, name] : switches) {
            const Track& t = tracks_.at(name);
            // The cue's frame, plus the start latency and a mixing call.
            const int expected = (frame - 1) * PER_FRAME;
            int start = r.locate(t, expected - PER_FRAME, expected + 2 * PER_FRAME);
            if (!heard.empty()) {
                // The track before stops at the start of a mixing call
                // (512 frames) between the cue and the new track.
                Placed& before = heard.back();
                const Track& b = tracks_.at(before.name);
                r.take(b, before.start, INT_MAX, -1);
                int best_end = start;
                double best = -1;
                for (int end = (start - 3000) / 512 * 512; end <= start; end += 512) {
                    r.take(b, before.start, end);
                    const double e = r.energy(start - 3000, start);
                    r.take(b, before.start, end, -1);
                    if (best < 0 || e < best) {
                        best = e;
                        best_end = end;
                    }
                }
                before.end = best_end;
                r.take(b, before.start, before.end);
            }
            // With the track before gone: correlation found the neighbourhood; the exact start leaves the
            // least, with an effect cued in the same frame taken away too
            // (the new-game jingle comes with the play music).
            double least = -1;
            int best = start;
            for (int s = start - 16; s <= start + 16; ++s) {
                for (const char* e : {"", "newgame.ogg", "endgame.ogg", "laserfire.ogg", "alienhit.ogg", "alienmiss.ogg"}) {
                    std::vector<const Track*> ts = {&t};
                    if (*e)
                        ts.push_back(&tracks_.at(e));
                    const double left = r.energy_without(ts, s, s, s + 4096);
                    if (least < 0 || left < least) {
                        least = left;
                        best = s;
                    }
                }
            }
            start = best;
            r.take(t, start, INT_MAX);
            heard.push_back({name, start, INT_MAX});
        }
        return heard;
    }

    // Effects: wherever something still sounds, the effect (or two effects
    // started in the same frame) that starts there and leaves silence
    // behind it. Unexplained sound ends the search.
    std::vector<Placed> explain_effects(Residual& r, std::string* unexplained)
    {
        static const char* const names[] = {"newgame.ogg", "endgame.ogg", "laserfire.ogg", "alienhit.ogg",
                                            "alienmiss.ogg"};
        std::vector<Placed> heard;
        int from = 0;
        while ((from = r.next_sound(from, TOLERANCE)) >= 0) {
            // Voices started in different frames sound at least a frame apart.
            const int window = PER_FRAME - 100;
            const double before = r.energy(from, from + window);
            // One effect, else two or three started in the same frame (a shot
            // can hit an alien as another passes; two shots can hit one alien).
            double best = -1;
            std::vector<const char*> found;
            int found_start = 0;
            for (size_t n = 1; n <= 3 && found.empty(); ++n) {
                std::vector<size_t> pick(n, 0);
                for (;;) {
                    // Multisets only: indices never decrease.
                    std::vector<const Track*> ts;
                    for (size_t k : pick)
                        ts.push_back(&tracks_.at(names[k]));
                    for (size_t lead : pick) {
                        const int start = from - tracks_.at(names[lead]).first_loud(TOLERANCE);
                        const double after = r.energy_without(ts, start, from, from + window);
                        if (after <= before * 1e-3 + 1e4 && (best < 0 || after < best)) {
                            best = after;
                            found.clear();
                            for (size_t k : pick)
                                found.push_back(names[k]);
                            found_start = start;
                        }
                    }
                    size_t k = n;
                    while (k > 0 && pick[k - 1] == std::size(names) - 1)
                        --k;
                    if (k == 0)
                        break;
                    ++pick[k - 1];
                    for (size_t m = k; m < n; ++m)
                        pick[m] = pick[k - 1];
                }
            }
            // Or two started a frame or two apart, one of them softly: the
            // window then holds the start of both.
            std::vector<int> found_starts;
            if (found.empty()) {
                for (const char* a : names) {
                    const Track& ta = tracks_.at(a);
                    const int sa = from - ta.first_loud(TOLERANCE);
                    if (r.energy_without({&ta}, sa, from, from + window) > before * 0.7)
                        continue;  // not the one that starts here
                    for (const char* b : names) {
                        const Track& tb = tracks_.at(b);
                        for (int sb = sa - 2 * PER_FRAME; sb < from + window; ++sb) {
                            const double after = r.energy_without({&ta, &tb}, {sa, sb}, from, from + window);
                            if (after <= before * 1e-3 + 1e4 && (best < 0 || after < best)) {
                                best = after;
                                found = {a, b};
                                found_starts = {sa, sb};
                            }
                        }
                    }
                }
            }
            if (!found_starts.empty()) {
                for (size_t i = 0; i < found.size(); ++i) {
                    r.take(tracks_.at(found[i]), found_starts[i], INT_MAX);
                    heard.push_back({found[i], found_starts[i], found_starts[i] + tracks_.at(found[i]).frames()});
                }
                continue;
            }
            if (found.empty()) {
                *unexplained = "unexplained sound at audio frame " + std::to_string(from) + " (video frame " +
                               std::to_string(from / PER_FRAME + 1) + ")";
                return heard;
            }
            for (const char* name : found) {
                r.take(tracks_.at(name), found_start, INT_MAX);
                heard.push_back({name, found_start, found_start + tracks_.at(name).frames()});
            }
        }
        return heard;
    }

    // Rounding of two overlapping voices and the odd clipped peak.
    static constexpr int TOLERANCE = 64;
    static std::map<std::string, Track> tracks_;
};

std::map<std::string, Track> Cues::tracks_;

// Video frame of an audio frame, the first being 1.
int video_frame(int audio_frame)
{
    return audio_frame / PER_FRAME + 1;
}

TEST_F(Cues, TitleMusicThenPlayMusicWithTheJingleAndALaserPerShot)
{
    const std::vector<int> shots = {40, 70, 100};
    std::string script = SKIP_LOGO + click(20, 320, row_y(0));
    for (int f : shots)
        script += key_press(f, FIRE);
    const Heard h = explain(capture(140, script), {{1, "moontitle.ogg"}, {20, "kelvora.ogg"}});
    const auto& music = h.music;
    const auto& effects = h.effects;
    EXPECT_EQ(h.unexplained, "");

    ASSERT_EQ(music.size(), 2u);
    EXPECT_LE(video_frame(music[0].start), 3) << "the title music starts with the logo";
    EXPECT_NEAR(video_frame(music[1].start), 20, 2) << "the play music starts with the game";
    EXPECT_NEAR(video_frame(music[0].end), 20, 2) << "the title music stops then";
    std::vector<std::string> names;
    for (const auto& e : effects)
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"newgame.ogg", "laserfire.ogg", "laserfire.ogg", "laserfire.ogg"}));
    if (effects.size() == 4) {
        EXPECT_NEAR(video_frame(effects[0].start), 20, 2) << "the jingle comes with Start Game";
        EXPECT_GE(effects[0].start, music[1].start) << "after the play music has started";
        for (size_t i = 0; i < shots.size(); ++i)
            EXPECT_NEAR(video_frame(effects[i + 1].start), shots[i], 2) << "shot " << i;
    }
}

TEST_F(Cues, PauseAndResumeSwitchTracksFromTheirBeginnings)
{
    const std::string script = SKIP_LOGO + click(20, 320, row_y(0)) + key_press(60, SPACE) + key_press(100, SPACE);
    const Heard h = explain(capture(150, script),
                            {{1, "moontitle.ogg"}, {20, "kelvora.ogg"}, {60, "moontitle.ogg"}, {100, "kelvora.ogg"}});
    const auto& music = h.music;
    const auto& effects = h.effects;
    EXPECT_EQ(h.unexplained, "") << "something other than the tracks from their beginnings plays";
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].name, "newgame.ogg");
    EXPECT_NEAR(video_frame(music[2].start), 60, 2) << "pause: the title music";
    EXPECT_NEAR(video_frame(music[3].start), 100, 2) << "resume: the play music";
    EXPECT_NEAR(video_frame(music[2].end), 100, 2);
}

TEST_F(Cues, VolumeOffIsSilenceWhileEverythingPlays)
{
    // Both volume rows once: Max -> Off; then a game with shots.
    const std::string script = SKIP_LOGO + click(10, 320, row_y(3)) + click(12, 320, row_y(4)) +
                               click(20, 320, row_y(0)) + key_press(40, FIRE) + key_press(50, FIRE);
    replay_result result;
    Residual r(capture(90, script, &result));
    EXPECT_EQ(result["shots_fired"], 2);
    EXPECT_GT(r.energy(0, 9 * PER_FRAME), 0) << "the title music plays before";
    // Music volume glides to 0 within one mixing call of the click.
    EXPECT_EQ(r.next_sound(13 * PER_FRAME + 1024, 0), -1) << "sound at volume Off";
}

// Video frames in [from, to] after which the state's counter went up, once
// per step.
std::vector<int> rises(const replay_result& r, const std::string& key, int from, int to)
{
    std::vector<int> frames;
    for (int f = from; f <= to; ++f)
        for (double n = r.at_frame(f, key) - r.at_frame(f - 1, key); n > 0; --n)
            frames.push_back(f);
    return frames;
}

// Each event frame paired, in order, with its own effect starting within
// [lead, lead + slack] video frames of it; what is left over on either side.
std::string unpaired(const std::vector<int>& events, std::vector<int> starts, int lead, int slack)
{
    std::string missing;
    for (int e : events) {
        auto it = std::find_if(starts.begin(), starts.end(),
                               [&](int s) { return s >= e + lead && s <= e + lead + slack; });
        if (it == starts.end())
            missing += " " + std::to_string(e);
        else
            starts.erase(it);
    }
    return missing;
}

// A whole game: a laser per shot, a hit sound per alien shot, a warning per
// alien that gets past, the end-game jingle once at the end, over the play
// music. Over a stretch of it the hits and warnings are placed against the
// frames at which the game's state counts an alien shot or escaped.
TEST_F(Cues, AWholeGameHasAnEffectForEveryEvent)
{
    // Firing from frame 200 on, once the jingle is over, leaves the play
    // music's start clear to find.
    std::string script = SKIP_LOGO + click(20, 320, row_y(0));
    for (int f = 200; f < 16100; f += 6)
        script += key_press(f, FIRE);
    // Aliens are shot and escape in this stretch; a state after each frame.
    constexpr int FROM = 1300, TO = 2500;
    std::vector<int> states;
    for (int f = FROM - 1; f <= TO; ++f)
        states.push_back(f);
    replay_result result;
    const auto out = capture(17400, script, &result, states);
    ASSERT_EQ(result["game_state"], 5) << "the game did not end";
    const Heard h = explain(out, {{1, "moontitle.ogg"}, {20, "kelvora.ogg"}});
    EXPECT_EQ(h.unexplained, "");
    std::map<std::string, int> count;
    for (const auto& e : h.effects)
        ++count[e.name];
    EXPECT_EQ(count["newgame.ogg"], 1);
    EXPECT_EQ(count["laserfire.ogg"], result["shots_fired"]);
    // An alien that gets past warns once and may still be shot; two shots
    // may hit one alien in the same frame.
    EXPECT_GE(count["alienmiss.ogg"], result["aliens_escaped"]);
    EXPECT_GE(count["alienhit.ogg"], 250 - result["aliens_escaped"]);
    EXPECT_GT(result["aliens_escaped"], 0);
    EXPECT_LT(result["aliens_escaped"], 250);
    ASSERT_EQ(count["endgame.ogg"], 1);
    EXPECT_EQ(h.effects.back().name, "endgame.ogg") << "the jingle ends the game";

    std::vector<int> hits, warnings;
    for (const auto& e : h.effects) {
        if (e.name == "alienhit.ogg")
            hits.push_back(video_frame(e.start));
        if (e.name == "alienmiss.ogg")
            warnings.push_back(video_frame(e.start));
    }
    const std::vector<int> shot = rises(result, "aliens_killed", FROM, TO);
    const std::vector<int> escaped = rises(result, "aliens_escaped", FROM, TO);
    ASSERT_FALSE(shot.empty());
    ASSERT_FALSE(escaped.empty());
    // A hit sounds with the frame the alien is shot in, within the aligned
    // start (video_frame() puts it one before the state's number for that
    // frame).
    EXPECT_EQ(unpaired(shot, hits, -2, 3), "") << "aliens shot without a hit sound at these frames";
    std::vector<int> hits_inside;
    for (int f : hits)
        if (f >= FROM + 2 && f <= TO)
            hits_inside.push_back(f);
    EXPECT_EQ(unpaired(hits_inside, shot, -1, 3), "") << "hit sounds with no alien shot";
    // The warning comes as the alien passes: it then flies on and fades out
    // for 200 frames before it counts as escaped.
    EXPECT_EQ(unpaired(escaped, warnings, -203, 5), "") << "escapes with no warning as the alien passed";
}

}  // namespace
