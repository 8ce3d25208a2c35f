// Kelvora 3D. Until the game's screens exist, the program says so plainly.
#include <cstdio>

#include "runtime/program.h"

int main()
{
    return RunGuarded([] {
        EnterProgramDirectory();
        std::printf("Kelvora 3D: the engine is being built; the game itself is not playable yet.\n");
        return 0;
    });
}
