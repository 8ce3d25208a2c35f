// Score pop-ups: "+" and the points won, rising from a shot alien.
#pragma once

#include <string>

struct points_tag {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 0.0f;
    float offs = 0.0f;
    float alpha = 0.0f;
    std::string value;
    int dist = 0;

    static void create_it(float x, float y, float scale, float offs, const std::string& text);
    void update();
    static void update_all();
    static void destroy_all();
};
