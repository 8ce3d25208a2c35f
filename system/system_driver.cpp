#include "kelvora/system/system_driver.h"

namespace kelvora {

namespace {
std::shared_ptr<TSystemDriver>& Slot()
{
    static std::shared_ptr<TSystemDriver> driver;
    return driver;
}

bool polling = false;

// Marks a poll as running; a nested poll sees it and returns at once.
class TPollGuard {
public:
    TPollGuard() : entered_(!polling) { polling = true; }
    ~TPollGuard()
    {
        if (entered_) polling = false;
    }
    bool Entered() const { return entered_; }

private:
    bool entered_;
};
}  // namespace

void SetSystemDriver(std::shared_ptr<TSystemDriver> driver) { Slot() = std::move(driver); }

TSystemDriver& SystemDriver()
{
    if (!Slot()) Slot() = CreateSDLSystemDriver();
    return *Slot();
}

void PollSystem()
{
    TPollGuard guard;
    if (guard.Entered()) SystemDriver().Poll();
}

void WaitSystem()
{
    TPollGuard guard;
    if (guard.Entered()) SystemDriver().Wait();
}

void MoveMouse(int x, int y) { SystemDriver().MoveMouse(x, y); }

void ShowMouse() { SystemDriver().SetMouseVisible(1); }

void HideMouse() { SystemDriver().SetMouseVisible(0); }

}  // namespace kelvora
