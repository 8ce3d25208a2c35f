// Pixel-exact collisions: placements with handles, rotation, scale and
// masks, checked against where the images would be drawn.
#include <gtest/gtest.h>

#include <cmath>

#include "kelvora/render/collision.h"
#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"
#include "render/recording_rast2d_driver.h"
#include "tests/render/recording_fixture.h"

using namespace kelvora;

namespace {

class CollisionTest : public RecordingGraphicsTest {
protected:
    void SetUp() override {
        RecordingGraphicsTest::SetUp();
        SetTransform(0, 1, 1);
        SetOrigin(0, 0);
        ClearCollisionLayers(0);
    }
    void TearDown() override {
        ClearCollisionLayers(0);
        RecordingGraphicsTest::TearDown();
    }
};

// An RGBA image whose pixel (x, y) is opaque where inside(x, y) holds.
template <class F>
TImagePtr Shape(int w, int h, F inside) {
    auto p = CreatePixmap(w, h, PIXFMT_RGBA8888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p->WritePixel(x, y, inside(x, y) ? -1 : 0x00FFFFFF);
    return TImage::Load(p, 0, 0, 0, 0);
}

TImagePtr Opaque(int w, int h) {
    return Shape(w, h, [](int, int) { return true; });
}

}  // namespace

TEST_F(CollisionTest, OpaqueSquaresTouchAtFifteenNotSixteen) {
    TImagePtr a = Opaque(16, 16), b = Opaque(16, 16);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, b, 16, 0, 0), 0);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, b, 15, 0, 0), 1);
    EXPECT_EQ(ImagesCollide(a, 100, 100, 0, b, 100, 116, 0), 0);
    EXPECT_EQ(ImagesCollide(a, 100, 100, 0, b, 100, 115, 0), 1);
    EXPECT_EQ(ImagesCollide(a, 100, 100, 0, b, 85, 85, 0), 1);
    EXPECT_EQ(ImagesCollideTransformed(a, 0, 0, 0, 0, 1, 1, b, 16, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(ImagesCollideTransformed(a, 0, 0, 0, 0, 1, 1, b, 15, 0, 0, 0, 1, 1), 1);
    // The origin moves both placements alike.
    SetOrigin(300, 7);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, b, 15, 0, 0), 1);
    SetOrigin(0, 0);
    // Images without alpha are solid; so are rectangles.
    auto rgb = CreatePixmap(16, 16, PIXFMT_RGB888);
    rgb->ClearPixels(0);
    TImagePtr solid = TImage::Load(rgb, 0, 0, 0, 0);
    EXPECT_EQ(ImagesCollide(solid, 0, 0, 0, b, 15, 15, 0), 1);
}

TEST_F(CollisionTest, TransparentPixelsNeverCollide) {
    // Discs inside 16x16 boxes: the boxes overlap at their corners only.
    auto disc = [](int x, int y) { return (x - 7.5) * (x - 7.5) + (y - 7.5) * (y - 7.5) <= 7.5 * 7.5; };
    TImagePtr a = Shape(16, 16, disc), b = Shape(16, 16, disc);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, b, 12, 12, 0), 0);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, b, 13, 0, 0), 1);  // columns 1..14 of each disc are inked
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, b, 14, 0, 0), 0);
    EXPECT_EQ(ImagesCollide(Opaque(16, 16), 0, 0, 0, Opaque(16, 16), 12, 12, 0), 1);
    TImagePtr empty = Shape(16, 16, [](int, int) { return false; });
    EXPECT_EQ(ImagesCollide(empty, 0, 0, 0, Opaque(16, 16), 0, 0, 0), 0);
}

