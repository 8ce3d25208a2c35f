#include "kelvora/system/event.h"

#include "kelvora/system/hook.h"

namespace kelvora {

namespace {
const char* KnownName(int id)
{
    switch (id) {
    case 257: return "AppSuspend";
    case 258: return "AppResume";
    case 259: return "AppTerminate";
    case 260: return "AppOpenFile";
    case 261: return "AppIdle";
    case 513: return "KeyDown";
    case 514: return "KeyUp";
    case 515: return "KeyChar";
    case 516: return "KeyRepeat";
    case 1025: return "MouseDown";
    case 1026: return "MouseUp";
    case 1027: return "MouseMove";
    case 1028: return "MouseWheel";
    case 1029: return "MouseEnter";
    case 1030: return "MouseLeave";
    case 2049: return "TimerTick";
    case 8193: return "GadgetAction";
    case 8194: return "GadgetPaint";
    case 8195: return "GadgetSelect";
    case 8196: return "GadgetMenu";
    case 8197: return "GadgetOpen";
    case 8198: return "GadgetClose";
    case 8199: return "GadgetDone";
    case 8200: return "GadgetLostFocus";
    case 8201: return "GadgetShape";
    case 16385: return "WindowMove";
    case 16386: return "WindowSize";
    case 16387: return "WindowClose";
    case 16388: return "WindowActivate";
    case 16389: return "WindowAccept";
    case 32769: return "MenuAction";
    case 65537: return "StreamEof";
    case 65538: return "StreamAvail";
    case 131073: return "ProcessExit";
    default: return nullptr;
    }
}

int next_user_id = int(0x80000000u);
}  // namespace

std::string EventName(int id)
{
    if (const char* name = KnownName(id)) return name;
    if (id < 0) return "UserEvent" + std::to_string(int64_t(id) + 0x80000000ll);
    return "Unknown Event, id=" + std::to_string(id);
}

std::shared_ptr<TEvent> TEvent::Create(int id, std::shared_ptr<void> source, int data, int mods, int x, int y,
                                       std::any extra)
{
    auto event = std::make_shared<TEvent>();
    event->id = id;
    event->source = std::move(source);
    event->data = data;
    event->mods = mods;
    event->x = x;
    event->y = y;
    event->extra = std::move(extra);
    return event;
}

void TEvent::Emit()
{
    std::shared_ptr<TEvent> self = weak_from_this().lock();
    // An event that lives on the stack is passed without ownership; hooks
    // that keep events must only keep ones made by Create.
    if (!self) self = std::shared_ptr<TEvent>(std::shared_ptr<TEvent>(), this);
    RunHooks(EmitEventHook(), self);
}

std::string TEvent::ToString() const
{
    std::string text;
    if (const std::string* s = std::any_cast<std::string>(&extra)) text = *s;
    return EventName(id) + ": data=" + std::to_string(data) + ", mods=" + std::to_string(mods) +
           ", x=" + std::to_string(x) + ", y=" + std::to_string(y) + ", extra=\"" + text + "\"";
}

int TEvent::AllocUserId()
{
    next_user_id = int(uint32_t(next_user_id) + 1u);
    return next_user_id;
}

int EmitEventHook()
{
    static const int id = AllocHookId();
    return id;
}

}  // namespace kelvora
