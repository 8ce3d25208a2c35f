// Images observed through the recording 2D driver: when frames are built,
// what reaches the driver for each draw, and how pixmaps are masked.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "kelvora/render/image.h"
#include "kelvora/render/pixmap_loader.h"
#include "io/background_work.h"
#include "kelvora/io/filesystem.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"
#include "render/recording_rast2d_driver.h"
#include "runtime/utf8_path.h"
#include "tests/render/recording_fixture.h"

using namespace kelvora;

namespace {

const std::string kSuite = std::string(KV_SOURCE_DIR) + "/tests/data/pngsuite/png/";

class ImageTest : public RecordingGraphicsTest {
protected:
    void SetUp() override {
        RecordingGraphicsTest::SetUp();
        SetMaskColor(0, 0, 0);
        SetAutoMidHandle(0);
        SetAutoImageFlags(IMAGE_MASKED | IMAGE_FILTERED);
    }
    void TearDown() override {
        SetAutoMidHandle(0);
        SetAutoImageFlags(IMAGE_MASKED | IMAGE_FILTERED);
        RecordingGraphicsTest::TearDown();
    }
};

// RGB pixmap: a black left half and a coloured right half.
TPixmapPtr HalfBlack(int w, int h, int rgb = 0x204060) {
    auto p = CreatePixmap(w, h, PIXFMT_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p->WritePixel(x, y, x < w / 2 ? 0 : rgb);
    return p;
}

}  // namespace

TEST_F(ImageTest, LoadMasksOnlyPixmapsWithoutAlpha) {
    SetAutoImageFlags(IMAGE_MASKED | IMAGE_DYNAMIC);
    // A PNG with an alpha channel keeps the file's alpha.
    TImagePtr withAlpha = LoadImage(kSuite + "basn6a08.png");
    ASSERT_TRUE(withAlpha);
    TPixmapPtr file = LoadPixmap(kSuite + "basn6a08.png");
    EXPECT_EQ(withAlpha->flags, IMAGE_MASKED | IMAGE_DYNAMIC);
    EXPECT_EQ(withAlpha->pixmaps[0]->ReadPixel(3, 5), file->ReadPixel(3, 5));
    EXPECT_EQ(uint32_t(withAlpha->pixmaps[0]->ReadPixel(0, 0)) >> 24, 0u);  // that file's own alpha

    // Without alpha the mask colour becomes transparent.
    TImagePtr rgb = LoadImage(HalfBlack(4, 2));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->pixmaps[0]->format, PIXFMT_RGBA8888);
    EXPECT_EQ(uint32_t(rgb->pixmaps[0]->ReadPixel(0, 0)) >> 24, 0u);
    EXPECT_EQ(uint32_t(rgb->pixmaps[0]->ReadPixel(3, 1)), 0xFF204060u);

    // Another mask colour.
    SetMaskColor(0x20, 0x40, 0x60);
    TImagePtr other = LoadImage(HalfBlack(4, 2));
    SetMaskColor(0, 0, 0);
    EXPECT_EQ(uint32_t(other->pixmaps[0]->ReadPixel(3, 1)) >> 24, 0u);
    EXPECT_EQ(uint32_t(other->pixmaps[0]->ReadPixel(0, 1)), 0xFF000000u);

    EXPECT_EQ(LoadImage("/no/such/image.png"), nullptr);
    EXPECT_EQ(LoadImage(kSuite + "xc1n0g08.png"), nullptr);
}

