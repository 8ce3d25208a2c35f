#include "render/recording_rast2d_driver.h"

#include <cstdio>

#include "render/pixmap.h"
#include "render/rast2d_graphics.h"

namespace {

std::string FormatNumber(double v) {
    char buf[32];
    if (v == 0) v = 0;  // no "-0"
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

// A context that only knows its settings.
class TRecordingGraphics : public TGraphics {
public:
    TRecordingGraphics(TGraphicsDriver* driver, int width, int height, int depth, int hertz, int flags)
        : driver_(driver), width_(width), height_(height), depth_(depth), hertz_(hertz), flags_(flags) {}

    TGraphicsDriver* Driver() override { return driver_; }
    void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override {
        width = width_;
        height = height_;
        depth = depth_;
        hertz = hertz_;
        flags = flags_;
    }
    void Close() override { driver_ = nullptr; }

private:
    TGraphicsDriver* driver_;
    int width_, height_, depth_, hertz_, flags_;
};

class TRecordingFrame : public TImageFrame {
public:
    TRecordingFrame(TRecordingRast2DDriver* driver, TPixmapPtr pixmap)
        : driver_(driver), pixmap_(std::move(pixmap)) {}

    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override {
        driver_->Log("DrawFrame", {x0, y0, x1, y1, tx, ty}, pixmap_, this);
    }

private:
    TRecordingRast2DDriver* driver_;
    TPixmapPtr pixmap_;
};

}  // namespace

std::string TRast2DCall::ToString() const {
    std::string s = name;
    for (double a : args) {
        s += ' ';
        s += FormatNumber(a);
    }
    return s;
}

std::vector<TGraphicsMode> TRecordingRast2DDriver::GraphicsModes() {
    Log("GraphicsModes", {});
    TGraphicsMode mode;
    mode.width = 640;
    mode.height = 480;
    mode.depth = 32;
    mode.hertz = 60;
    return {mode};
}

TGraphicsPtr TRecordingRast2DDriver::AttachGraphics(void* widget, int flags) {
    Log("AttachGraphics", {widget ? 1.0 : 0.0, static_cast<double>(flags)});
    return nullptr;
}

TGraphicsPtr TRecordingRast2DDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags) {
    Log("CreateGraphics", {double(width), double(height), double(depth), double(hertz), double(flags)});
    if (width <= 0 || height <= 0) return nullptr;
    auto inner = std::make_shared<TRecordingGraphics>(this, width, height, depth, hertz, flags);
    return TRast2DGraphics::Create(inner, this);
}

void TRecordingRast2DDriver::SetGraphics(const TGraphicsPtr& graphics) {
    auto* g = dynamic_cast<TRast2DGraphics*>(graphics.get());
    Log("SetGraphics", {g ? 1.0 : 0.0});
    if (g) {
        g->MakeCurrent();
    } else {
        TRast2DGraphics::ClearCurrent();
    }
}

void TRecordingRast2DDriver::Flip(int sync) { Log("Flip", {double(sync)}); }

TImageFramePtr TRecordingRast2DDriver::CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) {
    if (!pixmap) return nullptr;
    auto frame = std::make_shared<TRecordingFrame>(this, pixmap);
    Log("CreateFrameFromPixmap", {double(pixmap->width), double(pixmap->height), double(flags)}, pixmap,
        frame.get());
    return frame;
}

void TRecordingRast2DDriver::SetBlend(int blend) { Log("SetBlend", {double(blend)}); }
void TRecordingRast2DDriver::SetAlpha(float alpha) { Log("SetAlpha", {alpha}); }
void TRecordingRast2DDriver::SetColor(int red, int green, int blue) {
    Log("SetColor", {double(red), double(green), double(blue)});
}
void TRecordingRast2DDriver::SetClsColor(int red, int green, int blue) {
    Log("SetClsColor", {double(red), double(green), double(blue)});
}
void TRecordingRast2DDriver::SetViewport(int x, int y, int width, int height) {
    Log("SetViewport", {double(x), double(y), double(width), double(height)});
}
void TRecordingRast2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
    Log("SetTransform", {ix, iy, jx, jy});
}
void TRecordingRast2DDriver::SetLineWidth(float width) { Log("SetLineWidth", {width}); }
void TRecordingRast2DDriver::Cls() { Log("Cls", {}); }
void TRecordingRast2DDriver::Plot(float x, float y) { Log("Plot", {x, y}); }
void TRecordingRast2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    Log("DrawLine", {x0, y0, x1, y1, tx, ty});
}
void TRecordingRast2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    Log("DrawRect", {x0, y0, x1, y1, tx, ty});
}
void TRecordingRast2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    Log("DrawOval", {x0, y0, x1, y1, tx, ty});
}
void TRecordingRast2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y,
                                      float origin_x, float origin_y) {
    // Handle and origin first, then the points.
    std::vector<double> args{handle_x, handle_y, origin_x, origin_y};
    args.insert(args.end(), xy.begin(), xy.end());
    Log("DrawPoly", std::move(args));
}
void TRecordingRast2DDriver::DrawPixmap(const TPixmapPtr& pixmap, int x, int y) {
    Log("DrawPixmap", {double(x), double(y)}, pixmap);
}

TPixmapPtr TRecordingRast2DDriver::GrabPixmap(int x, int y, int width, int height) {
    TPixmapPtr p;
    if (width > 0 && height > 0) {
        p = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
        p->ClearPixels(static_cast<int>(grab_argb_));
    }
    Log("GrabPixmap", {double(x), double(y), double(width), double(height)}, p);
    return p;
}

void TRecordingRast2DDriver::Log(std::string name, std::vector<double> args, TPixmapPtr pixmap,
                                 const TImageFrame* frame) {
    TRast2DCall call;
    call.name = std::move(name);
    call.args = std::move(args);
    call.pixmap = std::move(pixmap);
    call.frame = frame;
    calls_.push_back(std::move(call));
}

std::vector<TRast2DCall> TRecordingRast2DDriver::CallsNamed(const std::string& name) const {
    std::vector<TRast2DCall> out;
    for (const auto& c : calls_)
        if (c.name == name) out.push_back(c);
    return out;
}

int TRecordingRast2DDriver::Count(const std::string& name) const {
    int n = 0;
    for (const auto& c : calls_) n += c.name == name;
    return n;
}

const TRast2DCall* TRecordingRast2DDriver::Last(const std::string& name) const {
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
        if (it->name == name) return &*it;
    return nullptr;
}

std::vector<std::string> TRecordingRast2DDriver::Names() const {
    std::vector<std::string> out;
    out.reserve(calls_.size());
    for (const auto& c : calls_) out.push_back(c.name);
    return out;
}

std::string TRecordingRast2DDriver::ToString() const {
    std::string s;
    for (const auto& c : calls_) s += c.ToString() + "\n";
    return s;
}
