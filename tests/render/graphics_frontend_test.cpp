// The graphics front end over a test driver, on virtual time: frame pacing,
// the vertical-sync measurement, and the bookkeeping of current and opened
// graphics.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "kelvora/render/graphics.h"
#include "kelvora/system/clock.h"
#include "kelvora/system/hook.h"
#include "system/scripted_system_driver.h"

using namespace kelvora;

namespace {

class TTestDriver;

class TTestGraphics : public TGraphics {
public:
    TTestGraphics(TTestDriver* d, int w, int h, int depth, int hertz, int flags)
        : driver(d), w(w), h(h), depth(depth), hertz(hertz), flags(flags)
    {
    }
    TGraphicsDriver* Driver() override;
    void GetSettings(int& width, int& height, int& d, int& hz, int& f) override
    {
        width = w;
        height = h;
        d = depth;
        hz = hertz;
        f = flags;
    }
    void Close() override { ++closes; }

    TTestDriver* driver;
    int w, h, depth, hertz, flags;
    int closes = 0;
};

// Presents on virtual time: a synchronised flip takes as long as the
// script says (a display's refresh), an immediate one takes render_ms.
class TTestDriver : public TGraphicsDriver {
public:
    explicit TTestDriver(std::shared_ptr<TVirtualClock> clock) : clock(std::move(clock)) {}

    std::vector<TGraphicsMode> GraphicsModes() override
    {
        ++mode_queries;
        return modes;
    }
    std::shared_ptr<TGraphics> AttachGraphics(void*, int) override { return nullptr; }
    std::shared_ptr<TGraphics> CreateGraphics(int w, int h, int depth, int hertz, int flags) override
    {
        if (fail_with) throw std::runtime_error(fail_with);
        if (refuse) return nullptr;
        if (no_swap_control) SetGraphicsVerticalBlankAvailable(false);
        return std::make_shared<TTestGraphics>(this, w, h, depth, hertz, flags);
    }
    void SetGraphics(const std::shared_ptr<TGraphics>& g) override { set_calls.push_back(g); }
    void Flip(int sync) override
    {
        flips.push_back(sync);
        if (sync == 1) {
            int ms = vsync_script.empty() ? vsync_ms : vsync_script[std::min(vsync_index++, vsync_script.size() - 1)];
            clock->Advance(ms);
        } else {
            clock->Advance(render_ms);
        }
    }

    std::shared_ptr<TVirtualClock> clock;
    std::vector<TGraphicsMode> modes;
    int mode_queries = 0;
    const char* fail_with = nullptr;
    bool refuse = false;
    std::vector<std::shared_ptr<TGraphics>> set_calls;
    std::vector<int> flips;
    int vsync_ms = 0;  // 0: the display does not wait
    bool no_swap_control = false;  // reports that no flip can wait
    std::vector<int> vsync_script;
    size_t vsync_index = 0;
    int render_ms = 0;
};

TGraphicsDriver* TTestGraphics::Driver() { return driver; }

class GraphicsFrontEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<TVirtualClock>(5000);
        SetClock(clock);
        system = std::make_shared<TScriptedSystemDriver>();
        SetSystemDriver(system);
        driver = std::make_unique<TTestDriver>(clock);
        SetGraphicsDriver(driver.get(), GFX_BACKBUFFER);
    }
    void TearDown() override
    {
        EndGraphics();
        SetGraphicsDriver(nullptr, 0);
        SetSystemDriver(nullptr);
        SetClock(nullptr);
    }
    // Durations of n paced flips.
    std::vector<int> TimeFlips(int n)
    {
        std::vector<int> d;
        for (int i = 0; i < n; ++i) {
            int t0 = Millisecs();
            Flip(-1);
            d.push_back(Millisecs() - t0);
        }
        return d;
    }

    std::shared_ptr<TVirtualClock> clock;
    std::shared_ptr<TScriptedSystemDriver> system;
    std::unique_ptr<TTestDriver> driver;
};

int Sum(const std::vector<int>& v)
{
    int s = 0;
    for (int x : v) s += x;
    return s;
}

TEST_F(GraphicsFrontEnd, SixtyHertzIsFortyFramesOf17AndTwentyOf16)
{
    ASSERT_NE(Graphics(640, 480, 0, 60, 0), nullptr);
    std::vector<int> d = TimeFlips(60);
    std::map<int, int> count;
    for (int x : d) ++count[x];
    EXPECT_EQ(Sum(d), 1000);
    EXPECT_EQ(count[17], 40);
    EXPECT_EQ(count[16], 20);
    EXPECT_EQ(count.size(), 2u);
    // A window never waits for the vertical blank.
    for (int s : driver->flips) EXPECT_EQ(s, 0);
    // And the next second is exact again.
    EXPECT_EQ(Sum(TimeFlips(60)), 1000);
}

