#include "render/gl/gl_glyph_atlas.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "render/gl/gl_graphics.h"
#include "render/gl/gl_image_frame.h"
#include "render/gl/gl_rast2d_state.h"
#include "render/graphics.h"
#include "render/pixmap.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace {

// Room for the printable set of a 22-pixel font (about 100 cells of up to
// 26x26 texels) in one page of 256 KB.
constexpr int kPageSize = 256;

bool atlas_on = true;
// The page being filled, per filter mode; pages live while cells use them.
std::weak_ptr<TGLAtlasPage> open_pages[2];

std::shared_ptr<TGLAtlasPage> NewPage(bool filtered) {
    int w = kPageSize, h = kPageSize;
    AdjustTexSize(w, h);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Level 0 only: the same filter there as the cells' own textures.
    const GLint filter = filtered ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    auto page = std::make_shared<TGLAtlasPage>();
    page->name = tex;
    page->size = std::min(w, h);
    page->seq = GraphicsSeq();
    page->filtered = filtered;
    return page;
}

// Where a w x h block goes in the page: false when it is full, or when the
// block is larger than a page (then the page is left as it was).
bool Reserve(TGLAtlasPage& page, int w, int h, int& x, int& y) {
    if (w > page.size || h > page.size) return false;
    if (page.shelf_x + w > page.size) {
        page.shelf_y += page.shelf_height;
        page.shelf_x = 0;
        page.shelf_height = 0;
    }
    if (page.shelf_y + h > page.size) return false;
    x = page.shelf_x;
    y = page.shelf_y;
    page.shelf_x += w;
    page.shelf_height = std::max(page.shelf_height, h);
    return true;
}

// The image with a one-texel ring repeating its edge texels.
TPixmapPtr WithRing(const TPixmap& image) {
    const int w = image.width, h = image.height;
    TPixmapPtr out = TPixmap::Create(w + 2, h + 2, PIXFMT_RGBA8888, 4);
    out->Paste(image, 1, 1);
    for (int y = 1; y <= h; ++y) {
        uint8_t* row = out->PixelPtr(0, y);
        std::memcpy(row, row + 4, 4);
        std::memcpy(row + (w + 1) * 4, row + w * 4, 4);
    }
    std::memcpy(out->PixelPtr(0, 0), out->PixelPtr(0, 1), static_cast<size_t>(w + 2) * 4);
    std::memcpy(out->PixelPtr(0, h + 1), out->PixelPtr(0, h), static_cast<size_t>(w + 2) * 4);
    return out;
}

}  // namespace

TGLAtlasPage::~TGLAtlasPage() {
    if (name != 0) GLDeleteSharedTexture(name, seq);
}

TGLAtlasCell GLAtlasPlace(const TPixmapPtr& rgba, bool filtered) {
    TGLAtlasCell cell;
    if (!rgba || rgba->width <= 0 || rgba->height <= 0) return cell;
    const int w = rgba->width + 2, h = rgba->height + 2;
    if (w > kPageSize || h > kPageSize) return cell;  // it keeps its own texture only
    std::shared_ptr<TGLAtlasPage> page = open_pages[filtered].lock();
    int x = 0, y = 0;
    if (!page || page->seq != GraphicsSeq() || !Reserve(*page, w, h, x, y)) {
        page = NewPage(filtered);
        if (!Reserve(*page, w, h, x, y)) return cell;  // larger than a page
        open_pages[filtered] = page;
    }
    const TPixmapPtr block = WithRing(*rgba);
    glBindTexture(GL_TEXTURE_2D, page->name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, block->pitch / 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, block->pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const float size = static_cast<float>(page->size);
    cell.page = page;
    cell.width = rgba->width;
    cell.height = rgba->height;
    cell.u0 = static_cast<float>(x + 1) / size;
    cell.v0 = static_cast<float>(y + 1) / size;
    cell.u1 = static_cast<float>(x + 1 + rgba->width) / size;
    cell.v1 = static_cast<float>(y + 1 + rgba->height) / size;
    return cell;
}

void SetGLGlyphAtlas(bool on) { atlas_on = on; }

bool GLGlyphAtlas() { return atlas_on; }
