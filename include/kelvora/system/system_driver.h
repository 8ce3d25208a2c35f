// The system driver: the platform's event pump and the few window services
// the engine needs (pointer position and visibility, message boxes).
#pragma once

#include <memory>
#include <string>
#include <utility>

namespace kelvora {

class TSystemDriver {
public:
    virtual ~TSystemDriver() = default;
    // Takes every platform message waiting and emits the resulting events;
    // returns at once when there are none.
    virtual void Poll() = 0;
    // Waits until at least one message is waiting, then polls.
    virtual void Wait() = 0;
    // Puts the pointer at (x, y) in game pixels of the game window, or at
    // screen pixel (x, y) when no game window is open.
    virtual void MoveMouse(int x, int y) = 0;
    // 0 hides the pointer while it is over the game window; 1 shows it.
    virtual void SetMouseVisible(int visible) = 0;
    virtual void Notify(const std::string& text, int serious) = 0;
    virtual int Confirm(const std::string& text, int serious) = 0;
    // 1 yes, 0 no, -1 cancel.
    virtual int Proceed(const std::string& text, int serious) = 0;
    virtual std::string RequestFile(const std::string& title, const std::string& extensions, int save,
                                    const std::string& initial) = 0;
    virtual std::string RequestDir(const std::string& title, const std::string& initial) = 0;
    virtual int OpenURL(const std::string& url) = 0;
};

// A driver that hands every call to an inner one; decorators override what
// they change.
class TSystemDriverWrapper : public TSystemDriver {
public:
    explicit TSystemDriverWrapper(std::shared_ptr<TSystemDriver> inner) : inner_(std::move(inner)) {}
    void Poll() override { inner_->Poll(); }
    void Wait() override { inner_->Wait(); }
    void MoveMouse(int x, int y) override { inner_->MoveMouse(x, y); }
    void SetMouseVisible(int visible) override { inner_->SetMouseVisible(visible); }
    void Notify(const std::string& text, int serious) override { inner_->Notify(text, serious); }
    int Confirm(const std::string& text, int serious) override { return inner_->Confirm(text, serious); }
    int Proceed(const std::string& text, int serious) override { return inner_->Proceed(text, serious); }
    std::string RequestFile(const std::string& title, const std::string& extensions, int save,
                            const std::string& initial) override
    {
        return inner_->RequestFile(title, extensions, save, initial);
    }
    std::string RequestDir(const std::string& title, const std::string& initial) override
    {
        return inner_->RequestDir(title, initial);
    }
    int OpenURL(const std::string& url) override { return inner_->OpenURL(url); }

protected:
    std::shared_ptr<TSystemDriver> inner_;
};

// The current driver; the SDL driver is made on first use. Passing null
// puts back the SDL driver.
void SetSystemDriver(std::shared_ptr<TSystemDriver> driver);
TSystemDriver& SystemDriver();
std::shared_ptr<TSystemDriver> CreateSDLSystemDriver();

// Pumps the platform messages. A call made while a poll is already running
// (from inside a hook) returns at once.
void PollSystem();
void WaitSystem();
void MoveMouse(int x, int y);
void ShowMouse();
void HideMouse();

}  // namespace kelvora