TEST_F(GraphicsFrontEnd, OverrunFrameIsNotMadeUpLater)
{
    ASSERT_NE(Graphics(640, 480, 0, 60, 0), nullptr);
    TimeFlips(3);
    clock->Advance(50);  // the game took three slots for one frame
    int t0 = Millisecs();
    Flip(-1);
    EXPECT_EQ(Millisecs(), t0) << "a late frame is shown at once";
    // The following frames get whole slots, not shortened ones.
    std::vector<int> d = TimeFlips(6);
    for (int x : d) EXPECT_TRUE(x == 16 || x == 17) << x;
    EXPECT_GE(Sum(d), 6 * 16);

    // Time spent drawing counts towards the slot.
    driver->render_ms = 10;
    clock->Advance(5);
    t0 = Millisecs();
    Flip(-1);
    int took = Millisecs() - t0;
    EXPECT_TRUE(took == 21 || took == 22) << took;  // sleep 11 or 12, then 10 presenting
}

TEST_F(GraphicsFrontEnd, HertzZeroNeverPaces)
{
    ASSERT_NE(Graphics(640, 480, 0, 0, 0), nullptr);
    TimeFlips(5);
    EXPECT_EQ(clock->Millisecs(), 5000);
    EXPECT_EQ(driver->flips, (std::vector<int>{0, 0, 0, 0, 0}));

    // Full screen at hertz 0: no measurement, every flip on the vertical blank.
    driver->flips.clear();
    ASSERT_NE(Graphics(640, 480, 32, 0, 0), nullptr);
    EXPECT_TRUE(driver->flips.empty());
    Flip(-1);
    EXPECT_EQ(driver->flips, (std::vector<int>{1}));
}

TEST_F(GraphicsFrontEnd, ReliableVerticalSyncTurnsSoftwarePacingOff)
{
    driver->vsync_script = {16, 17, 16};
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_EQ(driver->flips, (std::vector<int>{1, 1, 1})) << "three good flips settle it";
    driver->flips.clear();
    int t0 = Millisecs();
    Flip(-1);
    EXPECT_EQ(driver->flips, (std::vector<int>{1}));
    EXPECT_EQ(Millisecs() - t0, 16) << "only the vertical blank waits";
}

TEST_F(GraphicsFrontEnd, SyncMeasurementNeedsThreeInARow)
{
    // An odd flip in between starts the count again.
    driver->vsync_script = {16, 17, 30, 16, 18, 15, 17, 16};
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_EQ(driver->flips.size(), 8u);
    driver->flips.clear();
    Flip(-1);
    EXPECT_EQ(driver->flips, (std::vector<int>{1}));
}

TEST_F(GraphicsFrontEnd, UnreliableVerticalSyncKeepsSoftwarePacing)
{
    // A 200 Hz display: every flip is 5 ms, never the 16 that 60 Hz needs.
    driver->vsync_ms = 5;
    int t0 = Millisecs();
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_EQ(Millisecs() - t0, 30) << "six flips shorter than half a period end the measurement";
    driver->flips.clear();
    std::vector<int> d = TimeFlips(60);
    EXPECT_EQ(Sum(d), 1000);
    for (int s : driver->flips) EXPECT_EQ(s, 0);

    // A display whose flips take no time at all (no swap control): the
    // measurement still ends rather than spinning on a clock that never moves.
    driver->vsync_ms = 0;
    driver->flips.clear();
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_EQ(driver->flips.size(), 6u);
    EXPECT_EQ(Sum(TimeFlips(60)), 1000);

    // A 30 Hz display (33 ms flips) waits but never at 60's period: measured
    // to the end of the second, never mistaken for no wait.
    driver->vsync_ms = 33;
    driver->flips.clear();
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_EQ(driver->flips.size(), 31u);
    EXPECT_EQ(Sum(TimeFlips(60)), 1000);
}

