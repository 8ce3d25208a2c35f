// Files for the sample loader tests: Debian's desktop sounds, what the
// reference decoder makes of them, WAV files built byte by byte.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kelvora/audio/sample.h"
#include "io/bank_stream.h"
#include "runtime/utf8_path.h"

using namespace kelvora;

namespace sampletest {

using Bytes = std::vector<uint8_t>;

inline const std::string kSounds = "/usr/share/sounds/freedesktop/stereo/";

inline Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream f(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(Utf8Path(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

inline Bytes BytesOf(const TAudioSamplePtr& s) { return Bytes(s->samples, s->samples + s->ByteCount()); }

inline TAudioSamplePtr LoadFromMemory(const Bytes& file)
{
    return LoadAudioSample(TUrl(TStreamPtr(TBankStream::Create(file, 1, 0))));
}

// Signed 16-bit little-endian frames as oggdec decodes the file; empty when it cannot.
inline Bytes Oggdec(const std::string& path)
{
#ifdef KV_REFERENCE_DECODES
    // Decoded on the build machine, where the reference decoder runs.
    return ReadFileBytes(KV_REFERENCE_DECODES "/" + path.substr(path.rfind('/') + 1) + ".raw");
#else
    FILE* p = popen(("oggdec -Q -R -o - '" + path + "' 2>/dev/null").c_str(), "r");
    if (!p) return {};
    Bytes out;
    uint8_t buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.insert(out.end(), buf, buf + n);
    return pclose(p) == 0 ? out : Bytes{};
#endif
}

inline void Put(Bytes& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A PCM WAV file; extra chunks go between "WAVE" and "fmt ".
inline Bytes MakeWav(int channels, int bits, int hertz, const Bytes& data, const Bytes& extra = {}, int tag = 1)
{
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), {'f', 'm', 't', ' ', 16, 0, 0, 0});
    Put(b, uint32_t(tag), 2);
    Put(b, uint32_t(channels), 2);
    Put(b, uint32_t(hertz), 4);
    Put(b, uint32_t(hertz * channels * bits / 8), 4);
    Put(b, uint32_t(channels * bits / 8), 2);
    Put(b, uint32_t(bits), 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put(b, uint32_t(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[size_t(4 + i)] = uint8_t(riff >> (8 * i));
    return b;
}

// A directory of its own, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        static int n = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("kv_sample_" + std::to_string(getpid()) + "_" + std::to_string(n++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    // UTF-8, as the engine takes paths (the user's temp folder may have any name).
    std::string operator/(const std::string& name) const { return PathUtf8(path_ / Utf8Path(name)); }

private:
    std::filesystem::path path_;
};

}  // namespace sampletest
