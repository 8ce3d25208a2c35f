#include "system/joystick.h"

namespace {

constexpr int MAX_DEVICES = 256;
constexpr int MAX_PORTS = 16;
constexpr int POV_SLOT = 9;

struct TJoyTables {
    int devices[MAX_DEVICES] = {};
    int count = 0;
    bool counted = false;
    int buttons[MAX_PORTS] = {};
    float axes[MAX_PORTS][16] = {};
    int hits[MAX_PORTS][16] = {};
    std::string names[MAX_PORTS];
};

TJoyTables tables;

std::shared_ptr<TJoystickSystem>& SystemSlot()
{
    static std::shared_ptr<TJoystickSystem> system;
    return system;
}

TJoystickSystem& System()
{
    if (!SystemSlot()) SystemSlot() = CreateSDLJoystickSystem();
    return *SystemSlot();
}

// Device position to -1 .. 1. The ends of a 0..65535 range give exactly
// -1.0 and 1.0; the difference wraps as an unsigned 32-bit number.
float MapAxis(uint32_t position, uint32_t min, uint32_t max)
{
    if (max == 0) return 0.0f;
    long double v = (long double)(uint32_t(position - min)) * 2.0L / (long double)max - 1.0L;
    return float(v);
}

// Reads the port into the tables; false when the port has no device that
// answers (its values then stay as they were).
bool ReadPort(int port)
{
    if (port < 0 || port >= MAX_PORTS) return false;
    if (!tables.counted) JoyCount();
    if (port >= tables.count) return false;
    int id = tables.devices[port];
    TJoystickSystem& sys = System();
    TJoyCaps caps;
    if (!sys.Caps(id, caps)) return false;
    TJoyReading r;
    if (!sys.Read(id, r)) return false;
    int old = tables.buttons[port];
    tables.buttons[port] = int(r.buttons);
    tables.names[port] = caps.name;
    int n = r.num_axes < 6 ? r.num_axes : 6;
    for (int a = 0; a < n; ++a) tables.axes[port][a] = MapAxis(r.axes[a], caps.min[a], caps.max[a]);
    if (r.has_pov) tables.axes[port][POV_SLOT] = r.pov <= 36000 ? float(r.pov / 36000.0) : -1.0f;
    for (int b = 0; b < 16; ++b) {
        if (!(old & (1 << b)) && (r.buttons & (1u << b))) ++tables.hits[port][b];
    }
    return true;
}

float Axis(int port, int slot)
{
    ReadPort(port);
    if (port < 0 || port >= MAX_PORTS) return 0.0f;
    return tables.axes[port][slot];
}

}  // namespace

void SetJoystickSystem(std::shared_ptr<TJoystickSystem> system)
{
    SystemSlot() = std::move(system);
    tables = TJoyTables{};
}

void InitJoystickModule() { tables = TJoyTables{}; }

int JoyCount()
{
    TJoystickSystem& sys = System();
    int n = sys.NumDevices();
    int count = 0;
    for (int id = 0; id < n; ++id) {
        if (count < MAX_DEVICES && sys.Answers(id)) tables.devices[count++] = id;
    }
    for (int i = count; i < MAX_DEVICES; ++i) tables.devices[i] = 0;
    tables.count = count;
    tables.counted = true;
    return count;
}

int JoyDown(int button, int port)
{
    ReadPort(port);
    if (port < 0 || port >= MAX_PORTS) return 0;
    return (unsigned(tables.buttons[port]) >> (unsigned(button) & 31u)) & 1u;
}

int JoyHit(int button, int port)
{
    ReadPort(port);
    if (port < 0 || port >= MAX_PORTS || button < 0 || button >= 16) return 0;
    int n = tables.hits[port][button];
    tables.hits[port][button] = 0;
    return n;
}

float JoyX(int port) { return Axis(port, 0); }
float JoyY(int port) { return Axis(port, 1); }
float JoyZ(int port) { return Axis(port, 2); }
float JoyR(int port) { return Axis(port, 3); }
float JoyU(int port) { return Axis(port, 4); }
float JoyV(int port) { return Axis(port, 5); }
float JoyHat(int port) { return Axis(port, POV_SLOT); }

int JoyButtons(int port)
{
    ReadPort(port);
    if (port < 0 || port >= MAX_PORTS) return 0;
    return tables.buttons[port];
}

std::string JoyName(int port)
{
    ReadPort(port);
    if (port < 0 || port >= MAX_PORTS) return "";
    return tables.names[port];
}
