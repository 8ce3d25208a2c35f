// The player's shots: spinning bolts that fly into the screen, shrinking
// and sinking in depth until they hit an alien or fade out wasted.
#pragma once

struct pshot_tag {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 0.0f;
    float offs = 0.0f;
    float ang = 0.0f;
    float rot = 0.0f;

    // Launches one shot from the cannon named by player.shot_side.
    static void fire();
    void update();
    static void update_all();
    static void destroy_all();
};
