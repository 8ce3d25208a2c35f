// The arithmetic of the ship, shots, aliens, debris, pop-ups and the moon
// surface, one frame at a time.
#include <SDL.h>

#include <memory>

#include "game/alien.h"
#include "game/apart.h"
#include "game/host_hooks.h"
#include "game/msurface.h"
#include "game/points.h"
#include "game/pshot.h"
#include "game_fixture.h"

using namespace kelvora;

namespace {

std::shared_ptr<pshot_tag> shot_at(float x, float y, float scale)
{
    auto s = std::make_shared<pshot_tag>();
    s->x = x;
    s->y = y;
    s->scale = scale;
    s->ang = 45;
    shot_list.add(s);
    return s;
}

std::shared_ptr<alien_tag> alien_at(float x, float y)
{
    aliens_left = 1;
    alien_tag::create_one();
    auto a = alien_list.snapshot().back();
    a->x = x;
    a->y = y;
    return a;
}

}  // namespace

using Ship = GameWorld;

TEST_F(Ship, ClimbStopsAt120AndTheShadowShrinksToItsLimits)
{
    player_tag::reset(1);
    game_state = STATE_PLAY;
    system->QueueKeyDown(38);
    for (int i = 0; i < 109; ++i)
        player->update();
    EXPECT_FLOAT_EQ(player->y, 122);
    for (int i = 0; i < 50; ++i)
        player->update();
    EXPECT_FLOAT_EQ(player->y, 120);
    // One step below each limit, then no further.
    EXPECT_LT(player->xsc, 0.8f);
    EXPECT_GT(player->xsc, 0.8f - 0.002f - 1e-6f);
    EXPECT_LE(player->ysc, 0.4f);
    EXPECT_GT(player->ysc, 0.4f - 0.002f - 1e-6f);

    // Up and down together: both steps run, so nothing moves away from the limit.
    system->QueueKeyDown(40);
    const float xsc = player->xsc;
    player->update();
    EXPECT_FLOAT_EQ(player->y, 122);  // 120 - 2 clamps to 120, then + 2
    EXPECT_GT(player->xsc, xsc);
}

TEST_F(Ship, SteeringScrollsTheWorldAndOnlyAFullDeflectionCounts)
{
    auto joy = std::make_shared<TScriptedJoystickSystem>();
    const int id = joy->AddDevice(2, 4);
    SetJoystickSystem(joy);
    JoyCount();
    player_tag::reset(1);
    game_state = STATE_PLAY;

    joy->Dev(id).state.axes[0] = 328;  // -0.99
    player->update();
    EXPECT_EQ(scroll_dir, 0);
    EXPECT_FLOAT_EQ(mount_x1, -30);

    joy->Dev(id).state.axes[0] = 0;  // -1.0
    player->update();
    EXPECT_EQ(scroll_dir, 1);
    EXPECT_FLOAT_EQ(mount_x1, -28);
    EXPECT_FLOAT_EQ(mount_x2, -49);

    // Left and right at once: right runs last and the offsets come back.
    joy->Dev(id).state.axes[0] = 32768;
    system->QueueKeyDown(37);
    system->QueueKeyDown(39);
    player->update();
    EXPECT_EQ(scroll_dir, -1);
    EXPECT_FLOAT_EQ(mount_x1, -28);
    SetJoystickSystem(nullptr);
}

// The wait before the results lasts while fire is held. A real pad unplugged
// with fire held used to keep it waiting for ever.
TEST_F(Ship, FlushingInputsEndsWhenThePadHoldingFireIsUnplugged)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    SetJoystickSystem(CreateSDLJoystickSystem());
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    const SDL_JoystickID pad_id = SDL_JoystickInstanceID(pad);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, SDL_PRESSED);
    ASSERT_EQ(JoyCount(), 1);
    ASSERT_EQ(JoyDown(0, 0), 1);

    int waits = 0;
    game_hooks.idle = [&] {
        if (++waits == 3) {
            SDL_JoystickClose(pad);
            for (int i = 0; i < SDL_NumJoysticks(); ++i) {
                if (SDL_JoystickGetDeviceInstanceID(i) == pad_id) SDL_JoystickDetachVirtual(i);
            }
        }
        if (waits == 100)
            system->QueueClose();  // the only other way out
    };
    quit_game = 0;
    player->flush_inputs();
    EXPECT_EQ(waits, 3);
    EXPECT_EQ(quit_game, 0);
    game_hooks.idle = nullptr;
    SetJoystickSystem(nullptr);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

