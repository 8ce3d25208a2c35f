#include "kelvora/render/collision.h"

#include <algorithm>
#include <cmath>

#include "kelvora/render/rast2d.h"
#include "render/rast2d_graphics.h"

namespace kelvora {

namespace {

constexpr int kLayers = 32;
constexpr int kChannels = 4;  // x, y, u, v
constexpr uint32_t kScratchLayer = 1u << 31;

struct Module {
    TQuad* layers[kLayers] = {};
    TQuad* free = nullptr;
    std::vector<std::unique_ptr<TQuad>> owned;  // every quad ever made; the free list only grows
    std::vector<int> scratch;
    TMatrix2D matrix{0, 0, 0, 0};  // the render state's, copied on every change
};

Module& M() {
    static Module m;
    return m;
}

void OnTransform(const TMatrix2D& m) { M().matrix = m; }

// Registered before main so no change of the render state's matrix is missed.
const bool g_listening = (SetTransformListener(&OnTransform), true);

TQuad* NewQuad() {
    Module& m = M();
    TQuad* q = m.free;
    if (q) {
        m.free = q->link;
    } else {
        m.owned.push_back(std::make_unique<TQuad>());
        q = m.owned.back().get();
    }
    q->link = nullptr;
    return q;
}

void Release(TQuad* q) {
    q->id.reset();
    q->mask.reset();
    q->link = M().free;
    M().free = q;
}

// One polygon being rasterised.
struct RPoly {
    const TPixmap* texture = nullptr;
    float data[16] = {};
    int channels = kChannels;
    int count = 0, size = 0;
    float ldat[kChannels] = {}, ladd[kChannels] = {}, rdat[kChannels] = {}, radd[kChannels] = {};
    int Left = 0, Right = 0;
    int top = 0;
    int state = 0;  // 0 waiting, 1 active, 2 finished
};

int Y(const RPoly& p, int index) { return int(p.data[index + 1]); }

void Setup(RPoly& p, const TQuad& q) {
    std::copy(std::begin(q.xyuv), std::end(q.xyuv), p.data);
    p.texture = q.mask.get();
    p.count = 16 / p.channels;
    p.size = p.count * p.channels;
    // The edge walk expects one winding; a mirrored placement has the other.
    bool all_nonneg = true;
    for (int k = 1; k <= p.count - 2; ++k) {
        const float* v0 = &p.data[0];
        const float* v1 = &p.data[k * p.channels];
        const float* v2 = &p.data[(k + 1) * p.channels];
        const int cross = int((v2[0] - v1[0]) * (v1[1] - v0[1]) - (v1[0] - v0[0]) * (v2[1] - v1[1]));
        if (cross < 0) all_nonneg = false;
    }
    if (all_nonneg) {
        for (int a = 0, b = p.count - 1; a < b; ++a, --b)
            for (int c = 0; c < p.channels; ++c) std::swap(p.data[a * p.channels + c], p.data[b * p.channels + c]);
    }
    p.top = Y(p, 0);
    p.Left = 0;
    for (int i = 1; i < p.count; ++i) {
        if (Y(p, i * p.channels) < p.top) {
            p.top = Y(p, i * p.channels);
            p.Left = i * p.channels;
        }
    }
    p.Right = p.Left;
    p.state = 0;
}

// Starts the next edge on one side: walks from `from` in steps of `dir`
// over the vertices already reached by scanline y. False when the polygon
// has no further edge.
bool NextEdge(RPoly& p, int y, int& from, int dir, float* dat, float* add) {
    int s = from, e = -1;
    for (;;) {
        const int n = ((s + dir) % p.size + p.size) % p.size;
        if (n == from) return false;  // came back round
        if (Y(p, n) <= y) {
            s = n;
        } else {
            e = n;
            break;
        }
    }
    const int dy = Y(p, e) - Y(p, s);
    if (dy < 1) return false;
    for (int c = 0; c < p.channels; ++c) {
        add[c] = (p.data[e + c] - p.data[s + c]) / float(dy);
        dat[c] = p.data[s + c] + add[c] * 0.5f;
    }
    from = e;
    return true;
}

// Column and row of a texture coordinate; a coordinate of exactly 1 stays
// on the last texel.
bool Opaque(const TPixmap& t, float u, float v) {
    if (t.width <= 0 || t.height <= 0) return false;
    u = u >= 0 ? std::min(u, 1.0f) : 0.0f;
    v = v >= 0 ? std::min(v, 1.0f) : 0.0f;
    const int col = std::min(int(u * float(t.width)), t.width - 1);
    const int row = std::min(int(v * float(t.height)), t.height - 1);
    const uint8_t* px = t.pixels + ptrdiff_t(row) * t.pitch;
    switch (t.format) {
    case PIXFMT_A8: return px[col] & 0x80;
    case PIXFMT_RGBA8888:
    case PIXFMT_BGRA8888: return px[col * 4 + 3] & 0x80;
    default: return true;
    }
}

// The shared span of the first two active polygons on one scanline: -1 when
// a pixel there is claimed by both.
int SpanTest(RPoly* const* active, int n_active) {
    if (n_active < 2) return 0;
    const RPoly& p = *active[0];
    const RPoly& q = *active[1];
    const int pl = int(p.ldat[0]), pr = int(p.rdat[0]);
    const int ql = int(q.ldat[0]), qr = int(q.rdat[0]);
    const int start = std::max(pl, ql), end = std::min(pr, qr);
    const int n = end - start;
    if (n <= 0) return 0;
    std::vector<int>& claims = M().scratch;
    if (claims.size() < size_t(n)) claims.resize(size_t(n));
    std::fill_n(claims.begin(), n, 0);
    for (int a = 0; a < n_active; ++a) {
        const RPoly& r = *active[a];
        if (!r.texture) {
            for (int i = 0; i < n; ++i) {
                if (claims[i]) return -1;
                claims[i] = -1;
            }
            continue;
        }
        const int l = int(r.ldat[0]), rr = int(r.rdat[0]);
        if (rr - l < 1) continue;
        const float du = (r.rdat[2] - r.ldat[2]) / float(rr - l);
        const float dv = (r.rdat[3] - r.ldat[3]) / float(rr - l);
        float u = r.ldat[2] + (float(start - l) + 0.5f) * du;
        float v = r.ldat[3] + (float(start - l) + 0.5f) * dv;
        for (int i = 0; i < n; ++i, u += du, v += dv) {
            if (!Opaque(*r.texture, u, v)) continue;
            if (claims[i]) return -1;
            claims[i] = -1;
        }
    }
    return 0;
}

// Rasterises the polygons together scanline by scanline, calling the span
// test wherever at least one is active; its first negative result ends it.
int Rasterise(RPoly* polys, int n) {
    int ymin = Y(polys[0], 0), ymax = ymin;
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < polys[k].size; i += polys[k].channels) {
            ymin = std::min(ymin, Y(polys[k], i));
            ymax = std::max(ymax, Y(polys[k], i));
        }
    RPoly* active[8];
    int n_active = 0;
    int result = 0;
    for (int y = ymin; y < ymax; ++y) {
        for (int k = 0; k < n; ++k) {
            RPoly& p = polys[k];
            if (p.state == 2 || y < p.top) continue;
            bool alive = true;
            if (y >= Y(p, p.Left)) alive = NextEdge(p, y, p.Left, -p.channels, p.ldat, p.ladd);
            if (alive && y >= Y(p, p.Right)) alive = NextEdge(p, y, p.Right, p.channels, p.rdat, p.radd);
            if (!alive) {
                if (p.state == 1) n_active = int(std::remove(active, active + n_active, &p) - active);
                p.state = 2;
            } else if (p.state == 0) {
                p.state = 1;
                active[n_active++] = &p;
            }
        }
        if (n_active > 0) {
            result = SpanTest(active, n_active);
            if (result < 0) return result;
        }
        for (int a = 0; a < n_active; ++a) {
            RPoly& p = *active[a];
            for (int c = 0; c < p.channels; ++c) p.ldat[c] += p.ladd[c], p.rdat[c] += p.radd[c];
        }
    }
    return result;
}

// Corners the rasteriser can walk: finite and within integer range (a NaN
// or huge scale would otherwise loop over billions of scanlines).
bool Walkable(const TQuad& q) {
    constexpr float kLimit = 16777216.0f;
    for (int i = 0; i < 16; i += kChannels)
        if (!(std::fabs(q.xyuv[i]) <= kLimit && std::fabs(q.xyuv[i + 1]) <= kLimit)) return false;
    return true;
}

bool QuadsCollide(const TQuad& a, const TQuad& b) {
    if (!(a.maxx >= b.minx && a.maxy >= b.miny && a.minx <= b.maxx && a.miny <= b.maxy)) return false;
    if (!Walkable(a) || !Walkable(b)) return false;
    RPoly polys[2];
    Setup(polys[0], a);
    Setup(polys[1], b);
    return Rasterise(polys, 2) < 0;
}

void Origin(float& ox, float& oy) {
    const TRast2DGraphics* g = TRast2DGraphics::Current();
    ox = g ? g->origin_x : 0.0f;
    oy = g ? g->origin_y : 0.0f;
}

// The corners of the local rectangle (x0, y0)-(x1, y1) where drawing puts them.
void PlaceQuad(TQuad& q, float x0, float y0, float x1, float y1, float tx, float ty) {
    const TMatrix2D& m = M().matrix;
    auto X = [&](float a, float b) { return tx + a * m.ix + b * m.iy; };
    auto Yt = [&](float a, float b) { return ty + a * m.jx + b * m.jy; };
    q.SetCoords(X(x0, y0), Yt(x0, y0), X(x1, y0), Yt(x1, y0), X(x1, y1), Yt(x1, y1), X(x0, y1), Yt(x0, y1));
}

std::vector<TCollisionId> Collide(TQuad* q, uint32_t collide_mask, uint32_t write_mask) {
    Module& m = M();
    std::vector<TCollisionId> hits;
    for (int layer = 0; layer < kLayers; ++layer) {
        if (!(collide_mask >> layer & 1)) continue;
        for (TQuad* other = m.layers[layer]; other; other = other->link)
            if (QuadsCollide(*q, *other)) hits.push_back(other->id);
    }
    for (int layer = 0; layer < kLayers; ++layer) {
        if (!(write_mask >> layer & 1)) continue;
        TQuad* copy = NewQuad();
        copy->id = q->id;
        copy->mask = q->mask;
        copy->frame = q->frame;
        std::copy(std::begin(q->xyuv), std::end(q->xyuv), copy->xyuv);
        copy->minx = q->minx, copy->miny = q->miny, copy->maxx = q->maxx, copy->maxy = q->maxy;
        copy->link = m.layers[layer];
        m.layers[layer] = copy;
    }
    Release(q);
    return hits;
}

}  // namespace

