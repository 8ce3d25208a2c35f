// The moon surface: a field of small features streaming from the horizon
// towards the viewer, recycled at the top when they leave the bottom.
#pragma once

struct msurface_tag {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 0.0f;
    float offs = 0.0f;
    int frame = 0;

    // Builds the field of 101 features and runs it on for 36 frames.
    static void create_em();
    void update();
    static void update_all();
};
