// Masking and format conversion of 640x480 pictures against memory speed:
// each case is timed in turn with a plain memcpy of as many bytes as it
// moves (the larger of what it reads and writes), pair after pair, so a busy
// machine slows both alike. Times are the thread's own CPU time; medians over
// the pairs. The hash of each result lets two builds be checked for the same
// bytes.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "kelvora/render/pixmap.h"

using namespace kelvora;

namespace {

constexpr int W = 640, H = 480, PAIRS = 15;
constexpr double MEGAPIXELS = W * H / 1e6;

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Round sprites on black, about half the picture black (the mask colour).
TPixmapPtr SpriteSheet(int format) {
    auto p = CreatePixmap(W, H, PIXFMT_RGB888);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int dx = x % 64 - 32, dy = y % 64 - 32;
            const bool inside = dx * dx + dy * dy < 26 * 26;
            uint8_t* c = p->PixelPtr(x, y);
            c[0] = inside ? uint8_t(x / 3) : 0, c[1] = inside ? uint8_t(y / 2) : 0;
            c[2] = inside ? uint8_t(1 + (x ^ y) % 200) : 0;
        }
    return format == PIXFMT_RGB888 ? p : p->Convert(format);
}

// Smooth colours with noise: hardly a pixel of the mask colour.
TPixmapPtr Photo(int format) {
    auto p = CreatePixmap(W, H, PIXFMT_RGB888);
    uint32_t seed = 1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28);
            uint8_t* c = p->PixelPtr(x, y);
            c[0] = uint8_t(128 + 100 * std::sin(x * 0.02) + noise);
            c[1] = uint8_t(128 + 100 * std::cos(y * 0.03) + noise);
            c[2] = uint8_t((x ^ y) & 255);
        }
    return format == PIXFMT_RGB888 ? p : p->Convert(format);
}

uint32_t Hash(const TPixmap& p) {
    uint32_t h = 2166136261u;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* r = p.PixelPtr(0, y);
        for (int i = 0; i < p.width * BytesPerPixel(p.format); ++i) h = (h ^ r[i]) * 16777619u;
    }
    return h;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Run(const char* label, size_t bytes, const std::function<TPixmapPtr()>& work) {
    const uint32_t hash = Hash(*work());
    double t = CpuMs();
    work();
    const int reps = std::max(1, int(8.0 / std::max(CpuMs() - t, 0.01)));  // about 8 ms a run
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    std::vector<double> ours, copy, ratio;
    for (int pair = 0; pair < PAIRS; ++pair) {
        t = CpuMs();
        for (int i = 0; i < reps; ++i) work();
        ours.push_back((CpuMs() - t) / reps / MEGAPIXELS);
        t = CpuMs();
        for (int i = 0; i < reps; ++i) {
            std::memcpy(to.data(), from.data(), bytes);
            asm volatile("" : : "r"(to.data()) : "memory");
        }
        copy.push_back((CpuMs() - t) / reps / MEGAPIXELS);
        ratio.push_back(ours.back() / copy.back());
    }
    std::sort(ratio.begin(), ratio.end());
    std::printf("%-34s %9.3f %9.3f %8.2f  (%5.2f-%5.2f)  %08x\n", label, Median(ours), Median(copy), Median(ratio),
                ratio.front(), ratio.back(), hash);
}

void Mask(const char* label, const TPixmapPtr& src) {
    Run(label, size_t(W) * H * 4, [&] { return MaskPixmap(src, 0, 0, 0); });
}

void Convert(const TPixmapPtr& src, int to) {
    static const char* names[] = {"", "I8", "A8", "BGR888", "RGB888", "BGRA8888", "RGBA8888"};
    char label[64];
    std::snprintf(label, sizeof label, "ConvertPixels %s -> %s", names[src->format], names[to]);
    auto dst = CreatePixmap(W, H, to);
    const size_t bytes = size_t(W) * H * std::max(BytesPerPixel(src->format), BytesPerPixel(to));
    Run(label, bytes, [&] {
        for (int y = 0; y < H; ++y) ConvertPixels(src->PixelPtr(0, y), src->format, dst->PixelPtr(0, y), to, W);
        return dst;
    });
}

}  // namespace

int main() {
    std::printf("640x480, %d interleaved pairs, thread CPU time; memcpy of the larger of bytes read and written\n",
                PAIRS);
    std::printf("%-34s %9s %9s %8s  %13s  %8s\n", "case", "ms/MP", "memcpy", "ratio", "(min-max)", "hash");
    Mask("MaskPixmap RGB888 sprite sheet", SpriteSheet(PIXFMT_RGB888));
    Mask("MaskPixmap RGB888 photo", Photo(PIXFMT_RGB888));
    Mask("MaskPixmap RGBA8888 sprite sheet", SpriteSheet(PIXFMT_RGBA8888));
    Mask("MaskPixmap BGRA8888 sprite sheet", SpriteSheet(PIXFMT_BGRA8888));
    Convert(Photo(PIXFMT_RGB888), PIXFMT_RGBA8888);
    Convert(Photo(PIXFMT_BGR888), PIXFMT_RGBA8888);
    Convert(Photo(PIXFMT_RGBA8888), PIXFMT_BGRA8888);
    Convert(Photo(PIXFMT_BGRA8888), PIXFMT_RGBA8888);
    Convert(Photo(PIXFMT_RGBA8888), PIXFMT_RGB888);
    Convert(Photo(PIXFMT_I8), PIXFMT_RGBA8888);
    Convert(Photo(PIXFMT_RGBA8888), PIXFMT_I8);
    return 0;
}
