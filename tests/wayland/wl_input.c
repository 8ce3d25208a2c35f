// A player's keyboard and pointer for a wlroots compositor, through the
// virtual-keyboard and virtual-pointer protocols. One long-lived client:
// every new virtual keyboard makes the compositor move the focus away and
// back, and a key sent before the client that shows the window has bound
// the keyboard is lost.
//
// Usage: wl_input OUTPUT_WIDTH OUTPUT_HEIGHT, then one command a line on
// standard input; each is answered with "ok" (or "error: ...") once the
// compositor has handled it:
//   down KEY | up KEY | tap KEY     KEY: an XKB keysym name (Control_L, space)
//   move X Y                        pointer to output pixel (X, Y)
//   press B | release B | click B   B: 1 left, 2 right, 3 middle
//   sleep MS
#define _GNU_SOURCE
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-client.h"
#include "virtual-pointer-client.h"

static struct wl_seat* seat;
static struct zwp_virtual_keyboard_manager_v1* keyboards;
static struct zwlr_virtual_pointer_manager_v1* pointers;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    (void)data;
    (void)version;
    if (!strcmp(interface, wl_seat_interface.name))
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (!strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name))
        keyboards = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
    else if (!strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
        pointers = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_remove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static uint32_t now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

struct find {
    xkb_keysym_t sym;
    xkb_keycode_t code;
};

static void find_key(struct xkb_keymap* keymap, xkb_keycode_t code, void* data)
{
    struct find* f = data;
    const xkb_keysym_t* syms;
    if (!f->code && xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms) > 0 && syms[0] == f->sym)
        f->code = code;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: wl_input OUTPUT_WIDTH OUTPUT_HEIGHT\n");
        return 2;
    }
    const uint32_t width = (uint32_t)atoi(argv[1]), height = (uint32_t)atoi(argv[2]);
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wl_input: no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!seat || !keyboards || !pointers) {
        fprintf(stderr, "wl_input: the compositor offers no virtual keyboard or pointer\n");
        return 1;
    }

    // A US keymap, handed to the compositor in a file.
    struct xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    struct xkb_rule_names names = {.layout = "us"};
    struct xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        fprintf(stderr, "wl_input: no keymap\n");
        return 1;
    }
    struct xkb_state* state = xkb_state_new(keymap);
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    const size_t size = strlen(text) + 1;
    int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text, size) != (ssize_t)size) {
        perror("wl_input: keymap file");
        return 1;
    }
    free(text);

    struct zwp_virtual_keyboard_v1* keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, (uint32_t)size);
    struct zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
    wl_display_roundtrip(display);
    close(fd);

    char line[256];
    setvbuf(stdout, NULL, _IOLBF, 0);
    while (fgets(line, sizeof line, stdin)) {
        char word[16] = "", name[64] = "";
        unsigned x = 0, y = 0;
        int n = sscanf(line, "%15s %63s", word, name);
        if (n < 1) continue;
        const int key_down = !strcmp(word, "down"), key_up = !strcmp(word, "up"), tap = !strcmp(word, "tap");
        if ((key_down || key_up || tap) && n >= 2) {
            struct find f = {xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS), 0};
            if (f.sym != XKB_KEY_NoSymbol) xkb_keymap_key_for_each(keymap, find_key, &f);
            if (!f.code) {
                printf("error: no key %s\n", name);
                continue;
            }
            for (int pass = 0; pass < 2; ++pass) {
                const int down = tap ? pass == 0 : key_down;
                if (pass == 1 && !tap) break;
                zwp_virtual_keyboard_v1_key(keyboard, now_ms(), f.code - 8, down ? 1 : 0);
                xkb_state_update_key(state, f.code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
                zwp_virtual_keyboard_v1_modifiers(keyboard, xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
                                                  xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
                                                  xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED),
                                                  xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE));
                wl_display_roundtrip(display);
                // A key held over a few frames, as a hand would.
                if (tap && pass == 0) usleep(60000);
            }
        } else if (!strcmp(word, "move") && sscanf(line, "%*s %u %u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if ((!strcmp(word, "press") || !strcmp(word, "release") || !strcmp(word, "click")) &&
                   sscanf(line, "%*s %u", &x) == 1 && x >= 1 && x <= 3) {
            const uint32_t button[] = {0, 0x110, 0x111, 0x112};  // BTN_LEFT, BTN_RIGHT, BTN_MIDDLE
            const int click = word[0] == 'c';
            if (click || word[0] == 'p') {
                zwlr_virtual_pointer_v1_button(pointer, now_ms(), button[x], 1);
                zwlr_virtual_pointer_v1_frame(pointer);
            }
            if (click) {
                wl_display_roundtrip(display);
                usleep(60000);
            }
            if (click || word[0] == 'r') {
                zwlr_virtual_pointer_v1_button(pointer, now_ms(), button[x], 0);
                zwlr_virtual_pointer_v1_frame(pointer);
            }
        } else if (!strcmp(word, "sleep") && sscanf(line, "%*s %u", &x) == 1) {
            usleep(x * 1000u);
        } else {
            printf("error: %s", line);
            continue;
        }
        if (wl_display_roundtrip(display) < 0) {
            fprintf(stderr, "wl_input: the compositor went away\n");
            return 1;
        }
        printf("ok\n");
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwp_virtual_keyboard_v1_destroy(keyboard);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return 0;
}
