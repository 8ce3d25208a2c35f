#include "render/default_driver.h"

#include <cstdio>
#include <vector>

#include "render/gl/gl_graphics.h"
#include "render/renderer_choice.h"

namespace kelvora {

void InitDefault2DDriver(const std::string& renderer_variable)
{
    std::vector<TRenderer> order = PreferredRenderers();
    std::string error;
    if (order.empty() && !RendererOrder("", renderer_variable, order, error)) {
        std::fprintf(stderr, "%s; the renderers are tried in the default order\n", error.c_str());
        order.clear();
    }
    InitRast2DDriver(order);
}

void ShutdownDefault2DDriver()
{
    SetGraphicsDriver(nullptr, 0);
    GLGraphicsDriver()->EndSharedContext();
}

}  // namespace kelvora
