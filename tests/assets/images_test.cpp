// The embedded images and font: every block is registered, decodes with the
// engine's PNG loader at the size the game cuts it by, and the sprite sheet
// keeps each sprite inside its own rectangle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/embedded_resources.h"
#include "kelvora/io/incbin.h"
#include "kelvora/io/stream.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/pixmap_loader.h"

using namespace kelvora;

namespace {

struct Block {
    const char* key;
    const char* file;   // below the source tree; empty for the packaged font
    int width, height;  // 0 for the font
};

// In the order the game registers them.
const Block kBlocks[] = {
    {"graphx\\qvlogo.png", "assets/graphx/qvlogo.png", 420, 236},
    {"fonts\\zenbu___.ttf", "", 0, 0},
    {"graphx\\dmpointer.png", "assets/graphx/dmpointer.png", 18, 18},
    {"graphx\\kvora_sf01.png", "assets/graphx/kvora_sf01.png", 640, 173},
    {"graphx\\kvora_bd01.png", "assets/graphx/kvora_bd01.png", 640, 480},
    {"graphx\\kvora_bd02.png", "assets/graphx/kvora_bd02.png", 640, 292},
    {"graphx\\kvora_mt01.png", "assets/graphx/kvora_mt01.png", 230, 58},
    {"graphx\\kvora_mt02.png", "assets/graphx/kvora_mt02.png", 140, 89},
    {"graphx\\kvora3D_title.png", "assets/graphx/kvora3D_title.png", 422, 141},
};

struct Rect {
    const char* name;
    int x, y, w, h;
};

// Where the game grabs each sprite frame from the sheet.
std::vector<Rect> SheetRects()
{
    std::vector<Rect> r;
    for (int f = 0; f < 2; ++f) r.push_back({"ship", 1 + 187 * f, 1, 186, 78});
    for (int f = 0; f < 4; ++f) r.push_back({"surface", 1 + 51 * f, 125, 50, 40});
    r.push_back({"alien", 574, 1, 56, 92});
    r.push_back({"shot", 513, 1, 58, 60});
    r.push_back({"glow", 438, 1, 72, 72});
    for (int f = 0; f < 8; ++f) r.push_back({"debris", 1 + 41 * f, 82, 40, 40});
    r.push_back({"flame", 377, 1, 58, 116});
    return r;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TPixmapPtr Load(const std::string& key)
{
    return LoadPixmap("incbin::" + key);
}

int Rgb(const TPixmapPtr& p, int x, int y)
{
    return ReadPixel(p, x, y) & 0xffffff;
}

int Brightness(int rgb)
{
    return std::max({(rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255});
}

class EmbeddedAssets : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool done = false;
        if (!done) RegisterEmbeddedResources();
        done = true;
    }
};

TEST_F(EmbeddedAssets, EveryBlockIsRegisteredWithTheCommittedBytes)
{
    for (const Block& b : kBlocks) {
        SCOPED_TRACE(b.key);
        ASSERT_NE(IncbinPtr(b.key), nullptr);
        if (!*b.file) continue;
        std::vector<unsigned char> file = ReadFile(std::string(KV_SOURCE_DIR) + "/" + b.file);
        ASSERT_EQ(IncbinLen(b.key), static_cast<int>(file.size()));
        EXPECT_TRUE(std::equal(file.begin(), file.end(), IncbinPtr(b.key)));
    }
    // Registering again changes nothing: the first blocks stay.
    const unsigned char* logo = IncbinPtr("graphx\\qvlogo.png");
    RegisterEmbeddedResources();
    EXPECT_EQ(IncbinPtr("graphx\\qvlogo.png"), logo);
}

TEST_F(EmbeddedAssets, ImagesDecodeAsOpaqueRgbAtTheirSizes)
{
    for (const Block& b : kBlocks) {
        if (!b.width) continue;
        SCOPED_TRACE(b.key);
        TPixmapPtr p = Load(b.key);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->width, b.width);
        EXPECT_EQ(p->height, b.height);
        EXPECT_EQ(p->format, PIXFMT_RGB888);  // 24-bit, no alpha: black is the mask colour
    }
}

TEST_F(EmbeddedAssets, TheSplashLogoOpensWithTheCapitalisedProtocol)
{
    TStreamPtr s = ReadStream("Incbin::graphx\\qvlogo.png");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), IncbinLen("graphx\\qvlogo.png"));
    EXPECT_EQ(s->ReadString(8), "\x89PNG\r\n\x1a\n");
    CloseStream(s);
    EXPECT_TRUE(LoadPixmap("Incbin::graphx\\qvlogo.png"));
    EXPECT_FALSE(ReadStream("incbin::graphx/qvlogo.png"));
}

TEST_F(EmbeddedAssets, TheFontIsATrueTypeFace)
{
    std::vector<uint8_t> font = LoadBytes("incbin::fonts\\zenbu___.ttf");
    ASSERT_GT(font.size(), 1000u);
    const std::string tag(font.begin(), font.begin() + 4);
    EXPECT_TRUE(tag == std::string("\0\1\0\0", 4) || tag == "true") << "not a TrueType file";
}