TEST_F(ImageTest, PreloadedPicturesAreTheSameAndFollowTheMaskInForce) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kv_preload_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir);
    // UTF-8 paths, as the engine takes them (the temp folder may have any name).
    const std::string kept = PathUtf8(dir / "kept.png"), recoloured = PathUtf8(dir / "recoloured.png");
    const std::vector<uint8_t> png = LoadBytes(kSuite + "basn2c08.png");  // RGB: masked on load
    ASSERT_FALSE(png.empty());
    for (const std::string& copy : {kept, recoloured})
        ASSERT_TRUE(ReplaceFileContents(copy, png.data(), int(png.size())));
    auto bytes = [](const TPixmapPtr& p) {
        std::vector<uint8_t> v;
        for (int y = 0; p && y < p->height; ++y) v.insert(v.end(), p->PixelPtr(0, y), p->PixelPtr(p->width, y));
        return v;
    };
    const int first = LoadPixmap(kept)->ReadPixel(0, 0) & 0xFFFFFF;
    SetMaskColor(first >> 16, (first >> 8) & 255, first & 255);
    const auto expected = bytes(LoadImage(kept)->pixmaps[0]);
    PreloadImage(kept);
    PreloadImage(recoloured);
    PreloadImage("no/such/picture.png");
    FinishBackgroundWork();
    fs::remove(Utf8Path(kept));  // what loads now was decoded ahead
    TImagePtr image = LoadImage(kept);
    ASSERT_TRUE(image);
    EXPECT_EQ(bytes(image->pixmaps[0]), expected);
    EXPECT_EQ(uint32_t(image->pixmaps[0]->ReadPixel(0, 0)) >> 24, 0u);
    EXPECT_FALSE(LoadImage(kept)) << "a preload is taken once";
    EXPECT_FALSE(LoadImage("no/such/picture.png"));
    // Another mask colour since: the picture is loaded again, and masked by it.
    SetMaskColor(0, 0, 0);
    EXPECT_EQ(uint32_t(LoadImage(recoloured)->pixmaps[0]->ReadPixel(0, 0)) >> 24, 255u);
    fs::remove_all(dir);
}

TEST_F(ImageTest, AutomaticFlagsAndMidHandle) {
    SetAutoImageFlags(9);
    SetAutoImageFlags(-1);
    EXPECT_EQ(LoadImage(HalfBlack(2, 2))->flags, 9);
    EXPECT_EQ(CreateImage(8, 8, 1, IMAGE_FILTERED)->flags, IMAGE_FILTERED | IMAGE_DYNAMIC);
    SetAutoMidHandle(1);
    TImagePtr a = CreateImage(56, 92);
    EXPECT_EQ(a->handle_x, 28.0f);
    EXPECT_EQ(a->handle_y, 46.0f);
    SetAutoMidHandle(0);
    EXPECT_EQ(CreateImage(56, 92)->handle_x, 0.0f);
}

TEST_F(ImageTest, AnimSheetsCutCellsInReadingOrder) {
    // 100x40 sheet of 32x32 cells: 3 across, 1 down; each cell x tagged in its pixels.
    auto sheet = CreatePixmap(100, 40, PIXFMT_RGBA8888);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x) sheet->WritePixel(x, y, int(0xFF000000u) | (x / 32 + 1) << 16 | y);
    EXPECT_EQ(LoadAnimImage(sheet, 32, 32, 1, 3), nullptr);
    EXPECT_EQ(LoadAnimImage(sheet, 0, 32, 0, 1), nullptr);
    TImagePtr im = LoadAnimImage(sheet, 32, 32, 1, 2);
    ASSERT_TRUE(im);
    ASSERT_EQ(im->pixmaps.size(), 2u);
    EXPECT_EQ(im->width, 32);
    EXPECT_EQ(im->pixmaps[0]->ReadPixel(0, 7) & 0xFFFFFF, 2 << 16 | 7);
    EXPECT_EQ(im->pixmaps[1]->ReadPixel(31, 31) & 0xFFFFFF, 3 << 16 | 31);
    // Copies, not windows: the sheet may go.
    EXPECT_NE(im->pixmaps[0]->capacity, -1);

    // Two rows of 2x2 cells: cell 3 is the second of the second row.
    auto grid = CreatePixmap(4, 4, PIXFMT_RGB888);
    for (int i = 0; i < 16; ++i) grid->WritePixel(i % 4, i / 4, (i % 4 / 2 + 2 * (i / 8)) + 1);
    TImagePtr cells = LoadAnimImage(grid, 2, 2, 0, 4);
    EXPECT_EQ(cells->pixmaps[3]->ReadPixel(1, 1) & 0xFFFFFF, 4);
    EXPECT_EQ(cells->pixmaps[2]->ReadPixel(0, 0) & 0xFFFFFF, 3);
}

