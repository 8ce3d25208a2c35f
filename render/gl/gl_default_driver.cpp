#include "render/default_driver.h"

#include <string>
#include <vector>

#include "render/renderer_choice.h"

namespace kelvora {

void InitDefault2DDriver()
{
    std::vector<TRenderer> order = PreferredRenderers();
    std::string error;
    // A bad environment value was reported by the program; it leaves the
    // default order.
    if (order.empty() && !RendererOrder("", order, error))
        order.clear();
    InitRast2DDriver(order);
}

}  // namespace kelvora
