#include "render/picture_placement.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

TPlacement PlacePicture(int pw, int ph, int dw, int dh, TPlacementRule rule)
{
    TPlacement r;
    if (pw <= 0 || ph <= 0 || dw <= 0 || dh <= 0) return r;
    double fit = std::fmin(double(dw) / pw, double(dh) / ph);
    int whole = int(fit);
    bool whole_above_one = rule != TPlacementRule::ANY_SCALE;
    if (whole >= 1 && (whole_above_one || fit == whole)) {
        r.scale = whole;
        r.w = pw * whole;
        r.h = ph * whole;
    } else if (rule == TPlacementRule::WHOLE_ONLY) {
        return r;
    } else {
        r.w = int(std::lround(pw * fit));
        r.h = int(std::lround(ph * fit));
        if (r.w > dw) r.w = dw;
        if (r.h > dh) r.h = dh;
        if (r.w < 1) r.w = 1;
        if (r.h < 1) r.h = 1;
        r.filtered = rule == TPlacementRule::ANY_SCALE;
    }
    r.x = (dw - r.w) / 2;
    r.y = (dh - r.h) / 2;
    return r;
}

TPointerMapping MappingFor(const TPlacement& p, int pw, int ww, int dw, void* window)
{
    TPointerMapping m;
    m.window = window;
    if (p.w <= 0 || pw <= 0 || ww <= 0 || dw <= 0) return m;
    double ratio = double(dw) / ww;  // drawable pixels per window unit
    m.scale = double(p.w) / pw / ratio;
    m.offset_x = p.x / ratio;
    m.offset_y = p.y / ratio;
    return m;
}

void MinimumWindowSize(int pw, int ph, bool can_scale_down, int& min_w, int& min_h)
{
    min_w = can_scale_down ? (pw + 1) / 2 : pw;
    min_h = can_scale_down ? (ph + 1) / 2 : ph;
    if (min_w < 1) min_w = 1;
    if (min_h < 1) min_h = 1;
}

int FittingWindowScale(int asked, int pw, int ph, int uw, int uh)
{
    if (pw > 0 && ph > 0 && uw > 0 && uh > 0) {
        const int fits = std::min(uw / pw, uh / ph);
        if (asked == 0 || asked > fits) asked = fits;
    }
    return asked < 1 ? 1 : asked;
}

}  // namespace kelvora