TEST_F(ImageTest, FramesAreBuiltOnceAndRebuiltAfterWrites) {
    TImagePtr im = LoadImage(HalfBlack(4, 4));
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 0);  // lazy
    DrawImage(im, 10, 20);
    DrawImage(im, 11, 20);
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 1);
    EXPECT_EQ(driver.Count("DrawFrame"), 2);
    EXPECT_EQ(driver.Last("CreateFrameFromPixmap")->Arg(2), im->flags);

    im->Lock(0, 1, 0);  // reading keeps the frame
    DrawImage(im, 0, 0);
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 1);

    LockImage(im, 0, 1, 1);
    UnlockImage(im, 0);
    DrawImage(im, 0, 0);
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 2);

    TPixmapPtr fresh = HalfBlack(4, 4, 0xFFFFFF);
    im->SetPixmap(0, fresh);
    DrawImage(im, 0, 0);
    ASSERT_EQ(driver.Count("CreateFrameFromPixmap"), 3);
    EXPECT_EQ(uint32_t(driver.Last("CreateFrameFromPixmap")->pixmap->ReadPixel(3, 0)), 0xFFFFFFFFu);

    // Created images get an RGBA pixmap on first lock; frames out of range give nothing.
    TImagePtr blank = CreateImage(3, 2, 2);
    EXPECT_EQ(LockImage(blank, 1)->format, PIXFMT_RGBA8888);
    EXPECT_EQ(LockImage(blank, 2), nullptr);
    driver.ClearCalls();
    DrawImage(blank, 0, 0, 5);
    DrawImage(nullptr, 0, 0);
    EXPECT_EQ(driver.Count("DrawFrame"), 0);
}

TEST_F(ImageTest, DrawUsesTheImageHandleAndTheOrigin) {
    TImagePtr im = CreateImage(16, 8);
    LockImage(im)->ClearPixels(-1);
    SetImageHandle(im, 4, 2);
    SetHandle(100, 100);  // the render state's handle does not apply to images
    SetOrigin(5, 6);
    DrawImage(im, 10, 20);
    EXPECT_EQ(driver.Last("DrawFrame")->ToString(), "DrawFrame -4 -2 12 6 15 26");
    DrawImageRect(im, 10, 20, 32, 4);
    EXPECT_EQ(driver.Last("DrawFrame")->ToString(), "DrawFrame -4 -2 28 2 15 26");
    SetOrigin(0, 0);
    SetHandle(0, 0);
}

TEST_F(ImageTest, TileCoversTheViewportWithUnrotatedCopies) {
    TImagePtr im = CreateImage(16, 16);
    LockImage(im)->ClearPixels(-1);
    SetRotation(30);
    SetViewport(0, 0, 40, 20);
    driver.ClearCalls();
    TileImage(im, 5.25f, 0);
    std::vector<TRast2DCall> draws = driver.CallsNamed("DrawFrame");
    ASSERT_EQ(draws.size(), 8u);  // columns -10.75, 5.25, 21.25, 37.25; rows 0, 16
    EXPECT_EQ(draws[0].ToString(), "DrawFrame 0 0 16 16 -10.75 0");
    EXPECT_EQ(draws[3].Arg(4), 37.25);
    EXPECT_EQ(draws[4].Arg(5), 16);
    // Identity while tiling, the rotation's matrix again afterwards.
    std::vector<TRast2DCall> m = driver.CallsNamed("SetTransform");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].ToString(), "SetTransform 1 0 0 1");
    EXPECT_NEAR(m[1].Arg(1), -0.5, 1e-6);
    EXPECT_EQ(driver.Names().back(), "SetTransform");

    // A start far left of the viewport still leaves no gap at its left edge.
    for (float x : {-31.0f, -32.0f, -16.0f, 17.0f}) {
        driver.ClearCalls();
        TileImage(im, x, 0);
        const double first = driver.CallsNamed("DrawFrame")[0].Arg(4);
        EXPECT_LE(first, 0.0) << x;
        EXPECT_GT(first, -16.0) << x;
    }
    SetRotation(0);
    SetViewport(0, 0, 640, 480);
}

