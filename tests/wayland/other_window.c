// A second Wayland client with a window of its own, to take the keyboard
// focus from the game. Runs until closed or killed.
#include <SDL.h>
#include <stdio.h>

int main(void)
{
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", "org.kelvora.otherwindow", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "other_window: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("other window", 0, 0, 160, 120, SDL_WINDOW_SHOWN);
    if (!window) {
        fprintf(stderr, "other_window: %s\n", SDL_GetError());
        return 1;
    }
    // A Wayland window shows only once it has a picture.
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    SDL_FillRect(surface, NULL, SDL_MapRGB(surface->format, 40, 90, 160));
    SDL_UpdateWindowSurface(window);
    printf("%s\n", SDL_GetCurrentVideoDriver());
    fflush(stdout);
    for (SDL_Event e; SDL_WaitEvent(&e) && e.type != SDL_QUIT;) {
        if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED) SDL_UpdateWindowSurface(window);
    }
    SDL_Quit();
    return 0;
}
