// The shader driver's programs: the fixed-function pipeline the legacy
// driver uses, written once in GLSL, with the version line of the context's
// language chosen when it is built. One variant per combination of texture
// modulation and the mask mode's alpha test, so that no fragment branches
// on a uniform (a software rasteriser then runs each as tight as the
// fixed-function pipeline it replaces). Internal to the shader driver.
#pragma once

#include <string>

#include "render/gl3/gl3_api.h"

namespace kelvora {

// Vertex attribute slots.
constexpr GLuint kGL3Position = 0, kGL3TexCoord = 1, kGL3Color = 2;

struct TGL3Program {
    GLuint name = 0;
    GLint projection = -1;  // mat4, as glOrtho makes it
};

// Variant flags: modulate by the texture; discard what the mask mode's
// alpha test fails.
constexpr int kGL3Textured = 1, kGL3AlphaTest = 2, kGL3Variants = 4;

// With a context current. es: GLSL ES 3.00 (OpenGL ES 3.0, WebGL 2), else
// GLSL 3.30. Its sampler reads texture unit 0. False with the compiler's
// or linker's log in error.
bool BuildGL3Program(bool es, int variant, TGL3Program& program, std::string& error);

}  // namespace kelvora
