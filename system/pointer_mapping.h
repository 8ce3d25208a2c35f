// Where the game's picture sits in the platform window. The graphics backend
// owns the window and tells the system driver about it, so that pointer
// positions can be reported and set in the game's own pixels (a 640x480
// picture stays 640x480 even when it is shown scaled on a larger screen).
#pragma once

namespace kelvora {

struct TPointerMapping {
    // The platform window of the game (an SDL_Window*); null when no graphics
    // are open. Pointer visibility and focus refer to this window.
    void* window = nullptr;
    // Window pixels per game pixel, and the window position of the picture's
    // top-left corner: game x = (window x - offset_x) / scale.
    double scale = 1.0;
    double offset_x = 0.0;
    double offset_y = 0.0;
};

// Called by the graphics backend when it opens, closes or changes the
// presentation of its window. Closing passes a default mapping.
void SetPointerMapping(const TPointerMapping& mapping);
TPointerMapping GetPointerMapping();

// Window pixels to game pixels (the game pixel under the window pixel's
// centre; positions on the black bars left of or above the picture come out
// negative) and back.
int WindowToGameX(const TPointerMapping& m, double window_x);
int WindowToGameY(const TPointerMapping& m, double window_y);
// The window pixel at the centre of a game pixel, so that it maps back to it.
int GameToWindowX(const TPointerMapping& m, int game_x);
int GameToWindowY(const TPointerMapping& m, int game_y);

}  // namespace kelvora
