#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kelvora/io/stream.h"
#include "kelvora/render/pixmap_loader.h"
#include "render/png_loader.h"

using namespace kelvora;

namespace fs = std::filesystem;

namespace {

const fs::path kSuite = fs::path(KV_SOURCE_DIR) / "tests/data/pngsuite";

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every integer of a flat JSON array.
std::vector<int> ReadJsonInts(const fs::path& p) {
    std::vector<int> out;
    std::ifstream in(p);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int v = 0;
    bool in_num = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            v = v * 10 + (c - '0');
            in_num = true;
        } else if (in_num) {
            out.push_back(v);
            v = 0;
            in_num = false;
        }
    }
    return out;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// What the header says, read independently of the decoder.
struct Header {
    int width = 0, height = 0, depth = 0, colour = 0;
    bool trns = false;
};

Header ParseHeader(const std::vector<uint8_t>& f) {
    Header h;
    h.width = int(Be32(&f[16]));
    h.height = int(Be32(&f[20]));
    h.depth = f[24];
    h.colour = f[25];
    for (size_t at = 8; at + 8 <= f.size();) {
        const uint32_t len = Be32(&f[at]);
        if (std::string(reinterpret_cast<const char*>(&f[at + 4]), 4) == "tRNS") h.trns = true;
        at += 12 + size_t(len);
    }
    return h;
}

int ExpectedFormat(const Header& h) {
    switch (h.colour) {
    case 0: return h.trns ? PIXFMT_RGBA8888 : PIXFMT_I8;
    case 2:
    case 3: return h.trns ? PIXFMT_RGBA8888 : PIXFMT_RGB888;
    default: return PIXFMT_RGBA8888;
    }
}

std::vector<fs::path> SuiteFiles(bool corrupt) {
    std::vector<fs::path> out;
    for (auto& e : fs::directory_iterator(kSuite / "png")) {
        const std::string name = e.path().filename().string();
        if ((name[0] == 'x') == corrupt) out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A seekable stream over bytes in memory, for truncation tests.
class MemStream : public TStream {
public:
    explicit MemStream(std::vector<uint8_t> d) : data(std::move(d)) {}
    int64_t Pos() override { return pos; }
    int64_t Size() override { return int64_t(data.size()); }
    int64_t Seek(int64_t p) override { return pos = int(std::clamp<int64_t>(p, 0, int64_t(data.size()))); }
    int Read(void* buf, int count) override {
        const int n = std::min(count, int(data.size()) - pos);
        if (n <= 0) return 0;
        std::memcpy(buf, data.data() + pos, size_t(n));
        pos += n;
        return n;
    }
    std::vector<uint8_t> data;
    int pos = 0;
};

}  // namespace

TEST(PngSuite, EveryValidImageDecodesToTheReferencePixels) {
    int checked = 0;
    for (const fs::path& path : SuiteFiles(false)) {
        SCOPED_TRACE(path.filename().string());
        const Header h = ParseHeader(ReadFile(path));
        TPixmapPtr p = LoadPixmap(path.string());
        ASSERT_TRUE(p);
        EXPECT_EQ(p->width, h.width);
        EXPECT_EQ(p->height, h.height);
        EXPECT_EQ(p->format, ExpectedFormat(h));

        const std::string stem = path.stem().string();
        const std::vector<int> ref = ReadJsonInts(kSuite / "json" / (stem + ".json"));
        std::vector<int> to8;
        if (h.depth == 16) to8 = ReadJsonInts(kSuite / "json" / (stem + "_to8.json"));
        ASSERT_EQ(ref.size(), size_t(h.width) * h.height * 4);
        int bad = 0;
        for (int y = 0; y < h.height && bad < 5; ++y) {
            for (int x = 0; x < h.width && bad < 5; ++x) {
                const uint32_t v = uint32_t(p->ReadPixel(x, y));
                const int got[4] = {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), int(v >> 24)};
                for (int c = 0; c < 4; ++c) {
                    const size_t i = (size_t(y) * h.width + x) * 4 + c;
                    int want = ref[i];
                    if (h.depth == 16) {
                        // Samples are cut to their high byte; the rounded 8-bit
                        // reference may differ by one only where that cut and
                        // rounding disagree.
                        want = ref[i] >> 8;
                        if (!to8.empty()) {
                            EXPECT_LE(std::abs(to8[i] - want), 1);
                        }
                    }
                    if (got[c] != want) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << got[c] << " != " << want;
                        ++bad;
                    }
                }
            }
        }
        ++checked;
    }
    EXPECT_GE(checked, 160);
}

