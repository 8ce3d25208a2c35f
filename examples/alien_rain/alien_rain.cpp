// Alien Rain: a small complete game. Aliens fall; move the ship with the
// arrows (or a pad's stick), shoot them with Space (or the pad's A) before
// they land. Each one that lands costs a life, one that touches the ship
// ends the game. Space on the title or after the game starts a new one;
// Escape or closing the window quits.
//
// The files are loaded from the working folder: the build copies them
// beside the program, so run it from there (cd examples && ./alien_rain in
// the build folder). The images and sounds are globals, so they go after
// main returns and Shutdown: the engine makes that harmless.
#include <kelvora/kelvora.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace kelvora;

namespace {

enum class Screen { title, play, over };

struct Alien {
    float x, y, speed;
    bool shot = false;
};
struct Shot {
    float x, y;
    bool spent = false;
};

// Sprites are drawn at half size with centred handles, so positions name
// the middle of each picture.
constexpr float SCALE = 0.5f;
constexpr float SHIP_Y = 440, SHIP_HALF_WIDTH = 186 * SCALE / 2;
constexpr float ALIEN_HALF_WIDTH = 56 * SCALE / 2, ALIEN_HALF_HEIGHT = 92 * SCALE / 2;
constexpr float GROUND = 470;

TImagePtr ship_image, alien_image;
TSoundPtr fire_sound, hit_sound, start_sound, over_sound;

Screen screen = Screen::title;
float ship_x = 320;
std::vector<Alien> aliens;
std::vector<Shot> shots;
int score = 0, best = 0, lives = 0, frames_to_next_alien = 0;

bool LoadMedia()
{
    TPixmapPtr sheet = LoadPixmap("sprites.png");
    if (!sheet) return false;
    // Pictures cut from the sheet; its black background turns transparent
    // (images are IMAGE_MASKED by default).
    ship_image = LoadImage(PixmapWindow(sheet, 1, 1, 186, 78));
    alien_image = LoadImage(PixmapWindow(sheet, 574, 1, 56, 92));
    CenterImageHandle(ship_image);
    CenterImageHandle(alien_image);
    fire_sound = LoadSound("fire.ogg");
    hit_sound = LoadSound("hit.ogg");
    start_sound = LoadSound("start.ogg");
    over_sound = LoadSound("over.ogg");
    return ship_image && alien_image && fire_sound && hit_sound && start_sound && over_sound;
}

// Space, or A on the pad in port 0. Both count presses, not holds.
bool FirePressed() { return KeyHit(KEY_SPACE) || JoyHit(0); }

void NewGame()
{
    aliens.clear();
    shots.clear();
    ship_x = 320;
    score = 0;
    lives = 3;
    frames_to_next_alien = 30;
    PlaySound(start_sound);
    screen = Screen::play;
}

void GameOver()
{
    best = std::max(best, score);
    PlaySound(over_sound);
    // Space pressed in the last moments of play must not skip the results.
    FlushKeys();
    screen = Screen::over;
}

void UpdatePlay()
{
    // Steering: arrows held, or the stick pushed past half way.
    const float stick = JoyX(0);
    if (KeyDown(KEY_LEFT) || stick < -0.5f) ship_x -= 6;
    if (KeyDown(KEY_RIGHT) || stick > 0.5f) ship_x += 6;
    ship_x = std::clamp(ship_x, SHIP_HALF_WIDTH, 640 - SHIP_HALF_WIDTH);

    // At most three shots in the air.
    if (FirePressed() && shots.size() < 3) {
        shots.push_back({ship_x, SHIP_Y - 20});
        PlaySound(fire_sound);
    }
    for (Shot& s : shots) s.y -= 10;

    // A new alien now and then, sooner and faster as the score grows.
    if (--frames_to_next_alien <= 0) {
        const float x = float(Rand(int(ALIEN_HALF_WIDTH), int(640 - ALIEN_HALF_WIDTH)));
        aliens.push_back({x, -ALIEN_HALF_HEIGHT, 1.0f + score / 200.0f + float(Rnd(0, 1))});
        frames_to_next_alien = std::max(20, 70 - score / 20);
    }
    for (Alien& a : aliens) a.y += a.speed;

    // A shot near enough to an alien's middle hits it.
    for (Shot& s : shots) {
        for (Alien& a : aliens) {
            if (!s.spent && !a.shot && std::fabs(s.x - a.x) < ALIEN_HALF_WIDTH &&
                std::fabs(s.y - a.y) < ALIEN_HALF_HEIGHT) {
                s.spent = a.shot = true;
                score += 10;
                PlaySound(hit_sound);
            }
        }
    }
    std::erase_if(shots, [](const Shot& s) { return s.spent || s.y < 0; });
    std::erase_if(aliens, [](const Alien& a) { return a.shot; });

    // The ship against the aliens, pixel by pixel, each image placed as it
    // is drawn: no rotation, half size.
    for (const Alien& a : aliens) {
        if (ImagesCollideTransformed(ship_image, ship_x, SHIP_Y, 0, 0, SCALE, SCALE, alien_image, a.x, a.y, 0, 0,
                                     SCALE, SCALE)) {
            GameOver();
            return;
        }
    }
    // Every alien that lands costs a life.
    const auto landed = std::erase_if(aliens, [](const Alien& a) { return a.y - ALIEN_HALF_HEIGHT > GROUND; });
    lives -= int(landed);
    if (lives <= 0) GameOver();
}

// Text in the middle of the screen, scaled from the built-in 8x16 font.
void DrawCentred(const std::string& text, float y, float scale = 1)
{
    SetScale(scale, scale);
    DrawText(text, (640 - TextWidth(text) * scale) / 2, y);
    SetScale(1, 1);
}

void Draw()
{
    Cls();
    SetColor(255, 255, 255);
    if (screen == Screen::title) {
        DrawCentred("ALIEN RAIN", 150, 3);
        DrawCentred("Arrows move, Space fires: shoot the aliens before they land.", 250);
        DrawCentred("Space to start, Escape to quit", 290);
        return;
    }
    SetColor(80, 80, 100);
    DrawLine(0, GROUND, 639, GROUND);
    SetColor(255, 255, 255);
    SetScale(SCALE, SCALE);
    for (const Alien& a : aliens) DrawImage(alien_image, a.x, a.y);
    DrawImage(ship_image, ship_x, SHIP_Y);
    SetScale(1, 1);
    SetColor(255, 240, 120);
    for (const Shot& s : shots) DrawRect(s.x - 1, s.y - 6, 3, 12);

    SetColor(255, 255, 255);
    DrawText("Score " + std::to_string(score), 8, 8);
    DrawText("Best " + std::to_string(best), 280, 8);
    DrawText("Lives " + std::to_string(lives), 568, 8);
    if (screen == Screen::over) {
        DrawCentred("GAME OVER", 170, 2);
        DrawCentred("Space to play again, Escape to quit", 290);
    }
}

}  // namespace

int main()
{
    Init({.app_name = "Alien Rain"});
    if (!Graphics(640, 480)) {
        std::fprintf(stderr, "alien_rain: no window: %s\n", LastGraphicsError().c_str());
        return 1;
    }
    if (!LoadMedia()) {
        std::fprintf(stderr, "alien_rain: sprites.png or a sound is not in the working folder\n");
        Shutdown();
        return 1;
    }
    // Another rain every run.
    SeedRnd(Millisecs());

    while (!KeyHit(KEY_ESCAPE) && !AppTerminate()) {
        if (screen == Screen::play)
            UpdatePlay();
        else if (FirePressed())
            NewGame();
        Draw();
        Flip();
    }
    Shutdown();
    return 0;
}
