#include "render/renderer_choice.h"

#include <cstdio>
#include <cstdlib>

#include "render/gl/gl_rast2d_driver.h"
#include "render/gl3/gl3_rast2d_driver.h"
#include "render/rast2d_graphics.h"

namespace kelvora {

namespace {

// Stands as the graphics driver until a context opens: CreateGraphics tries
// each choice in turn. The graphics it returns belongs to the driver that
// made it, so the front end's SetGraphics makes that driver current.
class TChoosingDriver : public TRast2DDriver {
public:
    std::vector<TRenderer> order;

    TRast2DDriver* First() { return RendererDriver(order.empty() ? TRenderer::Legacy : order.front()); }

    std::vector<TGraphicsMode> GraphicsModes() override { return First()->GraphicsModes(); }
    TGraphicsPtr AttachGraphics(void* widget, int flags) override
    {
        return Try([&](TRast2DDriver* d) { return d->AttachGraphics(widget, flags); });
    }
    TGraphicsPtr CreateGraphics(int width, int height, int depth, int hertz, int flags) override
    {
        return Try([&](TRast2DDriver* d) { return d->CreateGraphics(width, height, depth, hertz, flags); });
    }
    void SetGraphics(const TGraphicsPtr& g) override
    {
        if (!g) return;  // nothing of its own is ever current
        g->Driver()->SetGraphics(g);
    }
    void Flip(int) override {}

    // Nothing draws through it: no graphics of its own is ever current.
    TImageFramePtr CreateFrameFromPixmap(const TPixmapPtr&, int) override { return nullptr; }
    void SetBlend(int) override {}
    void SetAlpha(float) override {}
    void SetColor(int, int, int) override {}
    void SetClsColor(int, int, int) override {}
    void SetViewport(int, int, int, int) override {}
    void SetTransform(float, float, float, float) override {}
    void SetLineWidth(float) override {}
    void Cls() override {}
    void Plot(float, float) override {}
    void DrawLine(float, float, float, float, float, float) override {}
    void DrawRect(float, float, float, float, float, float) override {}
    void DrawOval(float, float, float, float, float, float) override {}
    void DrawPoly(const std::vector<float>&, float, float, float, float) override {}
    void DrawPixmap(const TPixmapPtr&, int, int) override {}
    TPixmapPtr GrabPixmap(int, int, int, int) override { return nullptr; }

private:
    template <class F>
    TGraphicsPtr Try(F open)
    {
        std::string why;
        for (TRenderer r : order) {
            SetLastGraphicsError("");
            if (TGraphicsPtr g = open(RendererDriver(r))) {
                SetLastGraphicsError("");
                if (!why.empty())
                    std::fprintf(stderr, "OpenGL drivers that could not start: %s; drawing with %s\n", why.c_str(),
                                 RendererName(r).c_str());
                return g;
            }
            const std::string e = LastGraphicsError();
            why += (why.empty() ? "" : "; ") + RendererName(r) + ": " + (e.empty() ? "no context" : e);
        }
        SetLastGraphicsError(order.size() > 1 ? "no OpenGL driver could start (" + why + ")" : why);
        return nullptr;
    }
};

TChoosingDriver& Chooser()
{
    static TChoosingDriver driver;
    return driver;
}

}  // namespace

bool ParseRenderer(const std::string& name, TRenderer& renderer)
{
    if (name == "legacy")
        renderer = TRenderer::Legacy;
    else if (name == "core")
        renderer = TRenderer::Core;
    else if (name == "es")
        renderer = TRenderer::ES;
    else
        return false;
    return true;
}

std::string RendererName(TRenderer renderer)
{
    switch (renderer) {
    case TRenderer::Core:
        return "core";
    case TRenderer::ES:
        return "es";
    default:
        return "legacy";
    }
}

// The fixed-function driver first: its pictures are the reference and it
// runs on every desktop driver, old ones included. On this machine's Mesa
// (make bench, the logged frames at 1280x1024 and 1920x1080) the shader
// driver on core is no slower than it, so nothing is lost where core must
// stand in: systems that offer no compatibility context. ES last: through
// EGL under X11 the present alone costs several times a frame, and where
// only ES exists (EGL-only Wayland, ARM boards) the two before it fail
// first, at no cost.
std::vector<TRenderer> DefaultRendererOrder() { return {TRenderer::Legacy, TRenderer::Core, TRenderer::ES}; }

TRast2DDriver* RendererDriver(TRenderer renderer)
{
    switch (renderer) {
    case TRenderer::Core:
        return GL3CoreRast2DDriver();
    case TRenderer::ES:
        return GL3ESRast2DDriver();
    default:
        return GLRast2DDriver();
    }
}

void InitRast2DDriver(const std::vector<TRenderer>& order)
{
    // The legacy driver batches, as its own installation has it.
    GLRast2DDriver()->SetBatching(true);
    Chooser().order = order.empty() ? DefaultRendererOrder() : order;
    SetGraphicsDriver(&Chooser(), GFX_BACKBUFFER);
}

namespace {
std::vector<TRenderer>& Preferred()
{
    static std::vector<TRenderer> order;
    return order;
}
}  // namespace

void PreferRenderers(const std::vector<TRenderer>& order) { Preferred() = order; }

const std::vector<TRenderer>& PreferredRenderers() { return Preferred(); }

bool RendererOrder(const std::string& command_line, const std::string& variable, std::vector<TRenderer>& order,
                   std::string& error)
{
    std::string name = command_line;
    std::string from = "--renderer";
    if (name.empty() && !variable.empty()) {
        const char* env = std::getenv(variable.c_str());
        if (env && *env) {
            name = env;
            from = variable;
        }
    }
    if (name.empty()) {
        order = DefaultRendererOrder();
        return true;
    }
    TRenderer r;
    if (!ParseRenderer(name, r)) {
        error = "bad value '" + name + "' for " + from + " (legacy, core or es)";
        return false;
    }
    // Forced first; should its context fail, the others follow in the
    // default order, as when none is forced.
    order = {r};
    for (TRenderer other : DefaultRendererOrder())
        if (other != r) order.push_back(other);
    return true;
}

TRenderer CurrentRenderer()
{
    TGraphicsDriver* d = GetGraphicsDriver();
    for (TRenderer r : {TRenderer::Legacy, TRenderer::Core, TRenderer::ES})
        if (d == RendererDriver(r)) return r;
    return Chooser().order.empty() ? TRenderer::Legacy : Chooser().order.front();
}

}  // namespace kelvora
