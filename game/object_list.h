// The live objects of one entity type in insertion order. An object may
// remove itself (or another) while the list is being walked.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

template <class T>
class object_list {
public:
    using ptr = std::shared_ptr<T>;

    void add(ptr obj)
    {
        items_.push_back(std::move(obj));
        ++live_;
    }
    // Removing an object that is not in the list does nothing. During a walk
    // the slot is only emptied, so the walk's position stays valid.
    void remove(const T* obj)
    {
        for (auto& p : items_) {
            if (p.get() == obj) {
                p.reset();
                --live_;
                if (walking_ == 0)
                    compact();
                return;
            }
        }
    }
    void clear()
    {
        for (auto& p : items_)
            p.reset();
        live_ = 0;
        if (walking_ == 0)
            items_.clear();
    }
    int size() const { return live_; }
    bool empty() const { return live_ == 0; }

    // Calls fn on each object in order, including objects appended meanwhile.
    // Each object is kept alive through its own call; removed ones are skipped.
    template <class Fn>
    void walk(Fn&& fn)
    {
        ++walking_;
        for (std::size_t i = 0; i < items_.size(); ++i) {
            ptr current = items_[i];
            if (current)
                fn(*current);
        }
        if (--walking_ == 0)
            compact();
    }

    // The live objects, in order (a copy).
    std::vector<ptr> snapshot() const
    {
        std::vector<ptr> out;
        for (const auto& p : items_)
            if (p)
                out.push_back(p);
        return out;
    }

private:
    void compact()
    {
        std::erase_if(items_, [](const ptr& p) { return !p; });
    }

    std::vector<ptr> items_;
    int live_ = 0;
    int walking_ = 0;
};
