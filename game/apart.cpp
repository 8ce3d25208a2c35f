#include "game/apart.h"

#include <memory>

#include "game/engine.h"
#include "game/globals.h"
#include "game/qvdraw.h"

using namespace kelvora;

void apart_tag::create_em(float x, float y, float scale, float offs)
{
    for (int i = 0; i <= 25; ++i) {
        auto p = std::make_shared<apart_tag>();
        p->alpha = 1.0f;
        p->blood = 1;
        p->scale = scale;
        p->offs = offs;
        p->spd = static_cast<float>(Rnd(0.2, 2.5));
        p->ang = static_cast<float>(Rnd(360, 0));
        p->rot = static_cast<int>(Rnd(360, 0));
        p->x = x;
        p->y = y;
        part_list.add(p);
    }
    for (int i = 0; i <= 6; ++i) {
        auto p = std::make_shared<apart_tag>();
        p->alpha = 1.0f;
        p->scale = scale;
        p->offs = offs;
        p->bpart = i;
        p->spd = static_cast<float>(Rnd(0.8, 2.0));
        p->ang = static_cast<float>(Rnd(360, 0));
        p->rot = static_cast<int>(Rnd(360, 0));
        p->x = x;
        p->y = y;
        part_list.add(p);
    }
}

void apart_tag::update()
{
    SetColor(250, 250, 0);
    x = static_cast<float>(x + Sin(ang) * spd);
    y = static_cast<float>(y - Cos(ang) * spd);
    if (scroll_dir == 1)
        x += scale * 2;
    if (scroll_dir == -1)
        x -= scale * 2;
    qvdraw->sip(mode3d != 0 ? 4 : 3, alpha, static_cast<float>(rot), scale, scale);
    if (blood != 0) {
        SetScale(scale - 0.2f, scale - 0.2f);
        qvdraw->i3d(debris_img, x, y, 7, offs, 0, 2);
        scale += 0.004f;
    }
    SetColor(255, 255, 255);
    if (blood == 0) {
        SetScale(scale, scale);
        qvdraw->i3d(debris_img, x, y, bpart, offs, 0, 2);
        scale += 0.01f;
    }
    if (ang < 180)
        rot += 5;
    else
        rot -= 5;
    offs += 0.4f;
    alpha -= 0.01f;
    if (alpha <= 0)
        part_list.remove(this);
}

void apart_tag::update_all()
{
    part_list.walk([](apart_tag& p) { p.update(); });
}

void apart_tag::destroy_all()
{
    part_list.clear();
}
