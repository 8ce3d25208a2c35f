// Kelvora 3D.
#include "game/mainloop.h"
#include "runtime/program.h"

int main()
{
    return RunGuarded([] {
        EnterProgramDirectory();
        return run_game();
    });
}
