#include "system/scripted_system_driver.h"

#include "system/pointer_mapping.h"

namespace kelvora {

TScriptedSystemDriver::TScriptedSystemDriver() = default;

void TScriptedSystemDriver::QueueClose()
{
    queue_.push_back([this] { translator_.Close(); });
}

void TScriptedSystemDriver::QueueFocus(bool gained)
{
    queue_.push_back([this, gained] { translator_.Focus(gained); });
}

void TScriptedSystemDriver::QueueKeyDown(int vk)
{
    queue_.push_back([this, vk] { translator_.Key(vk, true, false); });
}

void TScriptedSystemDriver::QueueKeyRepeat(int vk)
{
    queue_.push_back([this, vk] { translator_.Key(vk, true, true); });
}

void TScriptedSystemDriver::QueueKeyUp(int vk)
{
    queue_.push_back([this, vk] { translator_.Key(vk, false, false); });
}

void TScriptedSystemDriver::QueueChar(int code)
{
    queue_.push_back([this, code] { translator_.Char(code); });
}

void TScriptedSystemDriver::QueueButton(int button, bool down)
{
    queue_.push_back([this, button, down] { translator_.Button(button, down, px_, py_); });
}

void TScriptedSystemDriver::QueueMotion(double window_x, double window_y)
{
    queue_.push_back([this, window_x, window_y] {
        px_ = window_x;
        py_ = window_y;
        translator_.Motion(px_, py_, window_w, window_h);
    });
}

void TScriptedSystemDriver::QueueWheel(int steps)
{
    queue_.push_back([this, steps] { translator_.Wheel(steps, px_, py_); });
}

void TScriptedSystemDriver::QueueLeave()
{
    queue_.push_back([this] { translator_.Leave(); });
}

void TScriptedSystemDriver::QueueCall(std::function<void()> f) { queue_.push_back(std::move(f)); }

void TScriptedSystemDriver::Poll()
{
    ++polls_;
    // Reports queued by the hooks themselves come in the same pass, as a
    // real queue would deliver them.
    while (!queue_.empty()) {
        auto f = std::move(queue_.front());
        queue_.pop_front();
        f();
    }
}

void TScriptedSystemDriver::Wait()
{
    if (queue_.empty() && on_wait) on_wait();
    Poll();
}

void TScriptedSystemDriver::MoveMouse(int x, int y)
{
    TPointerMapping m = GetPointerMapping();
    warp_x = GameToWindowX(m, x);
    warp_y = GameToWindowY(m, y);
    // A warp is reported back as a pointer move, as real platforms do.
    QueueMotion(warp_x, warp_y);
}

void TScriptedSystemDriver::SetMouseVisible(int visible) { translator_.SetMouseVisible(visible); }

void TScriptedSystemDriver::Notify(const std::string& text, int) { notes.push_back(text); }

int TScriptedSystemDriver::Confirm(const std::string& text, int)
{
    notes.push_back(text);
    return 1;
}

int TScriptedSystemDriver::Proceed(const std::string& text, int)
{
    notes.push_back(text);
    return 1;
}

std::string TScriptedSystemDriver::RequestFile(const std::string&, const std::string&, int, const std::string&)
{
    return "";
}

std::string TScriptedSystemDriver::RequestDir(const std::string&, const std::string&) { return ""; }

int TScriptedSystemDriver::OpenURL(const std::string&) { return 0; }

}  // namespace kelvora
