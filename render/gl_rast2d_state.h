// Driver-wide OpenGL state the 2D driver caches so that runs of draws with
// the same settings issue only their vertices. Valid for the current context
// only: ResetGLContext forgets it. Internal to the OpenGL 2D driver.
#pragma once

#include <cstdint>

struct TGLRast2DState {
    int blend = 0;          // 0: not known
    unsigned texture = 0;   // last bound texture name; 0: not known
    bool texturing = false;
    bool color_known = false;
    uint8_t color[4] = {255, 255, 255, 255};  // red, green, blue, alpha as sent
    float ix = 1.0f, iy = 0.0f, jx = 0.0f, jy = 1.0f;
};

TGLRast2DState& GLRast2DState();

// These skip what the cache says is already in force.
void GLBindTexture(unsigned name);
void GLEnableTexturing();
void GLDisableTexturing();
// The named texture is about to go: the cache must not keep its name.
void GLForgetTexture(unsigned name);
