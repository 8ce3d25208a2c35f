// The engine's module functions as the game uses them, in one place, so the
// game's files need not know how the engine splits its headers.
#pragma once

#include "io/filesystem.h"
#include "io/stream.h"
#include "render/graphics.h"
#include "render/image.h"
#include "render/image_font.h"
#include "render/rast2d.h"
#include "audio/audio.h"
#include "system/app_title.h"
#include "system/clock.h"
#include "system/input.h"
#include "system/joystick.h"
#include "system/random.h"
#include "system/system_driver.h"

#if __has_include("render/collision.h")
#include "render/collision.h"
#else
// Until the engine's pixel-exact collisions are built in: hits are tested on
// the transformed images' bounding boxes (rotation ignored).
inline void ClearCollisionLayers(int) {}
inline int ImagesCollideTransformed(const TImagePtr& image1, float x1, float y1, int, float, float sx1, float sy1,
                                    const TImagePtr& image2, float x2, float y2, int, float, float sx2, float sy2)
{
    if (!image1 || !image2)
        return 0;
    auto span = [](float at, float handle, int size, float scale, float& lo, float& hi) {
        const float a = at - handle * scale;
        const float b = at + (size - handle) * scale;
        lo = a < b ? a : b;
        hi = a < b ? b : a;
    };
    float ax0, ax1, ay0, ay1, bx0, bx1, by0, by1;
    span(x1, image1->handle_x, image1->width, sx1, ax0, ax1);
    span(y1, image1->handle_y, image1->height, sy1, ay0, ay1);
    span(x2, image2->handle_x, image2->width, sx2, bx0, bx1);
    span(y2, image2->handle_y, image2->height, sy2, by0, by1);
    return ax1 >= bx0 && bx1 >= ax0 && ay1 >= by0 && by1 >= ay0 ? 1 : 0;
}
#endif
