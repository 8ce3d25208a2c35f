#include "render/recording_rast2d_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kelvora/render/image.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"

namespace kelvora {

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
    TRecordingFrame(TRecordingRast2DDriver* driver, TPixmapPtr pixmap, int flags)
        : driver_(driver), pixmap_(std::move(pixmap)), flags_(flags) {
        // The pixels as they are now, like a texture made from them.
        if (pixmap_->width > 0 && pixmap_->height > 0 && BytesPerPixel(pixmap_->format) > 0) {
            texels_ = pixmap_->Convert(PIXFMT_RGBA8888);
        }
    }

    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override {
        driver_->Log("DrawFrame", {x0, y0, x1, y1, tx, ty}, pixmap_, this);
        driver_->DrawTexels(texels_, flags_, x0, y0, x1, y1, tx, ty);
    }

private:
    TRecordingRast2DDriver* driver_;
    TPixmapPtr pixmap_;
    TPixmapPtr texels_;
    int flags_;
};

uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Where a texture is sure to be made at the pixmap's own size.
constexpr int kLargestExactTexture = 2048;

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
    Forget();
    width_ = height_ = 0;
    if (g) {
        int depth = 0, hertz = 0, flags = 0;
        g->GetSettings(width_, height_, depth, hertz, flags);
        g->MakeCurrent();
    } else {
        TRast2DGraphics::ClearCurrent();
    }
}

void TRecordingRast2DDriver::Flip(int sync) { Log("Flip", {double(sync)}); }

TImageFramePtr TRecordingRast2DDriver::CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) {
    if (!pixmap) return nullptr;
    auto frame = std::make_shared<TRecordingFrame>(this, pixmap, flags);
    // Sharing a texture is the OpenGL driver's affair: the log shows the
    // flags that decide pixels.
    Log("CreateFrameFromPixmap", {double(pixmap->width), double(pixmap->height), double(flags & ~IMAGE_SHAREABLE)},
        pixmap, frame.get());
    return frame;
}

void TRecordingRast2DDriver::SetBlend(int blend) {
    Log("SetBlend", {double(blend)});
    blend_ = blend;
}
void TRecordingRast2DDriver::SetAlpha(float alpha) {
    Log("SetAlpha", {alpha});
    if (alpha > 1.0f) alpha = 1.0f;
    if (!(alpha >= 0.0f)) alpha = 0.0f;
    color_[3] = static_cast<uint8_t>(alpha * 255.0f);
}
void TRecordingRast2DDriver::SetColor(int red, int green, int blue) {
    Log("SetColor", {double(red), double(green), double(blue)});
    color_[0] = Clamp255(red);
    color_[1] = Clamp255(green);
    color_[2] = Clamp255(blue);
}
void TRecordingRast2DDriver::SetClsColor(int red, int green, int blue) {
    Log("SetClsColor", {double(red), double(green), double(blue)});
    cls_[0] = Clamp255(red);
    cls_[1] = Clamp255(green);
    cls_[2] = Clamp255(blue);
}
void TRecordingRast2DDriver::SetViewport(int x, int y, int width, int height) {
    Log("SetViewport", {double(x), double(y), double(width), double(height)});
    view_x_ = x;
    view_y_ = y;
    view_w_ = width;
    view_h_ = height;
}
void TRecordingRast2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
    Log("SetTransform", {ix, iy, jx, jy});
    ix_ = ix;
    iy_ = iy;
    jx_ = jx;
    jy_ = jy;
}
void TRecordingRast2DDriver::SetLineWidth(float width) { Log("SetLineWidth", {width}); }
void TRecordingRast2DDriver::Cls() {
    Log("Cls", {});
    if (view_x_ == 0 && view_y_ == 0 && view_w_ == width_ && view_h_ == height_) {
        // The whole picture is known again.
        known_ = true;
        std::memcpy(clear_, cls_, 4);
        ops_.clear();
        painted_ = false;
        return;
    }
    TPictureOp op = Op(TPictureOp::FILL, 0, 0);
    std::memcpy(&op.rgba, cls_, 4);
    Record(std::move(op));
}
// Lines, points and polygons are drawn by OpenGL's own rasteriser rules:
// not reproduced.
void TRecordingRast2DDriver::Plot(float x, float y) {
    Log("Plot", {x, y});
    Forget();
}
void TRecordingRast2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    Log("DrawLine", {x0, y0, x1, y1, tx, ty});
    Forget();
}
void TRecordingRast2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    Log("DrawRect", {x0, y0, x1, y1, tx, ty});
    Forget();
}
void TRecordingRast2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    Log("DrawOval", {x0, y0, x1, y1, tx, ty});
    Forget();
}
void TRecordingRast2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y,
                                      float origin_x, float origin_y) {
    // Handle and origin first, then the points.
    std::vector<double> args{handle_x, handle_y, origin_x, origin_y};
    args.insert(args.end(), xy.begin(), xy.end());
    Log("DrawPoly", std::move(args));
    if (xy.size() >= 6 && !(xy.size() & 1)) Forget();
}
void TRecordingRast2DDriver::DrawPixmap(const TPixmapPtr& pixmap, int x, int y) {
    Log("DrawPixmap", {double(x), double(y)}, pixmap);
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0 || BytesPerPixel(pixmap->format) == 0) return;
    // Copied as they are, only the viewport clips them.
    TPictureOp op = Op(TPictureOp::COPY, x, y);
    op.pixels = pixmap->Convert(PIXFMT_RGBA8888);
    Record(std::move(op));
}

