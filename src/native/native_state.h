// The native bridge's part of the Runtime: the lock that serialises declarations and thunk
// creation made at run time, the callback thunks with their executable pages, and the stacks
// made for threads that entered script code through a callback without being registered.
#pragma once
#include <cstdint>

#include "base/ptr_list.h"
#include "platform/platform.h"

namespace qel {

struct Runtime;

// Executable memory handed out densely, one system page at a time, and the thunks made in it.
struct ThunkStore {
    uint8_t* page;       // the current page
    uint8_t* staging;    // where a stub is assembled (kStagingBytes), made with the first thunk
    uint32_t page_size;
    uint32_t staged;     // bytes assembled in staging
    uint32_t fill;       // bytes used in the current page
    PtrList* records;    // ThunkRecord*, made with the first thunk
    PtrList pages;       // every page taken
};

struct NativeState {
    platform::Mutex lock;
    ThunkStore thunks;
    PtrList adopted;     // ValueStack* of threads registered on their first callback
};

NativeState* native_state_create();
// Releases every thunk record and page, and the stacks of adopted threads (taking them out of
// the thread registry).
void native_state_destroy(Runtime* rt, NativeState* state);

// Holds the bridge's lock for a scope.
struct NativeLock {
    platform::Mutex& m;
    explicit NativeLock(NativeState* s) : m(s->lock) { platform::mutex_lock(m); }
    ~NativeLock() { platform::mutex_unlock(m); }
    NativeLock(const NativeLock&) = delete;
    NativeLock& operator=(const NativeLock&) = delete;
};

// The next size bytes of executable memory (a new page when they do not fit the current one);
// the caller copies its code there. Null when no page can be had or size exceeds a page.
uint8_t* thunk_take(ThunkStore& store, uint32_t size);

}  // namespace qel
