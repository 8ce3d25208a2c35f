// The 2D drawing interface the game draws through. Every function acts on
// the current render state and its driver; a setting stays in force until
// changed. Calling them with no 2D graphics current is outside the contract.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;
class TImageFont;
using TImageFontPtr = std::shared_ptr<TImageFont>;

constexpr int BLEND_MASK = 1;   // no blending; alpha below 0.5 is not drawn
constexpr int BLEND_SOLID = 2;  // no blending, no alpha test (also any unknown mode)
constexpr int BLEND_ALPHA = 3;  // source * alpha + destination * (1 - alpha)
constexpr int BLEND_LIGHT = 4;  // source * alpha + destination
constexpr int BLEND_SHADE = 5;  // source * destination

void SetColor(int red, int green, int blue);
void GetColor(int& red, int& green, int& blue);
void SetClsColor(int red, int green, int blue);
void GetClsColor(int& red, int& green, int& blue);
void SetAlpha(float alpha);
float GetAlpha();
void SetBlend(int blend);
int GetBlend();
void SetLineWidth(float width);
float GetLineWidth();
void SetViewport(int x, int y, int width, int height);
void GetViewport(int& x, int& y, int& width, int& height);
void SetOrigin(float x, float y);
void GetOrigin(float& x, float& y);
void SetHandle(float x, float y);
void GetHandle(float& x, float& y);
void SetRotation(float degrees);
float GetRotation();
void SetScale(float scale_x, float scale_y);
void GetScale(float& scale_x, float& scale_y);
void SetTransform(float degrees, float scale_x = 1.0f, float scale_y = 1.0f);

void Cls();
void Plot(float x, float y);
void DrawLine(float x, float y, float x2, float y2, int draw_last_pixel = 1);
void DrawRect(float x, float y, float width, float height);
void DrawOval(float x, float y, float width, float height);
void DrawPoly(const std::vector<float>& xy);
void DrawPixmap(const TPixmapPtr& pixmap, int x, int y);
TPixmapPtr GrabPixmap(int x, int y, int width, int height);

// The 2x2 matrix that rotation (degrees, clockwise on screen) and scale give.
struct TMatrix2D {
    float ix = 1.0f, iy = 0.0f, jx = 0.0f, jy = 1.0f;
};
TMatrix2D TransformMatrix(float degrees, float scale_x, float scale_y);

// Modules that keep their own copy of the render state's matrix (the
// collision test) register here; the listener hears every change. One
// listener; null removes it.
using TTransformListener = void (*)(const TMatrix2D& matrix);
// Returns the listener it replaces, for a caller that puts it back.
TTransformListener SetTransformListener(TTransformListener listener);

}  // namespace kelvora
