// Frame cost of a heavy 2D scene drawn through the engine, next to the same
// draws issued straight to OpenGL in the same run, and their ratio.
//
// The scene: six full-screen additive layers, 600 small rotated and tinted
// sprites with alpha blending, and 400 glyphs of a smoothed TrueType font.
// Each frame ends with glFinish so the figure is the whole cost of drawing
// it, rasterising included; the submission cost alone is shown beside it.
//
// With --calls FILE it draws instead the game frames that the replay
// harness logged (replay --driver record --draw-log), call by call with
// plain immediate-mode OpenGL (the floor under the game's own frame time for
// that scene), and the same frames through the engine's 2D driver, batched
// and call by call, interleaved in the same run. Both present every frame
// full screen, as the game does: the engine through its Flip, the raw issue
// with the same few plain OpenGL calls (blit of its 640x480 picture at the
// largest whole scale, nearest, bars cleared, swap). Its last line, "calls:
// raw MS batched MS single MS", is for bench_game.
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/render2d/logged_frames.h"
#include "render/freetype_font.h"
#include "render/core2d/image_frame.h"
#include "render/gl/gl_rast2d_driver.h"
#include "render/gl3/gl3_rast2d_driver.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"
#include "render/renderer_choice.h"

using namespace kelvora;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLayers = 6;
constexpr int kSprites = 600;
constexpr int kTextLines = 10;
const char* const kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kLine = "Kelvora3D:250aliens,1000points!HiScore42";  // 40 glyphs

TPixmapPtr Pattern(int w, int h, unsigned seed, bool round) {
    TPixmapPtr p = TPixmap::Create(w, h, PIXFMT_RGBA8888, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned v = (x * 7 + y * 13 + seed * 31) & 255;
            int a = 255;
            if (round) {
                float dx = x - w / 2.0f + 0.5f, dy = y - h / 2.0f + 0.5f;
                a = dx * dx + dy * dy < (w / 2.0f) * (w / 2.0f) ? 255 : 0;
            }
            p->WritePixel(x, y, static_cast<int>(static_cast<unsigned>(a) << 24 | v << 16 | (255 - v) << 8 | (v ^ seed)));
        }
    return p;
}

struct Sprite {
    float x, y, rot, scale;
    int image;
    int r, g, b;
    float alpha;
};

struct Scene {
    std::vector<TImagePtr> layers;   // two full-screen pictures, used in turn
    std::vector<TImagePtr> sprites;  // three sprite pictures
    std::vector<Sprite> placed;
    TImageFontPtr font;
};

Scene MakeScene() {
    Scene s;
    for (int i = 0; i < 2; ++i) s.layers.push_back(TImage::Load(Pattern(640, 480, i, false), IMAGE_FILTERED, 0, 0, 0));
    for (int i = 0; i < 3; ++i) s.sprites.push_back(TImage::Load(Pattern(32, 32, 10 + i, true), IMAGE_FILTERED, 0, 0, 0));
    for (int i = 0; i < kSprites; ++i) {
        Sprite sp;
        sp.x = static_cast<float>((i * 37) % 640);
        sp.y = static_cast<float>((i * 53) % 480);
        sp.rot = static_cast<float>((i * 29) % 360);
        sp.scale = 0.5f + (i % 5) * 0.25f;
        sp.image = (i / 50) % 3;  // runs of one picture, as entity lists draw them
        sp.r = 128 + (i * 3) % 128;
        sp.g = 128 + (i * 5) % 128;
        sp.b = 128 + (i * 7) % 128;
        sp.alpha = 0.6f + (i % 4) * 0.1f;
        s.placed.push_back(sp);
    }
    s.font = LoadImageFont(kFont, 22, FONT_SMOOTH);
    return s;
}

void EngineFrame(const Scene& s) {
    SetTransform(0, 1, 1);
    Cls();
    SetBlend(BLEND_LIGHT);
    SetAlpha(0.25f);
    for (int i = 0; i < kLayers; ++i) {
        SetColor(200 - i * 20, 120 + i * 10, 180);
        DrawImage(s.layers[i % 2], 0, 0, 0);
    }
    for (const Sprite& sp : s.placed) {
        SetBlend(BLEND_ALPHA);
        SetAlpha(sp.alpha);
        SetTransform(sp.rot, sp.scale, sp.scale);
        SetColor(sp.r, sp.g, sp.b);
        DrawImage(s.sprites[sp.image], sp.x, sp.y, 0);
    }
    SetTransform(0, 1, 1);
    SetAlpha(1);
    SetColor(255, 255, 255);
    SetImageFont(s.font);
    for (int i = 0; i < kTextLines; ++i) DrawText(kLine, 10, 20 + i * 40.0f);
}

