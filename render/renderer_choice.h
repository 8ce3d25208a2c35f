// Which 2D driver draws: the fixed-function OpenGL driver ("legacy"), the
// shader driver on an OpenGL 3.3 core context ("core") or on OpenGL ES 3.0
// ("es"). The program asks for the contexts in the default order, a forced
// one first, and takes the first that opens; a context that cannot be had,
// or cannot run its driver, gives the next choice.
#pragma once

#include <string>
#include <vector>

#include "render/rast2d_driver.h"

namespace kelvora {

enum class TRenderer { Legacy, Core, ES };

// "legacy", "core", "es"; false for anything else.
bool ParseRenderer(const std::string& name, TRenderer& renderer);
std::string RendererName(TRenderer renderer);
// The order tried when none is forced.
std::vector<TRenderer> DefaultRendererOrder();
// The driver of each.
TRast2DDriver* RendererDriver(TRenderer renderer);

// Installs the choosing driver as the current graphics driver (default
// flags GFX_BACKBUFFER), to try these in order; an empty list is the
// default order. The first Graphics that succeeds makes its driver current.
void InitRast2DDriver(const std::vector<TRenderer>& order = {});
// The order from a forced name: the command line's (when not empty), else
// that of the environment variable the program names (TEngineSettings; none
// when empty), first, then the others in the default order; with no name
// the default order. False with error set for an unknown name.
bool RendererOrder(const std::string& command_line, const std::string& variable, std::vector<TRenderer>& order,
                   std::string& error);
// The order the platform's default driver tries (render/default_driver.h):
// the program sets it from its command line; empty, the environment
// variable's or the default order.
void PreferRenderers(const std::vector<TRenderer>& order);
const std::vector<TRenderer>& PreferredRenderers();
// The renderer whose driver draws now; the first choice before any opened.
TRenderer CurrentRenderer();

}  // namespace kelvora
