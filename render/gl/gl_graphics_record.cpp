// What every backend's TGLGraphics does alike: it reads its record's
// settings and, closing, hands the record back to the backend.
#include "render/gl/gl_graphics.h"

#include <vector>

namespace kelvora {

namespace {

std::vector<TGLContextHook>& Hooks()
{
    static std::vector<TGLContextHook> hooks;
    return hooks;
}

}  // namespace

void AddGLContextHook(TGLContextHook hook)
{
    for (TGLContextHook h : Hooks())
        if (h == hook) return;
    Hooks().push_back(hook);
}

void NotifyGLContextHooks(void* gl_context, bool lost)
{
    for (TGLContextHook h : Hooks()) h(gl_context, lost);
}

TGLGraphics::~TGLGraphics() { Close(); }

TGraphicsDriver* TGLGraphics::Driver() { return GLGraphicsDriver(); }

void TGLGraphics::GetSettings(int& width, int& height, int& depth, int& hertz, int& flags)
{
    const TGLContextSettings s = _context ? GLContextSettings(*_context) : TGLContextSettings{};
    width = s.width;
    height = s.height;
    depth = s.depth;
    hertz = s.hertz;
    flags = s.flags;
}

void TGLGraphics::Close()
{
    if (!_context) return;
    TGLContext* rec = _context;
    _context = nullptr;
    DestroyGLContext(rec);
}

}  // namespace kelvora
