// Lets a backend see the platform's raw events (an SDL_Event*) as the system
// driver takes them from the queue, before they become engine events; the
// graphics backend uses it for window events such as exposure and focus.
#pragma once

namespace kelvora {

using TPlatformEventHandler = void (*)(const void* platform_event, void* context);

void AddPlatformEventHandler(TPlatformEventHandler handler, void* context);
void RemovePlatformEventHandler(TPlatformEventHandler handler, void* context);
// Calls every handler in the order they were added.
void DispatchPlatformEvent(const void* platform_event);

}  // namespace kelvora
