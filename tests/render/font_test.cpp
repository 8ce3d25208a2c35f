// Image fonts: the built-in font, TrueType fonts from Debian's font
// packages through FreeType, and text drawn on a real OpenGL context.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "kelvora/io/incbin.h"
#include "tests/render/test_renderer.h"
#include "render/builtin_font.h"
#include "render/freetype_font.h"
#include "render/gl/gl_rast2d_driver.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/rast2d.h"

using namespace kelvora;

namespace {

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kComfortaa = "/usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf";
// A bitmap-only font: it accepts only the pixel sizes it carries.
const char* const kTerminus = "/usr/share/fonts/opentype/terminus/terminus-normal.otb";

std::vector<unsigned char> FileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitFreeTypeFontLoader();
        InitTestRast2DDriver();
        graphics = Graphics(640, 480, 0, 0, 0);
    }
    static void TearDownTestSuite() {
        EndGraphics();
        graphics.reset();
    }
    void SetUp() override {
        SKIP_WITHOUT_X_SERVER();
        ASSERT_NE(graphics, nullptr) << LastGraphicsError();
        SetImageFont(nullptr);
        SetTransform(0, 1, 1);
        SetOrigin(0, 0);
        SetHandle(0, 0);
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetBlend(BLEND_ALPHA);
        SetClsColor(0, 0, 0);
        Cls();
    }

    // Bounding box of every pixel with any colour in the rectangle.
    struct Box {
        int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
        bool empty() const { return count == 0; }
    };
    static Box Ink(int x, int y, int w, int h) {
        TPixmapPtr p = GrabPixmap(x, y, w, h);
        Box b;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (p->ReadPixel(i, j) & 0xFFFFFF) {
                    b.x0 = std::min(b.x0, x + i);
                    b.y0 = std::min(b.y0, y + j);
                    b.x1 = std::max(b.x1, x + i);
                    b.y1 = std::max(b.y1, y + j);
                    ++b.count;
                }
        return b;
    }

    static TGraphicsPtr graphics;
};

TGraphicsPtr FontTest::graphics;

TEST(BuiltinFont, EveryPrintableGlyphHasItsOwnInk) {
    const uint8_t* bits = BuiltinFontBits();
    std::set<std::vector<uint8_t>> shapes;
    for (int j = 0; j < 96; ++j) {
        std::vector<uint8_t> shape;
        for (int r = 0; r < 16; ++r) shape.push_back(bits[r * 96 + j]);
        bool ink = false;
        for (uint8_t b : shape) ink |= b != 0;
        EXPECT_EQ(ink, j != 0) << "character " << j + 32;
        shapes.insert(shape);
    }
    EXPECT_EQ(shapes.size(), 96u) << "two characters look the same";

    TPixmapPtr sheet = BuiltinFontPixmap();
    ASSERT_EQ(sheet->width, 768);
    ASSERT_EQ(sheet->height, 16);
    // '|' (124) is one solid column: bit 4 of its bytes, column 8 * 92 + 4.
    EXPECT_EQ(static_cast<unsigned>(sheet->ReadPixel(8 * 92 + 4, 8)), 0xFFFFFFFFu);
    EXPECT_EQ(sheet->ReadPixel(8 * 92 + 3, 8), 0);
    EXPECT_EQ(sheet->ReadPixel(0, 0), 0);
}

TEST_F(FontTest, BuiltinFontMetrics) {
    EXPECT_EQ(TextWidth("Hello"), 40);
    EXPECT_EQ(TextWidth("~!@ }"), 40);
    EXPECT_EQ(TextHeight(), 16);
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextWidth("\x7f"), 8);
    EXPECT_EQ(TextWidth("\x80\xff\x1f\n"), 0);
    TImageFontPtr f = GetImageFont();
    EXPECT_EQ(f->Style(), 0);
    EXPECT_EQ(f->CountGlyphs(), 96);
    EXPECT_EQ(f->CharToGlyph('A'), 'A' - 32);
    EXPECT_EQ(f->CharToGlyph(31), -1);
    EXPECT_EQ(f->CharToGlyph(128), -1);
}

