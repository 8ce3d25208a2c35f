#include "audio/wav_loader.h"

#include <algorithm>
#include <cstring>

namespace kelvora {

namespace {

bool ReadTag(TStream& s, const char* tag)
{
    char got[4] = {};
    s.ReadBytes(got, 4);
    return std::memcmp(got, tag, 4) == 0;
}

constexpr int WAVE_FORMAT_PCM = 1;
constexpr int WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

} // namespace

TAudioSamplePtr TAudioSampleLoaderWAV::LoadAudioSample(const TStreamPtr& stream)
{
    TStream& s = *stream;
    if (!ReadTag(s, "RIFF")) return nullptr;
    s.ReadInt();  // RIFF size: often wrong in files written while streaming
    if (!ReadTag(s, "WAVE")) return nullptr;

    int channels = 0, hertz = 0, bits = 0;
    bool haveFormat = false;
    while (!s.Eof()) {
        char id[4] = {};
        s.ReadBytes(id, 4);
        uint32_t size = uint32_t(s.ReadInt());
        if (s.Eof() && std::memcmp(id, "data", 4) != 0) return nullptr;

        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (size < 16) return nullptr;
            int tag = s.ReadShort();
            channels = s.ReadShort();
            hertz = s.ReadInt();
            s.ReadInt();                 // bytes per second
            int align = s.ReadShort();
            bits = s.ReadShort();
            uint32_t used = 16;
            if (tag == WAVE_FORMAT_EXTENSIBLE && size >= 40) {
                s.SkipBytes(8);          // extension size, valid bits, channel mask
                tag = s.ReadShort();     // first two bytes of the sub-format GUID
                used = 26;
            }
            if (tag != WAVE_FORMAT_PCM || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) ||
                hertz <= 0 || align != channels * bits / 8)
                return nullptr;
            haveFormat = true;
            s.SkipBytes(int(std::min<uint32_t>(size - used + (size & 1), 0x7FFFFFFF)));
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFormat) return nullptr;
            int frameBytes = channels * bits / 8;
            int64_t left = int64_t(s.Size()) - s.Pos();
            // Writers that stream leave the size 0 or too large: take what is there.
            int64_t bytes = (size == 0 || size > left) ? left : int64_t(size);
            int frames = int(std::max<int64_t>(bytes, 0) / frameBytes);
            if (frames == 0) return nullptr;  // nothing to play
            int format = bits == 8 ? (channels == 1 ? FORMAT_MONO8 : FORMAT_STEREO8)
                                   : (channels == 1 ? FORMAT_MONO16LE : FORMAT_STEREO16LE);
            TAudioSamplePtr sample = TAudioSample::Create(frames, hertz, format);
            s.ReadBytes(sample->samples, frames * frameBytes);
            return sample;
        } else {
            s.SkipBytes(int(std::min<uint32_t>(size + (size & 1), 0x7FFFFFFF)));
        }
    }
    return nullptr;
}

}  // namespace kelvora
