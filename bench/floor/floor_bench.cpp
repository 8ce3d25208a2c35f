// The least an SDL2 + OpenGL program must do to show the game's picture: a
// full-screen desktop window with a double-buffered OpenGL context, a given
// number of texture bytes uploaded (the game's), one 640x480 frame drawn from
// one of them and presented. Prints when the first frame was presented (on
// the monotonic clock, so a parent can measure from before it started the
// process), the time from the program's own start, and the peak memory.
// With --shader the context is OpenGL 3.3 core or OpenGL ES 3.0 and the
// frame is drawn as such a program must: one small shader program, a vertex
// buffer and a vertex array (the floor of the shader driver).
//   bench_floor [--texture-bytes N] [--shader core|es]
#include <SDL.h>
#include <SDL_opengl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using steady = std::chrono::steady_clock;
const steady::time_point program_start = steady::now();

double ms_since_epoch(steady::time_point t)
{
    return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

// Uploads `bytes` of RGBA texels: the 640x480 picture first (in a 1024x512
// texture, as a power-of-two driver would), the rest in 512x512 textures.
GLuint upload(long bytes)
{
    std::vector<unsigned char> texels(1024 * 512 * 4);
    for (size_t i = 0; i < texels.size(); ++i)
        texels[i] = static_cast<unsigned char>(i * 7 + i / 4096);
    GLuint picture = 0;
    glGenTextures(1, &picture);
    glBindTexture(GL_TEXTURE_2D, picture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1024, 512, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    bytes -= 1024 * 512 * 4;
    while (bytes > 0) {
        int rows = bytes >= 512 * 512 * 4 ? 512 : int((bytes + 2047) / 2048);
        GLuint t = 0;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 512, rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        bytes -= long(rows) * 512 * 4;
    }
    glBindTexture(GL_TEXTURE_2D, picture);
    return picture;
}

// The picture's quad in window pixels: the largest whole scale, centred.
struct Quad {
    int x0, y0, x1, y1;
};

void draw_fixed_function(int dw, int dh, Quad q)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, dw, dh, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2i(q.x0, q.y0);
    glTexCoord2f(0.625f, 0);
    glVertex2i(q.x1, q.y0);
    glTexCoord2f(0.625f, 0.9375f);
    glVertex2i(q.x1, q.y1);
    glTexCoord2f(0, 0.9375f);
    glVertex2i(q.x0, q.y1);
    glEnd();
}

template <class F>
F proc(const char* name)
{
    return reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
}

bool draw_with_shader(bool es, int dw, int dh, Quad q)
{
    const char* version = es ? "#version 300 es\nprecision mediump float;\n" : "#version 330 core\n";
    const std::string vs = std::string(version) +
                           "in vec2 p; in vec2 t; out vec2 uv;\n"
                           "void main() { uv = t; gl_Position = vec4(p, 0.0, 1.0); }\n";
    const std::string fs = std::string(version) +
                           "uniform sampler2D s; in vec2 uv; out vec4 o;\n"
                           "void main() { o = texture(s, uv); }\n";
    auto CreateShader = proc<PFNGLCREATESHADERPROC>("glCreateShader");
    auto ShaderSource = proc<PFNGLSHADERSOURCEPROC>("glShaderSource");
    auto CompileShader = proc<PFNGLCOMPILESHADERPROC>("glCompileShader");
    auto CreateProgram = proc<PFNGLCREATEPROGRAMPROC>("glCreateProgram");
    auto AttachShader = proc<PFNGLATTACHSHADERPROC>("glAttachShader");
    auto BindAttribLocation = proc<PFNGLBINDATTRIBLOCATIONPROC>("glBindAttribLocation");
    auto LinkProgram = proc<PFNGLLINKPROGRAMPROC>("glLinkProgram");
    auto GetProgramiv = proc<PFNGLGETPROGRAMIVPROC>("glGetProgramiv");
    auto UseProgram = proc<PFNGLUSEPROGRAMPROC>("glUseProgram");
    auto GenVertexArrays = proc<PFNGLGENVERTEXARRAYSPROC>("glGenVertexArrays");
    auto BindVertexArray = proc<PFNGLBINDVERTEXARRAYPROC>("glBindVertexArray");
    auto GenBuffers = proc<PFNGLGENBUFFERSPROC>("glGenBuffers");
    auto BindBuffer = proc<PFNGLBINDBUFFERPROC>("glBindBuffer");
    auto BufferData = proc<PFNGLBUFFERDATAPROC>("glBufferData");
    auto EnableVertexAttribArray = proc<PFNGLENABLEVERTEXATTRIBARRAYPROC>("glEnableVertexAttribArray");
    auto VertexAttribPointer = proc<PFNGLVERTEXATTRIBPOINTERPROC>("glVertexAttribPointer");
    if (!CreateShader || !GenVertexArrays || !VertexAttribPointer) return false;

    const GLuint program = CreateProgram();
    for (const auto& [kind, source] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
        const GLuint shader = CreateShader(kind);
        const char* text = source.c_str();
        ShaderSource(shader, 1, &text, nullptr);
        CompileShader(shader);
        AttachShader(program, shader);
    }
    BindAttribLocation(program, 0, "p");
    BindAttribLocation(program, 1, "t");
    LinkProgram(program);
    GLint linked = 0;
    GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return false;
    UseProgram(program);

    auto nx = [dw](int x) { return 2.0f * x / dw - 1; };
    auto ny = [dh](int y) { return 1 - 2.0f * y / dh; };
    const float vertices[] = {nx(q.x0), ny(q.y0), 0, 0,          nx(q.x1), ny(q.y0), 0.625f, 0,
                              nx(q.x0), ny(q.y1), 0, 0.9375f,    nx(q.x1), ny(q.y1), 0.625f, 0.9375f};
    GLuint vao = 0, vbo = 0;
    GenVertexArrays(1, &vao);
    BindVertexArray(vao);
    GenBuffers(1, &vbo);
    BindBuffer(GL_ARRAY_BUFFER, vbo);
    BufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STREAM_DRAW);
    EnableVertexAttribArray(0);
    VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    EnableVertexAttribArray(1);
    VertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(2 * sizeof(float)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    long texture_bytes = 1024L * 512 * 4;
    const char* shader = nullptr;  // core or es; fixed function without
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--texture-bytes") == 0)
            texture_bytes = std::atol(argv[i + 1]);
        else if (std::strcmp(argv[i], "--shader") == 0)
            shader = argv[i + 1];
    const bool es = shader && std::strcmp(shader, "es") == 0;

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bench_floor: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (shader) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, es ? SDL_GL_CONTEXT_PROFILE_ES : SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, es ? 0 : 3);
    }
    SDL_Rect r{0, 0, 640, 480};
    SDL_GetDisplayBounds(0, &r);
    SDL_Window* window = SDL_CreateWindow("floor", r.x, r.y, r.w, r.h,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "bench_floor: %s\n", SDL_GetError());
        return 1;
    }
    upload(texture_bytes);

    // The picture at the largest whole scale, centred, nearest.
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window, &dw, &dh);
    const int s = std::max(1, std::min(dw / 640, dh / 480));
    const int x0 = (dw - 640 * s) / 2, y0 = (dh - 480 * s) / 2;
    const Quad quad{x0, y0, x0 + 640 * s, y0 + 480 * s};
    glViewport(0, 0, dw, dh);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!shader)
        draw_fixed_function(dw, dh, quad);
    else if (!draw_with_shader(es, dw, dh, quad)) {
        std::fprintf(stderr, "bench_floor: the shader program failed\n");
        return 1;
    }
    SDL_GL_SwapWindow(window);
    const steady::time_point presented = steady::now();

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("texture_bytes %ld\n", texture_bytes);
    std::printf("first_frame_at_ms %.1f\n", ms_since_epoch(presented));
    std::printf("start_to_first_frame_ms %.1f\n",
                std::chrono::duration<double, std::milli>(presented - program_start).count());
    std::printf("peak_rss_mb %.1f\n", ru.ru_maxrss / 1024.0);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
