#include "kelvora/system/session_end.h"

#include "kelvora/system/hook.h"

namespace kelvora {

int SessionEndHook()
{
    static const int id = AllocHookId();
    return id;
}

}  // namespace kelvora
