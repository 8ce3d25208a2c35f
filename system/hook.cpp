#include "kelvora/system/hook.h"

#include "kelvora/runtime/errors.h"

namespace kelvora {

namespace {
int next_hook_id = 0;

std::shared_ptr<THook>& Head(int id)
{
    static std::shared_ptr<THook> heads[MAX_HOOK_IDS];
    return heads[id];
}

bool ValidId(int id) { return id >= 0 && id < MAX_HOOK_IDS; }
}  // namespace

int AllocHookId()
{
    if (next_hook_id >= MAX_HOOK_IDS) throw TRuntimeException("Too many hook ids");
    return next_hook_id++;
}

void AddHook(int id, THookFunc func, THookData context, int priority)
{
    if (!ValidId(id) || !func) return;
    auto hook = std::make_shared<THook>();
    hook->priority = priority;
    hook->func = func;
    hook->context = std::move(context);
    std::shared_ptr<THook>* link = &Head(id);
    while (*link && (*link)->priority >= priority) link = &(*link)->succ;
    hook->succ = *link;
    *link = hook;
}

void RemoveHook(int id, THookFunc func, THookData context)
{
    if (!ValidId(id)) return;
    std::shared_ptr<THook>* link = &Head(id);
    while (*link) {
        if ((*link)->func == func && (*link)->context == context) {
            // The removed hook keeps its succ, so a run standing on it goes on.
            *link = (*link)->succ;
            return;
        }
        link = &(*link)->succ;
    }
}

THookData RunHooks(int id, THookData data)
{
    if (!ValidId(id)) return data;
    for (std::shared_ptr<THook> hook = Head(id); hook; hook = hook->succ) data = hook->func(id, data, hook->context);
    return data;
}

}  // namespace kelvora
