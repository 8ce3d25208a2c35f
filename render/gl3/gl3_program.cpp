#include "render/gl3/gl3_program.h"

#include <cctype>
#include <vector>

namespace kelvora {

namespace {

// Fixed-function equivalents: the projection as a matrix product, the
// texture environment's modulation, the alpha test of BLEND_MASK (passes
// at alpha >= 0.5, the reference and comparison of glAlphaFunc(GL_GEQUAL,
// 0.5)), points of size 1. Everything at high precision, so ES computes
// what desktop OpenGL does.
const char* const kVertex = R"(
uniform mat4 u_projection;
in vec2 a_position;
in vec2 a_texcoord;
in vec4 a_color;
out vec2 v_texcoord;
out vec4 v_color;
void main() {
    v_texcoord = a_texcoord;
    v_color = a_color;
    gl_Position = u_projection * vec4(a_position, 0.0, 1.0);
    gl_PointSize = 1.0;
}
)";

const char* const kFragment = R"(
uniform sampler2D u_texture;
in vec2 v_texcoord;
in vec4 v_color;
out vec4 o_color;
void main() {
#if TEXTURED
    vec4 c = v_color * texture(u_texture, v_texcoord);
#else
    vec4 c = v_color;
#endif
#if ALPHA_TEST
    if (!(c.a >= 0.5)) discard;
#endif
    o_color = c;
}
)";

std::string Header(bool es)
{
    return es ? "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision highp sampler2D;\n" : "#version 330 core\n";
}

GLuint Compile(const TGL3Api& gl, GLenum kind, const std::string& source)
{
    GLuint shader = gl.CreateShader(kind);
    const char* text = source.c_str();
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    return shader;
}

// The compiler's log of a shader that did not compile, empty if it did.
std::string CompileLog(const TGL3Api& gl, GLuint shader, const char* kind)
{
    GLint ok = 0;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return {};
    GLint length = 0;
    gl.GetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(size_t(length > 0 ? length : 1));
    gl.GetShaderInfoLog(shader, GLsizei(log.size()), nullptr, log.data());
    std::string text = log.data();
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return std::string(kind) + " shader: " + text;
}

}  // namespace

bool BuildGL3Program(bool es, int variant, TGL3Program& program, std::string& error)
{
    const TGL3Api& gl = GL3();
    const std::string header = Header(es);
    const std::string defines = std::string("#define TEXTURED ") + (variant & kGL3Textured ? "1" : "0") +
                                "\n#define ALPHA_TEST " + (variant & kGL3AlphaTest ? "1" : "0") + "\n";
    // Only the link's result is asked for, and the compilers' only when it
    // failed: each question waits for the driver (in a browser, for another
    // process), and a link of shaders that did not compile fails.
    GLuint vs = Compile(gl, GL_VERTEX_SHADER, header + kVertex);
    GLuint fs = Compile(gl, GL_FRAGMENT_SHADER, header + defines + kFragment);
    GLuint p = gl.CreateProgram();
    gl.AttachShader(p, vs);
    gl.AttachShader(p, fs);
    gl.BindAttribLocation(p, kGL3Position, "a_position");
    gl.BindAttribLocation(p, kGL3TexCoord, "a_texcoord");
    gl.BindAttribLocation(p, kGL3Color, "a_color");
    gl.LinkProgram(p);
    GLint ok = 0;
    gl.GetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        error = CompileLog(gl, vs, "vertex");
        if (error.empty()) error = CompileLog(gl, fs, "fragment");
        if (error.empty()) {
            char log[1024] = {};
            gl.GetProgramInfoLog(p, sizeof log, nullptr, log);
            error = std::string("shader program: ") + log;
        }
    }
    gl.DeleteShader(vs);
    gl.DeleteShader(fs);
    if (!ok) {
        gl.DeleteProgram(p);
        return false;
    }
    program.name = p;
    program.projection = gl.GetUniformLocation(p, "u_projection");
    gl.UseProgram(p);
    gl.Uniform1i(gl.GetUniformLocation(p, "u_texture"), 0);
    return true;
}

}  // namespace kelvora
