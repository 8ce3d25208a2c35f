#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "kelvora/render/pixmap.h"
#include "kelvora/runtime/errors.h"

using namespace kelvora;

namespace {

const int kFormats[] = {PIXFMT_I8, PIXFMT_A8, PIXFMT_BGR888, PIXFMT_RGB888, PIXFMT_BGRA8888, PIXFMT_RGBA8888};

TPixmapPtr Row(std::initializer_list<int> argb, int format = PIXFMT_RGBA8888) {
    auto p = CreatePixmap(int(argb.size()), 1, format);
    int x = 0;
    for (int v : argb) p->WritePixel(x++, 0, v);
    return p;
}

// What a format keeps of a 0xAARRGGBB value, read back.
uint32_t Through(int format, uint32_t argb) {
    auto p = CreatePixmap(1, 1, format);
    p->WritePixel(0, 0, int(argb));
    return uint32_t(p->ReadPixel(0, 0));
}

// A pixel's red, green, blue and alpha read straight from its bytes, and back.
std::array<int, 4> Decode(const uint8_t* s, int format) {
    switch (format) {
    case PIXFMT_I8: return {s[0], s[0], s[0], 255};
    case PIXFMT_A8: return {255, 255, 255, s[0]};
    case PIXFMT_BGR888: return {s[2], s[1], s[0], 255};
    case PIXFMT_RGB888: return {s[0], s[1], s[2], 255};
    case PIXFMT_BGRA8888: return {s[2], s[1], s[0], s[3]};
    default: return {s[0], s[1], s[2], s[3]};
    }
}
std::vector<uint8_t> Encode(std::array<int, 4> c, int format) {
    switch (format) {
    case PIXFMT_I8: return {uint8_t((c[0] + c[1] + c[2]) / 3)};
    case PIXFMT_A8: return {uint8_t(c[3])};
    case PIXFMT_BGR888: return {uint8_t(c[2]), uint8_t(c[1]), uint8_t(c[0])};
    case PIXFMT_RGB888: return {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])};
    case PIXFMT_BGRA8888: return {uint8_t(c[2]), uint8_t(c[1]), uint8_t(c[0]), uint8_t(c[3])};
    default: return {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), uint8_t(c[3])};
    }
}

}  // namespace

TEST(Pixmap, CreatePadsRowsAndRefusesImpossibleSizes) {
    auto rgb = CreatePixmap(3, 2, PIXFMT_RGB888, 4);
    EXPECT_EQ(rgb->pitch, 12);
    EXPECT_EQ(rgb->capacity, 24);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(rgb->pixels) % 16, 0u);
    EXPECT_EQ(CreatePixmap(3, 1, PIXFMT_I8, 4)->pitch, 4);
    EXPECT_EQ(CreatePixmap(0, 0, PIXFMT_RGBA8888)->capacity, 0);
    EXPECT_THROW(CreatePixmap(-1, 4, PIXFMT_I8), TRuntimeException);
    EXPECT_THROW(CreatePixmap(4, 4, 0), TRuntimeException);
    EXPECT_THROW(CreatePixmap(70000, 70000, PIXFMT_RGBA8888), TRuntimeException);
}

TEST(Pixmap, PixelValuesFollowEachFormat) {
    auto rgb = CreatePixmap(1, 1, PIXFMT_RGB888);
    rgb->pixels[0] = 10, rgb->pixels[1] = 20, rgb->pixels[2] = 30;
    EXPECT_EQ(uint32_t(rgb->ReadPixel(0, 0)), 0xFF0A141Eu);
    auto bgr = Row({0x102030}, PIXFMT_BGR888);
    EXPECT_EQ(bgr->pixels[0], 0x30);
    auto i8 = Row({int(0x80FF0000u)}, PIXFMT_I8);
    EXPECT_EQ(i8->pixels[0], 85);  // (255 + 0 + 0) / 3
    EXPECT_EQ(Through(PIXFMT_I8, 0x80FF0000u), 0xFF555555u);
    EXPECT_EQ(Through(PIXFMT_A8, 0x7F123456u), 0x7FFFFFFFu);
    EXPECT_EQ(Through(PIXFMT_BGRA8888, 0x80102030u), 0x80102030u);
    EXPECT_EQ(Through(PIXFMT_RGB888, 0x00102030u), 0xFF102030u);
}

