/* A pad for a program under test, preloaded into it (LD_PRELOAD): an SDL
 * virtual game controller that the test plugs in, moves and unplugs by
 * appending lines to the file named by KV_VIRTUAL_PAD:
 *   plug | unplug | axis N VALUE | button N 0|1
 * The lines are taken in whenever the program reads its joysticks
 * (SDL_JoystickUpdate, which the engine calls on every query), so each
 * lands between two of its frames as a real pad's change would. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static long lines_taken;
static SDL_Joystick *pad;
static SDL_JoystickID pad_id = -1;

static void say(const char *what)
{
    fprintf(stderr, "virtual pad: %s\n", what);
}

static void take(const char *line)
{
    int n = 0, value = 0;
    if (strncmp(line, "plug", 4) == 0 && !pad) {
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 11, 1);
        pad = index < 0 ? NULL : SDL_JoystickOpen(index);
        pad_id = pad ? SDL_JoystickInstanceID(pad) : -1;
        say(pad ? "plugged in" : SDL_GetError());
    } else if (strncmp(line, "unplug", 6) == 0 && pad) {
        SDL_JoystickClose(pad);
        pad = NULL;
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == pad_id) SDL_JoystickDetachVirtual(i);
        say("unplugged");
    } else if (sscanf(line, "axis %d %d", &n, &value) == 2 && pad) {
        SDL_JoystickSetVirtualAxis(pad, n, (Sint16)value);
    } else if (sscanf(line, "button %d %d", &n, &value) == 2 && pad) {
        SDL_JoystickSetVirtualButton(pad, n, (Uint8)value);
    } else {
        fprintf(stderr, "virtual pad: cannot take \"%s\" now\n", line);
    }
}

void SDL_JoystickUpdate(void)
{
    static void (*real)(void);
    if (!real) real = (void (*)(void))dlsym(RTLD_NEXT, "SDL_JoystickUpdate");
    const char *path = getenv("KV_VIRTUAL_PAD");
    FILE *f = path ? fopen(path, "r") : NULL;
    if (f) {
        char line[128];
        long n = 0;
        while (fgets(line, sizeof line, f)) {
            /* A line still being written waits for its end. */
            if (!strchr(line, '\n')) break;
            if (n++ < lines_taken) continue;
            line[strcspn(line, "\n")] = 0;
            take(line);
            lines_taken = n;
        }
        fclose(f);
    }
    real();
}
