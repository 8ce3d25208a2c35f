#include "system/pointer_mapping.h"

#include <cmath>

namespace kelvora {

namespace {
TPointerMapping& Current()
{
    static TPointerMapping mapping;
    return mapping;
}

double Scale(const TPointerMapping& m) { return m.scale > 0.0 ? m.scale : 1.0; }
}  // namespace

void SetPointerMapping(const TPointerMapping& mapping) { Current() = mapping; }

TPointerMapping GetPointerMapping() { return Current(); }

// The game pixel under the window pixel's centre: the one a picture sampled
// at pixel centres shows there. From scale 1 up (bars of whole pixels) the
// window pixel GameToWindow gives then maps back to its game pixel, as a
// replayed pointer must; the window pixel's left edge falls a game pixel
// short of both between whole scales.
int WindowToGameX(const TPointerMapping& m, double window_x)
{
    return int(std::floor((window_x + 0.5 - m.offset_x) / Scale(m)));
}

int WindowToGameY(const TPointerMapping& m, double window_y)
{
    return int(std::floor((window_y + 0.5 - m.offset_y) / Scale(m)));
}

int GameToWindowX(const TPointerMapping& m, int game_x)
{
    return int(std::floor(m.offset_x + (game_x + 0.5) * Scale(m)));
}

int GameToWindowY(const TPointerMapping& m, int game_y)
{
    return int(std::floor(m.offset_y + (game_y + 0.5) * Scale(m)));
}

}  // namespace kelvora