TEST(Pixmap, ConvertBetweenEveryPairOfFormats) {
    const uint32_t v = 0x9C4080C0;
    for (int from : kFormats) {
        auto src = Row({0, int(v), 0}, from);
        for (int to : kFormats) {
            auto dst = src->Convert(to);
            ASSERT_EQ(dst->format, to);
            // Through RGBA: the target keeps what it can of the source's value.
            EXPECT_EQ(uint32_t(dst->ReadPixel(1, 0)), Through(to, uint32_t(src->ReadPixel(1, 0)))) << from << "->" << to;
        }
    }
    EXPECT_EQ(uint32_t(Row({int(v)})->Convert(PIXFMT_I8)->ReadPixel(0, 0)), 0xFF808080u);  // (64+128+192)/3

    // Random rows of odd lengths against the bytes decoded one by one; not a
    // byte written past the last pixel.
    std::mt19937 rng(7);
    for (int from : kFormats)
        for (int to : kFormats)
            for (int n : {1, 2, 3, 4, 7, 33}) {
                std::vector<uint8_t> src(size_t(n) * BytesPerPixel(from)), dst(size_t(n + 1) * 4, 0xAB);
                for (auto& b : src) b = uint8_t(rng());
                ConvertPixels(src.data(), from, dst.data(), to, n);
                std::vector<uint8_t> want;
                for (int i = 0; i < n; ++i) {
                    const auto px = Encode(Decode(&src[size_t(i) * BytesPerPixel(from)], from), to);
                    want.insert(want.end(), px.begin(), px.end());
                }
                want.resize(dst.size(), 0xAB);
                ASSERT_EQ(dst, want) << from << "->" << to << " n=" << n;
            }
}

TEST(Pixmap, WindowSharesMemoryAndKeepsItsParentAlive) {
    auto parent = CreatePixmap(8, 8, PIXFMT_RGBA8888);
    parent->ClearPixels(0);
    TPixmapPtr win = parent->Window(2, 3, 4, 4);
    EXPECT_EQ(win->capacity, -1);
    win->WritePixel(0, 0, -1);
    EXPECT_EQ(parent->ReadPixel(2, 3), -1);
    std::weak_ptr<TPixmap> weak = parent;
    parent.reset();
    EXPECT_EQ(win->ReadPixel(0, 0), -1);  // ASan would catch a dangling read
    win.reset();
    EXPECT_TRUE(weak.expired());
}

TEST(Pixmap, CopyPasteAndClearStayInsideTheRows) {
    auto src = CreatePixmap(3, 2, PIXFMT_RGB888);
    for (int i = 0; i < 6; ++i) src->WritePixel(i % 3, i / 3, 0x010203 * (i + 1));
    auto copy = src->Copy();
    EXPECT_NE(copy->pixels, src->pixels);
    EXPECT_EQ(copy->ReadPixel(2, 1), src->ReadPixel(2, 1));

    auto dst = CreatePixmap(5, 4, PIXFMT_BGRA8888);
    dst->ClearPixels(0);
    dst->Paste(*src, 1, 2);
    EXPECT_EQ(dst->ReadPixel(1, 2), src->ReadPixel(0, 0));
    EXPECT_EQ(dst->ReadPixel(3, 3), src->ReadPixel(2, 1));
    EXPECT_EQ(dst->ReadPixel(0, 2) | dst->ReadPixel(4, 3) | dst->ReadPixel(1, 1), 0);

    // Padding bytes beyond each row are left alone by a colour clear.
    auto padded = CreatePixmap(3, 3, PIXFMT_RGB888);
    std::memset(padded->pixels, 0xAB, size_t(padded->capacity));
    padded->ClearPixels(int(0xFF336699u));
    EXPECT_EQ(uint32_t(padded->ReadPixel(2, 2)), 0xFF336699u);
    EXPECT_EQ(padded->pixels[padded->pitch - 1], 0xAB);
    padded->ClearPixels(0);
    EXPECT_EQ(padded->ReadPixel(1, 2), int(0xFF000000u));
}

