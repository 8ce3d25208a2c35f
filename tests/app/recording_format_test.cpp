// Recordings: what the program writes reads back as the same events, and a
// recording that is cut, changed or from another version is refused.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/input_script.h"

namespace {

std::string sample(const std::string& version = program_version())
{
    recording_info info;
    info.version = version;
    info.clock_ms = -5;  // the clock wraps: any int
    info.best_score = 1234;
    info.mode3d = 3;
    info.frames = 90;
    info.final_state = {{"score", 70}, {"spawn_tmr", 12.5}};
    return make_recording(info, {"3 key down 162", "4 joy axis 0 -1", "90 key down 27"});
}

TEST(RecordingFormat, AWholeRecordingReadsBackWithItsHeaderAndEvents)
{
    const recording_info info = check_recording(sample());
    EXPECT_EQ(info.clock_ms, -5);
    EXPECT_EQ(info.best_score, 1234);
    EXPECT_EQ(info.mode3d, 3);
    EXPECT_EQ(info.frames, 90);
    EXPECT_EQ(info.final_state.at("spawn_tmr"), 12.5);
    const auto events = parse_replay_script(sample());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 3);
    EXPECT_EQ(events[0].a, 162);
    EXPECT_EQ(events[1].value, -1.0);
}

TEST(RecordingFormat, CutChangedOrForeignRecordingsAreRefused)
{
    const std::string good = sample();
    std::string changed = good;
    changed[changed.find("162")] = '2';
    const std::string foreign = sample("0.9");
    const std::pair<std::string, std::string> cases[] = {
        {good.substr(0, good.size() / 2), "incomplete"},
        {changed, "damaged"},
        {foreign, "version 0.9"},
        {good + "5 key down 1\n", "incomplete"},
    };
    for (const auto& [text, why] : cases) {
        try {
            parse_replay_script(text);
            ADD_FAILURE() << "accepted: " << why;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
}

}  // namespace
