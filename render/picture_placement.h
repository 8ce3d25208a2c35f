// Where a backend shows the game's picture in its window or on the screen,
// and how the pointer maps back into the picture's pixels. The same rules for
// every renderer, so that a picture looks and clicks the same on each.
//
// The picture is centred with black bars around it. A whole scale that fits
// exactly stays sharp (nearest). Between whole scales above 1 a software
// rasteriser shows the largest whole scale with wider bars: every screen
// pixel costs it CPU, and nearest at an uneven scale gives pixels of uneven
// size. Other drivers scale to fit, filtered. Below a whole scale of 1 the
// picture is scaled down to fit, never cut or left out: nearest on a software
// rasteriser, filtered elsewhere. A backend that can only copy its picture
// pixel for pixel (no offscreen picture) asks for whole scales only and gets
// nothing placed where not even 1:1 fits.
#pragma once

#include "system/pointer_mapping.h"

namespace kelvora {

enum class TPlacementRule {
    ANY_SCALE,      // hardware: scales between whole ones are filtered
    SOFTWARE,       // whole scales above 1, scaled down to fit below it
    WHOLE_ONLY,     // only whole scales can be drawn at all
};

struct TPlacement {
    int x = 0, y = 0, w = 0, h = 0;  // in the drawable, top-left origin; w 0: nothing shown
    int scale = 0;                   // the whole scale, 0 when not whole
    bool filtered = false;           // sampled linearly rather than nearest
};

// The picture of pw x ph in a drawable of dw x dh.
TPlacement PlacePicture(int pw, int ph, int dw, int dh, TPlacementRule rule);

// The pointer mapping for a placement: ww is the window's width in the units
// the platform reports pointer positions in, dw the drawable's in pixels
// (they differ on high-density displays).
TPointerMapping MappingFor(const TPlacement& p, int pw, int ww, int dw, void* window);

// The smallest window worth showing the picture in: half its size each way,
// where the picture can be scaled down; else the picture's own size.
void MinimumWindowSize(int pw, int ph, bool can_scale_down, int& min_w, int& min_h);

// The whole scale a window of a pw x ph picture gets on a usable desktop of
// uw x uh: asked (0: the largest that fits), but never more than fits, and
// at least 1. Sizes of 0 (nothing known of the desktop) leave asked alone.
int FittingWindowScale(int asked, int pw, int ph, int uw, int uh);

}  // namespace kelvora