TEST(Pixmap, MaskMakesTheMaskColourTransparentAndBleedsNeighbours) {
    EXPECT_EQ(MaskPixmap(Row({0}, PIXFMT_RGB888), 0, 0, 0)->ReadPixel(0, 0), 0);
    auto pair = MaskPixmap(Row({0xFFFFFF, 0}, PIXFMT_RGB888), 0, 0, 0);
    EXPECT_EQ(pair->format, PIXFMT_RGBA8888);
    EXPECT_EQ(uint32_t(pair->ReadPixel(0, 0)), 0xFFFFFFFFu);
    EXPECT_EQ(uint32_t(pair->ReadPixel(1, 0)), 0x00FFFFFFu);

    // 3x3, mask colour except three pixels; the source alpha is discarded.
    auto grid = CreatePixmap(3, 3, PIXFMT_RGBA8888);
    grid->ClearPixels(int(0x10000000));
    grid->WritePixel(0, 0, 0x00640000);
    grid->WritePixel(2, 2, 0x00006401);
    grid->WritePixel(1, 1, 0x00FF00FF);
    auto m = MaskPixmap(grid, 0, 0, 0);
    EXPECT_EQ(uint32_t(m->ReadPixel(1, 1)), 0xFFFF00FFu);
    // Integer averages of the unmasked neighbours only.
    EXPECT_EQ(uint32_t(m->ReadPixel(1, 0)), uint32_t((0x64 + 0xFF) / 2 << 16 | 0xFF / 2));
    EXPECT_EQ(uint32_t(m->ReadPixel(2, 1)), uint32_t(0xFF / 2 << 16 | 0x64 / 2 << 8 | (0xFF + 1) / 2));
    EXPECT_EQ(uint32_t(m->ReadPixel(0, 2)), 0x00FF00FFu);
}

