// Virtual-key numbers for SDL key reports. Letters follow the keyboard
// layout (the key that types "a" is 65); every other key is named by its
// position, as on a US keyboard.
#pragma once

namespace kelvora {

// keycode is an SDL_Keycode and scancode an SDL_Scancode; 0 when the key has
// no virtual-key number.
int VirtualKeyFromSDL(int keycode, int scancode);

}  // namespace kelvora
