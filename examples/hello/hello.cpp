// A window with a line of text; Escape or closing the window quits.
#include <kelvora/kelvora.h>

using namespace kelvora;

int main()
{
    Init({.app_name = "Hello"});
    Graphics(640, 480);
    while (!KeyHit(KEY_ESCAPE) && !AppTerminate()) {
        Cls();
        DrawText("Hello from the engine", 240, 232);
        Flip();
    }
    Shutdown();
}