TEST(Pixmap, MaskMatchesAPlainReadingOfItOverRandomPictures) {
    std::mt19937 rng(11);
    for (int format : kFormats)
        for (int w : {1, 2, 3, 5, 17, 40})
            for (int h : {1, 2, 3, 6}) {
                // Pixels of the mask colour in a window of a larger pixmap (rows
                // padded) or packed (align 1); grey where only grey can match;
                // now and then a colour out of range, matching none.
                int key[3] = {int(rng() % 4), int(rng() % 4), int(rng() % 4)};
                if (format == PIXFMT_I8) key[1] = key[2] = key[0];
                if (format == PIXFMT_A8) key[0] = key[1] = key[2] = 255;
                if (rng() % 8 == 0) key[rng() % 3] = rng() % 2 ? 256 : -1;
                const int share = int(rng() % 4);  // none, half, half or all of the mask colour
                auto p = rng() % 2 ? CreatePixmap(w, h, format, 1)
                                   : CreatePixmap(w + 2, h + 2, format, 16)->Window(1, 1, w, h);
                const uint32_t colour = uint32_t(key[0] & 255) << 16 | (key[1] & 255) << 8 | (key[2] & 255);
                for (int y = 0; y < h; ++y) {
                    uint8_t* row = p->PixelPtr(0, y);
                    for (int i = 0; i < w * BytesPerPixel(format); ++i) row[i] = uint8_t(rng() % 2 ? rng() : rng() % 4);
                    for (int x = 0; x < w; ++x)
                        if (share == 3 || (share && rng() % 2))
                            p->WritePixel(x, y, int(uint32_t(rng()) << 24 | colour));
                }
                auto m = MaskPixmap(p, key[0], key[1], key[2]);
                ASSERT_EQ(m->pitch, w * 4);
                auto rgb = [&](int x, int y) { return Decode(p->PixelPtr(x, y), format); };
                auto masked = [&](int x, int y) {
                    return rgb(x, y)[0] == key[0] && rgb(x, y)[1] == key[1] && rgb(x, y)[2] == key[2];
                };
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        std::array<int, 4> want = rgb(x, y);
                        want[3] = 255;
                        if (masked(x, y)) {
                            int n = 0;
                            want = {0, 0, 0, 0};
                            for (int j = std::max(y - 1, 0); j <= std::min(y + 1, h - 1); ++j)
                                for (int i = std::max(x - 1, 0); i <= std::min(x + 1, w - 1); ++i)
                                    if (!masked(i, j)) {
                                        for (int c = 0; c < 3; ++c) want[c] += rgb(i, j)[c];
                                        ++n;
                                    }
                            for (int c = 0; c < 3; ++c) want[c] = n ? want[c] / n : 0;
                        }
                        ASSERT_EQ(Decode(m->PixelPtr(x, y), PIXFMT_RGBA8888), want)
                            << format << " " << w << "x" << h << " at " << x << "," << y;
                    }
            }
}

TEST(Pixmap, FlipsMirrorColumnsAndRows) {
    auto p = CreatePixmap(3, 2, PIXFMT_RGB888);
    for (int i = 0; i < 6; ++i) p->WritePixel(i % 3, i / 3, i);
    auto xf = XFlipPixmap(p), yf = YFlipPixmap(p);
    EXPECT_EQ(xf->ReadPixel(0, 1) & 0xFF, 5);
    EXPECT_EQ(yf->ReadPixel(0, 1) & 0xFF, 0);
    EXPECT_EQ(yf->ReadPixel(2, 0) & 0xFF, 5);
}

TEST(Pixmap, ResizeIsBilinearWithClampedEdges) {
    auto same = CreatePixmap(5, 3, PIXFMT_BGRA8888);
    for (int i = 0; i < 15; ++i) same->WritePixel(i % 5, i / 5, int(0x9E3779B9u * uint32_t(i + 1)));
    auto r = ResizePixmap(same, 5, 3);
    EXPECT_EQ(r->format, PIXFMT_BGRA8888);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(r->ReadPixel(i % 5, i / 5), same->ReadPixel(i % 5, i / 5));

    auto up = ResizePixmap(Row({0, 100 * 0x010101}, PIXFMT_I8), 4, 1);
    EXPECT_EQ(std::vector<int>(up->pixels, up->pixels + 4), (std::vector<int>{0, 25, 75, 100}));
    auto down = ResizePixmap(Row({0, 40, 80, 120}, PIXFMT_RGB888), 2, 1);
    EXPECT_EQ(down->ReadPixel(0, 0) & 0xFF, 20);
    EXPECT_EQ(down->ReadPixel(1, 0) & 0xFF, 100);
    // Rows weigh the same way and truncate: 1 + 199 * 0.25 = 50.75.
    auto col = CreatePixmap(1, 2, PIXFMT_A8);
    col->pixels[0] = 1, col->pixels[col->pitch] = 200;
    auto tall = ResizePixmap(col, 1, 4);
    const int want[] = {1, 50, 150, 200};
    for (int y = 0; y < 4; ++y) EXPECT_EQ(tall->pixels[y * tall->pitch], want[y]) << y;
    EXPECT_EQ(ResizePixmap(CreatePixmap(0, 0, PIXFMT_RGBA8888), 2, 2)->ReadPixel(1, 1), 0);
}
