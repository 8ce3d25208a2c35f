// Falling back from a context that cannot be had, on the real backend. CTest
// runs this with Mesa limited to OpenGL 2.1 (MESA_GL_VERSION_OVERRIDE), where
// no core context opens: the next choice must then open and draw, whatever
// kind of context the failed attempt asked for. Without the limit the first
// choice opens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kelvora/render/graphics.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"
#include "render/renderer_choice.h"
#include "tests/render/test_renderer.h"

using namespace kelvora;

namespace {

bool CoreContextsRefused()
{
    const char* v = std::getenv("MESA_GL_VERSION_OVERRIDE");
    return v && *v && std::atof(v) < 3.3;
}

// Opens graphics trying the order, draws a red square; the driver that drew.
TRenderer OpenAndDraw(const std::vector<TRenderer>& order)
{
    InitRast2DDriver(order);
    if (!Graphics(640, 480, 0, 0, 0)) {
        ADD_FAILURE() << LastGraphicsError();
        return order.front();
    }
    const TRenderer drew = CurrentRenderer();
    SetBlend(BLEND_SOLID);
    SetClsColor(0, 0, 0);
    Cls();
    SetColor(255, 0, 0);
    DrawRect(10, 10, 20, 20);
    TPixmapPtr p = GrabPixmap(0, 0, 40, 40);
    EXPECT_TRUE(p && (p->ReadPixel(15, 15) & 0xffffff) == 0xff0000 && (p->ReadPixel(35, 35) & 0xffffff) == 0)
        << RendererName(drew) << " did not draw";
    EndGraphics();
    return drew;
}

TEST(RendererFallback, AContextThatCannotOpenGivesTheNextChoice)
{
    SKIP_WITHOUT_X_SERVER();
    if (!TestingLegacy()) GTEST_SKIP() << "chooses its drivers itself";
    const bool refused = CoreContextsRefused();
    EXPECT_EQ(RendererName(OpenAndDraw({TRenderer::Core, TRenderer::Legacy})), refused ? "legacy" : "core");
    // Back to core after legacy: each attempt asks for its own kind.
    EXPECT_EQ(RendererName(OpenAndDraw({TRenderer::Core, TRenderer::Legacy})), refused ? "legacy" : "core");
    if (refused) {
        // The only choice failing is a clear failure, not a crash.
        InitRast2DDriver({TRenderer::Core});
        EXPECT_FALSE(Graphics(640, 480, 0, 0, 0));
        EXPECT_NE(LastGraphicsError().find("context"), std::string::npos) << LastGraphicsError();
    }
    // ES last: under X11 it takes EGL, from GLX.
    EXPECT_EQ(RendererName(OpenAndDraw({TRenderer::Core, TRenderer::ES})), refused ? "es" : "core");
    EXPECT_EQ(RendererName(OpenAndDraw({TRenderer::ES, TRenderer::Legacy})), "es");
}

}  // namespace
