// Font files from anywhere: loading, glyph lookup and rasterising arbitrary
// bytes must give a font or null, never a crash.
#include <cstddef>
#include <cstdint>

#include "io/ram_stream.h"
#include "kelvora/io/stream_factory.h"
#include "render/freetype_font.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"

using namespace kelvora;

namespace {

const uint8_t* input = nullptr;
size_t input_size = 0;

// "fuzz::" reaches the current input.
class TFuzzStreamFactory : public TStreamFactory {
public:
    TStreamPtr CreateStream(const TUrl&, const std::string& proto, const std::string&, int, int writeable) override {
        if (proto != "fuzz" || writeable) return nullptr;
        return TRamStream::Create(input, static_cast<int>(input_size));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFuzzStreamFactory factory;
    InitFreeTypeFontLoader();
    if (size < 2) return 0;
    const int font_size = 1 + data[0] % 40;
    const int style = data[1] & 7;
    input = data + 2;
    input_size = size - 2;
    TImageFontPtr font = LoadImageFont("fuzz::font", font_size, style);
    if (!font) return 0;
    for (int ch = 0; ch < 256; ch += 3) {
        const int i = font->CharToGlyph(ch);
        if (i < 0) continue;
        TImageGlyphPtr g = font->LoadGlyph(i);
        if (g && g->_image) {
            TPixmapPtr p = g->_image->Lock(0, 1, 0);
            if (p && p->width > 0 && p->height > 0) (void)p->ReadPixel(p->width - 1, p->height - 1);
        }
    }
    return 0;
}
