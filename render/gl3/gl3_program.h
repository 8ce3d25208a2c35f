// The shader driver's one program: the fixed-function pipeline the legacy
// driver uses, written once in GLSL, with the version line of the context's
// language chosen when it is built. Internal to the shader driver.
#pragma once

#include <string>

#include "render/gl3/gl3_api.h"

// Vertex attribute slots.
constexpr GLuint kGL3Position = 0, kGL3TexCoord = 1, kGL3Color = 2;

struct TGL3Program {
    GLuint name = 0;
    GLint projection = -1;  // mat4, as glOrtho makes it
    GLint textured = -1;    // int: 1 modulates by the texture, 0 the colour alone
    GLint alpha_test = -1;  // int: 1 discards what the mask mode's alpha test fails
    GLint sampler = -1;
};

// With a context current. es: GLSL ES 3.00 (OpenGL ES 3.0, WebGL 2), else
// GLSL 3.30. False with the compiler's or linker's log in error.
bool BuildGL3Program(bool es, TGL3Program& program, std::string& error);
