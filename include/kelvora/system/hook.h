/// @file
/// Hook chains: numbered lists of callbacks, each kept in descending priority
/// order. An event, a flip or any other engine happening runs its chain and
/// every hook may pass on (or replace) the data. Chains run on the main
/// thread; add and remove hooks there too.
#pragma once

#include <memory>

namespace kelvora {

/// Any engine object, or null. The hook id decides what it really is (the
/// event chain passes a TEvent).
using THookData = std::shared_ptr<void>;
/// A hook: gets the chain's id, the data so far and its own context, and
/// returns the data for the next hook (usually data itself).
using THookFunc = THookData (*)(int id, THookData data, THookData context);

/// One entry of a hook chain.
/// A hook removed while its chain runs stays alive until the run has passed
/// it, so hooks may remove themselves or others.
struct THook {
    std::shared_ptr<THook> succ;  ///< The next hook of the chain
    int priority = 0;             ///< Higher runs first
    THookFunc func = nullptr;     ///< The callback
    THookData context;            ///< Passed to func; kept alive while the hook is linked
};

/// How many hook ids there are.
constexpr int MAX_HOOK_IDS = 256;

/// The next free hook id, from 0; throws TRuntimeException "Too many hook ids"
/// once all 256 are taken.
int AllocHookId();

/// Inserts after every hook of that id whose priority is >= priority (so among
/// equal priorities the newer runs later). Ids outside 0..255 are ignored.
void AddHook(int id, THookFunc func, THookData context, int priority = 0);
/// Unlinks the first hook with the same func and context (same object).
void RemoveHook(int id, THookFunc func, THookData context);
/// Calls every hook in chain order, each getting the previous one's result;
/// returns the last result (data itself when the chain is empty).
THookData RunHooks(int id, THookData data);

}  // namespace kelvora
