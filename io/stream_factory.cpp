#include "kelvora/io/stream_factory.h"

#include "io/ram_stream.h"

namespace kelvora {

namespace {

TStreamFactory* g_head = nullptr;

// The stream modules' start-up: one factory object each. Called before any
// factory links itself, so factories made later by the program come first.
void StartStreamModules()
{
    static bool started = false;
    if (started) return;
    started = true;
    static TRamStreamFactory ram;
}

} // namespace

TStreamFactory::TStreamFactory()
{
    StartStreamModules();
    _succ = g_head;
    g_head = this;
}

TStreamFactory::~TStreamFactory()
{
    for (TStreamFactory** p = &g_head; *p; p = &(*p)->_succ) {
        if (*p == this) {
            *p = _succ;
            break;
        }
    }
}

TStreamPtr TStreamFactory::CreateStream(const TUrl&, const std::string&, const std::string&, int, int)
{
    return nullptr;
}

TStreamFactory* StreamFactories()
{
    StartStreamModules();
    return g_head;
}

}  // namespace kelvora