// Start-up draws the sprite sheet untransformed and grabs its sprites from
// it: the recording driver's grabs give those pixels, so masks and
// collisions are the real ones; what it cannot reproduce it refuses.
TEST_F(ImageTest, GrabsReadTheSheetAsDrawnAndRefuseWhatIsNotReproduced) {
    TImagePtr sheet = LoadImage(HalfBlack(8, 4), IMAGE_MASKED);
    ASSERT_NE(sheet, nullptr);
    SetColor(255, 255, 255);
    SetAlpha(1);
    SetBlend(BLEND_MASK);
    SetClsColor(10, 20, 30);
    Cls();
    DrawImage(sheet, 100, 50);
    TPixmapPtr p = GrabPixmap(99, 50, 10, 4);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(uint32_t(p->ReadPixel(0, 0)), 0xFF0A141Eu) << "beside the sheet";
    EXPECT_EQ(uint32_t(p->ReadPixel(1, 0)), 0xFF0A141Eu) << "its masked half lets the background through";
    EXPECT_EQ(uint32_t(p->ReadPixel(8, 3)), 0xFF204060u);
    EXPECT_EQ(uint32_t(p->ReadPixel(9, 3)), 0xFF0A141Eu);

    // A sprite grabbed over black gets the sheet's own shape as its mask.
    SetClsColor(0, 0, 0);
    Cls();
    DrawImage(sheet, 100, 50);
    TImagePtr sprite = CreateImage(8, 4, 1, IMAGE_MASKED);
    GrabImage(sprite, 100, 50);
    ASSERT_TRUE(sprite->pixmaps[0]);
    EXPECT_EQ(uint32_t(sprite->pixmaps[0]->ReadPixel(3, 2)) >> 24, 0u);
    EXPECT_EQ(uint32_t(sprite->pixmaps[0]->ReadPixel(4, 2)), 0xFF204060u);

    // Solid drawing of translucent pixels still grabs opaque.
    SetBlend(BLEND_SOLID);
    TPixmapPtr faint = CreatePixmap(2, 2, PIXFMT_RGBA8888);
    faint->ClearPixels(0x40112233);
    DrawImage(LoadImage(faint, 0), 0, 0);
    EXPECT_EQ(uint32_t(GrabPixmap(0, 0, 1, 1)->ReadPixel(0, 0)), 0xFF112233u);

    // Anything OpenGL might draw differently leaves the picture unknown.
    const std::function<void()> unreproduced[] = {
        [&] { SetRotation(90); DrawImage(sheet, 0, 0); SetRotation(0); },
        [&] { SetScale(2, 1); DrawImage(sheet, 0, 0); SetScale(1, 1); },
        [&] { DrawImage(sheet, 0.5f, 0); },
        [&] { SetColor(255, 0, 0); DrawImage(sheet, 0, 0); SetColor(255, 255, 255); },
        [&] { SetAlpha(0.5f); DrawImage(sheet, 0, 0); SetAlpha(1); },
        [&] { SetBlend(BLEND_ALPHA); DrawImage(sheet, 0, 0); SetBlend(BLEND_SOLID); },
        [&] { DrawImage(LoadImage(HalfBlack(8, 4), IMAGE_FILTERED), 0, 0); },
        [&] { DrawLine(0, 0, 5, 5); },
        [&] { DrawRect(0, 0, 5, 5); },
        [&] { Plot(1, 1); },
    };
    int refused = 0;
    for (const auto& draw : unreproduced) {
        Cls();
        ASSERT_NE(GrabPixmap(0, 0, 4, 4), nullptr) << "after a clear, case " << refused;
        draw();
        EXPECT_EQ(GrabPixmap(0, 0, 4, 4), nullptr) << "case " << refused;
        EXPECT_EQ(driver.RefusedGrabs(), ++refused);
    }
    // A clear of part of the screen does not make it known.
    SetViewport(0, 0, 10, 10);
    Cls();
    EXPECT_EQ(GrabPixmap(0, 0, 4, 4), nullptr);
    SetViewport(0, 0, 640, 480);
}

TEST_F(ImageTest, GrabImageMasksAndDropsTheCachedFrame) {
    TImagePtr im = CreateImage(4, 3, 2, IMAGE_MASKED);
    driver.SetGrabPixels(0xFF102030u);
    GrabImage(im, 7, 8, 1);
    const TRast2DCall* grab = driver.Last("GrabPixmap");
    ASSERT_TRUE(grab);
    EXPECT_EQ(grab->ToString(), "GrabPixmap 7 8 4 3");
    EXPECT_EQ(uint32_t(im->pixmaps[1]->ReadPixel(3, 2)), 0xFF102030u);

    DrawImage(im, 0, 0, 1);
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 1);
    driver.SetGrabPixels(0xFF000000u);  // the mask colour: transparent after the grab
    GrabImage(im, 0, 0, 1);
    EXPECT_EQ(uint32_t(im->pixmaps[1]->ReadPixel(0, 0)) >> 24, 0u);
    DrawImage(im, 0, 0, 1);
    EXPECT_EQ(driver.Count("CreateFrameFromPixmap"), 2);

    TImagePtr plain = CreateImage(2, 2, 1, 0);
    GrabImage(plain, 0, 0);
    EXPECT_EQ(uint32_t(plain->pixmaps[0]->ReadPixel(0, 0)), 0xFF000000u);
}
