#include "kelvora/io/incbin.h"

namespace kelvora {

namespace {

struct TIncbinEntry {
    TIncbinEntry* succ;
    std::string name;
    const unsigned char* data;
    int64_t size;
};

// Newest first; entries live for the whole run.
TIncbinEntry*& Head()
{
    static TIncbinEntry* head = nullptr;
    return head;
}

const TIncbinEntry* Find(const std::string& name)
{
    for (const TIncbinEntry* e = Head(); e; e = e->succ)
        if (e->name == name) return e;
    return nullptr;
}

} // namespace

int IncbinAdd(const std::string& name, const unsigned char* data, int64_t size)
{
    if (Find(name)) return 0;
    Head() = new TIncbinEntry{Head(), name, data, size < 0 ? 0 : size};
    return 1;
}

const unsigned char* IncbinPtr(const std::string& name)
{
    const TIncbinEntry* e = Find(name);
    return e ? e->data : nullptr;
}

int64_t IncbinLen(const std::string& name)
{
    const TIncbinEntry* e = Find(name);
    return e ? e->size : 0;
}

}  // namespace kelvora
