/// @file
/// The 2D drawing interface. Every function acts on the current display's
/// render state and its driver; a setting stays in force until changed, and
/// a new Graphics starts from the defaults each Get function names. Call them
/// only while a display is open (after Graphics, before EndGraphics).
///
/// Coordinates are picture pixels, (0, 0) the top-left corner, y downwards.
/// A shape's position goes through the render state in this order: the
/// handle is subtracted, then rotation and scale turn it about the position,
/// then the origin is added.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TPixmap;
/// A pixmap, shared by whoever holds it.
using TPixmapPtr = std::shared_ptr<TPixmap>;
class TImageFont;
/// An image font, shared by whoever holds it.
using TImageFontPtr = std::shared_ptr<TImageFont>;

/// @name Blend modes
/// How drawn pixels combine with the picture (SetBlend).
/// @{
constexpr int BLEND_MASK = 1;   ///< No blending; alpha below 0.5 is not drawn (the default)
constexpr int BLEND_SOLID = 2;  ///< No blending, no alpha test (also any unknown mode)
constexpr int BLEND_ALPHA = 3;  ///< source * alpha + destination * (1 - alpha)
constexpr int BLEND_LIGHT = 4;  ///< source * alpha + destination
constexpr int BLEND_SHADE = 5;  ///< source * destination
/// @}

/// The colour shapes, text and images are drawn with (multiplied into
/// images), 0..255 each; white by default.
void SetColor(int red, int green, int blue);
/// The drawing colour.
void GetColor(int& red, int& green, int& blue);
/// The colour Cls fills with; black by default.
void SetClsColor(int red, int green, int blue);
/// The Cls colour.
void GetClsColor(int& red, int& green, int& blue);
/// Opacity 0..1 for BLEND_ALPHA and BLEND_LIGHT (and the alpha test of
/// BLEND_MASK); 1 by default.
void SetAlpha(float alpha);
/// The alpha.
float GetAlpha();
/// A BLEND_ mode; BLEND_MASK by default. Use BLEND_ALPHA for translucency
/// and smooth (filtered) edges.
void SetBlend(int blend);
/// The blend mode.
int GetBlend();
/// Width of lines in pixels; 1 by default.
void SetLineWidth(float width);
/// The line width.
float GetLineWidth();
/// Limits all drawing, Cls included, to this rectangle of the picture; the
/// whole picture by default.
void SetViewport(int x, int y, int width, int height);
/// The viewport.
void GetViewport(int& x, int& y, int& width, int& height);
/// Added to every drawing position (after rotation and scale); (0, 0) by
/// default.
void SetOrigin(float x, float y);
/// The origin.
void GetOrigin(float& x, float& y);
/// The point of shapes and text placed at the drawing position, and about
/// which they turn and scale; (0, 0), the top-left, by default. Images use
/// their own handle (SetImageHandle) instead.
void SetHandle(float x, float y);
/// The handle.
void GetHandle(float& x, float& y);
/// Rotation in degrees, clockwise on screen; 0 by default.
void SetRotation(float degrees);
/// The rotation.
float GetRotation();
/// Scale across and down; 1, 1 by default.
void SetScale(float scale_x, float scale_y);
/// The scale.
void GetScale(float& scale_x, float& scale_y);
/// Rotation and scale in one call.
void SetTransform(float degrees, float scale_x = 1.0f, float scale_y = 1.0f);

/// Clears the viewport to the Cls colour. A frame usually starts with it.
void Cls();
/// One pixel at (x, y) plus the origin; no handle, rotation or scale.
void Plot(float x, float y);
/// A line from (x, y) to (x2, y2), including the pixel at the end unless
/// draw_last_pixel is 0.
void DrawLine(float x, float y, float x2, float y2, int draw_last_pixel = 1);
/// A filled rectangle, width x height, its handle at (x, y).
void DrawRect(float x, float y, float width, float height);
/// A filled ellipse in the rectangle DrawRect would fill.
void DrawOval(float x, float y, float width, float height);
/// A filled convex polygon; xy holds x and y of each corner in turn (at
/// least three corners, else nothing is drawn).
void DrawPoly(const std::vector<float>& xy);
/// Copies the pixmap's pixels to (x, y) as they are: no origin, handle,
/// rotation, scale, colour or blend applies. A null pixmap draws nothing.
void DrawPixmap(const TPixmapPtr& pixmap, int x, int y);
/// The picture's pixels in the rectangle, as an RGBA8888 pixmap (opaque
/// unless the display has GFX_ALPHABUFFER); null when they cannot be read.
TPixmapPtr GrabPixmap(int x, int y, int width, int height);

/// The 2x2 matrix that rotation (degrees, clockwise on screen) and scale give.
/// A local (x, y) goes to (x * ix + y * iy, x * jx + y * jy).
struct TMatrix2D {
    /// @{
    float ix = 1.0f, iy = 0.0f, jx = 0.0f, jy = 1.0f;  ///< The matrix, row by row
    /// @}
};
/// The matrix of a rotation and scale.
TMatrix2D TransformMatrix(float degrees, float scale_x, float scale_y);

/// Modules that keep their own copy of the render state's matrix (the
/// collision test) register here; the listener hears every change. One
/// listener; null removes it.
using TTransformListener = void (*)(const TMatrix2D& matrix);
/// Installs the listener; returns the one it replaces, for a caller that puts
/// it back.
TTransformListener SetTransformListener(TTransformListener listener);

}  // namespace kelvora
