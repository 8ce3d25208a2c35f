// Debris: a burst of drops and body pieces where an alien was shot.
#pragma once

struct apart_tag {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 0.0f;
    float offs = 0.0f;
    float ang = 0.0f;
    float alpha = 0.0f;
    float spd = 0.0f;
    int rot = 0;
    int blood = 0;
    int bpart = 0;

    // 26 drops, then the 7 body pieces.
    static void create_em(float x, float y, float scale, float offs);
    void update();
    static void update_all();
    static void destroy_all();
};