// The same draws, computed and issued by hand.
struct DirectQuad {
    GLuint tex;
    float u1, v1;
    float xy[8];
};

struct DirectScene {
    std::vector<DirectQuad> layers;
    std::vector<DirectQuad> sprites;
    std::vector<unsigned char> sprite_rgba;
    std::vector<DirectQuad> glyphs;
};

DirectQuad QuadOf(const TImagePtr& image, float x, float y, float rot, float scale) {
    auto* f = dynamic_cast<TCoreImageFrame*>(image->Frame(0).get());
    DirectQuad q{static_cast<GLuint>(f->name), f->u1, f->v1, {}};
    const double r = rot * 0.017453292519943295;
    const float c = static_cast<float>(std::cos(r)), sn = static_cast<float>(std::sin(r));
    const float w = static_cast<float>(image->width), h = static_cast<float>(image->height);
    const float lx[4] = {0, w, w, 0}, ly[4] = {0, 0, h, h};
    for (int k = 0; k < 4; ++k) {
        q.xy[2 * k] = lx[k] * c * scale - ly[k] * sn * scale + x;
        q.xy[2 * k + 1] = lx[k] * sn * scale + ly[k] * c * scale + y;
    }
    return q;
}

DirectScene MakeDirect(const Scene& s) {
    DirectScene d;
    for (int i = 0; i < kLayers; ++i) d.layers.push_back(QuadOf(s.layers[i % 2], 0, 0, 0, 1));
    for (const Sprite& sp : s.placed) {
        d.sprites.push_back(QuadOf(s.sprites[sp.image], sp.x, sp.y, sp.rot, sp.scale));
        d.sprite_rgba.insert(d.sprite_rgba.end(), {static_cast<unsigned char>(sp.r), static_cast<unsigned char>(sp.g),
                                                   static_cast<unsigned char>(sp.b),
                                                   static_cast<unsigned char>(sp.alpha * 255)});
    }
    for (int i = 0; i < kTextLines; ++i) {
        float x = 10, y = 20 + i * 40.0f;
        for (unsigned char ch : kLine) {
            TImageGlyphPtr g = s.font->LoadGlyph(s.font->CharToGlyph(ch));
            if (g->_image) d.glyphs.push_back(QuadOf(g->_image, x + g->_x, y + g->_y, 0, 1));
            x += g->_advance;
        }
    }
    return d;
}

void Quad(const DirectQuad& q) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(q.xy[0], q.xy[1]);
    glTexCoord2f(q.u1, 0);
    glVertex2f(q.xy[2], q.xy[3]);
    glTexCoord2f(q.u1, q.v1);
    glVertex2f(q.xy[4], q.xy[5]);
    glTexCoord2f(0, q.v1);
    glVertex2f(q.xy[6], q.xy[7]);
    glEnd();
}

