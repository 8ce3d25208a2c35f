// The box a batch of lines keeps around the points held back beside it: a
// point covers the pixel whose centre lies within half a pixel, so a line
// drawn later that crosses the box draws the held points first.
#pragma once

#include <algorithm>

namespace kelvora {

// Grows box (x0, y0, x1, y1) by the point at (x, y); first: the box is empty.
inline void GrowHeldPointBox(float* box, bool first, float x, float y)
{
    if (first) {
        box[0] = box[2] = x;
        box[1] = box[3] = y;
    }
    box[0] = std::min(box[0], x - 0.5f);
    box[1] = std::min(box[1], y - 0.5f);
    box[2] = std::max(box[2], x + 0.5f);
    box[3] = std::max(box[3], y + 0.5f);
}

}  // namespace kelvora
