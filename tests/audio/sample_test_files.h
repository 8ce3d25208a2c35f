// Files for the sample loader tests: a temporary directory, WAV files made
// byte by byte, and what the reference decoder makes of an Ogg file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sampletest {

using Bytes = std::vector<uint8_t>;

inline const std::string kSounds = "/usr/share/sounds/freedesktop/stereo/";

inline Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Raw signed 16-bit little-endian frames as oggdec decodes them; empty when
// oggdec is missing or fails.
inline Bytes Oggdec(const std::string& path)
{
    std::string cmd = "oggdec -Q -R -o - '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    Bytes out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
    return pclose(p) == 0 ? out : Bytes{};
}

inline void Put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void PutTag(Bytes& b, const char* t) { b.insert(b.end(), t, t + 4); }

// A PCM WAV file; extra chunks can be placed before "fmt " and "data".
inline Bytes MakeWav(int channels, int bits, int hertz, const Bytes& data, const Bytes& before = {},
                     int formatTag = 1)
{
    Bytes fmt;
    Put16(fmt, uint16_t(formatTag));
    Put16(fmt, uint16_t(channels));
    Put32(fmt, uint32_t(hertz));
    Put32(fmt, uint32_t(hertz * channels * bits / 8));
    Put16(fmt, uint16_t(channels * bits / 8));
    Put16(fmt, uint16_t(bits));
    Bytes body;
    PutTag(body, "WAVE");
    body.insert(body.end(), before.begin(), before.end());
    PutTag(body, "fmt ");
    Put32(body, uint32_t(fmt.size()));
    body.insert(body.end(), fmt.begin(), fmt.end());
    PutTag(body, "data");
    Put32(body, uint32_t(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() & 1) body.push_back(0);
    Bytes file;
    PutTag(file, "RIFF");
    Put32(file, uint32_t(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// A directory of its own for one test.
class TempDir {
public:
    TempDir()
    {
        static int n = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("kv_sample_" + std::to_string(getpid()) + "_" + std::to_string(n++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace sampletest
