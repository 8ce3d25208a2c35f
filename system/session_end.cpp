#include "system/session_end.h"

#include "system/hook.h"

int SessionEndHook()
{
    static const int id = AllocHookId();
    return id;
}