TEST_F(GraphicsFrontEnd, WithoutSwapControlNothingIsMeasured)
{
    // Flips that cannot wait need no second of trying: software pacing at once.
    driver->no_swap_control = true;
    driver->vsync_ms = 16;
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_TRUE(driver->flips.empty());
    EXPECT_EQ(Sum(TimeFlips(60)), 1000);
    for (int s : driver->flips) EXPECT_EQ(s, 0);

    // The report holds for that context only: the next one is measured.
    driver->no_swap_control = false;
    driver->vsync_script = {16, 17, 16};
    driver->flips.clear();
    ASSERT_NE(Graphics(640, 480, 32, 60, 0), nullptr);
    EXPECT_EQ(driver->flips, (std::vector<int>{1, 1, 1}));
}

TEST_F(GraphicsFrontEnd, ExplicitSyncAndForeignGraphicsAreNotPaced)
{
    ASSERT_NE(Graphics(640, 480, 0, 60, 0), nullptr);
    Flip(0);
    Flip(1);
    EXPECT_EQ(driver->flips, (std::vector<int>{0, 1}));
    EXPECT_EQ(clock->Millisecs(), 5000);

    // A context made current by hand is flipped, not paced: on the vertical
    // blank in full screen, at once in a window.
    auto other = CreateGraphics(320, 200, 16, 70, 0);
    SetGraphics(other);
    driver->flips.clear();
    Flip(-1);
    auto window = CreateGraphics(320, 200, 0, 70, 0);
    SetGraphics(window);
    Flip(-1);
    EXPECT_EQ(driver->flips, (std::vector<int>{1, 0}));
    EXPECT_EQ(clock->Millisecs(), 5000);
}

TEST_F(GraphicsFrontEnd, FlipHooksRunBeforeThePresent)
{
    ASSERT_NE(Graphics(640, 480, 0, 60, 0), nullptr);
    static TTestDriver* seen_driver;
    static std::vector<size_t> flips_before_hook;
    seen_driver = driver.get();
    flips_before_hook.clear();
    THookFunc hook = [](int, THookData data, THookData) -> THookData {
        flips_before_hook.push_back(seen_driver->flips.size());
        return data;
    };
    AddHook(FlipHook(), hook, nullptr, 0);
    Flip(-1);
    Flip(0);
    RemoveHook(FlipHook(), hook, nullptr);
    Flip(0);
    EXPECT_EQ(flips_before_hook, (std::vector<size_t>{0, 1}));
}

TEST_F(GraphicsFrontEnd, GraphicsOpensAndEndGraphicsCloses)
{
    int seq0 = GraphicsSeq();
    EXPECT_NE(seq0, 0);
    auto g = Graphics(640, 480, 32, 0, GFX_DEPTHBUFFER);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(CurrentGraphics(), g);
    EXPECT_EQ(GraphicsWidth(), 640);
    EXPECT_EQ(GraphicsHeight(), 480);
    EXPECT_EQ(GraphicsDepth(), 32);
    EXPECT_EQ(GraphicsHertz(), 0);
    EXPECT_EQ(GraphicsFlags(), GFX_DEPTHBUFFER | GFX_BACKBUFFER) << "default flags are added";
    int seq1 = GraphicsSeq();
    EXPECT_NE(seq1, seq0);
    // Full screen puts the pointer in the middle of the picture.
    EXPECT_EQ(system->warp_x, 320);
    EXPECT_EQ(system->warp_y, 240);

    EndGraphics();
    EXPECT_EQ(static_cast<TTestGraphics*>(g.get())->closes, 1);
    EXPECT_EQ(CurrentGraphics(), nullptr);
    EXPECT_EQ(GraphicsWidth(), 0);
    EXPECT_EQ(GraphicsHeight(), 0);
    EXPECT_EQ(GraphicsFlags(), 0);
    EXPECT_NE(GraphicsSeq(), seq1) << "textures made before must be rebuilt";
    int seq2 = GraphicsSeq();
    EndGraphics();  // nothing open: nothing changes
    EXPECT_EQ(GraphicsSeq(), seq2);
    EXPECT_EQ(static_cast<TTestGraphics*>(g.get())->closes, 1);
}

