#include "tools/replay/replay_png.h"

#include <png.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "kelvora/render/pixmap.h"

using namespace kelvora;

void write_png(const std::shared_ptr<TPixmap>& pixmap, const std::string& path)
{
    if (!pixmap)
        throw std::runtime_error("nothing to write to " + path);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const int w = pixmap->width;
    const int h = pixmap->height;
    std::vector<png_byte> row(static_cast<size_t>(w) * 3);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        throw std::runtime_error("cannot encode " + path);
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned argb = static_cast<unsigned>(pixmap->ReadPixel(x, y));
            row[x * 3] = static_cast<png_byte>(argb >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(argb >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(argb);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}
