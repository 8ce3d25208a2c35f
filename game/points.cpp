#include "game/points.h"

#include <memory>

#include "game/engine.h"
#include "game/globals.h"
#include "game/qvdraw.h"

using namespace kelvora;

void points_tag::create_it(float x, float y, float scale, float offs, const std::string& text)
{
    auto p = std::make_shared<points_tag>();
    p->alpha = 1.0f;
    p->offs = offs;
    p->value = text;
    p->scale = scale + 0.2f;
    p->x = x;
    p->y = y;
    points_list.add(p);
}

void points_tag::update()
{
    SetColor(250, 250, 0);
    qvdraw->sip(mode3d != 0 ? 4 : 3, alpha, 0, scale, scale);
    y -= 2 * scale;
    dist += 1;
    if (y < 50)
        y = 50;
    if (scroll_dir == 1)
        x += scale * 4;
    if (scroll_dir == -1)
        x -= scale * 4;
    qvdraw->t3d(value, x, y, offs, 1);
    if (mode3d != 0)
        qvdraw->t3d(value, x, y, offs, 1);
    if (dist > 200)
        alpha -= 0.02f;
    if (alpha <= 0)
        points_list.remove(this);
}

void points_tag::update_all()
{
    points_list.walk([](points_tag& p) { p.update(); });
}

void points_tag::destroy_all()
{
    points_list.clear();
}
