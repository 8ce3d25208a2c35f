// Whether the pixels of the current OpenGL context are drawn by the CPU
// (Mesa's llvmpipe, softpipe and swrast, SwiftShader, Windows' own software
// OpenGL, Microsoft's basic render driver): presents there keep to whole
// scales and nearest sampling, since every screen pixel costs CPU time.
// The window system's own answer counts where it gives one; the renderer's
// name is only the fallback.
#pragma once

namespace kelvora {

// The renderer's accelerated flag from GLX_MESA_query_renderer for the
// current context: 1 or 0, -1 where the window system does not offer it.
int GLRendererAccelerated();

// The fallback: known software rasterisers by their GL_RENDERER string.
bool SoftwareRendererName(const char* renderer);

// With a context current: the flag where known, else the name.
bool GLRendersInSoftware();

}  // namespace kelvora
