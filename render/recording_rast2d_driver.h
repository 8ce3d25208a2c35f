// A 2D driver that draws nothing and logs every call with its arguments, in
// order, so tests can check what the engine and the game asked for without
// a display. Its graphics are plain records of the requested size.
#pragma once

#include <string>
#include <vector>

#include "render/rast2d_driver.h"

// One logged call. Numbers are kept as doubles in argument order (ints are
// exact); pixmap and frame name the objects passed or made, when any.
struct TRast2DCall {
    std::string name;
    std::vector<double> args;
    TPixmapPtr pixmap;
    const TImageFrame* frame = nullptr;

    double Arg(size_t i) const { return i < args.size() ? args[i] : 0.0; }
    // "name a0 a1 ..." with numbers in their shortest form.
    std::string ToString() const;
};

class TRecordingRast2DDriver : public TRast2DDriver {
public:
    std::vector<TGraphicsMode> GraphicsModes() override;
    TGraphicsPtr AttachGraphics(void* widget, int flags) override;
    TGraphicsPtr CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(const TGraphicsPtr& graphics) override;
    void Flip(int sync) override;

    // Frames log "DrawFrame" with x0, y0, x1, y1, tx, ty, and the frame.
    TImageFramePtr CreateFrameFromPixmap(const TPixmapPtr& pixmap, int flags) override;
    void SetBlend(int blend) override;
    void SetAlpha(float alpha) override;
    void SetColor(int red, int green, int blue) override;
    void SetClsColor(int red, int green, int blue) override;
    void SetViewport(int x, int y, int width, int height) override;
    void SetTransform(float ix, float iy, float jx, float jy) override;
    void SetLineWidth(float width) override;
    void Cls() override;
    void Plot(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y,
                  float origin_x, float origin_y) override;
    void DrawPixmap(const TPixmapPtr& pixmap, int x, int y) override;
    // Logs the call and returns a pixmap of the size filled with the
    // pixels set by SetGrabPixels (transparent black by default).
    TPixmapPtr GrabPixmap(int x, int y, int width, int height) override;

    // The log.
    const std::vector<TRast2DCall>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // Calls with that name, in order.
    std::vector<TRast2DCall> CallsNamed(const std::string& name) const;
    int Count(const std::string& name) const;
    // The last call with that name; null when there was none.
    const TRast2DCall* Last(const std::string& name) const;
    // Names only, in order ("SetBlend", "DrawFrame" ...).
    std::vector<std::string> Names() const;
    // One line per call (TRast2DCall::ToString).
    std::string ToString() const;

    // The 0xAARRGGBB value grabbed pixmaps are filled with.
    void SetGrabPixels(unsigned int argb) { grab_argb_ = argb; }

    void Log(std::string name, std::vector<double> args, TPixmapPtr pixmap = nullptr,
             const TImageFrame* frame = nullptr);

private:
    std::vector<TRast2DCall> calls_;
    unsigned int grab_argb_ = 0;
};
