#include "render/rast2d_graphics.h"

#include <cstdio>

#include "kelvora/render/image_font.h"
#include "kelvora/render/rast2d.h"

namespace kelvora {

namespace {

TRast2DGraphics* current_state = nullptr;

bool told_no_graphics = false;

}  // namespace

void SayNoGraphics(const char* call) {
    if (told_no_graphics) return;
    told_no_graphics = true;
    std::fprintf(stderr, "%s with no graphics open: drawing does nothing until Graphics opens them\n", call);
}

TRast2DGraphics::TRast2DGraphics(TGraphicsPtr graphics, TRast2DDriver* driver)
    : _graphics(std::move(graphics)), _driver(driver) {}

TRast2DGraphics::~TRast2DGraphics() {
    if (current_state == this) ClearCurrent();
}

TGraphicsDriver* TRast2DGraphics::Driver() { return _driver; }

void TRast2DGraphics::GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) {
    if (_graphics) {
        _graphics->GetSettings(width, height, depth, hertz, flags);
    } else {
        width = height = depth = hertz = flags = 0;
    }
}

void TRast2DGraphics::Close() {
    if (!_graphics) return;
    TGraphicsPtr g = std::move(_graphics);
    _graphics.reset();
    _driver = nullptr;
    if (current_state == this) ClearCurrent();
    g->Close();
}

void TRast2DGraphics::Validate() {
    if (!_driver) return;
    _driver->SetBlend(blend_mode);
    _driver->SetColor(color_red, color_green, color_blue);
    _driver->SetAlpha(color_alpha);
    _driver->SetClsColor(clscolor_red, clscolor_green, clscolor_blue);
    _driver->SetLineWidth(line_width);
    // Rotation and scale give one matrix: send it once.
    UpdateTransform();
    _driver->SetViewport(viewport_x, viewport_y, viewport_w, viewport_h);
    // Origin, handle and font live here only: nothing to send.
}

void TRast2DGraphics::MakeCurrent() {
    current_state = this;
    Validate();
    if (!_setup && _driver) {
        // Neither buffer may show what was there before the first frame.
        _driver->Cls();
        _driver->FlipCleared(0);
        _driver->Cls();
        _driver->FlipCleared(0);
        _setup = 1;
    }
}

void TRast2DGraphics::ClearCurrent() { current_state = nullptr; }

TRast2DGraphics* TRast2DGraphics::Current() { return current_state; }

TRast2DGraphics* TRast2DGraphics::Drawing(const char* call) {
    if (current_state && current_state->_driver) return current_state;
    SayNoGraphics(call);
    return nullptr;
}

TRast2DGraphicsPtr TRast2DGraphics::Create(TGraphicsPtr graphics, TRast2DDriver* driver) {
    TImageFontPtr font = DefaultImageFont();
    auto g = std::make_shared<TRast2DGraphics>(std::move(graphics), driver);
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    g->GetSettings(width, height, depth, hertz, flags);
    g->viewport_w = width;
    g->viewport_h = height;
    g->image_font = font;
    TMatrix2D m = TransformMatrix(g->tform_rot, g->tform_scale_x, g->tform_scale_y);
    g->tform_ix = m.ix;
    g->tform_iy = m.iy;
    g->tform_jx = m.jx;
    g->tform_jy = m.jy;
    return g;
}

}  // namespace kelvora