TEST_F(GraphicsFrontEnd, FailureGivesNullWithReasonAndLeavesPreviousClosed)
{
    auto g = Graphics(640, 480, 0, 60, 0);
    ASSERT_NE(g, nullptr);
    driver->fail_with = "GLGraphicsDriver failed to set display mode";
    int seq = GraphicsSeq();
    EXPECT_EQ(Graphics(800, 600, 32, 60, 0), nullptr);
    EXPECT_EQ(LastGraphicsError(), "GLGraphicsDriver failed to set display mode");
    EXPECT_EQ(static_cast<TTestGraphics*>(g.get())->closes, 1) << "the old display was closed first";
    EXPECT_EQ(GraphicsSeq(), seq + 1) << "only the close counted";
    EXPECT_EQ(GraphicsWidth(), 0);

    driver->fail_with = nullptr;
    driver->refuse = true;
    EXPECT_EQ(CreateGraphics(640, 480, 0, 60, 0), nullptr);
    EXPECT_FALSE(LastGraphicsError().empty());

    driver->refuse = false;
    EXPECT_NE(Graphics(640, 480, 0, 60, 0), nullptr);
    EXPECT_TRUE(LastGraphicsError().empty());
}

TEST_F(GraphicsFrontEnd, ModeQueriesUseOneCachedListPerDriver)
{
    driver->modes = {{640, 480, 16, 60}, {640, 480, 32, 75}, {1024, 768, 32, 60}};
    EXPECT_EQ(CountGraphicsModes(), 3);
    EXPECT_EQ(GraphicsModeExists(0, 0, 32, 0), 1);
    EXPECT_EQ(GraphicsModeExists(640, 480, 0, 0), 1);
    EXPECT_EQ(GraphicsModeExists(640, 480, 32, 60), 0);
    EXPECT_EQ(GraphicsModeExists(0, 0, 24, 0), 0);
    int w, h, d, hz;
    GetGraphicsMode(1, w, h, d, hz);
    EXPECT_EQ(w * 10000 + h, 640 * 10000 + 480);
    EXPECT_EQ(d, 32);
    EXPECT_EQ(hz, 75);
    GetGraphicsMode(3, w, h, d, hz);
    EXPECT_EQ(w + h + d + hz, 0) << "past the end reads as nothing";
    EXPECT_EQ(GraphicsModes().size(), 3u);
    EXPECT_EQ(driver->mode_queries, 1);
    EXPECT_EQ(GraphicsModes()[2].ToString(), "1024x768x32@60Hz");

    // A new driver has its own list; coming back asks again.
    TTestDriver other(clock);
    SetGraphicsDriver(&other, 0);
    EXPECT_EQ(CountGraphicsModes(), 0);
    SetGraphicsDriver(driver.get(), GFX_BACKBUFFER);
    EXPECT_EQ(CountGraphicsModes(), 3);
    EXPECT_EQ(driver->mode_queries, 2);
}

TEST_F(GraphicsFrontEnd, CurrentGraphicsFollowsItsDriver)
{
    auto a = Graphics(640, 480, 0, 60, 0);
    TTestDriver other(clock);
    auto b = std::make_shared<TTestGraphics>(&other, 320, 240, 0, 0, 0);
    driver->set_calls.clear();
    SetGraphics(b);
    EXPECT_EQ(GetGraphicsDriver(), &other);
    ASSERT_EQ(driver->set_calls.size(), 1u);
    EXPECT_EQ(driver->set_calls[0], nullptr) << "the old driver lets go of its context";
    ASSERT_EQ(other.set_calls.size(), 1u);
    EXPECT_EQ(other.set_calls[0], b);
    EXPECT_EQ(GraphicsWidth(), 320);

    // Closing the current graphics leaves nothing current; closing what
    // Graphics opened means EndGraphics has nothing left to close.
    CloseGraphics(b);
    EXPECT_EQ(CurrentGraphics(), nullptr);
    EXPECT_EQ(GraphicsWidth(), 0);
    CloseGraphics(a);
    int seq = GraphicsSeq();
    EndGraphics();
    EXPECT_EQ(GraphicsSeq(), seq);
    EXPECT_EQ(static_cast<TTestGraphics*>(a.get())->closes, 1);
    CloseGraphics(nullptr);

    // Changing driver drops the current graphics but keeps the new flags.
    SetGraphicsDriver(driver.get(), GFX_BACKBUFFER | GFX_ALPHABUFFER);
    EXPECT_EQ(DefaultGraphicsFlags(), GFX_BACKBUFFER | GFX_ALPHABUFFER);
    EXPECT_EQ(CurrentGraphics(), nullptr);
}

TEST(GraphicsNoDriver, GraphicsSaysWhy)
{
    SetGraphicsDriver(nullptr, 0);
    EXPECT_EQ(Graphics(640, 480, 0, 60, 0), nullptr);
    EXPECT_FALSE(LastGraphicsError().empty());
    Flip(-1);  // harmless
}

}  // namespace
