// What the page itself gives the game beside the browser's events that SDL
// reports: the on-screen controls' keys (touch_controls.js), the pointer
// moves the game asks for, and the pause of a game the player left. All of
// it reaches the game as the engine's own input events, at moments the
// session's recording holds (system/input_recorder.h): the replay gives the
// game the same input in the same frames.
#pragma once

#include <memory>
#include <vector>

#include "kelvora/system/system_driver.h"

namespace kelvora {

class TPageInput : public TSystemDriverWrapper {
public:
    // Wraps the browser's system driver (SDL's); one at a time.
    explicit TPageInput(std::shared_ptr<TSystemDriver> inner);
    ~TPageInput();
    TPageInput(const TPageInput&) = delete;
    TPageInput& operator=(const TPageInput&) = delete;

    // The recorder lets this through once per frame (and once per turn of
    // a suspended wait): what the page held back first, then the browser's
    // events. A game in play that loses the focus with them is paused too,
    // as Escape pauses it, so that it comes back to the pause menu.
    void Poll() override;
    // A page cannot move the player's pointer: the game's goes there, at
    // the next poll, as a desktop reports a warp back (and as the replay
    // harness does), not at once.
    void MoveMouse(int x, int y) override;

    // A key of the page's own controls pressed or released (the game's key
    // numbers): the game gets it at its next poll. A press of a key held
    // already is a repeat, which the game does not count as a new press.
    void Key(int key, bool down);
    // The player left a game in play (a hidden tab, a window that lost the
    // focus): Escape pauses it, pressed once a frame however many of those
    // come together. `now`: pressed and let go at once, where the game reads
    // it no sooner than at the end of the frame in progress (in Flip's
    // wait): its recording holds it in that frame, and the replay, which
    // gives it at the frame's start, ends the frame the same way. Otherwise
    // at the next poll.
    void LeavePlay(bool now);
    // A frame begins: the game may be left again.
    void BeginFrame() { left_ = false; }

    // The one in use, or null.
    static TPageInput* Current();

private:
    struct pending {
        bool move;
        int a, b;  // x and y, or the key and 1 for down
    };
    void Emit(int key, bool down);
    void PressNow(int key);

    std::vector<pending> pending_;
    bool held_[256] = {};
    bool left_ = false;  // Escape pressed for leaving, this frame
};

}  // namespace kelvora
