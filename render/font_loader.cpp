#include "kelvora/render/font.h"

#include "render/freetype_font.h"

namespace kelvora {

namespace {

TFontLoader* font_loaders = nullptr;
bool builtins = false;

// The built-in loader (FreeType) joins the chain before any other, whoever
// asks first: fonts load without Init, as images do.
void EnsureBuiltins()
{
    if (builtins) return;
    builtins = true;
    InitFreeTypeFontLoader();
}

}  // namespace

TFontLoader::TFontLoader() {
    EnsureBuiltins();
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
    EnsureBuiltins();
    for (TFontLoader* l = font_loaders; l; l = l->_succ) {
        if (TFontPtr font = l->LoadFont(source, size, style)) return font;
    }
    return nullptr;
}

}  // namespace kelvora
