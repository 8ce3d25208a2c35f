#include "game/alien.h"

#include <memory>
#include <string>

#include "game/apart.h"
#include "game/cues.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/player.h"
#include "game/points.h"
#include "game/pshot.h"
#include "game/qvdraw.h"

using namespace kelvora;

void alien_tag::create_one()
{
    if (aliens_left != 0)
        aliens_left -= 1;
    auto a = std::make_shared<alien_tag>();
    a->alpha = 1.0f;
    a->offs = -8.0f;
    a->value = 400;
    a->shy = 300.0f;
    a->shsc = 0.2f;
    a->scale = 0.1f;
    a->x = static_cast<float>(Rnd(28, 614));
    a->y = static_cast<float>(Rnd(80, 200));
    alien_list.add(a);
}

bool alien_tag::depth_match(float shot_scale, float alien_scale)
{
    return shot_scale > alien_scale - 0.1f && shot_scale < alien_scale + 0.1f;
}

void alien_tag::update()
{
    // The ground shadow is always flat.
    const int saved_mode = mode3d;
    mode3d = 0;
    SetColor(20, 20, 20);
    if (shy > 300) {
        qvdraw->sip(3, alpha < 0.6f ? alpha : 0.6f, 0, shsc, 0.1f);
        qvdraw->i3d(alien_img, x, shy, 0, offs, 0, 3);
    }
    mode3d = saved_mode;

    SetColor(255, 255, 255);
    qvdraw->sip(mode3d == 1 ? 4 : 3, alpha, 0, scale, scale);
    qvdraw->i3d(alien_img, x, y, 0, offs, 0, 2);

    offs += 0.02f;
    scale += 0.002f;
    shsc += 0.002f;
    if (offs > 2.0f) {
        offs = 2.0f;
        alpha -= 0.01f;
    }
    y += 0.22f;
    value -= 1;
    shy += 0.22f;
    if (value < 0)
        value = 0;
    if (scroll_dir == 1)
        x += scale * 8;
    if (scroll_dir == -1)
        x -= scale * 8;
    if (x < -20)
        x = 660;
    if (x > 660)
        x = -20;
    if (y > 380)
        y = 380;

    shot_list.walk([this](pshot_tag& s) {
        const int hit = ImagesCollideTransformed(shot_img, static_cast<int>(s.x), static_cast<int>(s.y), 0,
                                                 static_cast<float>(rot), scale, scale, alien_img,
                                                 static_cast<int>(x), static_cast<int>(y), 0,
                                                 static_cast<float>(rot), scale, scale);
        if (hit && depth_match(s.scale, scale)) {
            shot_list.remove(&s);
            play_sfx(snd_alienhit);
            apart_tag::create_em(x, y, scale, offs);
            std::string text = "+";  // appended: g++ 12 warns falsely about "+" + string
            text += std::to_string(value);
            points_tag::create_it(x, y, scale, offs, text);
            alien_list.remove(this);
            player->score += value;
            aliens_killed += 1;
        }
    });

    if (offs > 0 && passed == 0) {
        passed = 1;
        play_sfx(snd_alienmiss);
    }
    if (alpha <= 0) {
        aliens_escaped += 1;
        escaped_penalty -= 500;
        alien_list.remove(this);
    }
}

int alien_tag::update_all()
{
    int n = 0;
    alien_list.walk([&n](alien_tag& a) {
        a.update();
        n += 1;
    });
    if (aliens_left != 0) {
        spawn_tmr += 1;
        if (spawn_tmr >= spawn_delay) {
            spawn_tmr = 0;
            spawn_delay -= 1;
            if (spawn_delay < 40)
                spawn_delay = 40;
            create_one();
        }
    }
    return n;
}

void alien_tag::destroy_all()
{
    alien_list.clear();
}
