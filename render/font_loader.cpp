#include "kelvora/render/font.h"

namespace kelvora {

namespace {

TFontLoader* font_loaders = nullptr;

}  // namespace

TFontLoader::TFontLoader() {
    if (_succ == nullptr) {
        _succ = font_loaders;
        font_loaders = this;
    }
}

TFontLoader::~TFontLoader() {
    for (TFontLoader** p = &font_loaders; *p; p = &(*p)->_succ) {
        if (*p == this) {
            *p = _succ;
            break;
        }
    }
}

TFontPtr LoadFont(const TUrl& source, int size, int style) {
    for (TFontLoader* l = font_loaders; l; l = l->_succ) {
        if (TFontPtr font = l->LoadFont(source, size, style)) return font;
    }
    return nullptr;
}

}  // namespace kelvora
