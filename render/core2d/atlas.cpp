#include "render/core2d/atlas.h"

#include <algorithm>
#include <cstring>

#include "render/core2d/core2d.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

namespace {

bool atlas_on = true;

// The image with a one-texel ring repeating its edge texels.
TPixmapPtr WithRing(const TPixmap& image)
{
    const int w = image.width, h = image.height;
    TPixmapPtr out = TPixmap::Create(w + 2, h + 2, PIXFMT_RGBA8888, 4);
    out->Paste(image, 1, 1);
    for (int y = 1; y <= h; ++y) {
        uint8_t* row = out->PixelPtr(0, y);
        std::memcpy(row, row + 4, 4);
        std::memcpy(row + (w + 1) * 4, row + w * 4, 4);
    }
    std::memcpy(out->PixelPtr(0, 0), out->PixelPtr(0, 1), size_t(w + 2) * 4);
    std::memcpy(out->PixelPtr(0, h + 1), out->PixelPtr(0, h), size_t(w + 2) * 4);
    return out;
}

std::shared_ptr<TAtlasPage> NewPage(TCore2DDriver& driver, bool filtered)
{
    int w = TCoreAtlas::kPageSize, h = TCoreAtlas::kPageSize;
    driver.AdjustTexSize(w, h);
    auto page = std::make_shared<TAtlasPage>();
    page->name = driver.Backend().CreateTexture(w, h, 1, filtered);
    if (!page->name) return nullptr;
    page->driver = &driver;
    page->seq = GraphicsSeq();
    page->filtered = filtered;
    page->shelves.size = std::min(w, h);
    return page;
}

}  // namespace

bool TAtlasShelves::Reserve(int w, int h, int& at_x, int& at_y)
{
    if (w > size || h > size) return false;
    int sx = x, sy = y, sh = height;
    if (sx + w > size) {
        sy += sh;
        sx = 0;
        sh = 0;
    }
    if (sy + h > size) return false;
    at_x = sx;
    at_y = sy;
    x = sx + w;
    y = sy;
    height = std::max(sh, h);
    return true;
}

TAtlasPage::~TAtlasPage()
{
    if (name != 0 && driver) driver->DeleteSharedTexture(name, seq);
}

TAtlasCell TCoreAtlas::Place(TCore2DDriver& driver, const TPixmapPtr& rgba, bool filtered)
{
    TAtlasCell cell;
    if (!rgba || rgba->width <= 0 || rgba->height <= 0) return cell;
    const int w = rgba->width + 2, h = rgba->height + 2;
    if (w > kPageSize || h > kPageSize) return cell;  // it keeps its own texture only
    std::shared_ptr<TAtlasPage> page = _open[filtered].lock();
    int x = 0, y = 0;
    if (!page || page->seq != GraphicsSeq() || !page->shelves.Reserve(w, h, x, y)) {
        page = NewPage(driver, filtered);
        if (!page || !page->shelves.Reserve(w, h, x, y)) return cell;  // larger than a page
        _open[filtered] = page;
    }
    const TPixmapPtr block = WithRing(*rgba);
    driver.Backend().BindTexture(page->name);
    if (!driver.Backend().Upload(0, x, y, w, h, block->pixels, block->pitch / 4)) return cell;
    const float size = float(page->shelves.size);
    cell.page = page;
    cell.width = rgba->width;
    cell.height = rgba->height;
    cell.u0 = float(x + 1) / size;
    cell.v0 = float(y + 1) / size;
    cell.u1 = float(x + 1 + rgba->width) / size;
    cell.v1 = float(y + 1 + rgba->height) / size;
    return cell;
}

void SetGLGlyphAtlas(bool on) { atlas_on = on; }

bool GLGlyphAtlas() { return atlas_on; }

}  // namespace kelvora
