// The sample loaders over arbitrary bytes: the whole chain, then each loader
// on its own, checking that whatever comes back is well formed.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvora/audio/sample.h"
#include "io/ram_stream.h"

using namespace kelvora;

namespace {

void Check(const TAudioSamplePtr& s)
{
    if (!s) return;
    if (s->length <= 0 || s->format < 1 || s->format > 6 || s->hertz <= 0 || s->capacity != s->ByteCount())
        __builtin_trap();
    // Touch every byte so the sanitizer sees a buffer that is too short.
    volatile uint8_t sum = 0;
    for (int i = 0; i < s->capacity; ++i) sum = uint8_t(sum + s->samples[i]);
    (void)sum;
    // Conversion must cope with anything a loader makes.
    if (s->length < 4096) s->Convert(s->format == FORMAT_MONO8 ? FORMAT_STEREO16BE : FORMAT_MONO8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20)) return 0;
    auto stream = TRamStream::Create(data, int(size));
    TAudioSamplePtr whole = LoadAudioSample(TUrl(TStreamPtr(stream)));
    Check(whole);

    // Decoding in the background must end with exactly the whole decode.
    TAudioSamplePtr part = LoadAudioSampleProgressive(TUrl(TStreamPtr(TRamStream::Create(data, int(size)))));
    if (part) part->Complete();
    if (!part != !whole) __builtin_trap();
    if (part && (part->length != whole->length || part->format != whole->format ||
                 std::memcmp(part->samples, whole->samples, size_t(whole->ByteCount())) != 0))
        __builtin_trap();

    for (TAudioSampleLoader* l = AudioSampleLoaders(); l; l = l->_succ) {
        stream->Seek(0);
        try {
            Check(l->LoadAudioSample(stream));
        } catch (const TStreamException&) {
        }
    }
    return 0;
}
