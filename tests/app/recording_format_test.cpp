// Recordings: what the program writes reads back as the same events, and a
// recording that is cut, changed, from another version, or out of the
// limits a real run stays in (players share them) is refused.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <stdexcept>

#include "app/input_script.h"
#include "game/saved_values.h"

namespace {

recording_info sample_info(const std::string& version = program_version())
{
    recording_info info;
    info.version = version;
    info.clock_ms = -5;  // the clock wraps: any int
    info.best_score = 1234;
    info.mode3d = 3;
    info.system = "Windows";
    info.frames = 90;
    info.final_state = {{"score", 70}, {"spawn_tmr", 12.5}};
    return info;
}

std::string sample(const std::string& version = program_version())
{
    return make_recording(sample_info(version), {"3 key down 162", "4 joy axis 0 -1", "90 key down 27"});
}

// The text of the error parsing `text` raises; empty when it is accepted.
std::string refusal(const std::string& text)
{
    try {
        parse_replay_script(text);
        return {};
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

TEST(RecordingFormat, AWholeRecordingReadsBackWithItsHeaderAndEvents)
{
    const recording_info info = check_recording(sample());
    EXPECT_EQ(info.clock_ms, -5);
    EXPECT_EQ(info.best_score, 1234);
    EXPECT_EQ(info.mode3d, 3);
    EXPECT_EQ(info.frames, 90);
    EXPECT_EQ(info.system, "Windows");
    EXPECT_EQ(info.final_state.at("spawn_tmr"), 12.5);
    const auto events = parse_replay_script(sample());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 3);
    EXPECT_EQ(events[0].what, "key down");
    EXPECT_EQ(events[0].a, 162);
    EXPECT_EQ(events[1].value, -1.0);
}

TEST(RecordingFormat, CutChangedOrForeignRecordingsAreRefused)
{
    const std::string good = sample();
    std::string changed = good;
    changed[changed.find("162")] = '2';
    const std::string foreign = sample("0.9\x1b[2J");
    const std::pair<std::string, std::string> cases[] = {
        {good.substr(0, good.size() / 2), "incomplete"},
        {changed, "damaged"},
        {foreign, "version 0.9?[2J of"},  // no terminal control reaches the message
        {good + "5 key down 1\n", "incomplete"},
    };
    for (const auto& [text, why] : cases)
        EXPECT_NE(refusal(text).find(why), std::string::npos) << why << ": " << refusal(text);
}

TEST(RecordingFormat, NumbersPastTheirLimitsAreRefusedAndTheLimitsThemselvesRead)
{
    const auto with = [](auto change, std::vector<std::string> lines = {"3 key down 162"}) {
        recording_info info = sample_info();
        change(info);
        return make_recording(info, lines);
    };
    const std::pair<std::string, std::string> refused[] = {
        {with([](recording_info& i) { i.frames = INT_MAX; }), "frame count is damaged"},
        {with([](recording_info& i) { i.best_score = MAX_GAME_SCORE + 1; }), "best_score line is damaged"},
        {with([](recording_info& i) { i.mode3d = 5; }), "mode3d line is damaged"},
        {with([](recording_info& i) { i.final_state["score"] = 1e300; }), "final state is damaged"},
        {"2147483648 key down 1\n", "line 1: expected a frame number from 1 to 5184000"},
        {"1 wheel 2147483647\n", "the wheel step count must be from -1000 to 1000"},
        {"1 mouse move 65536 0\n", "the x must be from -65535 to 65535"},
        {"1 char 2097152\n", "the character must be from 0 to 2097151"},
        {"1 joy axis 1 nan\n", "the position must be from -1 to 1"},
    };
    for (const auto& [text, why] : refused)
        EXPECT_NE(refusal(text).find(why), std::string::npos) << why << ": " << refusal(text);

    const std::string at_limits = with(
        [](recording_info& i) { i.frames = MAX_SCRIPT_FRAMES, i.clock_ms = INT_MIN, i.best_score = MAX_GAME_SCORE; },
        {"1 mouse move -65535 65535", "5184000 wheel -1000", "5184000 char 2097151"});
    EXPECT_EQ(refusal(at_limits), "");
    EXPECT_EQ(check_recording(at_limits).frames, MAX_SCRIPT_FRAMES);

    // Each plug makes a device, and the notches of a run add up in an int.
    std::string plugs;
    for (int i = 0; i < MAX_PADS_PLUGGED; ++i)
        plugs += "1 joy plug\n";
    EXPECT_EQ(refusal(plugs), "");
    EXPECT_NE(refusal(plugs + "2 joy plug\n").find("line 1001: more than 1000 pads"), std::string::npos);
    std::string wheel;
    for (long long notches = 0; notches <= INT_MAX; notches += MAX_WHEEL_STEPS)
        wheel += "1 wheel -1000\n";
    EXPECT_NE(refusal(wheel).find("line 2147484: the wheel turns more than"), std::string::npos);
}

TEST(RecordingFormat, OnlyAFileOfAtMostTheLimitIsReadAndWhatIsNotOneIsNamed)
{
    std::string text = "#" + std::string(MAX_SCRIPT_BYTES - 1, 'x');
    EXPECT_EQ(refusal(text), "");
    EXPECT_NE(refusal(text + '\n').find("larger than 64 MiB"), std::string::npos);

    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::pair<std::string, std::string> cases[] = {
        {folder, folder + " is a folder, not a recording"},
        {folder + "/no-such-recording.kvrec", folder + "/no-such-recording.kvrec: there is no such file"},
#ifndef _WIN32
        // No end and no size: read up to the limit only.
        {"/dev/zero", "/dev/zero is larger than 64 MiB, more than any recorded run takes"},
#endif
    };
    for (const auto& [path, message] : cases) {
        try {
            read_script_file(path);
            ADD_FAILURE() << "read: " << path;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

}  // namespace