void TRecordingRast2DDriver::DrawTexels(const TPixmapPtr& texels, int flags, float x0, float y0, float x1, float y1,
                                        float tx, float ty) {
    if (!known_) return;
    // The corners exactly as the OpenGL driver computes them.
    const float ax = x0 * ix_ + y0 * iy_ + tx, ay = x0 * jx_ + y0 * jy_ + ty;
    const float bx = x1 * ix_ + y1 * iy_ + tx, by = x1 * jx_ + y1 * jy_ + ty;
    const bool untransformed = ix_ == 1.0f && iy_ == 0.0f && jx_ == 0.0f && jy_ == 1.0f;
    const bool white = color_[0] == 255 && color_[1] == 255 && color_[2] == 255 && color_[3] == 255;
    const bool copy_blend = blend_ == BLEND_MASK || blend_ < BLEND_MASK || blend_ > BLEND_SHADE ||
                            blend_ == BLEND_SOLID;
    const bool whole = std::fabs(ax) < 65536.0f && std::fabs(ay) < 65536.0f && std::floor(ax) == ax &&
                       std::floor(ay) == ay;
    const bool exact = texels && untransformed && white && copy_blend && whole &&
                       !(flags & (IMAGE_FILTERED | IMAGE_MIPMAPPED)) && texels->width <= kLargestExactTexture &&
                       texels->height <= kLargestExactTexture && bx - ax == static_cast<float>(texels->width) &&
                       by - ay == static_cast<float>(texels->height);
    if (!exact) {
        Forget();
        return;
    }
    TPictureOp op = Op(blend_ == BLEND_MASK ? TPictureOp::MASKED_COPY : TPictureOp::COPY, static_cast<int>(ax),
                       static_cast<int>(ay));
    op.pixels = texels;
    Record(std::move(op));
}

TRecordingRast2DDriver::TPictureOp TRecordingRast2DDriver::Op(TPictureOp::Kind kind, int x, int y) const {
    TPictureOp op;
    op.kind = kind;
    op.x = x;
    op.y = y;
    op.cx1 = width_;
    op.cy1 = height_;
    if (view_x_ == 0 && view_y_ == 0 && view_w_ == width_ && view_h_ == height_) return op;
    // The scissor rectangle.
    op.cx0 = std::max(0, view_x_);
    op.cy0 = std::max(0, view_y_);
    op.cx1 = std::min(width_, view_x_ + std::max(0, view_w_));
    op.cy1 = std::min(height_, view_y_ + std::max(0, view_h_));
    return op;
}

void TRecordingRast2DDriver::Forget() {
    known_ = false;
    ops_.clear();
    painted_ = false;
}

void TRecordingRast2DDriver::Record(TPictureOp op) {
    if (!known_) return;
    // Long runs of drawing without a clear are painted as they come.
    constexpr size_t kMostPending = 64;
    if (!painted_ && ops_.size() < kMostPending) {
        ops_.push_back(std::move(op));
        return;
    }
    Paint();
    Apply(op);
}

void TRecordingRast2DDriver::Paint() {
    if (painted_) return;
    if (!picture_ || picture_->width != width_ || picture_->height != height_) {
        picture_ = TPixmap::Create(width_, height_, PIXFMT_RGBA8888, 4);
    }
    uint32_t c;
    std::memcpy(&c, clear_, 4);
    for (int y = 0; y < height_; ++y) std::fill_n(reinterpret_cast<uint32_t*>(picture_->PixelPtr(0, y)), width_, c);
    painted_ = true;
    for (const TPictureOp& op : ops_) Apply(op);
    ops_.clear();
}

void TRecordingRast2DDriver::Apply(const TPictureOp& op) {
    if (op.kind == TPictureOp::FILL) {
        for (int y = op.cy0; y < op.cy1; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(picture_->PixelPtr(0, y));
            std::fill(row + op.cx0, row + std::max(op.cx0, op.cx1), op.rgba);
        }
        return;
    }
    const TPixmap& src = *op.pixels;
    const int x0 = std::max(op.cx0, op.x), x1 = std::min(op.cx1, op.x + src.width);
    const int y0 = std::max(op.cy0, op.y), y1 = std::min(op.cy1, op.y + src.height);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* s = src.PixelPtr(x0 - op.x, y - op.y);
        uint8_t* d = picture_->PixelPtr(x0, y);
        if (op.kind == TPictureOp::COPY) {
            if (x1 > x0) std::memcpy(d, s, static_cast<size_t>(x1 - x0) * 4);
            continue;
        }
        // The alpha test passes at alpha / 255 >= 0.5.
        for (int x = x0; x < x1; ++x, s += 4, d += 4)
            if (s[3] >= 128) std::memcpy(d, s, 4);
    }
}

TPixmapPtr TRecordingRast2DDriver::GrabPixmap(int x, int y, int width, int height) {
    TPixmapPtr p;
    if (width > 0 && height > 0 && grab_fill_) {
        p = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
        p->ClearPixels(static_cast<int>(grab_argb_));
    } else if (width > 0 && height > 0 && !known_) {
        ++refused_grabs_;
        std::fprintf(stderr,
                     "recording driver: GrabPixmap %d %d %d %d refused: the picture holds drawing it does not "
                     "reproduce\n",
                     x, y, width, height);
    } else if (width > 0 && height > 0) {
        Paint();
        p = TPixmap::Create(width, height, PIXFMT_RGBA8888, 4);
        // Outside the picture reads black, as OpenGL leaves it.
        p->ClearPixels(0);
        const int x0 = std::max(0, x), x1 = std::min(width_, x + width);
        for (int sy = std::max(0, y); sy < std::min(height_, y + height) && x1 > x0; ++sy)
            std::memcpy(p->PixelPtr(x0 - x, sy - y), picture_->PixelPtr(x0, sy), static_cast<size_t>(x1 - x0) * 4);
        OpaqueUnlessAlphaBuffer(*p, GraphicsFlags());
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

}  // namespace kelvora
