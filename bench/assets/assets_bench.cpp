// Load times of the game's media through the engine loaders: each music
// track is decoded whole whenever the track changes, so its load must fit in
// a few frames; the images are decoded once at start-up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/embedded_resources.h"
#include "kelvora/audio/sample.h"
#include "kelvora/render/pixmap_loader.h"

using namespace kelvora;

namespace {

template <class F>
double BestMs(int runs, F&& f)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main()
{
    RegisterEmbeddedResources();
    const std::string data = std::string(KV_SOURCE_DIR) + "/data/";
    std::printf("%-22s %10s %10s\n", "sound", "seconds", "load ms");
    for (const char* f : {"laserfire.ogg", "alienhit.ogg", "newgame.ogg", "endgame.ogg", "alienmiss.ogg",
                          "moontitle.ogg", "kelvora.ogg"}) {
        double secs = 0;
        const double ms = BestMs(5, [&] {
            TAudioSamplePtr s = LoadAudioSample(data + f);
            secs = s ? double(s->length) / s->hertz : 0;
        });
        std::printf("%-22s %10.2f %10.2f%s\n", f, secs, ms, secs > 10 && ms > 50 ? "  (over the 3-frame budget)" : "");
    }
    std::printf("\n%-22s %10s\n", "image", "load ms");
    for (const char* k : {"graphx\\qvlogo.png", "graphx\\dmpointer.png", "graphx\\kvora_sf01.png",
                          "graphx\\kvora_bd01.png", "graphx\\kvora_bd02.png", "graphx\\kvora_mt01.png",
                          "graphx\\kvora_mt02.png", "graphx\\kvora3D_title.png"}) {
        const double ms = BestMs(5, [&] { LoadPixmap(std::string("incbin::") + k); });
        std::printf("%-22s %10.2f\n", k + 7, ms);
    }
    return 0;
}
