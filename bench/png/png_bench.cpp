// PNG decode time of a 640x480 picture through the engine loader (file
// open, stream reads, decode, pixmap), for a photo-like RGB image and an
// RGBA sprite sheet with large flat areas.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kelvora/render/pixmap_loader.h"

using namespace kelvora;

namespace {

std::string WriteTestPng(const std::string& path, bool alpha) {
    const int w = 640, h = 480, ch = alpha ? 4 : 3;
    std::vector<uint8_t> px(size_t(w) * h * ch);
    uint32_t seed = 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(y) * w + x) * ch];
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28);
            if (alpha) {
                const bool inside = ((x / 40) + (y / 40)) % 3 != 0;
                p[0] = uint8_t(x / 3), p[1] = uint8_t(y / 2), p[2] = 128, p[3] = inside ? 255 : 0;
            } else {
                p[0] = uint8_t(128 + 100 * std::sin(x * 0.02) + noise);
                p[1] = uint8_t(128 + 100 * std::cos(y * 0.03) + noise);
                p[2] = uint8_t((x ^ y) & 255);
            }
        }
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::fclose(f);
        return {};
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, &px[size_t(y) * w * ch]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return path;
}

void Run(const char* label, const std::string& path) {
    const auto bytes = std::filesystem::file_size(path);
    for (int i = 0; i < 3; ++i) LoadPixmap(path);  // warm the file cache
    const int runs = 40;
    std::vector<double> ms;
    const std::clock_t c0 = std::clock();
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        TPixmapPtr p = LoadPixmap(path);
        const auto t1 = std::chrono::steady_clock::now();
        if (!p || p->width != 640) {
            std::printf("%s: decode failed\n", label);
            return;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    // CPU time as well: on a busy machine the wall clock mostly measures waiting.
    const double cpu_ms = double(std::clock() - c0) * 1000.0 / CLOCKS_PER_SEC / runs;
    std::sort(ms.begin(), ms.end());
    std::printf("png decode 640x480 %-5s (%6zu bytes): CPU %.3f ms per decode; wall median %.3f ms, min %.3f ms over %d runs\n",
                label, size_t(bytes), cpu_ms, ms[ms.size() / 2], ms.front(), runs);
}

}  // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string rgb = WriteTestPng((dir / "kv_bench_rgb.png").string(), false);
    const std::string rgba = WriteTestPng((dir / "kv_bench_rgba.png").string(), true);
    Run("RGB", rgb);
    Run("RGBA", rgba);
    std::filesystem::remove(rgb);
    std::filesystem::remove(rgba);
    return 0;
}
