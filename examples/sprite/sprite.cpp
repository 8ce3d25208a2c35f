// A sprite: an image cut from a sprite sheet and moved with the cursor keys,
// two lines of text, and a sound played on Space. Escape or closing the
// window quits.
//
// The files are loaded from the working folder: the build copies
// sprites.png and fire.ogg beside the program, so run it from there
// (cd examples && ./sprite in the build folder).
#include <kelvora/kelvora.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace kelvora;

int main()
{
    // The name is the window's caption.
    Init({.app_name = "Sprite"});
    // A 640x480 window (depth 0); full screen would be Graphics(640, 480, 32).
    if (!Graphics(640, 480)) {
        std::fprintf(stderr, "sprite: no window: %s\n", LastGraphicsError().c_str());
        return 1;
    }

    // A sheet holds many pictures; PixmapWindow picks one out without a copy.
    // Images are IMAGE_MASKED by default: the sheet's black background turns
    // transparent (SetMaskColor picks another colour).
    TPixmapPtr sheet = LoadPixmap("sprites.png");
    TSoundPtr zap = LoadSound("fire.ogg");
    if (!sheet || !zap) {
        std::fprintf(stderr, "sprite: sprites.png or fire.ogg is not in the working folder\n");
        Shutdown();
        return 1;
    }
    TImagePtr ship = LoadImage(PixmapWindow(sheet, 1, 1, 186, 78));
    // Drawn at (x, y), the image's centre lands there instead of its corner.
    CenterImageHandle(ship);

    float x = 320, y = 300;
    int played = 0;
    while (!KeyHit(KEY_ESCAPE) && !AppTerminate()) {
        // KeyDown reads 1 while the key is held: the ship glides as long as
        // an arrow is down. Flip paces the loop at 60 frames a second, so
        // this is 4 pixels a frame.
        if (KeyDown(KEY_LEFT)) x -= 4;
        if (KeyDown(KEY_RIGHT)) x += 4;
        if (KeyDown(KEY_UP)) y -= 4;
        if (KeyDown(KEY_DOWN)) y += 4;
        x = std::clamp(x, 93.0f, 547.0f);
        y = std::clamp(y, 80.0f, 441.0f);
        // KeyHit counts presses: one sound per press, however long it is held.
        if (KeyHit(KEY_SPACE)) {
            PlaySound(zap);
            ++played;
        }

        // Each frame is drawn whole: clear, draw, show.
        Cls();
        SetColor(255, 255, 255);
        DrawImage(ship, x, y);
        // Text takes the current colour; the built-in font is 8x16 pixels.
        SetColor(255, 220, 120);
        DrawText("Arrows move the ship, Space plays a sound, Escape quits", 8, 8);
        DrawText("Sounds played: " + std::to_string(played), 8, 28);
        Flip();
    }
    // The images and the sound held above may outlive this: they stay valid
    // and are released harmlessly.
    Shutdown();
    return 0;
}