TEST_F(EmbeddedAssets, EverySpriteHasContentInsideAndBlackOnItsBorder)
{
    TPixmapPtr sheet = Load("graphx\\kvora_sf01.png");
    ASSERT_TRUE(sheet);
    std::vector<Rect> rects = SheetRects();
    std::vector<char> owned(sheet->width * sheet->height, 0);
    for (const Rect& r : rects) {
        SCOPED_TRACE(std::string(r.name) + " at " + std::to_string(r.x) + "," + std::to_string(r.y));
        ASSERT_LE(r.x + r.w, sheet->width);
        ASSERT_LE(r.y + r.h, sheet->height);
        int lit = 0, border_lit = 0;
        for (int y = r.y; y < r.y + r.h; ++y) {
            for (int x = r.x; x < r.x + r.w; ++x) {
                char& o = owned[y * sheet->width + x];
                EXPECT_EQ(o, 0) << "rectangles overlap at " << x << "," << y;
                o = 1;
                const bool on = Rgb(sheet, x, y) != 0;
                const bool edge = x == r.x || y == r.y || x == r.x + r.w - 1 || y == r.y + r.h - 1;
                lit += on;
                border_lit += on && edge;
            }
        }
        EXPECT_EQ(border_lit, 0);
        EXPECT_GT(lit, r.w * r.h / 16) << "too little drawn";
    }
    // Nothing is drawn outside the rectangles the game grabs.
    int stray = 0;
    for (int y = 0; y < sheet->height; ++y)
        for (int x = 0; x < sheet->width; ++x)
            stray += !owned[y * sheet->width + x] && Rgb(sheet, x, y) != 0;
    EXPECT_EQ(stray, 0);
}

TEST_F(EmbeddedAssets, RidgesTileSeamlesslyAndStandOnTheHorizon)
{
    for (const char* key : {"graphx\\kvora_mt01.png", "graphx\\kvora_mt02.png"}) {
        SCOPED_TRACE(key);
        TPixmapPtr p = Load(key);
        ASSERT_TRUE(p);
        // Mean colour step between neighbouring columns, and across the wrap.
        auto step = [&](int a, int b) {
            double sum = 0;
            for (int y = 0; y < p->height; ++y) {
                const int u = Rgb(p, a, y), v = Rgb(p, b, y);
                for (int s = 0; s < 24; s += 8) sum += std::abs(((u >> s) & 255) - ((v >> s) & 255));
            }
            return sum / p->height;
        };
        std::vector<double> steps;
        for (int x = 0; x + 1 < p->width; ++x) steps.push_back(step(x, x + 1));
        std::sort(steps.begin(), steps.end());
        const double typical = steps[steps.size() * 9 / 10];
        EXPECT_LE(step(p->width - 1, 0), typical) << "left and right edges do not join";
        // The foot of the ridge fills the bottom row, so it meets the plain.
        int foot = 0;
        for (int x = 0; x < p->width; ++x) foot += Brightness(Rgb(p, x, p->height - 1)) > 20;
        EXPECT_EQ(foot, p->width);
        // And the sky shows above the crest somewhere.
        int clear = 0;
        for (int x = 0; x < p->width; ++x) clear += Rgb(p, x, 0) == 0;
        EXPECT_GT(clear, p->width / 2);
    }
}

TEST_F(EmbeddedAssets, BackdropLayersLeaveEachOtherRoom)
{
    // The plain is drawn over the whole screen on top of the sky: above the
    // horizon it may only glow faintly, below it is ground.
    TPixmapPtr plain = Load("graphx\\kvora_bd01.png");
    ASSERT_TRUE(plain);
    int sky_max = 0;
    for (int y = 0; y < 270; ++y)
        for (int x = 0; x < plain->width; x += 3) sky_max = std::max(sky_max, Brightness(Rgb(plain, x, y)));
    EXPECT_LE(sky_max, 40);
    long ground = 0;
    for (int y = 300; y < 480; ++y)
        for (int x = 0; x < plain->width; ++x) ground += Brightness(Rgb(plain, x, y));
    EXPECT_GT(ground / (180.0 * plain->width), 40.0) << "the plain is too dark to read";

    // The sky is mostly dark with bright points: stars, not a grey wash.
    TPixmapPtr sky = Load("graphx\\kvora_bd02.png");
    ASSERT_TRUE(sky);
    int dark = 0, bright = 0;
    for (int y = 0; y < sky->height; ++y) {
        for (int x = 0; x < sky->width; ++x) {
            const int v = Brightness(Rgb(sky, x, y));
            dark += v < 60;
            bright += v > 180;
        }
    }
    const int area = sky->width * sky->height;
    EXPECT_GT(dark, area * 8 / 10);
    EXPECT_GT(bright, 100);
}

TEST_F(EmbeddedAssets, ThePointersHotSpotIsItsTopLeftPixel)
{
    TPixmapPtr p = Load("graphx\\dmpointer.png");
    ASSERT_TRUE(p);
    EXPECT_NE(Rgb(p, 0, 0), 0);
    EXPECT_EQ(Rgb(p, p->width - 1, 0), 0);
    EXPECT_EQ(Rgb(p, 0, p->height - 1), 0);
}

}  // namespace