TEST(PngSuite, CorruptFilesGiveNull) {
    int checked = 0;
    for (const fs::path& path : SuiteFiles(true)) {
        EXPECT_EQ(LoadPixmap(path.string()), nullptr) << path.filename();
        EXPECT_EQ(LoadPixmapPNG(path.string()), nullptr) << path.filename();
        ++checked;
    }
    EXPECT_EQ(checked, 14);
}

TEST(PngSuite, PalettedImageWithTransparencyHasAlpha) {
    TPixmapPtr p = LoadPixmapPNG((kSuite / "png" / "tbbn3p08.png").string());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIXFMT_RGBA8888);
    EXPECT_EQ(uint32_t(p->ReadPixel(0, 0)) >> 24, 0u);
    p = LoadPixmapPNG((kSuite / "png" / "basn3p08.png").string());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIXFMT_RGB888);
}

TEST(PngLoader, TruncatedDataGivesNullAtEveryLength) {
    const std::vector<uint8_t> full = ReadFile(kSuite / "png" / "basi6a08.png");
    auto whole = std::make_shared<MemStream>(full);
    ASSERT_TRUE(LoadPixmap(TStreamPtr(whole)));
    for (size_t n = 0; n < full.size(); n += (n < 64 ? 1 : 37)) {
        auto s = std::make_shared<MemStream>(std::vector<uint8_t>(full.begin(), full.begin() + long(n)));
        EXPECT_EQ(DecodePNG(*s), nullptr) << n;
    }
}

TEST(PngLoader, SourcesThatAreNotPngGiveNull) {
    EXPECT_EQ(LoadPixmap("/nonexistent/picture.png"), nullptr);
    EXPECT_EQ(LoadPixmapPNG("/nonexistent/picture.png"), nullptr);
    auto text = std::make_shared<MemStream>(std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'});
    EXPECT_EQ(LoadPixmap(TStreamPtr(text)), nullptr);
}

namespace {

// Answers for any stream whose first byte is 'K'; counts how often it is asked.
class KLoader : public TPixmapLoader {
public:
    TPixmapPtr LoadPixmap(const TStreamPtr& s) override {
        ++asked;
        uint8_t b = 0;
        if (s->Read(&b, 1) != 1 || b != 'K') return nullptr;
        auto p = CreatePixmap(1, 1, PIXFMT_A8);
        p->pixels[0] = 7;
        return p;
    }
    int asked = 0;
};

// Fails the way a short stream read does.
class ThrowingLoader : public TPixmapLoader {
public:
    TPixmapPtr LoadPixmap(const TStreamPtr&) override {
        ++asked;
        throw TStreamReadException();
    }
    int asked = 0;
};

}  // namespace

TEST(PixmapLoaderChain, NewestLoaderFirstStreamErrorsAreRefusals) {
    KLoader k;
    ThrowingLoader t;  // newest: asked first, its failure passes to k, then png
    EXPECT_EQ(PixmapLoaders(), &t);
    auto s = std::make_shared<MemStream>(std::vector<uint8_t>{'K'});
    TPixmapPtr p = LoadPixmap(TStreamPtr(s));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pixels[0], 7);
    EXPECT_EQ(t.asked, 1);
    EXPECT_EQ(k.asked, 1);

    // Each loader starts from the same position: the PNG loader still finds the signature.
    auto png = std::make_shared<MemStream>(ReadFile(kSuite / "png" / "basn0g08.png"));
    p = LoadPixmap(TStreamPtr(png));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIXFMT_I8);
    EXPECT_EQ(k.asked, 2);

    // Errors other than stream errors are not refusals.
    struct Failing : TPixmapLoader {
        TPixmapPtr LoadPixmap(const TStreamPtr&) override { throw TRuntimeException("boom"); }
    } f;
    EXPECT_THROW(LoadPixmap(TStreamPtr(std::make_shared<MemStream>(std::vector<uint8_t>{1}))), TRuntimeException);
}