TEST_F(Ship, FiresAlternatelyFromEachCannonOnePressOneShot)
{
    player_tag::reset(1);
    game_state = STATE_PLAY;
    // Two presses between frames still fire once.
    system->QueueKeyDown(162);
    system->QueueKeyUp(162);
    system->QueueKeyDown(162);
    player->update();
    ASSERT_EQ(shot_list.size(), 1);
    auto first = shot_list.snapshot()[0];
    EXPECT_FLOAT_EQ(first->x, 265);
    EXPECT_FLOAT_EQ(first->y, 308);
    EXPECT_FLOAT_EQ(first->ang, 45);
    EXPECT_FLOAT_EQ(first->scale, 0.8f);
    EXPECT_EQ(shots_fired, 1);

    player->update();  // held: no new press
    EXPECT_EQ(shot_list.size(), 1);

    system->QueueKeyUp(162);
    system->QueueKeyDown(162);
    player->update();
    ASSERT_EQ(shot_list.size(), 2);
    auto second = shot_list.snapshot()[1];
    EXPECT_FLOAT_EQ(second->x, 375);
    EXPECT_FLOAT_EQ(second->ang, 315);
    EXPECT_EQ(player->shot_side, 0);

    // The cannon carries over into the next game, the ship's place does not.
    player->score = 77;
    player->y = 200;
    player_tag::reset(0);
    EXPECT_EQ(player->score, 77);
    EXPECT_FLOAT_EQ(player->y, 340);
    EXPECT_FLOAT_EQ(player->xsc, 1.0f);
    EXPECT_FLOAT_EQ(player->ysc, 0.5f);
    player_tag::reset(1);
    EXPECT_EQ(player->score, 0);
    EXPECT_EQ(aliens_left, 250);
    EXPECT_FLOAT_EQ(spawn_delay, 150);
    EXPECT_EQ(player->shot_side, 0);
}

TEST_F(Ship, ShadowAndFlameAreDrawnWithTheirScales)
{
    player_tag::reset(1);
    player->update();
    const auto forms = recorder().CallsNamed("SetTransform");
    ASSERT_GE(forms.size(), 3u);
    EXPECT_FLOAT_EQ(forms[0].Arg(0), 1.0f);  // shadow: xsc 1.0
    EXPECT_FLOAT_EQ(forms[0].Arg(3), 0.5f);  // ysc 0.5
    EXPECT_FLOAT_EQ(forms[1].Arg(3), 0.7f);  // ship at 70 % height
    EXPECT_FLOAT_EQ(forms[2].Arg(3), 0.2f);  // first flame step
    const auto frames = draws();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_FLOAT_EQ(frames[0].Arg(5), 440);  // shadow on the ground line
    EXPECT_FLOAT_EQ(frames[2].Arg(4), 290);  // flame's top-left under the ship
    EXPECT_FLOAT_EQ(frames[2].Arg(5), 354);
    // The flame cycles 0.2 .. 1.2, then from 0.4.
    for (int i = 0; i < 5; ++i)
        player->update();
    EXPECT_FLOAT_EQ(player->thr_ysc, 1.2f);
    player->update();
    EXPECT_FLOAT_EQ(player->thr_ysc, 0.4f);
}

using Shots = GameWorld;

TEST_F(Shots, AShotLivesAbout80FramesAndCostsTenWhenWasted)
{
    player_tag::reset(1);
    pshot_tag::fire();
    int updates = 0;
    while (shot_list.size() == 1 && updates < 200) {
        pshot_tag::update_all();
        ++updates;
    }
    // 80 steps of 0.01 leave a float sliver above 0, so the 81st update ends it.
    EXPECT_EQ(updates, 81);
    EXPECT_EQ(shots_fired, 1);
    EXPECT_EQ(shots_wasted, 1);
    EXPECT_EQ(wasted_penalty, -10);
}

TEST_F(Shots, FlightConvergesAndDriftsWithTheSteering)
{
    auto s = shot_at(265, 308, 0.8f);
    pshot_tag::update_all();
    EXPECT_NEAR(s->x, 265 + 0.5657, 1e-3);
    EXPECT_NEAR(s->y, 308 - 0.5657, 1e-3);
    EXPECT_FLOAT_EQ(s->rot, 5);
    EXPECT_FLOAT_EQ(s->offs, -0.2f);
    scroll_dir = 1;
    const float x = s->x;
    pshot_tag::update_all();
    EXPECT_NEAR(s->x, x + 0.5657 + 0.79f * 4, 1e-3);
}

using Aliens = GameWorld;

TEST_F(Aliens, AHitInTheFirstUpdateIsWorth399AndLeavesDebrisAndAPopUp)
{
    auto a = alien_at(300, 150);
    shot_at(300, 150, 0.15f);
    alien_tag::update_all();
    EXPECT_EQ(alien_list.size(), 0);
    EXPECT_EQ(shot_list.size(), 0);
    EXPECT_EQ(player->score, 399);
    EXPECT_EQ(aliens_killed, 1);
    ASSERT_EQ(part_list.size(), 33);
    const auto parts = part_list.snapshot();
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(parts[i]->blood, 1);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(parts[26 + i]->blood, 0);
        EXPECT_EQ(parts[26 + i]->bpart, i);
    }
    ASSERT_EQ(points_list.size(), 1);
    EXPECT_EQ(points_list.snapshot()[0]->value, "+399");
    EXPECT_FLOAT_EQ(points_list.snapshot()[0]->scale, a->scale + 0.2f);
}

