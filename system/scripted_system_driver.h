// A system driver for tests and replays: the test queues what the platform
// would report, and the next poll delivers it through the same translation
// as the real driver. Nothing touches a display.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "system/event_translator.h"
#include "kelvora/system/system_driver.h"

namespace kelvora {

class TScriptedSystemDriver : public TSystemDriver {
public:
    TScriptedSystemDriver();

    // Platform reports, delivered in order by the next Poll. Positions are
    // window pixels; the window is window_w x window_h.
    void QueueClose();
    void QueueFocus(bool gained);
    void QueueKeyDown(int vk);
    void QueueKeyRepeat(int vk);
    void QueueKeyUp(int vk);
    void QueueChar(int code);
    void QueueButton(int button, bool down);
    void QueueMotion(double window_x, double window_y);
    void QueueWheel(int steps);
    void QueueLeave();
    // Runs f inside a later poll, in queue order.
    void QueueCall(std::function<void()> f);

    int window_w = 640, window_h = 480;
    // Called by Wait when nothing is queued, so a test can feed input; if it
    // queues nothing, Wait returns after an empty poll rather than hanging.
    std::function<void()> on_wait;

    int Polls() const { return polls_; }
    size_t Pending() const { return queue_.size(); }
    bool CursorShown() const { return translator_.CursorShown(); }
    TEventTranslator& Translator() { return translator_; }
    // The last MoveMouse target in window pixels.
    double warp_x = 0, warp_y = 0;
    std::vector<std::string> notes;  // texts given to Notify/Confirm/Proceed

    void Poll() override;
    void Wait() override;
    void MoveMouse(int x, int y) override;
    void SetMouseVisible(int visible) override;
    void Notify(const std::string& text, int serious) override;
    int Confirm(const std::string& text, int serious) override;
    int Proceed(const std::string& text, int serious) override;
    std::string RequestFile(const std::string& title, const std::string& extensions, int save,
                            const std::string& initial) override;
    std::string RequestDir(const std::string& title, const std::string& initial) override;
    int OpenURL(const std::string& url) override;

private:
    std::deque<std::function<void()>> queue_;
    TEventTranslator translator_;
    double px_ = 0, py_ = 0;  // pointer, window pixels
    int polls_ = 0;
};

}  // namespace kelvora
