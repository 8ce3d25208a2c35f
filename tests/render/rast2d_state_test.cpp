// The render state and its module functions, observed through the
// recording driver: what reaches the driver, in which order, with which
// arguments.
#include <gtest/gtest.h>

#include <cmath>

#include "kelvora/render/image_font.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"
#include "render/recording_rast2d_driver.h"
#include "tests/render/recording_fixture.h"

using namespace kelvora;

namespace {

using Rast2DStateTest = RecordingGraphicsTest;

TEST_F(Rast2DStateTest, FirstActivationClearsBothBuffersOnlyOnce) {
    TRecordingRast2DDriver d;
    TGraphicsPtr g = d.CreateGraphics(320, 200, 0, 0, 0);
    d.ClearCalls();
    d.SetGraphics(g);
    std::vector<std::string> names = d.Names();
    // The whole state first, then clear/flip twice.
    std::vector<std::string> expected = {"SetGraphics", "SetBlend",     "SetColor",    "SetAlpha",
                                         "SetClsColor", "SetLineWidth", "SetTransform", "SetViewport",
                                         "Cls",         "Flip",         "Cls",          "Flip"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(d.Last("SetViewport")->ToString(), "SetViewport 0 0 320 200");
    EXPECT_EQ(d.Last("SetBlend")->Arg(0), BLEND_MASK);
    EXPECT_EQ(d.Last("Flip")->Arg(0), 0);

    d.SetGraphics(nullptr);
    EXPECT_EQ(TRast2DGraphics::Current(), nullptr);
    d.ClearCalls();
    d.SetGraphics(g);
    EXPECT_EQ(d.Count("Cls"), 0);
    EXPECT_EQ(d.Count("Flip"), 0);
    EXPECT_EQ(d.Count("SetBlend"), 1);
    d.SetGraphics(nullptr);
}

TEST_F(Rast2DStateTest, SettingsSurviveAChangeOfContext) {
    SetColor(10, 20, 30);
    SetAlpha(0.25f);
    SetBlend(BLEND_LIGHT);
    SetClsColor(1, 2, 3);
    SetLineWidth(3.0f);
    SetRotation(90.0f);
    SetViewport(10, 20, 100, 50);
    SetOrigin(5, 6);
    SetHandle(7, 8);

    TGraphicsPtr other = driver.CreateGraphics(640, 480, 0, 60, 0);
    driver.SetGraphics(other);
    driver.ClearCalls();
    driver.SetGraphics(graphics);
    EXPECT_EQ(driver.Last("SetColor")->ToString(), "SetColor 10 20 30");
    EXPECT_EQ(driver.Last("SetAlpha")->ToString(), "SetAlpha 0.25");
    EXPECT_EQ(driver.Last("SetBlend")->ToString(), "SetBlend 4");
    EXPECT_EQ(driver.Last("SetClsColor")->ToString(), "SetClsColor 1 2 3");
    EXPECT_EQ(driver.Last("SetLineWidth")->ToString(), "SetLineWidth 3");
    EXPECT_EQ(driver.Last("SetViewport")->ToString(), "SetViewport 10 20 100 50");
    const TRast2DCall* t = driver.Last("SetTransform");
    ASSERT_NE(t, nullptr);
    EXPECT_NEAR(t->Arg(0), 0.0, 1e-6);
    EXPECT_NEAR(t->Arg(1), -1.0, 1e-6);
    EXPECT_NEAR(t->Arg(2), 1.0, 1e-6);
    EXPECT_NEAR(t->Arg(3), 0.0, 1e-6);
    float x, y;
    GetOrigin(x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
    GetHandle(x, y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 8);
}

TEST_F(Rast2DStateTest, GettersReturnWhatWasStoredUnclamped) {
    SetColor(300, -5, 128);
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r, 300);
    EXPECT_EQ(g, -5);
    EXPECT_EQ(b, 128);
    // Clamping is the driver's business: it sees the raw values.
    EXPECT_EQ(driver.Last("SetColor")->ToString(), "SetColor 300 -5 128");

    SetAlpha(1.5f);
    EXPECT_EQ(GetAlpha(), 1.5f);
    SetBlend(77);
    EXPECT_EQ(GetBlend(), 77);
    SetScale(-1, 2);
    float sx, sy;
    GetScale(sx, sy);
    EXPECT_EQ(sx, -1);
    EXPECT_EQ(sy, 2);
    SetTransform(30, 3, 4);
    EXPECT_EQ(GetRotation(), 30);
    GetScale(sx, sy);
    EXPECT_EQ(sx, 3);
    EXPECT_EQ(sy, 4);
    int vx, vy, vw, vh;
    GetViewport(vx, vy, vw, vh);
    EXPECT_EQ(vw, 640);
    EXPECT_EQ(vh, 480);
}

TEST_F(Rast2DStateTest, MatrixFollowsRotationAndScale) {
    TMatrix2D m = TransformMatrix(90, 1, 1);
    EXPECT_NEAR(m.ix, 0, 1e-7);
    EXPECT_NEAR(m.iy, -1, 1e-7);
    EXPECT_NEAR(m.jx, 1, 1e-7);
    EXPECT_NEAR(m.jy, 0, 1e-7);
    m = TransformMatrix(30, 2, 3);
    EXPECT_NEAR(m.ix, std::cos(M_PI / 6) * 2, 1e-6);
    EXPECT_NEAR(m.iy, -0.5 * 3, 1e-6);
    EXPECT_NEAR(m.jx, 0.5 * 2, 1e-6);
    EXPECT_NEAR(m.jy, std::cos(M_PI / 6) * 3, 1e-6);

    SetScale(-1, 1);
    EXPECT_EQ(driver.Last("SetTransform")->ToString(), "SetTransform -1 0 0 1");
    TRast2DGraphics* g = TRast2DGraphics::Current();
    EXPECT_EQ(g->tform_ix, -1);
    EXPECT_EQ(g->tform_jy, 1);
}

TMatrix2D heard;
int heard_count = 0;
void Listen(const TMatrix2D& m) {
    heard = m;
    ++heard_count;
}

TEST_F(Rast2DStateTest, TransformListenerHearsEveryChange) {
    heard_count = 0;
    // The collision code listens from the start: it gets its listener back.
    const TTransformListener collisions = SetTransformListener(Listen);
    SetRotation(180);
    SetScale(2, 2);
    SetTransform(0, 3, 1);
    EXPECT_EQ(SetTransformListener(collisions), &Listen);
    SetRotation(45);
    EXPECT_EQ(heard_count, 3);
    EXPECT_FLOAT_EQ(heard.ix, 3);
    EXPECT_FLOAT_EQ(heard.jy, 1);
}

TEST_F(Rast2DStateTest, PrimitivesGetHandleAndOrigin) {
    SetHandle(8, 4);
    DrawRect(100, 100, 16, 8);
    EXPECT_EQ(driver.Last("DrawRect")->ToString(), "DrawRect -8 -4 8 4 100 100");
    DrawOval(10, 20, 30, 40);
    EXPECT_EQ(driver.Last("DrawOval")->ToString(), "DrawOval -8 -4 22 36 10 20");

    SetOrigin(50, 60);
    Plot(1, 2);  // no handle for points
    EXPECT_EQ(driver.Last("Plot")->ToString(), "Plot 51 62");
    DrawPoly({0, 0, 10, 0, 10, 10});
    EXPECT_EQ(driver.Last("DrawPoly")->ToString(), "DrawPoly -8 -4 50 60 0 0 10 0 10 10");
    DrawRect(0, 0, 2, 2);
    EXPECT_EQ(driver.Last("DrawRect")->ToString(), "DrawRect -8 -4 -6 -2 50 60");
}

TEST_F(Rast2DStateTest, LineEndPixelIsPlottedOnlyWhenAsked) {
    DrawLine(10, 20, 30, 20, 0);
    EXPECT_EQ(driver.Last("DrawLine")->ToString(), "DrawLine 0 0 20 0 10 20");
    EXPECT_EQ(driver.Count("Plot"), 0);

    // The end pixel follows the line through handle, rotation and origin.
    SetRotation(90);
    SetHandle(0, -2);
    SetOrigin(1, 1);
    driver.ClearCalls();
    DrawLine(10, 20, 30, 20, 1);
    EXPECT_EQ(driver.Names(), (std::vector<std::string>{"DrawLine", "Plot"}));
    EXPECT_EQ(driver.Last("DrawLine")->ToString(), "DrawLine 0 2 20 2 11 21");
    const TRast2DCall* p = driver.Last("Plot");
    // Local end (20, 2) turned 90 degrees is (-2, 20).
    EXPECT_NEAR(p->Arg(0), 11 - 2, 1e-4);
    EXPECT_NEAR(p->Arg(1), 21 + 20, 1e-4);
}

TEST_F(Rast2DStateTest, PixmapCallsPassThrough) {
    TPixmapPtr none;
    DrawPixmap(none, 1, 2);
    EXPECT_EQ(driver.Count("DrawPixmap"), 0);
    driver.SetGrabPixels(0xFF102030u);
    TPixmapPtr p = GrabPixmap(1, 2, 3, 4);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(driver.Last("GrabPixmap")->ToString(), "GrabPixmap 1 2 3 4");
    EXPECT_EQ(driver.Last("GrabPixmap")->pixmap, p);
    Cls();
    EXPECT_EQ(driver.Names().back(), "Cls");
}

TEST_F(Rast2DStateTest, ImageFontNullSelectsTheBuiltInFont) {
    TImageFontPtr builtin = GetImageFont();
    ASSERT_NE(builtin, nullptr);
    EXPECT_EQ(builtin->_src_font, nullptr);
    auto other = std::make_shared<TImageFont>();
    SetImageFont(other);
    EXPECT_EQ(GetImageFont(), other);
    SetImageFont(nullptr);
    EXPECT_EQ(GetImageFont(), builtin);
    EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(Rast2DStateTest, TextGlyphsFollowThePenThroughHandleOriginAndRotation) {
    SetHandle(2, 3);
    SetOrigin(10, 20);
    DrawText("AB\x80" "C", 100, 50);
    std::vector<TRast2DCall> quads = driver.CallsNamed("DrawFrame");
    ASSERT_EQ(quads.size(), 3u) << "one quad per drawable character";
    EXPECT_EQ(quads[0].ToString(), "DrawFrame 0 0 8 16 108 67");
    EXPECT_EQ(quads[1].ToString(), "DrawFrame 0 0 8 16 116 67");
    EXPECT_EQ(quads[2].ToString(), "DrawFrame 0 0 8 16 124 67") << "code 128 takes no room";
    // Each glyph image is made into a frame once.
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 3);
    EXPECT_NE(quads[0].frame, quads[1].frame);

    driver.ClearCalls();
    SetRotation(90);
    DrawText("AA", 100, 50);
    quads = driver.CallsNamed("DrawFrame");
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 0);
    EXPECT_EQ(quads[0].frame, quads[1].frame);
    // The handle turns with the text; the pen moves down the screen.
    EXPECT_NEAR(quads[0].Arg(4), 110 + 3, 1e-4);
    EXPECT_NEAR(quads[0].Arg(5), 70 - 2, 1e-4);
    EXPECT_NEAR(quads[1].Arg(4), 110 + 3, 1e-4);
    EXPECT_NEAR(quads[1].Arg(5), 70 - 2 + 8, 1e-4);
    EXPECT_EQ(TextWidth("AA\x80"), 16);
}

TEST(Rast2DFrontEnd, RecordingDriverOpensGraphicsWithoutADisplay) {
    TRecordingRast2DDriver d;
    SetGraphicsDriver(&d, GFX_BACKBUFFER);
    TGraphicsPtr g = Graphics(640, 480, 0, 0, 0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(GraphicsWidth(), 640);
    EXPECT_EQ(GraphicsHeight(), 480);
    EXPECT_EQ(d.Last("CreateGraphics")->ToString(), "CreateGraphics 640 480 0 0 2");
    SetColor(1, 2, 3);
    DrawRect(0, 0, 10, 10);
    EXPECT_EQ(d.Names().back(), "DrawRect");
    Flip(0);
    EXPECT_EQ(d.Last("Flip")->Arg(0), 0);
    EndGraphics();
    EXPECT_EQ(TRast2DGraphics::Current(), nullptr);
    EXPECT_EQ(GraphicsWidth(), 0);
    SetGraphicsDriver(nullptr, GFX_BACKBUFFER);
}

TEST_F(Rast2DStateTest, ClosedStateForgetsItsContext) {
    TGraphicsPtr g = driver.CreateGraphics(100, 100, 0, 0, 0);
    auto* state = dynamic_cast<TRast2DGraphics*>(g.get());
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->Driver(), &driver);
    g->Close();
    EXPECT_EQ(state->Driver(), nullptr);
    int w = 1, h = 1, d = 1, hz = 1, f = 1;
    g->GetSettings(w, h, d, hz, f);
    EXPECT_EQ(w, 0);
    g->Close();  // a second close does nothing
}

}  // namespace