TEST_F(CollisionTest, MirroredPlacementCollidesLikeAFlippedImage) {
    // Opaque in its left four columns; its mirror image is opaque in the right four.
    auto left = [](int x, int) { return x < 4; };
    TImagePtr l = Shape(16, 16, left);
    TImagePtr r = TImage::Load(XFlipPixmap(l->pixmaps[0]), 0, 0, 0, 0);
    TImagePtr block = Opaque(8, 8);
    int hits = 0, misses = 0;
    for (int tx = -4; tx <= 44; ++tx) {
        const int mirrored = ImagesCollideTransformed(block, 10, 4, 0, 0, 1, 1, l, float(tx), 0, 0, 0, -1, 1);
        const int flipped = ImagesCollideTransformed(block, 10, 4, 0, 0, 1, 1, r, float(tx - 16), 0, 0, 0, 1, 1);
        EXPECT_EQ(mirrored, flipped) << tx;
        (mirrored ? hits : misses) += 1;
        // Upside down too.
        EXPECT_EQ(ImagesCollideTransformed(block, 12, 10, 0, 0, 1, 1, TImage::Load(YFlipPixmap(r->pixmaps[0]), 0, 0, 0, 0),
                                           0, float(tx - 16), 0, 0, 1, 1),
                  ImagesCollideTransformed(block, 12, 10, 0, 0, 1, 1, r, 0, float(tx), 0, 0, 1, -1))
            << tx;
    }
    EXPECT_GT(hits, 5);
    EXPECT_GT(misses, 5);
}

TEST_F(CollisionTest, RotationAboutTheCentreMovesTheCorners) {
    TImagePtr square = Opaque(16, 16);
    CenterImageHandle(square);
    TImagePtr probe = Opaque(2, 2);
    // Just inside the unrotated corner; outside the 45-degree diamond.
    EXPECT_EQ(ImagesCollideTransformed(square, 100, 100, 0, 0, 1, 1, probe, 106, 106, 0, 0, 1, 1), 1);
    EXPECT_EQ(ImagesCollideTransformed(square, 100, 100, 0, 45, 1, 1, probe, 106, 106, 0, 0, 1, 1), 0);
    // Beyond the unrotated edge; inside the diamond's point (8 * sqrt 2 = 11.3).
    EXPECT_EQ(ImagesCollideTransformed(square, 100, 100, 0, 0, 1, 1, probe, 109, 99, 0, 0, 1, 1), 0);
    EXPECT_EQ(ImagesCollideTransformed(square, 100, 100, 0, 45, 1, 1, probe, 109, 99, 0, 0, 1, 1), 1);
    EXPECT_EQ(ImagesCollideTransformed(square, 100, 100, 0, 45, 1, 1, probe, 113, 99, 0, 0, 1, 1), 0);
    // Scale grows the placement about the handle.
    EXPECT_EQ(ImagesCollideTransformed(square, 100, 100, 0, 0, 2, 2, probe, 114, 99, 0, 0, 1, 1), 1);
}

TEST_F(CollisionTest, RenderStateRotationAndScaleAreRestored) {
    SetRotation(33);
    SetScale(2, 0.5f);
    TImagePtr a = Opaque(8, 8);
    ImagesCollideTransformed(a, 0, 0, 0, 10, 3, 3, a, 4, 4, 0, -70, 1, 1);
    EXPECT_EQ(GetRotation(), 33.0f);
    float sx, sy;
    GetScale(sx, sy);
    EXPECT_EQ(sx, 2.0f);
    EXPECT_EQ(sy, 0.5f);
    // ImagesCollide uses the current rotation and scale: the scaled images reach further.
    SetTransform(0, 2, 0.5f);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, a, 12, 0, 0), 1);
    SetTransform(0, 1, 1);
    EXPECT_EQ(ImagesCollide(a, 0, 0, 0, a, 12, 0, 0), 0);
}

