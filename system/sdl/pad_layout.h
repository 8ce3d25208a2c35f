// The standard layout that every pad with an SDL mapping reads in, whatever
// its make: the one place that says which control of a pad is which
// joystick button and axis of the engine.
//
//   button 0  A (south)        fires, chooses a menu entry
//   button 1  B (east)
//   button 2  X (west)         pauses and resumes
//   button 3  Y (north)
//   button 4  left shoulder    button 5  right shoulder
//   button 6  back             button 7  start
//   button 8  left stick press button 9  right stick press
//   X, Y      left stick; the d-pad drives them to exactly -1.0 / 1.0 and
//             also reads as the hat
//   Z, R      right stick
//   U, V      left and right trigger, 0.0 released to 1.0 pressed
#pragma once

#include <SDL.h>

#include "kelvora/system/joystick.h"

namespace kelvora {

// Axes, buttons and hat of the layout.
void PadLayoutCaps(TJoyCaps& caps);
// The pad's current controls in the layout.
void ReadPadLayout(SDL_GameController* pad, TJoyReading& reading);

}  // namespace kelvora
