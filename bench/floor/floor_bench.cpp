// The least an SDL2 + OpenGL program must do to show the game's picture: a
// full-screen desktop window with a double-buffered OpenGL context, a given
// number of texture bytes uploaded (the game's), one 640x480 frame drawn from
// one of them and presented. Prints when the first frame was presented (on
// the monotonic clock, so a parent can measure from before it started the
// process), the time from the program's own start, and the peak memory.
//   bench_floor [--texture-bytes N]
#include <SDL.h>
#include <SDL_opengl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

}  // namespace

int main(int argc, char** argv)
{
    long texture_bytes = 1024L * 512 * 4;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--texture-bytes") == 0)
            texture_bytes = std::atol(argv[i + 1]);

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bench_floor: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
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
    int s = std::max(1, std::min(dw / 640, dh / 480));
    int x0 = (dw - 640 * s) / 2, y0 = (dh - 480 * s) / 2;
    glViewport(0, 0, dw, dh);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, dw, dh, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2i(x0, y0);
    glTexCoord2f(0.625f, 0);
    glVertex2i(x0 + 640 * s, y0);
    glTexCoord2f(0.625f, 0.9375f);
    glVertex2i(x0 + 640 * s, y0 + 480 * s);
    glTexCoord2f(0, 0.9375f);
    glVertex2i(x0, y0 + 480 * s);
    glEnd();
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
