#include "kelvora/system/joystick.h"

#include <algorithm>

namespace kelvora {

namespace {

constexpr int MAX_DEVICES = 256;
constexpr int MAX_PORTS = 16;
constexpr int POV_SLOT = 9;

struct TPort {
    int id = 0;
    bool attached = false;
    std::string key;  // of the last device on the port, for its return
};

struct TJoyTables {
    TPort ports[MAX_DEVICES];
    int buttons[MAX_PORTS] = {};
    float axes[MAX_PORTS][16] = {};
    int hits[MAX_PORTS][16] = {};
    bool has_pov[MAX_PORTS] = {};
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

// Takes a reading of the port's device into the tables; with count_hits
// false it only sets the values a later reading compares with.
bool TakeReading(int port, bool count_hits)
{
    TJoystickSystem& sys = System();
    int id = tables.ports[port].id;
    TJoyCaps caps;
    if (!sys.Caps(id, caps)) return false;
    TJoyReading r;
    if (!sys.Read(id, r)) return false;
    if (port >= MAX_PORTS) return true;
    int old = tables.buttons[port];
    tables.buttons[port] = int(r.buttons);
    tables.names[port] = caps.name;
    int n = r.num_axes < 6 ? r.num_axes : 6;
    for (int a = 0; a < n; ++a) tables.axes[port][a] = MapAxis(r.axes[a], caps.min[a], caps.max[a]);
    tables.has_pov[port] = r.has_pov;
    if (r.has_pov) tables.axes[port][POV_SLOT] = r.pov <= 36000 ? float(r.pov / 36000.0) : -1.0f;
    for (int b = 0; b < 16 && count_hits; ++b) {
        if (!(old & (1 << b)) && (r.buttons & (1u << b))) ++tables.hits[port][b];
    }
    return true;
}

// A port whose device has gone: nothing held, sticks centred, no name.
// Keeping the last values would leave a button held for ever (and the game
// waiting for its release). Presses made before it went still count.
void Release(int port)
{
    tables.ports[port].attached = false;
    if (port >= MAX_PORTS) return;
    tables.buttons[port] = 0;
    for (int a = 0; a < 6; ++a) tables.axes[port][a] = 0.0f;
    if (tables.has_pov[port]) tables.axes[port][POV_SLOT] = -1.0f;
    tables.names[port].clear();
}

// Puts a device on a port with a fresh reading: what is held as it comes
// counts as no press, and nothing of the port's last device is left.
bool Occupy(int port, int id, const std::string& key)
{
    tables.ports[port] = {id, true, key};
    if (port < MAX_PORTS) {
        tables.buttons[port] = 0;
        for (float& v : tables.axes[port]) v = 0.0f;
        for (int& n : tables.hits[port]) n = 0;
        tables.has_pov[port] = false;
        tables.names[port].clear();
    }
    if (TakeReading(port, false)) return true;
    tables.ports[port].attached = false;
    return false;
}

int FreePortFor(const std::string& key)
{
    for (int p = 0; p < MAX_DEVICES; ++p) {
        if (!tables.ports[p].attached && !key.empty() && tables.ports[p].key == key) return p;
    }
    for (int p = 0; p < MAX_DEVICES; ++p) {
        if (!tables.ports[p].attached) return p;
    }
    return -1;
}

// The game reads port 0 only: when its device goes, the device on the
// lowest port moves there. No other device in use ever changes its port.
void FillPortZero()
{
    if (tables.ports[0].attached) return;
    for (int p = 1; p < MAX_DEVICES; ++p) {
        if (!tables.ports[p].attached) continue;
        const TPort moving = tables.ports[p];
        Release(p);
        tables.ports[p].key.clear();
        if (Occupy(0, moving.id, moving.key)) return;
    }
}

// Brings the ports up to date with the devices attached now.
int Sync()
{
    TJoystickSystem& sys = System();
    std::vector<int> ids = sys.Devices();
    for (int p = 0; p < MAX_DEVICES; ++p) {
        TPort& port = tables.ports[p];
        if (port.attached && std::find(ids.begin(), ids.end(), port.id) == ids.end()) Release(p);
    }
    for (int id : ids) {
        bool known = false;
        for (const TPort& port : tables.ports) known = known || (port.attached && port.id == id);
        if (known) continue;
        TJoyCaps caps;
        if (!sys.Caps(id, caps)) continue;
        int p = FreePortFor(caps.key);
        if (p < 0) break;
        Occupy(p, id, caps.key);
    }
    FillPortZero();
    int count = 0;
    for (const TPort& port : tables.ports) count += port.attached ? 1 : 0;
    return count;
}

// Reads the port into the tables; false when the port has no device that
// answers (its values then stay as they were).
bool ReadPort(int port)
{
    if (port < 0 || port >= MAX_PORTS) return false;
    Sync();
    if (!tables.ports[port].attached) return false;
    return TakeReading(port, true);
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

int JoyCount() { return Sync(); }

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

int JoyPortDevice(int port)
{
    if (port < 0 || port >= MAX_DEVICES || !tables.ports[port].attached) return -1;
    return tables.ports[port].id;
}

std::string JoyName(int port)
{
    ReadPort(port);
    if (port < 0 || port >= MAX_PORTS) return "";
    return tables.names[port];
}

}  // namespace kelvora