TEST_F(FontTest, BuiltinFontDrawsUpTo127AndSkipsTheRest) {
    DrawText("\x7f", 100, 100);
    Box b = Ink(90, 90, 30, 30);
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.x0, 100);
    EXPECT_LE(b.x1, 107);
    EXPECT_GE(b.y0, 100);
    EXPECT_LE(b.y1, 115);

    Cls();
    DrawText("\x80\x9f\xff", 100, 100);
    DrawText("", 100, 100);
    EXPECT_TRUE(Ink(80, 80, 80, 60).empty());

    // Glyphs sit one after another, 8 pixels apart.
    DrawText("||", 200, 100);
    Box bars = Ink(190, 90, 40, 40);
    EXPECT_EQ(bars.x0, 204);
    EXPECT_EQ(bars.x1, 212);
    EXPECT_EQ(bars.count, 2 * 12);
}

TEST_F(FontTest, TrueTypeMetricsAndSpaces) {
    TImageFontPtr font = LoadImageFont(kDejaVu, 22, 0);
    ASSERT_NE(font, nullptr);
    SetImageFont(font);
    EXPECT_EQ(GetImageFont(), font);
    const int h = TextHeight();
    EXPECT_GE(h, 22);
    EXPECT_LE(h, 30);
    EXPECT_GT(TextWidth("W"), TextWidth("i"));
    EXPECT_EQ(TextWidth("Wi"), TextWidth("W") + TextWidth("i"));
    EXPECT_EQ(TextWidth(""), 0);

    const int space = font->CharToGlyph(' ');
    ASSERT_GE(space, 0);
    TImageGlyphPtr g = font->LoadGlyph(space);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->Pixels(), nullptr);
    EXPECT_GT(g->Advance(), 0);
    EXPECT_EQ(TextWidth("a b"), TextWidth("ab") + static_cast<int>(g->Advance()));
    // The cache hands out the same glyph again.
    EXPECT_EQ(font->LoadGlyph(space), g);

    DrawText("  ", 100, 100);
    EXPECT_TRUE(Ink(90, 90, 100, 50).empty()) << "a space draws nothing";
    // ...but moves the pen: "x" after two spaces lands further right.
    DrawText("x", 100, 200);
    Box alone = Ink(90, 190, 100, 50);
    Cls();
    DrawText("  x", 100, 200);
    Box after = Ink(90, 190, 100, 50);
    ASSERT_FALSE(alone.empty());
    EXPECT_EQ(after.x0 - alone.x0, 2 * static_cast<int>(g->Advance()));

    // Characters the font lacks are skipped without moving or drawing.
    EXPECT_LT(font->CharToGlyph(0xFFFF), 0);
    ASSERT_LT(font->CharToGlyph(0x81), 0) << "a control code has no glyph";
    EXPECT_EQ(TextWidth("a\x81\x81" "b"), TextWidth("ab"));
    Cls();
    DrawText("\x81", 100, 300);
    EXPECT_TRUE(Ink(90, 290, 100, 50).empty());
    DrawText("a\x81" "b", 100, 300);
    Box skipped = Ink(90, 290, 200, 50);
    Cls();
    DrawText("ab", 100, 300);
    Box plain = Ink(90, 290, 200, 50);
    EXPECT_EQ(skipped.x0, plain.x0);
    EXPECT_EQ(skipped.x1, plain.x1);
    EXPECT_EQ(skipped.count, plain.count);
}

TEST_F(FontTest, TextTakesTheDrawingColourAndIsPlacedAtTheTopLeft) {
    TImageFontPtr font = LoadImageFont(kComfortaa, 22, FONT_SMOOTH);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->Style(), FONT_SMOOTH);
    SetImageFont(font);
    SetColor(255, 0, 0);
    DrawText("HH", 100, 100);
    Box b = Ink(80, 80, 100, 60);
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.y0, 100);
    EXPECT_LE(b.y1, 100 + TextHeight());
    EXPECT_GE(b.x0, 100);
    EXPECT_LE(b.x1, 100 + TextWidth("HH"));
    TPixmapPtr p = GrabPixmap(b.x0, b.y0, b.x1 - b.x0 + 1, b.y1 - b.y0 + 1);
    for (int y = 0; y < p->height; ++y)
        for (int x = 0; x < p->width; ++x) ASSERT_EQ(p->ReadPixel(x, y) & 0x00FFFF, 0) << "only red";
}

