#include "game/qvdraw.h"

#include "game/engine.h"
#include "game/globals.h"

using namespace kelvora;

int qvdraw_tag::slc(int lr, int lg, int lb, int rr, int rg, int rb)
{
    leye_r = lr;
    leye_g = lg;
    leye_b = lb;
    reye_r = rr;
    reye_g = rg;
    reye_b = rb;
    return 0;
}

int qvdraw_tag::sip(int blend, float alpha, float rot, float xs, float ys)
{
    SetBlend(blend);
    SetAlpha(alpha);
    SetTransform(rot, xs, ys);
    txt_xs = xs;
    txt_ys = ys;
    return 0;
}

int qvdraw_tag::i3d(const std::shared_ptr<TImage>& image, float x, float y, int frame, float offs, float angle,
                    int passes)
{
    const int r = static_cast<int>(GetRotation());
    if (mode3d != 0) {
        for (int i = 0; i < passes; ++i) {
            SetBlend(4);
            SetColor(leye_r, leye_g, leye_b);
            if (angle != 0)
                SetRotation(r + angle);
            DrawImage(image, x - offs, y, frame);
            SetColor(reye_r, reye_g, reye_b);
            if (angle != 0)
                SetRotation(r - angle);
            DrawImage(image, x + offs, y, frame);
        }
    } else {
        DrawImage(image, x, y, frame);
    }
    if (angle != 0)
        SetRotation(static_cast<float>(r));
    return 0;
}

int qvdraw_tag::t3d(const std::string& text, float x, float y, float offs, int centre)
{
    float ex = x;
    float ey = y;
    if (centre != 0) {
        ex = x - static_cast<float>(TextWidth(text)) * txt_xs / 2;
        ey = y - static_cast<float>(TextHeight()) * txt_ys / 2;
    }
    if (mode3d != 0) {
        SetBlend(4);
        SetColor(leye_r, leye_g, leye_b);
        DrawText(text, ex - offs, ey);
        SetColor(reye_r, reye_g, reye_b);
        DrawText(text, ex + offs, ey);
    } else {
        DrawText(text, ex, ey);
    }
    return 0;
}
