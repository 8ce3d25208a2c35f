// Arbitrary bytes through the PNG loader: null or a pixmap, never a crash,
// a leak or a read outside the data.
#include <cstdint>
#include <cstring>
#include <memory>

#include "render/png_loader.h"

using namespace kelvora;

namespace {

class FuzzStream : public TStream {
public:
    FuzzStream(const uint8_t* d, size_t n) : data(d), size(int(n)) {}
    int64_t Pos() override { return pos; }
    int64_t Size() override { return size; }
    int64_t Seek(int64_t p) override { return pos = p < 0 ? 0 : p > size ? size : int(p); }
    int Read(void* buf, int count) override {
        const int n = count < size - pos ? count : size - pos;
        if (n <= 0) return 0;
        std::memcpy(buf, data + pos, size_t(n));
        pos += n;
        return n;
    }
    const uint8_t* data;
    int size, pos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    auto s = std::make_shared<FuzzStream>(data, size);
    TPixmapPtr p = LoadPixmap(TStreamPtr(s));
    if (p) {
        // Touch every pixel so a short buffer shows up under ASan.
        volatile unsigned sum = 0;
        for (int y = 0; y < p->height; ++y)
            for (int x = 0; x < p->width; ++x) sum = sum + unsigned(p->ReadPixel(x, y));
    }
    return 0;
}
