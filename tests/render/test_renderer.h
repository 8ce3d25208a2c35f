// The OpenGL tests run against each 2D driver: KELVORA3D_RENDERER (legacy,
// core or es, as the program takes it) picks the one, legacy when unset.
// CTest runs them once per driver.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "render/gl/gl_graphics.h"
#include "render/gl/gl_rast2d_driver.h"
#include "render/gl3/gl3_rast2d_driver.h"
#include "render/rast2d_graphics.h"
#include "render/renderer_choice.h"

using namespace kelvora;

// The game's variable: CTest sets it as players do.
constexpr const char* kRendererVariable = "KELVORA3D_RENDERER";

// The tests that draw need an X server (make test runs them under Xvfb);
// without one they skip, so that a single test can be run anywhere.
#define SKIP_WITHOUT_X_SERVER() \
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run through scripts/with-xvfb.sh)"

inline TRenderer TestRenderer()
{
    TRenderer r = TRenderer::Legacy;
    const char* name = std::getenv(kRendererVariable);
    if (name && *name && !ParseRenderer(name, r)) ADD_FAILURE() << "unknown " << kRendererVariable << " " << name;
    return r;
}

inline bool TestingLegacy() { return TestRenderer() == TRenderer::Legacy; }

// The driver under test installed, as the program installs the one it chose.
inline void InitTestRast2DDriver() { InitRast2DDriver({TestRenderer()}); }

// The context kind of the driver under test, for tests of the graphics driver alone.
inline TGLProfile TestProfile()
{
    switch (TestRenderer()) {
    case TRenderer::Core:
        return TGLProfile::Core;
    case TRenderer::ES:
        return TGLProfile::ES;
    default:
        return TGLProfile::Legacy;
    }
}

// The 2D driver drawing now.
inline TRast2DDriver* Current2DDriver()
{
    TRast2DGraphics* g = TRast2DGraphics::Current();
    return g ? g->_driver : nullptr;
}

// Draw calls the driver under test has sent so far.
inline unsigned long BatchesSent()
{
    return static_cast<TCore2DDriver*>(RendererDriver(TestRenderer()))->BatchesSent();
}

// Times the driver under test has waited for a software rasteriser.
inline unsigned long Finishes()
{
    return static_cast<TCore2DDriver*>(RendererDriver(TestRenderer()))->Finishes();
}

#define SKIP_UNLESS_LEGACY()                                                                  \
    if (!TestingLegacy())                                                                     \
    GTEST_SKIP() << "reads the fixed-function driver's own OpenGL state"
