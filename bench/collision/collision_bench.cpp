// Cost of one ImagesCollideTransformed call as the game makes it (a shot
// against an alien, each with its own rotation and scale): a pair whose
// boxes are apart, and a 58x60 shot overlapping a 56x92 alien, missing and
// hitting. No graphics is open, so the render state's rotation and scale
// are not involved; the figures are the collision test itself.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "kelvora/render/collision.h"

using namespace kelvora;

namespace {

// An RGBA image opaque inside the ellipse that fills it.
TImagePtr Ellipse(int w, int h) {
    auto p = CreatePixmap(w, h, PIXFMT_RGBA8888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
            p->WritePixel(x, y, dx * dx + dy * dy <= 1.0 ? -1 : 0);
        }
    TImagePtr im = TImage::Load(p, 0, 0, 0, 0);
    CenterImageHandle(im);
    return im;
}

template <class F>
void Time(const char* label, F call) {
    int result = 0;
    for (int i = 0; i < 1000; ++i) result = call();
    int runs = 1000;
    double ns = 0, cpu_ns = 0;
    for (;;) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        for (int i = 0; i < runs; ++i) result = call();
        cpu_ns = double(std::clock() - c0) * 1e9 / CLOCKS_PER_SEC;
        ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
        if (ns > 2e8 || runs > (1 << 24)) break;
        runs *= 4;
    }
    std::printf("ImagesCollideTransformed %-44s CPU %8.0f ns, wall %8.0f ns per call (result %d, %d calls)\n", label,
                cpu_ns / runs, ns / runs, result, runs);
}

}  // namespace

int main() {
    TImagePtr shot = Ellipse(58, 60);
    TImagePtr alien = Ellipse(56, 92);
    Time("rejected (boxes apart)", [&] {
        return ImagesCollideTransformed(shot, 100, 100, 0, 0, 0.5f, 0.5f, alien, 400, 300, 0, 10, 1, 1);
    });
    Time("overlapping boxes, miss (58x60 vs 56x92)", [&] {
        return ImagesCollideTransformed(shot, 352, 250, 0, 0, 1, 1, alien, 400, 300, 0, 0, 1, 1);
    });
    Time("overlapping, hit (58x60 vs 56x92)", [&] {
        return ImagesCollideTransformed(shot, 390, 290, 0, 0, 1, 1, alien, 400, 300, 0, 0, 1, 1);
    });
    Time("overlapping, hit, rotated 30 and scaled 0.8", [&] {
        return ImagesCollideTransformed(shot, 385, 320, 0, 30, 0.8f, 0.8f, alien, 400, 300, 0, -15, 0.9f, 0.9f);
    });
    return 0;
}
