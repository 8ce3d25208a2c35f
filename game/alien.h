// Aliens: they come out of the distance one at a time, drift towards the
// viewer, and escape when they fade out unhit.
#pragma once

struct alien_tag {
    float x = 0.0f;
    float y = 0.0f;
    float shy = 0.0f;
    float scale = 0.0f;
    float shsc = 0.0f;
    float offs = 0.0f;
    float alpha = 0.0f;
    int rot = 0;
    int value = 0;
    int passed = 0;

    static void create_one();
    void update();
    // Updates every alien, then runs the spawn timer; returns how many were updated.
    static int update_all();
    static void destroy_all();

    // The depth match of the hit test: the shot's scale strictly within 0.1
    // of the alien's.
    static bool depth_match(float shot_scale, float alien_scale);
};
