#include "game_fixture.h"

TRecordingRast2DDriver& GameWorld::recorder()
{
    // Drivers live for the whole run, like the real ones.
    static auto* driver = new TRecordingRast2DDriver();
    return *driver;
}

void GameWorld::SetUp()
{
    clock = std::make_shared<TVirtualClock>(1000);
    SetClock(clock);
    system = std::make_shared<TScriptedSystemDriver>();
    SetSystemDriver(system);
    SetJoystickSystem(std::make_shared<TScriptedJoystickSystem>());
    JoyCount();
    recorder().SetGrabPixels(0xFFFFFFFFu);
    SetGraphicsDriver(&recorder(), GFX_BACKBUFFER);
    ASSERT_TRUE(Graphics(640, 480, 0, 0, 0));
    reset_globals();
    SeedRnd(1234);
    SetMaskColor(0, 0, 0);
    SetAutoImageFlags(9);
    qvdraw = std::make_shared<qvdraw_tag>();
    player = std::make_shared<player_tag>();
    create_sprite_images();
    screen_grab = CreateImage(640, 480, 1, -1);
    back_img1 = CreateImage(640, 480, 1, -1);
    back_img2 = CreateImage(640, 292, 1, -1);
    mount_img1 = CreateImage(230, 58, 1, -1);
    mount_img2 = CreateImage(140, 89, 1, -1);
    for (auto* img : {&ship_img, &surface_img, &alien_img, &shot_img, &glow_img, &debris_img, &flame_img,
                      &screen_grab, &back_img1, &back_img2, &mount_img1, &mount_img2})
        for (int f = 0; f < 8; ++f)
            if (f == 0 || (*img == debris_img) || (f < 4 && *img == surface_img) || (f < 2 && *img == ship_img))
                GrabImage(*img, 0, 0, f);
    SetTransform(0, 1, 1);
    clear_log();
}

void GameWorld::TearDown()
{
    reset_globals();
    EndGraphics();
}

std::vector<std::string> GameWorld::log() const
{
    std::vector<std::string> out;
    for (const auto& c : recorder().Calls())
        out.push_back(c.ToString());
    return out;
}