TEST_F(CollisionTest, LayersKeepQuadsUntilClearedByMask) {
    auto one = std::make_shared<int>(1), two = std::make_shared<int>(2), three = std::make_shared<int>(3);
    CollideRect(0, 0, 10, 10, 0, 1u << 0 | 1u << 3, one);
    CollideRect(5, 5, 10, 10, 0, 1u << 3, two);
    CollideRect(100, 100, 10, 10, 0, 1u << 31, three);
    EXPECT_EQ(CollisionLayerCount(0), 1);
    EXPECT_EQ(CollisionLayerCount(3), 2);

    // Layer order, newest first within a layer; a quad in two layers is found in each.
    std::vector<TCollisionId> hits = CollideRect(8, 8, 2, 2, ~0u, 0);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0], one);
    EXPECT_EQ(hits[1], two);
    EXPECT_EQ(hits[2], one);
    EXPECT_TRUE(CollideRect(8, 8, 2, 2, 1u << 1, 0).empty());

    // A placement never hits its own copies.
    EXPECT_TRUE(CollideRect(200, 200, 5, 5, 1u << 5, 1u << 5).empty());
    EXPECT_EQ(CollideRect(200, 200, 5, 5, 1u << 5, 0).size(), 1u);

    ClearCollisionLayers(1u << 31);
    EXPECT_EQ(CollisionLayerCount(31), 0);
    EXPECT_EQ(CollisionLayerCount(3), 2);
    hits.clear();
    ClearCollisionLayers(0);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(CollisionLayerCount(i), 0) << i;
    EXPECT_TRUE(CollideRect(8, 8, 2, 2, ~0u, 0).empty());
    EXPECT_EQ(one.use_count(), 1);  // cleared quads let go of their ids
}

TEST_F(CollisionTest, ImageIdsAndMasksMatchTheDrawnShape) {
    // A ring: hollow centre, opaque border.
    TImagePtr ring = Shape(20, 20, [](int x, int y) { return x < 3 || y < 3 || x >= 17 || y >= 17; });
    auto alien = std::make_shared<int>(7);
    CollideImage(ring, 50, 50, 0, 0, 1u << 2, alien);
    EXPECT_TRUE(CollideRect(56, 56, 8, 8, 1u << 2, 0).empty());
    std::vector<TCollisionId> hit = CollideRect(51, 60, 2, 2, 1u << 2, 0);
    ASSERT_EQ(hit.size(), 1u);
    EXPECT_EQ(hit[0], alien);
    EXPECT_TRUE(CollideImage(ring, 50, 50, 7, 1u << 2, 0).empty());  // no such frame
    EXPECT_TRUE(CollideImage(nullptr, 50, 50, 0, 1u << 2, 0).empty());
    // Placements no screen can show are no hit rather than an endless walk.
    const float nan = std::nanf("");
    EXPECT_EQ(ImagesCollideTransformed(ring, 50, 50, 0, nan, 1, 1, ring, 50, 50, 0, 0, 1, 1), 0);
    EXPECT_EQ(ImagesCollideTransformed(ring, 50, 50, 0, 0, 1e30f, 1e30f, ring, 50, 50, 0, 0, 1, 1), 0);
}

TEST_F(CollisionTest, RandomPlacementsStayInsideTheMasksAndUnderSolidQuads) {
    // Masks whose rows end exactly at the allocation's end, so a texel read
    // one past the last row or column is caught by the address sanitizer.
    uint32_t seed = 99;
    auto rnd = [&](int n) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % uint32_t(n));
    };
    int hits = 0;
    for (int i = 0; i < 400; ++i) {
        const int w = 1 + rnd(9), h = 1 + rnd(9);
        TImagePtr masked = Shape(w, h, [&](int, int) { return rnd(3) != 0; });
        auto rgb = CreatePixmap(w, h, PIXFMT_RGB888);
        TImagePtr solid = TImage::Load(rgb, 0, 0, 0, 0);
        TImagePtr other = Opaque(1 + rnd(7), 1 + rnd(7));
        const float x = float(rnd(12)), y = float(rnd(12)), rot = float(rnd(360));
        const float sx = 0.5f + float(rnd(30)) / 10.0f, sy = rnd(2) ? -1.0f : 2.0f;
        const float ox = 4 + float(rnd(6)), oy = 4 + float(rnd(6));
        const int m = ImagesCollideTransformed(masked, x, y, 0, rot, sx, sy, other, ox, oy, 0, 0, 1, 1);
        const int s = ImagesCollideTransformed(solid, x, y, 0, rot, sx, sy, other, ox, oy, 0, 0, 1, 1);
        EXPECT_LE(m, s) << i;
        hits += m;
    }
    EXPECT_GT(hits, 20);
}