TEST_F(Aliens, ASecondMatchingShotRepeatsEveryHitEffect)
{
    alien_at(300, 150);
    shot_at(300, 150, 0.15f);
    shot_at(302, 150, 0.12f);
    shot_at(302, 150, 0.5f);  // too deep: stays
    alien_tag::update_all();
    EXPECT_EQ(player->score, 2 * 399);
    EXPECT_EQ(aliens_killed, 2);
    EXPECT_EQ(part_list.size(), 66);
    EXPECT_EQ(points_list.size(), 2);
    EXPECT_EQ(shot_list.size(), 1);
}

TEST_F(Aliens, DepthMatchIsStrictlyWithinATenth)
{
    // After its first update the alien's scale is 0.102.
    auto a = alien_at(300, 150);
    const float after = 0.1f + 0.002f;
    shot_at(300, 150, after + 0.1f);
    alien_tag::update_all();
    EXPECT_EQ(alien_list.size(), 1) << "exactly scale + 0.1 does not hit";
    shot_list.clear();
    shot_at(300, 150, a->scale + 0.002f + 0.099f);
    alien_tag::update_all();
    EXPECT_EQ(alien_list.size(), 0);
    // Overlap matters as well as depth.
    alien_at(100, 150);
    shot_at(400, 150, 0.11f);
    alien_tag::update_all();
    EXPECT_EQ(alien_list.size(), 1);
}

TEST_F(Aliens, AfterFourHundredUpdatesWorthNothingButStillHittableThenEscapes)
{
    auto a = alien_at(300, 150);
    for (int i = 0; i < 400; ++i)
        alien_tag::update_all();
    EXPECT_EQ(a->value, 0);
    EXPECT_EQ(a->passed, 0) << "the warning comes once the depth is past 0";
    alien_tag::update_all();
    EXPECT_EQ(a->passed, 1);
    EXPECT_LE(a->y, 380);

    auto b = alien_at(300, 150);
    for (int i = 0; i < 400; ++i)
        b->update();
    shot_at(b->x, b->y, b->scale + 0.002f);
    alien_list.remove(a.get());
    alien_tag::update_all();
    EXPECT_EQ(aliens_killed, 1);
    EXPECT_EQ(player->score, 0);
    EXPECT_EQ(points_list.snapshot().at(0)->value, "+0");

    // Left alone, an alien fades out about 600 frames after its birth.
    alien_at(300, 150);
    int updates = 0;
    while (alien_list.size() == 1 && updates < 1000) {
        alien_tag::update_all();
        ++updates;
    }
    EXPECT_GT(updates, 590);
    EXPECT_LT(updates, 610);
    EXPECT_EQ(aliens_escaped, 1);
    EXPECT_EQ(escaped_penalty, -500);
}

TEST_F(Aliens, SpawnTimerQuickensTo40)
{
    player_tag::reset(1);
    int calls = 0;
    while (alien_list.empty()) {
        alien_tag::update_all();
        ++calls;
    }
    EXPECT_EQ(calls, 150);
    EXPECT_EQ(aliens_left, 249);
    alien_list.clear();
    calls = 0;
    while (alien_list.empty()) {
        alien_tag::update_all();
        ++calls;
    }
    EXPECT_EQ(calls, 149);
    // Keep the list short: only the pacing matters here.
    int spawned = 2;
    int gap = 0;
    while (aliens_left > 0) {
        alien_list.clear();
        ++gap;
        alien_tag::update_all();
        if (!alien_list.empty()) {
            ++spawned;
            if (spawned >= 111) {
                EXPECT_EQ(gap, 40) << "alien " << spawned;
            }
            gap = 0;
        }
    }
    EXPECT_EQ(spawned, 250);
    EXPECT_FLOAT_EQ(spawn_delay, 40);
    // With none left to come the timer stands still and nothing spawns.
    const float tmr = spawn_tmr;
    alien_list.clear();
    EXPECT_EQ(alien_tag::update_all(), 0);
    EXPECT_FLOAT_EQ(spawn_tmr, tmr);
}