TEST_F(FontTest, SmoothGlyphsGetATransparentBorder) {
    TImageFontPtr plain = LoadImageFont(kDejaVu, 22, 0);
    TImageFontPtr smooth = LoadImageFont(kDejaVu, 22, FONT_SMOOTH);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(smooth, nullptr);
    EXPECT_EQ(plain->_imageFlags, 0);
    EXPECT_EQ(smooth->_imageFlags, IMAGE_FILTERED | IMAGE_MIPMAPPED);
    TImageGlyphPtr a = plain->LoadGlyph(plain->CharToGlyph('O'));
    TImageGlyphPtr b = smooth->LoadGlyph(smooth->CharToGlyph('O'));
    ASSERT_TRUE(a && b && a->_image && b->_image);
    int ax, ay, aw, ah, bx, by, bw, bh;
    a->GetRect(ax, ay, aw, ah);
    b->GetRect(bx, by, bw, bh);
    EXPECT_EQ(bx, ax - 1);
    EXPECT_EQ(by, ay - 1);
    EXPECT_EQ(bw, aw + 2);
    EXPECT_EQ(bh, ah + 2);
    EXPECT_EQ(b->_image->width, bw);
    EXPECT_EQ(b->_advance, a->_advance);
    TPixmapPtr px = b->_image->pixmaps[0];
    for (int x = 0; x < bw; ++x) {
        EXPECT_EQ(px->ReadPixel(x, 0) >> 24, 0);
        EXPECT_EQ(px->ReadPixel(x, bh - 1) >> 24, 0);
    }
    for (int y = 0; y < bh; ++y) {
        EXPECT_EQ(px->ReadPixel(0, y) >> 24, 0);
        EXPECT_EQ(px->ReadPixel(bw - 1, y) >> 24, 0);
    }
}

TEST_F(FontTest, RefusedSizeFallsBackToTheLargestAcceptedOneBelow) {
    TImageFontPtr at22 = LoadImageFont(kTerminus, 22, 0);
    TImageFontPtr at23 = LoadImageFont(kTerminus, 23, 0);
    ASSERT_NE(at22, nullptr);
    ASSERT_NE(at23, nullptr);
    EXPECT_EQ(at23->Height(), at22->Height());
    TImageFontPtr at24 = LoadImageFont(kTerminus, 24, 0);
    ASSERT_NE(at24, nullptr);
    EXPECT_GT(at24->Height(), at22->Height()) << "the sizes differ at all";
    SetImageFont(at22);
    const int w22 = TextWidth("Kelvora");
    SetImageFont(at23);
    EXPECT_EQ(TextWidth("Kelvora"), w22);
    // Its glyphs are one-bit bitmaps: they still draw.
    DrawText("M", 100, 100);
    EXPECT_FALSE(Ink(90, 90, 40, 40).empty());
    // Below its smallest size nothing is usable.
    EXPECT_EQ(LoadImageFont(kTerminus, 5, 0), nullptr);
}

TEST_F(FontTest, RotatedTextWritesDownwards) {
    TImageFontPtr font = LoadImageFont(kDejaVu, 22, 0);
    ASSERT_NE(font, nullptr);
    SetImageFont(font);
    const int w = TextWidth("HHHHH");
    SetRotation(90);
    DrawText("HHHHH", 300, 100);
    Box b = Ink(200, 50, 200, 250);
    ASSERT_FALSE(b.empty());
    // The line runs down from (300, 100), its tops towards the right.
    EXPECT_GE(b.y0, 99);
    EXPECT_NEAR(b.y1, 100 + w, 4);
    EXPECT_LE(b.x1, 300);
    EXPECT_GE(b.x0, 300 - TextHeight());
    EXPECT_GT(b.y1 - b.y0, 3 * (b.x1 - b.x0));
}

