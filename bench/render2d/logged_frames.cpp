#include "bench/render2d/logged_frames.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "render/gl/gl_rast2d_driver.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_frame.h"
#include "kelvora/render/pixmap.h"

using namespace kelvora;

namespace {

int PowerOfTwo(int n)
{
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

// A picture's stand-in: colour with a transparent border, like a masked sprite.
std::vector<unsigned char> Pattern(int w, int h, int seed)
{
    std::vector<unsigned char> rgba(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
            const bool edge = x < w / 8 || y < h / 8 || x >= w - w / 8 || y >= h - h / 8;
            p[0] = static_cast<unsigned char>(x * 7 + seed * 31);
            p[1] = static_cast<unsigned char>(y * 5 + seed * 17);
            p[2] = static_cast<unsigned char>((x ^ y) + seed);
            p[3] = edge ? 0 : 255;
        }
    return rgba;
}

}  // namespace

int LoggedFrames::CallCount() const
{
    int n = 0;
    for (const auto& f : frames) n += static_cast<int>(f.size());
    return n;
}

bool LoadLoggedFrames(const std::string& path, LoggedFrames& out, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    out = LoggedFrames{};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream words(line);
        LoggedCall call;
        if (!(words >> call.name)) continue;
        if (call.name == "frame") {
            out.frames.emplace_back();
            continue;
        }
        if (out.frames.empty()) {
            error = path + ":" + std::to_string(number) + ": a call before the first \"frame\" line";
            return false;
        }
        std::string word;
        while (words >> word) {
            if (word[0] == '@') {
                int w = 0, h = 0;
                call.picture = std::atoi(word.c_str() + 1);
                if (!(words >> w >> h) || w <= 0 || h <= 0 || call.picture < 0) {
                    error = path + ":" + std::to_string(number) + ": bad picture size";
                    return false;
                }
                out.picture_sizes[call.picture] = {w, h};
                break;
            }
            call.args.push_back(std::strtof(word.c_str(), nullptr));
        }
        out.frames.back().push_back(std::move(call));
    }
    if (out.frames.empty()) {
        error = path + ": no frames";
        return false;
    }
    return true;
}