void DirectFrame(const DirectScene& d) {
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    GLuint bound = 0;
    for (int i = 0; i < kLayers; ++i) {
        glColor4ub(static_cast<GLubyte>(200 - i * 20), static_cast<GLubyte>(120 + i * 10), 180, 63);
        if (d.layers[i].tex != bound) glBindTexture(GL_TEXTURE_2D, bound = d.layers[i].tex);
        Quad(d.layers[i]);
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (size_t i = 0; i < d.sprites.size(); ++i) {
        glColor4ubv(&d.sprite_rgba[i * 4]);
        if (d.sprites[i].tex != bound) glBindTexture(GL_TEXTURE_2D, bound = d.sprites[i].tex);
        Quad(d.sprites[i]);
    }
    glColor4ub(255, 255, 255, 255);
    for (const DirectQuad& q : d.glyphs) {
        if (q.tex != bound) glBindTexture(GL_TEXTURE_2D, bound = q.tex);
        Quad(q);
    }
}

struct Timing {
    double submit_ms;  // issuing the calls
    double total_ms;   // issuing and finishing them
    double cpu_ms;     // CPU time of the whole process meanwhile (the rasteriser's threads too)
};

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class F>
Timing TimeFrames(int frames, F draw) {
    double submit = 0, total = 0;
    const double cpu0 = ProcessCpuMs();
    for (int i = 0; i < frames; ++i) {
        auto t0 = Clock::now();
        draw();
        auto t1 = Clock::now();
        glFinish();
        auto t2 = Clock::now();
        submit += std::chrono::duration<double, std::milli>(t1 - t0).count();
        total += std::chrono::duration<double, std::milli>(t2 - t0).count();
    }
    return {submit / frames, total / frames, (ProcessCpuMs() - cpu0) / frames};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

// The raw issue's present, in plain OpenGL: its picture (the offscreen
// framebuffer it draws into) blitted centred at the largest whole scale
// with nearest filtering, only the bars around it cleared, then the swap.
class RawPresent {
public:
    bool Init() {
        window_ = SDL_GL_GetCurrentWindow();
        bind_ = reinterpret_cast<BindFn>(SDL_GL_GetProcAddress("glBindFramebuffer"));
        blit_ = reinterpret_cast<BlitFn>(SDL_GL_GetProcAddress("glBlitFramebuffer"));
        GLint fbo = 0;
        glGetIntegerv(0x8CA6 /* GL_FRAMEBUFFER_BINDING */, &fbo);
        fbo_ = static_cast<GLuint>(fbo);
        if (!window_ || !bind_ || !blit_ || fbo_ == 0) return false;
        SDL_GL_GetDrawableSize(window_, &dw_, &dh_);
        scale_ = std::max(1, std::min(dw_ / 640, dh_ / 480));
        w_ = 640 * scale_;
        h_ = 480 * scale_;
        x_ = (dw_ - w_) / 2;
        y0_ = dh_ - (dh_ - h_) / 2 - h_;
        return true;
    }
    void operator()() const {
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT);
        bind_(0x8CA8 /* GL_READ_FRAMEBUFFER */, fbo_);
        bind_(0x8CA9 /* GL_DRAW_FRAMEBUFFER */, 0);
        glClearColor(0, 0, 0, 1);
        glEnable(GL_SCISSOR_TEST);
        const int bars[4][4] = {{0, 0, x_, dh_}, {x_ + w_, 0, dw_ - x_ - w_, dh_}, {x_, 0, w_, y0_},
                                {x_, y0_ + h_, w_, dh_ - y0_ - h_}};
        for (const auto& b : bars) {
            if (b[2] <= 0 || b[3] <= 0) continue;
            glScissor(b[0], b[1], b[2], b[3]);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glDisable(GL_SCISSOR_TEST);
        blit_(0, 0, 640, 480, x_, y0_, x_ + w_, y0_ + h_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(window_);
        bind_(0x8D40 /* GL_FRAMEBUFFER */, fbo_);
        glPopAttrib();
    }
    std::string Describe() const {
        return std::to_string(dw_) + "x" + std::to_string(dh_) + " screen, picture at " + std::to_string(scale_) +
               "x";
    }

private:
    using BindFn = void (*)(GLenum, GLuint);
    using BlitFn = void (*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);
    SDL_Window* window_ = nullptr;
    BindFn bind_ = nullptr;
    BlitFn blit_ = nullptr;
    GLuint fbo_ = 0;
    int dw_ = 0, dh_ = 0, scale_ = 1, w_ = 0, h_ = 0, x_ = 0, y0_ = 0;
};

// The logged game frames, each drawn in turn and presented full screen;
// median of rounds as above.
int RunLogged(const std::string& path) {
    LoggedFrames logged;
    std::string error;
    if (!LoadLoggedFrames(path, logged, error)) {
        std::fprintf(stderr, "bench_render2d: %s\n", error.c_str());
        return 1;
    }
    const int count = static_cast<int>(logged.frames.size());
    int quads = 0;
    for (const auto& f : logged.frames)
        for (const auto& c : f) quads += c.name == "DrawFrame";
    RawPresent present;
    if (!present.Init()) {
        std::fprintf(stderr, "bench_render2d: no offscreen picture to present (framebuffer objects missing)\n");
        return 1;
    }
    LoggedFramePlayer player(logged);
    LoggedFrameEngine engine(logged, *GLRast2DDriver());
    TGLRast2DDriver* driver = GLRast2DDriver();
    for (int i = 0; i < count; ++i) {  // warm up
        player.Draw(i);
        present();
    }
    glFinish();
    // Raw immediate-mode issue, the engine batching, the engine one call at
    // a time: interleaved rounds of the same frames.
    // Raw immediate-mode issue, the engine batching, the engine one call at
    // a time: each logged frame drawn by all three in turn, so that what
    // else loads the machine falls on all of them alike.
    std::vector<double> total, submit, batched, batched_submit, single, single_submit, paired, shown, raw_cpu,
        batched_cpu;
    const int frames = std::max(20, count);
    unsigned long draws = 0;
    for (int round = 0; round < 7; ++round) {
        for (int i = 0; i < frames; ++i) {
            Timing raw = TimeFrames(1, [&] {
                player.Draw(i);
                present();
            });
            total.push_back(raw.total_ms);
            submit.push_back(raw.submit_ms);
            raw_cpu.push_back(raw.cpu_ms);
            // The engine's caches do not know what the raw calls changed.
            driver->ResetGLContext(CurrentGraphics());
            driver->SetBatching(true);
            const unsigned long sent = GLRast2DDriver()->State().batches_sent;
            Timing t = TimeFrames(1, [&] {
                engine.Draw(i);
                Flip(0);
            });
            draws += GLRast2DDriver()->State().batches_sent - sent;
            batched.push_back(t.total_ms);
            batched_submit.push_back(t.submit_ms);
            batched_cpu.push_back(t.cpu_ms);
            paired.push_back(t.total_ms / raw.total_ms);
            driver->SetBatching(false);
            t = TimeFrames(1, [&] {
                engine.Draw(i);
                Flip(0);
            });
            single.push_back(t.total_ms);
            single_submit.push_back(t.submit_ms);
            driver->SetBatching(true);
            // What presenting alone costs, the same on both sides.
            shown.push_back(TimeFrames(1, [&] { present(); }).total_ms);
        }
    }
    std::printf("logged game frames: %d, %.0f calls and %.0f textured quads each on average; presented full "
                "screen (%s)\n",
                count, double(logged.CallCount()) / count, double(quads) / count, present.Describe().c_str());
    std::printf("raw OpenGL floor:        %8.3f ms per frame   (submitting %.3f ms)\n", Median(total), Median(submit));
    std::printf("engine, batched:         %8.3f ms per frame   (submitting %.3f ms)\n", Median(batched),
                Median(batched_submit));
    std::printf("engine, call by call:    %8.3f ms per frame   (submitting %.3f ms)\n", Median(single),
                Median(single_submit));
    std::printf("present alone:           %8.3f ms; batched draws per frame: %.1f\n", Median(shown),
                double(draws) / double(total.size()));
    std::printf("batched / raw: %.3f (median of frame pairs %.3f)   call by call / raw: %.3f\n",
                Median(batched) / Median(total), Median(paired), Median(single) / Median(total));
    // On a busy machine wall time carries whatever else runs; the CPU time
    // the frames took is the steadier comparison of the work itself.
    std::printf("CPU time per frame, all threads: raw %.3f ms, batched %.3f ms, batched / raw %.3f\n",
                Median(raw_cpu), Median(batched_cpu), Median(batched_cpu) / Median(raw_cpu));
    std::printf("calls: raw %.3f batched %.3f single %.3f cpu_raw %.3f cpu_batched %.3f present %.3f\n",
                Median(total), Median(batched), Median(single), Median(raw_cpu), Median(batched_cpu), Median(shown));
    return 0;
}

// The same logged frames through the shader driver on a context of its own
// (core profile or ES, neither of which can issue the raw immediate mode),
// presented full screen by the engine: wall and CPU time per frame.
bool RunLoggedShader(const LoggedFrames& logged, TRenderer renderer, double& wall, double& cpu, double& present) {
    InitRast2DDriver({renderer});
    if (!Graphics(640, 480, 32, 60, 0)) {
        std::fprintf(stderr, "bench_render2d: %s: %s\n", RendererName(renderer).c_str(), LastGraphicsError().c_str());
        return false;
    }
    const int count = static_cast<int>(logged.frames.size());
    std::vector<double> total, cpu_ms, shown;
    auto* driver = static_cast<TGL3Rast2DDriver*>(RendererDriver(renderer));
    unsigned long draws = 0;
    {
        LoggedFrameEngine engine(logged, *driver);
        for (int i = 0; i < count; ++i) {  // warm up
            engine.Draw(i);
            Flip(0);
        }
        glFinish();
        const int frames = std::max(20, count);
        for (int round = 0; round < 7; ++round)
            for (int i = 0; i < frames; ++i) {
                const unsigned long sent = driver->BatchesSent();
                Timing t = TimeFrames(1, [&] {
                    engine.Draw(i);
                    Flip(0);
                });
                draws += driver->BatchesSent() - sent;
                total.push_back(t.total_ms);
                cpu_ms.push_back(t.cpu_ms);
                // The window system's part: the same picture presented again.
                shown.push_back(TimeFrames(1, [&] { Flip(0); }).total_ms);
            }
    }
    EndGraphics();
    wall = Median(total);
    cpu = Median(cpu_ms);
    present = Median(shown);
    std::printf("engine, shader driver (%s): %8.3f ms per frame   (CPU %.3f ms); present alone %.3f ms; draws per "
                "frame: %.1f\n",
                RendererName(renderer).c_str(), wall, cpu, Median(shown),
                double(draws) / double(std::max<size_t>(1, total.size())));
    return true;
}

int main(int argc, char** argv) {
    const bool logged = argc == 3 && std::string(argv[1]) == "--calls";
    if (argc != 1 && !logged) {
        std::fprintf(stderr, "usage: bench_render2d [--calls DRAW_LOG.txt]\n");
        return 2;
    }
    InitFreeTypeFontLoader();
    InitGLRast2DDriver();
    // The logged frames are shown full screen, like the game's.
    if (!(logged ? Graphics(640, 480, 32, 60, 0) : Graphics(640, 480, 0, 0, 0))) {
        std::fprintf(stderr, "bench_render2d: no display: %s\n", LastGraphicsError().c_str());
        return 1;
    }
    if (logged) {
        const int status = RunLogged(argv[2]);
        EndGraphics();
        if (status != 0) return status;
        LoggedFrames frames;
        std::string error;
        LoadLoggedFrames(argv[2], frames, error);
        double core = -1, core_cpu = -1, core_present = -1, es = -1, es_cpu = -1, es_present = -1;
        RunLoggedShader(frames, TRenderer::Core, core, core_cpu, core_present);
        RunLoggedShader(frames, TRenderer::ES, es, es_cpu, es_present);
        std::printf("shader: core %.3f es %.3f cpu_core %.3f cpu_es %.3f present_core %.3f present_es %.3f\n", core,
                    es, core_cpu, es_cpu, core_present, es_present);
        return 0;
    }
    Scene scene = MakeScene();
    if (!scene.font) {
        std::fprintf(stderr, "bench_render2d: cannot load %s\n", kFont);
        return 1;
    }
    // Warm up: every texture made, every glyph cached.
    EngineFrame(scene);
    glFinish();
    DirectScene direct = MakeDirect(scene);
    int glyphs = static_cast<int>(direct.glyphs.size());

    std::vector<double> e_total, d_total, e_submit, d_submit, s_total;
    constexpr int kRounds = 7, kFrames = 20;
    for (int round = 0; round < kRounds; ++round) {
        GLRast2DDriver()->SetBatching(false);
        s_total.push_back(TimeFrames(kFrames, [&] { EngineFrame(scene); }).total_ms);
        GLRast2DDriver()->SetBatching(true);
        Timing e = TimeFrames(kFrames, [&] { EngineFrame(scene); });
        // The engine's caches do not know what the direct code changes.
        Timing d = TimeFrames(kFrames, [&] { DirectFrame(direct); });
        GLRast2DDriver()->ResetGLContext(CurrentGraphics());
        e_total.push_back(e.total_ms);
        d_total.push_back(d.total_ms);
        e_submit.push_back(e.submit_ms);
        d_submit.push_back(d.submit_ms);
        Flip(0);
    }
    const double et = Median(e_total), dt = Median(d_total);
    const double es = Median(e_submit), ds = Median(d_submit);
    std::printf("scene: %d additive 640x480 layers, %d sprites, %d glyphs; median of %d rounds of %d frames\n",
                kLayers, kSprites, glyphs, kRounds, kFrames);
    std::printf("engine frame:  %8.3f ms   (submitting %.3f ms)\n", et, es);
    std::printf("engine frame drawn call by call: %8.3f ms\n", Median(s_total));
    std::printf("direct OpenGL: %8.3f ms   (submitting %.3f ms)\n", dt, ds);
    std::printf("engine / direct: %.3f   (submitting alone: %.3f)\n", et / dt, es / ds);
    EndGraphics();
    return 0;
}