TEST_F(FontTest, FontsLoadFromEmbeddedMemory) {
    static const std::vector<unsigned char> bytes = FileBytes(kDejaVu);
    ASSERT_FALSE(bytes.empty());
    IncbinAdd("fonts/test.ttf", bytes.data(), static_cast<int>(bytes.size()));
    TImageFontPtr mem = LoadImageFont("incbin::fonts/test.ttf", 22, FONT_SMOOTH);
    TImageFontPtr file = LoadImageFont(kDejaVu, 22, FONT_SMOOTH);
    ASSERT_NE(mem, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(mem->Height(), file->Height());
    SetImageFont(mem);
    const int wm = TextWidth("Chance of Survival");
    SetImageFont(file);
    EXPECT_EQ(TextWidth("Chance of Survival"), wm);
    EXPECT_EQ(LoadImageFont("incbin::fonts/missing.ttf", 22, 0), nullptr);
}

// Found by fuzzing: a damaged font whose glyphs for 'u' and two more
// characters claim 20522 x 28143 pixels each; rendering them took 1.8 GB.
TEST_F(FontTest, DamagedGlyphsAreRefusedWithoutTakingTheirMemory) {
    static const std::vector<unsigned char> file = FileBytes(KV_SOURCE_DIR "/fuzz/corpus/fuzz_font/font-huge-glyphs.bin");
    ASSERT_GT(file.size(), 2u);
    // After the fuzz target's size and style bytes.
    IncbinAdd("fonts/huge-glyphs.ttf", file.data() + 2, static_cast<int>(file.size() - 2));
    const char* const url = "incbin::fonts/huge-glyphs.ttf";

    // Every glyph of the first 256 characters, in a child process whose
    // peak memory is measured from where it starts.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        TImageFontPtr font = LoadImageFont(url, file[0], file[1]);
        for (int ch = 0; font && ch < 256; ++ch) font->LoadGlyph(font->CharToGlyph(ch));
        getrusage(RUSAGE_SELF, &after);
        const long grown_mb = (after.ru_maxrss - before.ru_maxrss) / 1024;
        _exit(grown_mb < 40 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "loading the glyphs took 40 MB or more";

    TImageFontPtr font = LoadImageFont(url, 22, 0);
    ASSERT_NE(font, nullptr) << "the face itself is sound";
    SetImageFont(font);
    for (int ch : {int('u'), 175, 199}) {
        TImageGlyphPtr g = font->LoadGlyph(font->CharToGlyph(ch));
        ASSERT_NE(g, nullptr);
        EXPECT_FALSE(g->Pixels()) << ch;
        EXPECT_EQ(g->Advance(), 0) << ch;
    }
    EXPECT_EQ(TextWidth("sun"), TextWidth("sn"));
    DrawText("u", 100, 100);
    EXPECT_TRUE(Ink(80, 80, 100, 60).empty());
    // The font's other glyphs (all blank outlines) keep their widths.
    for (char ch : std::string("abcdstz")) EXPECT_GT(TextWidth(std::string(1, ch)), 0) << ch;

    // The bound leaves room for the largest real glyphs: a math font's
    // big operator, 4.3 em tall at this size, still draws.
    TImageFontPtr math = LoadImageFont("/usr/share/fonts/truetype/dejavu/DejaVuMathTeXGyre.ttf", 22, 0);
    ASSERT_NE(math, nullptr);
    TImageGlyphPtr big = math->LoadGlyph(3686);
    ASSERT_TRUE(big && big->_image);
    EXPECT_GT(big->_image->height, 88);
}

// A face whose line metrics are absurd is refused as a whole.
TEST_F(FontTest, FaceWithAbsurdMetricsGivesNull) {
    static std::vector<unsigned char> bytes = FileBytes(kDejaVu);
    // The table directory: 12 bytes, then 16 per table (tag, sum, offset, length).
    const int tables = bytes[4] << 8 | bytes[5];
    size_t hhea = 0;
    for (int t = 0; t < tables; ++t) {
        const unsigned char* e = &bytes[12 + 16 * t];
        if (std::memcmp(e, "hhea", 4) == 0) hhea = size_t(e[8]) << 24 | e[9] << 16 | e[10] << 8 | e[11];
    }
    ASSERT_NE(hhea, 0u);
    // Ascender 32767 units: 16 em.
    bytes[hhea + 4] = 0x7F;
    bytes[hhea + 5] = 0xFF;
    IncbinAdd("fonts/tall.ttf", bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(LoadImageFont("incbin::fonts/tall.ttf", 22, 0), nullptr);
    EXPECT_NE(LoadImageFont(kDejaVu, 22, 0), nullptr);
}

TEST_F(FontTest, WhatIsNotAFontGivesNull) {
    EXPECT_EQ(LoadImageFont("/no/such/font.ttf", 22, 0), nullptr);
    EXPECT_EQ(LoadImageFont(KV_SOURCE_DIR "/CMakeLists.txt", 22, 0), nullptr);
    EXPECT_EQ(LoadImageFont("", 22, 0), nullptr);
    EXPECT_EQ(LoadImageFont(kDejaVu, 0, 0), nullptr);
    EXPECT_EQ(LoadImageFont(kDejaVu, -4, 0), nullptr);
    // A truncated font file.
    static const std::vector<unsigned char> bytes = FileBytes(kDejaVu);
    IncbinAdd("fonts/cut.ttf", bytes.data(), 200);
    EXPECT_EQ(LoadImageFont("incbin::fonts/cut.ttf", 22, 0), nullptr);
}

}  // namespace
