#include <gtest/gtest.h>

#include <cstring>

#include "render/pixmap.h"
#include "runtime/errors.h"

namespace {

const int kFormats[] = {PIXFMT_I8, PIXFMT_A8, PIXFMT_BGR888, PIXFMT_RGB888, PIXFMT_BGRA8888, PIXFMT_RGBA8888};

TPixmapPtr Row(std::initializer_list<int> argb, int format = PIXFMT_RGBA8888) {
    auto p = CreatePixmap(int(argb.size()), 1, format);
    int x = 0;
    for (int v : argb) p->WritePixel(x++, 0, v);
    return p;
}

}  // namespace

TEST(Pixmap, CreatePadsRowsToTheAlignment) {
    auto rgb = CreatePixmap(3, 2, PIXFMT_RGB888, 4);
    EXPECT_EQ(rgb->pitch, 12);
    EXPECT_EQ(rgb->capacity, 24);
    EXPECT_EQ(CreatePixmap(3, 1, PIXFMT_I8, 4)->pitch, 4);
    EXPECT_EQ(CreatePixmap(5, 1, PIXFMT_RGBA8888, 4)->pitch, 20);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(rgb->pixels) % 16, 0u);
    auto empty = CreatePixmap(0, 0, PIXFMT_RGBA8888);
    EXPECT_EQ(empty->capacity, 0);
    EXPECT_THROW(CreatePixmap(-1, 4, PIXFMT_I8), TRuntimeException);
    EXPECT_THROW(CreatePixmap(4, 4, 0, 4), TRuntimeException);
    EXPECT_THROW(CreatePixmap(70000, 70000, PIXFMT_RGBA8888), TRuntimeException);
}

TEST(Pixmap, ReadAndWritePixelFollowTheFormatRules) {
    auto rgb = CreatePixmap(1, 1, PIXFMT_RGB888);
    rgb->pixels[0] = 10, rgb->pixels[1] = 20, rgb->pixels[2] = 30;
    EXPECT_EQ(uint32_t(rgb->ReadPixel(0, 0)), 0xFF0A141Eu);

    auto bgr = CreatePixmap(1, 1, PIXFMT_BGR888);
    bgr->WritePixel(0, 0, 0x00102030);
    EXPECT_EQ(bgr->pixels[0], 0x30);
    EXPECT_EQ(bgr->pixels[2], 0x10);
    EXPECT_EQ(uint32_t(bgr->ReadPixel(0, 0)), 0xFF102030u);

    auto i8 = CreatePixmap(1, 1, PIXFMT_I8);
    i8->WritePixel(0, 0, int(0x80FF0000u));
    EXPECT_EQ(i8->pixels[0], 85);
    EXPECT_EQ(uint32_t(i8->ReadPixel(0, 0)), 0xFF555555u);

    auto a8 = CreatePixmap(1, 1, PIXFMT_A8);
    a8->WritePixel(0, 0, int(0x7F123456u));
    EXPECT_EQ(a8->pixels[0], 0x7F);
    EXPECT_EQ(uint32_t(a8->ReadPixel(0, 0)), 0x7FFFFFFFu);

    for (int f : {PIXFMT_BGRA8888, PIXFMT_RGBA8888}) {
        auto p = CreatePixmap(2, 1, f);
        p->WritePixel(1, 0, int(0x80102030u));
        EXPECT_EQ(uint32_t(p->ReadPixel(1, 0)), 0x80102030u) << f;
    }
}

TEST(Pixmap, ConvertBetweenEveryPairOfFormats) {
    // Through RGBA: what the target keeps of a pixel is what reading it back shows.
    const uint32_t v = 0x9C4080C0;
    auto expect = [&](int f) -> uint32_t {
        switch (f) {
        case PIXFMT_I8: return 0xFF808080u;  // (64 + 128 + 192) / 3
        case PIXFMT_A8: return 0x9CFFFFFFu;
        case PIXFMT_BGR888:
        case PIXFMT_RGB888: return v | 0xFF000000u;
        default: return v;
        }
    };
    for (int from : kFormats) {
        auto src = Row({int(v), int(v), int(v)}, from);
        for (int to : kFormats) {
            auto dst = src->Convert(to);
            ASSERT_EQ(dst->format, to);
            ASSERT_EQ(dst->width, 3);
            // The value the source holds, re-read through the target format.
            auto ref = CreatePixmap(1, 1, to);
            ref->WritePixel(0, 0, src->ReadPixel(0, 0));
            EXPECT_EQ(dst->ReadPixel(2, 0), ref->ReadPixel(0, 0)) << from << " -> " << to;
            if (from == PIXFMT_RGBA8888) {
                EXPECT_EQ(uint32_t(dst->ReadPixel(2, 0)), expect(to)) << to;
            }
        }
    }
}

