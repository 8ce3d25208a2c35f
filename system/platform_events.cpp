#include "system/platform_events.h"

#include <utility>
#include <vector>

namespace kelvora {

namespace {
std::vector<std::pair<TPlatformEventHandler, void*>>& Handlers()
{
    static std::vector<std::pair<TPlatformEventHandler, void*>> handlers;
    return handlers;
}
}  // namespace

void AddPlatformEventHandler(TPlatformEventHandler handler, void* context)
{
    if (handler) Handlers().emplace_back(handler, context);
}

void RemovePlatformEventHandler(TPlatformEventHandler handler, void* context)
{
    auto& hs = Handlers();
    for (auto it = hs.begin(); it != hs.end(); ++it) {
        if (it->first == handler && it->second == context) {
            hs.erase(it);
            return;
        }
    }
}

void DispatchPlatformEvent(const void* platform_event)
{
    // A copy, so a handler may remove itself.
    auto hs = Handlers();
    for (auto& [handler, context] : hs) handler(platform_event, context);
}

}  // namespace kelvora
