#include "kelvora/system/input.h"

#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/system_driver.h"

namespace kelvora {

namespace {

struct TInputTables {
    int key_states[256] = {};
    int key_hits[256] = {};
    int char_queue[256] = {};
    int char_get = 0, char_put = 0;
    int mouse_states[4] = {};
    int mouse_hits[4] = {};
    int mouse_x = 0, mouse_y = 0, mouse_z = 0;
    int suspended = 0;
    int terminate = 0;
    std::shared_ptr<void> source;
    int enabled = 0;
};

TInputTables tables;

bool ValidKey(int key) { return key >= 0 && key < 256; }
bool ValidButton(int button) { return button >= 0 && button < 4; }

void ClearKeys()
{
    tables.char_get = tables.char_put = 0;
    for (int i = 0; i < 256; ++i) tables.key_states[i] = tables.key_hits[i] = 0;
}

void ClearMouse()
{
    for (int i = 0; i < 4; ++i) tables.mouse_states[i] = tables.mouse_hits[i] = 0;
    tables.mouse_z = 0;
}

THookData InputHook(int, THookData data, THookData)
{
    auto* ev = static_cast<TEvent*>(data.get());
    if (!ev) return data;
    if (tables.source && tables.source != ev->source) return data;
    switch (ev->id) {
    case EVENT_APPSUSPEND:
        FlushKeys();
        FlushMouse();
        tables.suspended = 1;
        break;
    case EVENT_APPRESUME:
        FlushKeys();
        FlushMouse();
        tables.suspended = 0;
        break;
    case EVENT_APPTERMINATE: tables.terminate = 1; break;
    case EVENT_KEYDOWN:
        if (ValidKey(ev->data) && !tables.key_states[ev->data]) {
            tables.key_states[ev->data] = 1;
            ++tables.key_hits[ev->data];
        }
        break;
    case EVENT_KEYUP:
        if (ValidKey(ev->data)) tables.key_states[ev->data] = 0;
        break;
    case EVENT_KEYCHAR:
        // Counters as unsigned so they wrap cleanly after 2^32 characters.
        if (unsigned(tables.char_put) - unsigned(tables.char_get) <= 255u) {
            tables.char_queue[unsigned(tables.char_put) % 256u] = ev->data;
            tables.char_put = int(unsigned(tables.char_put) + 1u);
        }
        break;
    case EVENT_MOUSEDOWN:
        if (ValidButton(ev->data) && !tables.mouse_states[ev->data]) {
            tables.mouse_states[ev->data] = 1;
            ++tables.mouse_hits[ev->data];
        }
        break;
    case EVENT_MOUSEUP:
        if (ValidButton(ev->data)) tables.mouse_states[ev->data] = 0;
        break;
    case EVENT_MOUSEMOVE:
        tables.mouse_x = ev->x;
        tables.mouse_y = ev->y;
        break;
    // Wraps rather than overflows: a flood of notches (a damaged recording,
    // a runaway wheel) must not be undefined.
    case EVENT_MOUSEWHEEL: tables.mouse_z = int(unsigned(tables.mouse_z) + unsigned(ev->data)); break;
    }
    return data;
}

}  // namespace

int KeyHit(int key)
{
    PollSystem();
    if (!ValidKey(key)) return 0;
    int n = tables.key_hits[key];
    tables.key_hits[key] = 0;
    return n;
}

int KeyDown(int key)
{
    PollSystem();
    return ValidKey(key) ? tables.key_states[key] : 0;
}

int GetChar()
{
    PollSystem();
    if (tables.char_get == tables.char_put) return 0;
    int c = tables.char_queue[unsigned(tables.char_get) % 256u];
    tables.char_get = int(unsigned(tables.char_get) + 1u);
    return c;
}

void FlushKeys()
{
    PollSystem();
    ClearKeys();
}

int MouseX()
{
    PollSystem();
    return tables.mouse_x;
}

int MouseY()
{
    PollSystem();
    return tables.mouse_y;
}

int MouseZ()
{
    PollSystem();
    return tables.mouse_z;
}

int MouseHit(int button)
{
    PollSystem();
    if (!ValidButton(button)) return 0;
    int n = tables.mouse_hits[button];
    tables.mouse_hits[button] = 0;
    return n;
}

int MouseDown(int button)
{
    PollSystem();
    return ValidButton(button) ? tables.mouse_states[button] : 0;
}

void FlushMouse()
{
    PollSystem();
    ClearMouse();
}

int AppSuspended()
{
    PollSystem();
    return tables.suspended;
}

int AppTerminate()
{
    PollSystem();
    int t = tables.terminate;
    tables.terminate = 0;
    return t;
}

int WaitKey()
{
    FlushKeys();
    for (;;) {
        WaitSystem();
        for (int key = 1; key < 256; ++key) {
            if (tables.key_hits[key]) {
                --tables.key_hits[key];
                return key;
            }
        }
    }
}

int WaitChar()
{
    FlushKeys();
    for (;;) {
        WaitSystem();
        if (int c = GetChar()) return c;
    }
}

int WaitMouse()
{
    FlushMouse();
    for (;;) {
        WaitSystem();
        for (int button = 1; button < 4; ++button) {
            if (tables.mouse_hits[button]) {
                --tables.mouse_hits[button];
                return button;
            }
        }
    }
}

void EnablePolledInput(std::shared_ptr<void> source)
{
    if (tables.enabled) return;
    tables.source = std::move(source);
    FlushKeys();
    FlushMouse();
    AddHook(EmitEventHook(), InputHook, nullptr, 0);
    tables.enabled = 1;
}

void DisablePolledInput()
{
    if (!tables.enabled) return;
    RemoveHook(EmitEventHook(), InputHook, nullptr);
    FlushKeys();
    FlushMouse();
    tables.source = nullptr;
    tables.enabled = 0;
}

}  // namespace kelvora