TEST_F(Aliens, ShadowIsFlatAndFollowsTheFade)
{
    mode3d = 2;
    qvdraw->slc(4, 100, 20, 140, 4, 10);
    auto a = alien_at(300, 150);
    a->update();  // shy 300 at birth: no shadow yet
    EXPECT_EQ(draws().size(), 4u);
    clear_log();
    a->update();
    EXPECT_EQ(draws().size(), 5u);  // one flat shadow, then two stereo pairs
    EXPECT_FLOAT_EQ(recorder().CallsNamed("SetAlpha")[0].Arg(0), 0.6f);
    a->alpha = 0.3f;
    clear_log();
    a->update();
    EXPECT_FLOAT_EQ(recorder().CallsNamed("SetAlpha")[0].Arg(0), 0.3f);
    // Scheme 1 draws the body additively, the others blend it.
    EXPECT_EQ(recorder().CallsNamed("SetBlend")[1].Arg(0), 3);
    mode3d = 1;
    clear_log();
    a->update();
    EXPECT_EQ(recorder().CallsNamed("SetBlend")[1].Arg(0), 4);
}

using Effects = GameWorld;

TEST_F(Effects, DebrisLivesAHundredFramesAndSpinsByItsDirection)
{
    apart_tag::create_em(100, 100, 0.5f, 0);
    auto parts = part_list.snapshot();
    parts[0]->ang = 180;
    const int rot = parts[0]->rot;
    apart_tag::update_all();
    EXPECT_EQ(parts[0]->rot, rot - 5);
    for (int i = 1; i < 99; ++i)
        apart_tag::update_all();
    EXPECT_EQ(part_list.size(), 33);
    apart_tag::update_all();
    apart_tag::update_all();
    EXPECT_EQ(part_list.size(), 0);
}

TEST_F(Effects, SmallBurstDrawsItsDropsMirrored)
{
    apart_tag::create_em(100, 100, 0.1f, 0);
    part_list.snapshot()[0]->update();
    const auto forms = recorder().CallsNamed("SetTransform");
    ASSERT_FALSE(forms.empty());
    // The drop's scale is 0.1 - 0.2: negative, so the quad is mirrored.
    float sx, sy;
    GetScale(sx, sy);
    EXPECT_LT(sx, 0);
}

TEST_F(Effects, PopUpRisesToFiftyInItsFifthUpdateAndDrawsByMode)
{
    points_tag::create_it(300, 60, 1.0f, 0, "+5");
    auto p = points_list.snapshot()[0];
    EXPECT_FLOAT_EQ(p->scale, 1.2f);
    for (int i = 0; i < 4; ++i)
        points_tag::update_all();
    EXPECT_GT(p->y, 50);
    clear_log();
    points_tag::update_all();
    EXPECT_FLOAT_EQ(p->y, 50);
    const auto flat = draws().size();  // one glyph quad per character
    EXPECT_EQ(flat, 2u);
    EXPECT_EQ(recorder().CallsNamed("SetColor").back().Arg(2), 0) << "yellow";
    clear_log();
    mode3d = 1;
    points_tag::update_all();
    EXPECT_EQ(draws().size(), 4 * flat) << "twice a stereo pair instead of one draw";
    // Full for 200 frames, gone about 50 later.
    int updates = 6;
    while (points_list.size() == 1 && updates < 400) {
        points_tag::update_all();
        ++updates;
    }
    EXPECT_GT(updates, 245);
    EXPECT_LT(updates, 255);
}

using Surface = GameWorld;

TEST_F(Surface, ARecycledFeatureIsHidden21UpdatesAndDrawn84)
{
    auto m = std::make_shared<msurface_tag>();
    m->x = 300;
    m->y = 240;
    m->scale = 0.1f;
    m->offs = -6;
    surface_list.add(m);
    int hidden = 0, drawn = 0;
    while (true) {
        clear_log();
        const float before = m->y;
        msurface_tag::update_all();
        if (draws().empty())
            ++hidden;
        else
            ++drawn;
        EXPECT_LE(m->scale, 1.0f);
        EXPECT_LE(m->offs, 2.0f);
        if (m->y < before)
            break;  // recycled at the horizon
    }
    EXPECT_EQ(hidden, 21);
    EXPECT_EQ(drawn, 84);
    EXPECT_FLOAT_EQ(m->y, 240);

    // In stereo: three additive pairs per drawn update.
    mode3d = 3;
    m->y = 292.5f;
    clear_log();
    msurface_tag::update_all();
    EXPECT_EQ(draws().size(), 6u);
    EXPECT_EQ(recorder().CallsNamed("SetBlend")[0].Arg(0), 4);
}

TEST_F(Surface, FeaturesWrapAtTheSides)
{
    auto m = std::make_shared<msurface_tag>();
    m->x = -25;
    m->y = 100;
    surface_list.add(m);
    msurface_tag::update_all();
    EXPECT_FLOAT_EQ(m->x, 660);
    m->x = 661;
    msurface_tag::update_all();
    EXPECT_FLOAT_EQ(m->x, -20);
    m->x = 660;
    msurface_tag::update_all();
    EXPECT_FLOAT_EQ(m->x, 660);
}
