#include "game/pshot.h"

#include <memory>

#include "game/engine.h"
#include "game/globals.h"
#include "game/player.h"
#include "game/qvdraw.h"

using namespace kelvora;

void pshot_tag::fire()
{
    shots_fired += 1;
    auto s = std::make_shared<pshot_tag>();
    if (player->shot_side == 0) {
        s->x = player->x - 55;
        s->ang = 45;
    } else {
        s->x = player->x + 55;
        s->ang = 315;
    }
    s->y = player->y - 32;
    s->rot = static_cast<float>(Rnd(360, 0));
    s->scale = 0.8f;
    s->offs = 0;
    shot_list.add(s);
}

void pshot_tag::update()
{
    SetColor(255, 255, 255);
    x = static_cast<float>(x + Sin(ang) * 0.8);
    y = static_cast<float>(y - Cos(ang) * 0.8);
    if (scroll_dir == 1)
        x += scale * 4;
    if (scroll_dir == -1)
        x -= scale * 4;
    qvdraw->sip(4, mode3d != 0 ? 1.0f : 0.3f, 0, scale + 0.1f, scale + 0.1f);
    qvdraw->i3d(glow_img, x, y, 0, offs, 0, 1);
    qvdraw->sip(4, 1.0f, rot, scale, scale);
    qvdraw->i3d(shot_img, x, y, 0, offs, 0, 2);
    rot += 5;
    offs -= 0.2f;
    scale -= 0.01f;
    if (scale <= 0) {
        shots_wasted += 1;
        wasted_penalty -= 10;
        shot_list.remove(this);
    }
}

void pshot_tag::update_all()
{
    shot_list.walk([](pshot_tag& s) { s.update(); });
}

void pshot_tag::destroy_all()
{
    shot_list.clear();
}