void TQuad::SetCoords(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
    const float xs[4] = {x0, x1, x2, x3}, ys[4] = {y0, y1, y2, y3};
    static const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
    for (int i = 0; i < 4; ++i) {
        xyuv[i * 4 + 0] = xs[i];
        xyuv[i * 4 + 1] = ys[i];
        xyuv[i * 4 + 2] = us[i];
        xyuv[i * 4 + 3] = vs[i];
    }
    minx = *std::min_element(xs, xs + 4), maxx = *std::max_element(xs, xs + 4);
    miny = *std::min_element(ys, ys + 4), maxy = *std::max_element(ys, ys + 4);
}

void ClearCollisionLayers(uint32_t mask) {
    Module& m = M();
    for (int layer = 0; layer < kLayers; ++layer) {
        if (mask && !(mask >> layer & 1)) continue;
        while (TQuad* q = m.layers[layer]) {
            m.layers[layer] = q->link;
            Release(q);
        }
    }
}

int CollisionLayerCount(int layer) {
    if (layer < 0 || layer >= kLayers) return 0;
    int n = 0;
    for (TQuad* q = M().layers[layer]; q; q = q->link) ++n;
    return n;
}

std::vector<TCollisionId> CollideImage(const TImagePtr& image, float x, float y, int frame, uint32_t collide_mask,
                                       uint32_t write_mask, const TCollisionId& id) {
    if (!image) return {};
    TPixmapPtr pixels = image->Lock(frame, 1, 0);
    if (!pixels) return {};  // no such frame
    TQuad* q = NewQuad();
    q->id = id;
    q->frame = frame;
    q->mask = AlphaBits(pixels->format) ? pixels : nullptr;
    float ox, oy;
    Origin(ox, oy);
    const float hx = -image->handle_x, hy = -image->handle_y;
    PlaceQuad(*q, hx, hy, float(image->width) + hx, float(image->height) + hy, x + ox, y + oy);
    return Collide(q, collide_mask, write_mask);
}

