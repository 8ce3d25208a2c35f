/// @file
/// The system driver: the platform's event pump and the few window services
/// the engine needs (pointer position and visibility, message boxes).
#pragma once

#include <memory>
#include <string>
#include <utility>

namespace kelvora {

/// The platform's side of the system module: SDL in production, scripted in
/// tests.
class TSystemDriver {
public:
    virtual ~TSystemDriver() = default;
    /// Takes every platform message waiting and emits the resulting events;
    /// returns at once when there are none.
    virtual void Poll() = 0;
    /// Waits until at least one message is waiting, then polls.
    virtual void Wait() = 0;
    /// Puts the pointer at (x, y) in game pixels of the game window, or at
    /// screen pixel (x, y) when no game window is open.
    virtual void MoveMouse(int x, int y) = 0;
    /// 0 hides the pointer while it is over the game window; 1 shows it.
    virtual void SetMouseVisible(int visible) = 0;
    /// Shows text in a message box with an OK button and waits for it;
    /// serious marks it as an error.
    virtual void Notify(const std::string& text, int serious) = 0;
    /// Asks text with OK and Cancel; 1 OK, 0 Cancel.
    virtual int Confirm(const std::string& text, int serious) = 0;
    /// Asks text with Yes, No and Cancel; 1 yes, 0 no, -1 cancel.
    virtual int Proceed(const std::string& text, int serious) = 0;
    /// A file chosen by the player, or empty; the SDL driver has no file
    /// dialog and always gives empty.
    virtual std::string RequestFile(const std::string& title, const std::string& extensions, int save,
                                    const std::string& initial) = 0;
    /// A folder chosen by the player, or empty; the SDL driver always gives
    /// empty.
    virtual std::string RequestDir(const std::string& title, const std::string& initial) = 0;
    /// Opens url in the system's browser; 1 when that was started.
    virtual int OpenURL(const std::string& url) = 0;
};

/// A driver that hands every call to an inner one; decorators override what
/// they change.
class TSystemDriverWrapper : public TSystemDriver {
public:
    /// Wraps inner.
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
    std::shared_ptr<TSystemDriver> inner_;  ///< The driver calls go to
};

/// Installs the driver the system calls use; null puts back the SDL driver.
void SetSystemDriver(std::shared_ptr<TSystemDriver> driver);
/// The current driver; the SDL driver is made on first use.
TSystemDriver& SystemDriver();
/// A new SDL system driver.
std::shared_ptr<TSystemDriver> CreateSDLSystemDriver();

/// Pumps the platform messages. A call made while a poll is already running
/// (from inside a hook) returns at once. Every input query calls it; a loop
/// that asks for no input calls it once a frame, so the window keeps
/// answering.
void PollSystem();
/// Waits for a platform message, then pumps them all.
void WaitSystem();
/// Puts the pointer at (x, y) in picture pixels (TSystemDriver::MoveMouse).
void MoveMouse(int x, int y);
/// Shows the pointer over the game window (the default).
void ShowMouse();
/// Hides the pointer while it is over the game window.
void HideMouse();

}  // namespace kelvora