TEST(Pixmap, WindowSharesMemoryAndKeepsItsParentAlive) {
    auto parent = CreatePixmap(8, 8, PIXFMT_RGBA8888);
    parent->ClearPixels(0);
    TPixmapPtr win = parent->Window(2, 3, 4, 4);
    EXPECT_EQ(win->capacity, -1);
    EXPECT_EQ(win->pitch, parent->pitch);
    win->WritePixel(0, 0, -1);
    EXPECT_EQ(parent->ReadPixel(2, 3), -1);
    std::weak_ptr<TPixmap> weak = parent;
    parent.reset();
    EXPECT_FALSE(weak.expired());
    EXPECT_EQ(win->ReadPixel(0, 0), -1);  // still readable (ASan would catch a dangling read)
    win.reset();
    EXPECT_TRUE(weak.expired());
}

TEST(Pixmap, CopyAndPasteConvertRowByRow) {
    auto src = CreatePixmap(3, 2, PIXFMT_RGB888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) src->WritePixel(x, y, 0x010203 * (1 + x + 3 * y));
    auto copy = src->Copy();
    EXPECT_NE(copy->pixels, src->pixels);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(copy->ReadPixel(x, y), src->ReadPixel(x, y));

    auto dst = CreatePixmap(5, 4, PIXFMT_BGRA8888);
    dst->ClearPixels(0);
    dst->Paste(*src, 1, 2);
    EXPECT_EQ(dst->ReadPixel(0, 2), 0);
    EXPECT_EQ(dst->ReadPixel(1, 2), src->ReadPixel(0, 0));
    EXPECT_EQ(dst->ReadPixel(3, 3), src->ReadPixel(2, 1));
    EXPECT_EQ(dst->ReadPixel(4, 3), 0);
    EXPECT_EQ(dst->ReadPixel(1, 1), 0);
}

TEST(Pixmap, ClearPixelsFillsEveryPixelButNotThePadding) {
    for (int f : kFormats) {
        auto p = CreatePixmap(3, 3, f);
        std::memset(p->pixels, 0xAB, size_t(p->capacity));
        p->ClearPixels(int(0xFF336699u));
        auto ref = CreatePixmap(1, 1, f);
        ref->WritePixel(0, 0, int(0xFF336699u));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(p->ReadPixel(x, y), ref->ReadPixel(0, 0)) << f;
        p->ClearPixels(0);
        const int row = 3 * BytesPerPixel(f);
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < row; ++i) EXPECT_EQ(p->pixels[y * p->pitch + i], 0) << f;
    }
}

TEST(Pixmap, MaskMakesTheMaskColourTransparentAndBleedsNeighbours) {
    auto black = MaskPixmap(Row({0}, PIXFMT_RGB888), 0, 0, 0);
    EXPECT_EQ(black->format, PIXFMT_RGBA8888);
    EXPECT_EQ(black->ReadPixel(0, 0), 0);

    auto pair = MaskPixmap(Row({0xFFFFFF, 0}, PIXFMT_RGB888), 0, 0, 0);
    EXPECT_EQ(uint32_t(pair->ReadPixel(0, 0)), 0xFFFFFFFFu);
    EXPECT_EQ(uint32_t(pair->ReadPixel(1, 0)), 0x00FFFFFFu);

    // 3x3 with a mask-coloured centre: the eight neighbours average (integer division).
    auto grid = CreatePixmap(3, 3, PIXFMT_RGBA8888);
    grid->ClearPixels(int(0x10000000));  // source alpha is discarded
    grid->WritePixel(0, 0, 0x00640000);
    grid->WritePixel(2, 2, 0x00006401);
    grid->WritePixel(1, 1, 0x00FF00FF);
    auto m = MaskPixmap(grid, 0, 0, 0);
    EXPECT_EQ(uint32_t(m->ReadPixel(0, 0)), 0xFF640000u);
    EXPECT_EQ(uint32_t(m->ReadPixel(1, 1)), 0xFFFF00FFu);
    // (1, 0) is masked; its non-mask neighbours are (0,0) and (1,1).
    EXPECT_EQ(uint32_t(m->ReadPixel(1, 0)), uint32_t((0x64 + 0xFF) / 2 << 16 | 0xFF / 2));
    // (2, 1) sees (1,1) and (2,2).
    EXPECT_EQ(uint32_t(m->ReadPixel(2, 1)), uint32_t(0xFF / 2 << 16 | 0x64 / 2 << 8 | (0xFF + 1) / 2));
    // (0, 2) sees only (1,1).
    EXPECT_EQ(uint32_t(m->ReadPixel(0, 2)), 0x00FF00FFu);
}