std::vector<TCollisionId> CollideRect(float x, float y, float width, float height, uint32_t collide_mask,
                                      uint32_t write_mask, const TCollisionId& id) {
    TQuad* q = NewQuad();
    q->id = id;
    q->frame = 0;
    q->mask = nullptr;
    float ox, oy;
    Origin(ox, oy);
    PlaceQuad(*q, 0, 0, width, height, x + ox, y + oy);
    return Collide(q, collide_mask, write_mask);
}

int ImagesCollide(const TImagePtr& image1, float x1, float y1, int frame1, const TImagePtr& image2, float x2, float y2,
                  int frame2) {
    ClearCollisionLayers(kScratchLayer);
    CollideImage(image1, x1, y1, frame1, 0, kScratchLayer);
    return CollideImage(image2, x2, y2, frame2, kScratchLayer, 0).empty() ? 0 : 1;
}

namespace {

// Sets rotation and scale through the render state, which hands the matrix
// on to this module; with no state current, the matrix is set here alone.
void UseTransform(float rot, float sx, float sy) {
    if (TRast2DGraphics::Current()) {
        SetRotation(rot);
        SetScale(sx, sy);
    } else {
        M().matrix = TransformMatrix(rot, sx, sy);
    }
}

}  // namespace

int ImagesCollideTransformed(const TImagePtr& image1, float x1, float y1, int frame1, float rot1, float scale_x1,
                             float scale_y1, const TImagePtr& image2, float x2, float y2, int frame2, float rot2,
                             float scale_x2, float scale_y2) {
    const bool state = TRast2DGraphics::Current() != nullptr;
    float rot = 0, sx = 1, sy = 1;
    const TMatrix2D saved = M().matrix;
    if (state) {
        rot = GetRotation();
        GetScale(sx, sy);
    }
    ClearCollisionLayers(kScratchLayer);
    UseTransform(rot1, scale_x1, scale_y1);
    CollideImage(image1, x1, y1, frame1, 0, kScratchLayer);
    UseTransform(rot2, scale_x2, scale_y2);
    const bool hit = !CollideImage(image2, x2, y2, frame2, kScratchLayer, 0).empty();
    if (state) {
        SetRotation(rot);
        SetScale(sx, sy);
    } else {
        M().matrix = saved;
    }
    return hit ? 1 : 0;
}

}  // namespace kelvora
