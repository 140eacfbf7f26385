// Clearing a list together with what its elements point to: script objects, or heap records
// with string fields.
#include <cstdlib>
#include <unordered_set>

#include "base/ptr_list.h"
#include "types/descriptors.h"
#include "vm/frame.h"
#include "vm/objects.h"

namespace qel {

namespace {

// The elements taken out of a list, so that code run while they are released (destructors)
// sees the list already empty and cannot move the array under the loop. Whatever has not been
// released when the loop stops early (an exception) goes back into the list.
struct Detached {
    PtrList& list;
    void** items;
    int32_t count;
    int32_t next = 0;  // first element not yet handed out

    explicit Detached(PtrList& l) : list(l), items(l.items), count(l.count) { l = PtrList{}; }
    Detached(const Detached&) = delete;
    Detached& operator=(const Detached&) = delete;

    ~Detached() {
        for (int32_t i = next; i < count; ++i) {
            if (list.count == list.capacity && !list.set_capacity(ptr_list_grow(list.capacity))) break;
            list.items[list.count++] = items[i];
        }
        std::free(items);
    }

    // The next element to release, skipping nulls and elements already handed out.
    bool take(void*& item, std::unordered_set<void*>& seen) {
        while (next < count) {
            item = items[next++];
            if (item && seen.insert(item).second) return true;
        }
        return false;
    }
};

}  // namespace

void clear_objects(Runtime* rt, PtrList& list, Frame* f) {
    if (list.count == 0) {
        list.clear();
        return;
    }
    Detached d(list);
    std::unordered_set<void*> seen;
    void* obj;
    while (d.take(obj, seen)) {
        release_object(rt, obj, f);
        // A destructor left an exception for the caller: stop here, the rest stay listed.
        if (f && f->pending) break;
    }
}

void clear_items(Runtime* rt, PtrList& list, const CClass* item_class, Frame* f) {
    if (list.count == 0) return;
    if (item_class && !item_class->is_struct) {
        clear_objects(rt, list, f);
        return;
    }
    Detached d(list);
    std::unordered_set<void*> seen;
    void* block;
    while (d.take(block, seen)) {
        if (item_class) free_string_fields(block, item_class);
        std::free(block);
    }
}

}  // namespace qel