LoggedFramePlayer::LoggedFramePlayer(const LoggedFrames& frames) : frames_(frames)
{
    for (const auto& [id, size] : frames.picture_sizes) {
        const int tw = PowerOfTwo(size.first), th = PowerOfTwo(size.second);
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        const std::vector<unsigned char> rgba = Pattern(tw, th, id);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        textures_[id] = name;
        extents_[id] = {float(size.first) / float(tw), float(size.second) / float(th)};
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

LoggedFramePlayer::~LoggedFramePlayer()
{
    for (const auto& [id, name] : textures_) glDeleteTextures(1, &name);
}

void LoggedFramePlayer::Draw(int frame)
{
    const auto& calls = frames_.frames[size_t(frame) % frames_.frames.size()];
    GLuint bound = 0;
    bool texturing = false;
    auto texture = [&](bool on) {
        if (on == texturing) return;
        texturing = on;
        if (on)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
    };
    auto vertex = [&](float x, float y, float tx, float ty) {
        glVertex2f(x * ix_ + y * iy_ + tx, x * jx_ + y * jy_ + ty);
    };
    glDisable(GL_TEXTURE_2D);
    for (const LoggedCall& c : calls) {
        const auto a = [&c](size_t i) { return i < c.args.size() ? c.args[i] : 0.0f; };
        const std::string& n = c.name;
        if (n == "DrawFrame") {
            const auto t = textures_.find(c.picture);
            if (t == textures_.end()) continue;
            texture(true);
            if (t->second != bound) glBindTexture(GL_TEXTURE_2D, bound = t->second);
            const auto [u1, v1] = extents_[c.picture];
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            vertex(a(0), a(1), a(4), a(5));
            glTexCoord2f(u1, 0);
            vertex(a(2), a(1), a(4), a(5));
            glTexCoord2f(u1, v1);
            vertex(a(2), a(3), a(4), a(5));
            glTexCoord2f(0, v1);
            vertex(a(0), a(3), a(4), a(5));
            glEnd();
        } else if (n == "SetColor") {
            color_[0] = a(0) / 255.0f;
            color_[1] = a(1) / 255.0f;
            color_[2] = a(2) / 255.0f;
            glColor4fv(color_);
        } else if (n == "SetAlpha") {
            color_[3] = a(0);
            glColor4fv(color_);
        } else if (n == "SetTransform") {
            ix_ = a(0), iy_ = a(1), jx_ = a(2), jy_ = a(3);
        } else if (n == "SetBlend") {
            ApplyGLBlend(static_cast<int>(a(0)));
        } else if (n == "SetClsColor") {
            glClearColor(a(0) / 255.0f, a(1) / 255.0f, a(2) / 255.0f, 1.0f);
        } else if (n == "Cls") {
            glClear(GL_COLOR_BUFFER_BIT);
        } else if (n == "SetViewport") {
            if (a(0) == 0 && a(1) == 0 && a(2) == 640 && a(3) == 480) {
                glDisable(GL_SCISSOR_TEST);
            } else {
                glEnable(GL_SCISSOR_TEST);
                glScissor(int(a(0)), 480 - int(a(1)) - int(a(3)), std::max(0, int(a(2))), std::max(0, int(a(3))));
            }
        } else if (n == "SetLineWidth") {
            if (a(0) > 0) glLineWidth(a(0));
        } else if (n == "Plot") {
            texture(false);
            glBegin(GL_POINTS);
            glVertex2f(a(0) + 0.5f, a(1) + 0.5f);
            glEnd();
        } else if (n == "DrawLine") {
            texture(false);
            glBegin(GL_LINES);
            vertex(a(0), a(1), a(4) + 0.5f, a(5) + 0.5f);
            vertex(a(2), a(3), a(4) + 0.5f, a(5) + 0.5f);
            glEnd();
        } else if (n == "DrawRect") {
            texture(false);
            glBegin(GL_QUADS);
            vertex(a(0), a(1), a(4), a(5));
            vertex(a(2), a(1), a(4), a(5));
            vertex(a(2), a(3), a(4), a(5));
            vertex(a(0), a(3), a(4), a(5));
            glEnd();
        } else if (n == "DrawOval") {
            texture(false);
            const float xr = (a(2) - a(0)) / 2, yr = (a(3) - a(1)) / 2;
            glBegin(GL_POLYGON);
            for (int i = 0; i < 32; ++i) {
                const float th = float(i) * 6.2831853f / 32;
                vertex(a(0) + xr + xr * std::cos(th), a(1) + yr + yr * std::sin(th), a(4), a(5));
            }
            glEnd();
        } else if (n == "DrawPoly") {
            texture(false);
            glBegin(GL_POLYGON);
            for (size_t i = 4; i + 1 < c.args.size(); i += 2)
                vertex(c.args[i] + a(0), c.args[i + 1] + a(1), a(2), a(3));
            glEnd();
        } else if (n == "DrawPixmap") {
            const auto size = frames_.picture_sizes.find(c.picture);
            if (size == frames_.picture_sizes.end()) continue;
            static std::vector<unsigned char> pixels;
            pixels.resize(size_t(size->second.first) * size_t(size->second.second) * 4);
            texture(false);
            glRasterPos2i(0, 0);
            glBitmap(0, 0, 0, 0, a(0), -a(1) - float(size->second.second), nullptr);
            glDrawPixels(size->second.first, size->second.second, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        } else if (n == "GrabPixmap") {
            static std::vector<unsigned char> pixels;
            const int w = std::max(0, int(a(2))), h = std::max(0, int(a(3)));
            pixels.resize(size_t(w) * size_t(h) * 4);
            if (w > 0 && h > 0) glReadPixels(int(a(0)), 480 - int(a(1)) - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        }
        // Flip, CreateFrameFromPixmap and the queries draw nothing.
    }
    glDisable(GL_SCISSOR_TEST);
}

LoggedFrameEngine::LoggedFrameEngine(const LoggedFrames& frames, TRast2DDriver& driver)
    : frames_(frames), driver_(driver)
{
    for (const auto& [id, size] : frames.picture_sizes) {
        const std::vector<unsigned char> rgba = Pattern(size.first, size.second, id);
        TPixmapPtr p = TPixmap::Create(size.first, size.second, PIXFMT_RGBA8888, 4);
        for (int y = 0; y < size.second; ++y)
            std::memcpy(p->PixelPtr(0, y), &rgba[size_t(y) * size_t(size.first) * 4], size_t(size.first) * 4);
        pixmaps_[id] = p;
        // Text-sized pictures are the score line's glyphs: the engine may
        // share a texture among them, as its fonts ask.
        const int flags = size.first <= 32 && size.second <= 32 ? IMAGE_FILTERED | IMAGE_SHAREABLE : IMAGE_FILTERED;
        images_[id] = driver_.CreateFrameFromPixmap(p, flags);
    }
}

void LoggedFrameEngine::Draw(int frame)
{
    TRast2DDriver& d = driver_;
    const auto& calls = frames_.frames[size_t(frame) % frames_.frames.size()];
    for (const LoggedCall& c : calls) {
        const auto a = [&c](size_t i) { return i < c.args.size() ? c.args[i] : 0.0f; };
        const std::string& n = c.name;
        if (n == "DrawFrame") {
            const auto f = images_.find(c.picture);
            if (f != images_.end() && f->second)
                f->second->Draw(a(0), a(1), a(2), a(3), a(4), a(5));
        } else if (n == "SetColor") {
            d.SetColor(int(a(0)), int(a(1)), int(a(2)));
        } else if (n == "SetAlpha") {
            d.SetAlpha(a(0));
        } else if (n == "SetTransform") {
            d.SetTransform(a(0), a(1), a(2), a(3));
        } else if (n == "SetBlend") {
            d.SetBlend(int(a(0)));
        } else if (n == "SetClsColor") {
            d.SetClsColor(int(a(0)), int(a(1)), int(a(2)));
        } else if (n == "Cls") {
            d.Cls();
        } else if (n == "SetViewport") {
            d.SetViewport(int(a(0)), int(a(1)), int(a(2)), int(a(3)));
        } else if (n == "SetLineWidth") {
            d.SetLineWidth(a(0));
        } else if (n == "Plot") {
            d.Plot(a(0), a(1));
        } else if (n == "DrawLine") {
            d.DrawLine(a(0), a(1), a(2), a(3), a(4), a(5));
        } else if (n == "DrawRect") {
            d.DrawRect(a(0), a(1), a(2), a(3), a(4), a(5));
        } else if (n == "DrawOval") {
            d.DrawOval(a(0), a(1), a(2), a(3), a(4), a(5));
        } else if (n == "DrawPoly") {
            d.DrawPoly(std::vector<float>(c.args.begin() + std::min<size_t>(4, c.args.size()), c.args.end()), a(0),
                       a(1), a(2), a(3));
        } else if (n == "DrawPixmap") {
            const auto p = pixmaps_.find(c.picture);
            if (p != pixmaps_.end())
                d.DrawPixmap(p->second, int(a(0)), int(a(1)));
        } else if (n == "GrabPixmap") {
            d.GrabPixmap(int(a(0)), int(a(1)), int(a(2)), int(a(3)));
        }
    }
}
