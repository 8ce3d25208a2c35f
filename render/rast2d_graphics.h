// The 2D render state: every drawing setting, kept in a graphics object
// around a driver context, so that it survives a change of context by
// re-applying itself when it becomes current.
#pragma once

#include <memory>

#include "kelvora/render/graphics.h"
#include "render/rast2d_driver.h"

namespace kelvora {

class TImageFont;
using TImageFontPtr = std::shared_ptr<TImageFont>;

class TRast2DGraphics;
using TRast2DGraphicsPtr = std::shared_ptr<TRast2DGraphics>;

// Says once on stderr that call was made with no graphics open (drawing
// does nothing then); later calls say nothing.
void SayNoGraphics(const char* call);

class TRast2DGraphics : public TGraphics, public std::enable_shared_from_this<TRast2DGraphics> {
public:
    // Drawing colour and alpha, stored unclamped (the driver clamps).
    int color_red = 255, color_green = 255, color_blue = 255;
    float color_alpha = 1.0f;
    int clscolor_red = 0, clscolor_green = 0, clscolor_blue = 0;
    float line_width = 1.0f;
    float tform_rot = 0.0f;
    float tform_scale_x = 1.0f, tform_scale_y = 1.0f;
    // Derived from rotation and scale (UpdateTransform).
    float tform_ix = 1.0f, tform_iy = 0.0f, tform_jx = 0.0f, tform_jy = 1.0f;
    int viewport_x = 0, viewport_y = 0, viewport_w = 0, viewport_h = 0;
    float origin_x = 0.0f, origin_y = 0.0f;
    // Stored negated: the local offset that drawing adds.
    float handle_x = 0.0f, handle_y = 0.0f;
    TImageFontPtr image_font;
    int blend_mode = 1;  // BLEND_MASK

    TGraphicsPtr _graphics;
    TRast2DDriver* _driver = nullptr;
    int _setup = 0;

    TRast2DGraphics(TGraphicsPtr graphics, TRast2DDriver* driver);
    ~TRast2DGraphics() override;

    TGraphicsDriver* Driver() override;
    void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
    void Close() override;

    // Sends the whole stored state to the driver.
    void Validate();
    // Becomes the current state; the first activation also clears both buffers.
    void MakeCurrent();
    // Derives the matrix from rotation and scale and passes it on.
    void UpdateTransform();

    static void ClearCurrent();
    static TRast2DGraphics* Current();
    // The current state for a call that draws or sets; null when no
    // graphics are open, and the first such call is said on stderr.
    static TRast2DGraphics* Drawing(const char* call);
    static TRast2DGraphicsPtr Create(TGraphicsPtr graphics, TRast2DDriver* driver);
};

}  // namespace kelvora