TEST(Pixmap, FlipsMirrorColumnsAndRows) {
    auto p = CreatePixmap(3, 2, PIXFMT_RGB888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) p->WritePixel(x, y, x + 10 * y);
    auto xf = XFlipPixmap(p), yf = YFlipPixmap(p);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(xf->ReadPixel(x, y) & 0xFFFFFF, (2 - x) + 10 * y);
            EXPECT_EQ(yf->ReadPixel(x, y) & 0xFFFFFF, x + 10 * (1 - y));
        }
    EXPECT_EQ(xf->format, PIXFMT_RGB888);
}

TEST(Pixmap, ResizeIsBilinearWithClampedEdges) {
    auto same = CreatePixmap(5, 3, PIXFMT_BGRA8888);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) same->WritePixel(x, y, int(0x9E3779B9u * uint32_t(1 + x + 5 * y)));
    auto r = ResizePixmap(same, 5, 3);
    EXPECT_EQ(r->format, PIXFMT_BGRA8888);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(r->ReadPixel(x, y), same->ReadPixel(x, y));

    auto up = ResizePixmap(Row({0, 100 * 0x010101}, PIXFMT_I8), 4, 1);
    const int want_up[] = {0, 25, 75, 100};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(up->pixels[x], want_up[x]) << x;

    auto down = ResizePixmap(Row({0, 40 * 0x010101, 80 * 0x010101, 120 * 0x010101}, PIXFMT_RGB888), 2, 1);
    EXPECT_EQ(down->ReadPixel(0, 0) & 0xFF, 20);
    EXPECT_EQ(down->ReadPixel(1, 0) & 0xFF, 100);

    // Vertical weights and truncation: rows 0 and 3 of a 2-row source upscaled to 4.
    auto col = CreatePixmap(1, 2, PIXFMT_A8);
    col->pixels[0] = 1, col->pixels[col->pitch] = 200;
    auto tall = ResizePixmap(col, 1, 4);
    const int want_tall[] = {1, 50, 150, 200};  // 1 + 199 * 0.25 = 50.75 truncates
    for (int y = 0; y < 4; ++y) EXPECT_EQ(tall->pixels[y * tall->pitch], want_tall[y]) << y;

    EXPECT_EQ(ResizePixmap(CreatePixmap(0, 0, PIXFMT_RGBA8888), 2, 2)->ReadPixel(1, 1), 0);
}

TEST(Pixmap, ModuleFunctionsForwardAndTolerateNull) {
    auto p = CreatePixmap(4, 2, PIXFMT_RGB888);
    EXPECT_EQ(PixmapWidth(p), 4);
    EXPECT_EQ(PixmapHeight(p), 2);
    EXPECT_EQ(PixmapPitch(p), 12);
    EXPECT_EQ(PixmapFormat(p), PIXFMT_RGB888);
    EXPECT_EQ(PixmapPixelPtr(p, 1, 1), p->pixels + 15);
    EXPECT_EQ(PixmapWidth(nullptr), 0);
    EXPECT_EQ(CopyPixmap(nullptr), nullptr);
    EXPECT_EQ(MaskPixmap(nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(ResizePixmap(nullptr, 2, 2), nullptr);
    uint8_t mem[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    auto st = CreateStaticPixmap(mem, 2, 2, 4, PIXFMT_A8);
    EXPECT_EQ(st->capacity, -1);
    EXPECT_EQ(uint32_t(ReadPixel(st, 1, 1)), 0x06FFFFFFu);
}
