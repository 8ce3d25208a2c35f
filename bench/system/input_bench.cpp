// What a polled query costs: every KeyHit pumps the platform queue first, and
// the game asks several times per frame. Prints the mean cost of an empty
// pump, of a query, and of one key event from the SDL queue to the tables.
#include <SDL.h>

#include <chrono>
#include <cstdio>

#include "kelvora/system/input.h"
#include "kelvora/system/system_driver.h"

using namespace kelvora;

namespace {

double Micros(std::chrono::steady_clock::time_point t0, int n)
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / n;
}

}  // namespace

int main()
{
    bool video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    SDL_Window* window = video ? SDL_CreateWindow("bench", 0, 0, 640, 480, SDL_WINDOW_SHOWN) : nullptr;
    std::printf("display: %s\n", window ? "yes (SDL window open)" : "none (events only)");
    SetSystemDriver(CreateSDLSystemDriver());
    EnablePolledInput();
    for (int i = 0; i < 100; ++i) PollSystem();

    const int polls = 20000;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < polls; ++i) PollSystem();
    std::printf("PollSystem, empty queue:     %8.3f us\n", Micros(t0, polls));

    t0 = std::chrono::steady_clock::now();
    int sum = 0;
    for (int i = 0; i < polls; ++i) sum += KeyHit(32) + KeyDown(37);
    std::printf("KeyHit + KeyDown:            %8.3f us per pair\n", Micros(t0, polls));

    const int batch = 1000, rounds = 20;
    double per_event = 0;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < batch; ++i) {
            SDL_Event e{};
            e.type = (i & 1) ? SDL_KEYUP : SDL_KEYDOWN;
            e.key.keysym.scancode = SDL_SCANCODE_SPACE;
            e.key.keysym.sym = SDLK_SPACE;
            SDL_PushEvent(&e);
        }
        t0 = std::chrono::steady_clock::now();
        PollSystem();
        per_event += Micros(t0, batch);
    }
    sum += KeyHit(32);
    std::printf("key event, queue to tables:  %8.3f us (hits counted: %d)\n", per_event / rounds, sum);

    DisablePolledInput();
    SetSystemDriver(nullptr);
    if (window) SDL_DestroyWindow(window);
    if (video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 0;
}
