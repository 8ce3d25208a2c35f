#include "game/msurface.h"

#include <memory>

#include "game/engine.h"
#include "game/globals.h"
#include "game/qvdraw.h"

using namespace kelvora;

void msurface_tag::create_em()
{
    for (int i = 0; i <= 100; ++i) {
        auto m = std::make_shared<msurface_tag>();
        const int ix = static_cast<int>(Rnd(0, 640));
        const int iy = static_cast<int>(Rnd(56, 300));
        m->offs = -6.0f;
        m->scale = 0.1f;
        m->x = static_cast<float>(ix);
        m->y = static_cast<float>(iy);
        m->frame = static_cast<int>(Rnd(0, 4));
        surface_list.add(m);
    }
    // Spread the field out before anyone sees it.
    for (int i = 0; i <= 35; ++i)
        update_all();
}

void msurface_tag::update()
{
    if (y > 290) {
        SetColor(255, 255, 255);
        qvdraw->sip(mode3d != 0 ? 4 : 1, 1.0f, 0, scale, scale);
        qvdraw->i3d(surface_img, x, y, frame, offs, 0, 3);
        offs += 0.12f;
        scale += 0.01f;
        if (scale > 1.0f)
            scale = 1.0f;
        if (offs > 2.0f)
            offs = 2.0f;
    }
    y += 2.5f;
    if (scroll_dir == 1)
        x += scale * 3;
    if (scroll_dir == -1)
        x -= scale * 3;
    if (y > 500) {
        frame = static_cast<int>(Rnd(0, 4));
        y = 240;
        scale = 0.1f;
        offs = -6.0f;
        x = static_cast<float>(Rnd(0, 640));
    }
    if (x < -20)
        x = 660;
    if (x > 660)
        x = -20;
}

void msurface_tag::update_all()
{
    surface_list.walk([](msurface_tag& m) { m.update(); });
}
