#include "kelvora/render/pixmap_loader.h"

#include "render/png_loader.h"

namespace kelvora {

namespace {

TPixmapLoader* g_head = nullptr;
bool g_builtins = false;

// The built-in loaders join the chain before any other, whoever asks first.
void EnsureBuiltins() {
    if (g_builtins) return;
    g_builtins = true;
    PNGPixmapLoader();
}

struct StreamCloser {
    TStreamPtr& s;
    ~StreamCloser() {
        if (s) s->Close();
    }
};

}  // namespace

TPixmapLoader::TPixmapLoader() {
    EnsureBuiltins();
    _succ = g_head;
    g_head = this;
}

TPixmapLoader::~TPixmapLoader() {
    for (TPixmapLoader** p = &g_head; *p; p = &(*p)->_succ) {
        if (*p == this) {
            *p = _succ;
            break;
        }
    }
}

TPixmapLoader* PixmapLoaders() {
    EnsureBuiltins();
    return g_head;
}

TPixmapPtr LoadPixmap(const TUrl& source) {
    TStreamPtr stream = OpenStream(source, 1, 0);
    if (!stream) return nullptr;
    StreamCloser closer{stream};
    const int64_t pos = stream->Pos();
    if (pos < 0) return nullptr;
    for (TPixmapLoader* l = PixmapLoaders(); l; l = l->_succ) {
        try {
            stream->Seek(pos);
            if (TPixmapPtr p = l->LoadPixmap(stream)) return p;
        } catch (const TStreamException&) {
            // a stream error is this loader's refusal; the next one may know the data
        }
    }
    return nullptr;
}

}  // namespace kelvora
