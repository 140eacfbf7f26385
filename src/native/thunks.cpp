#include "native/thunks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/runtime_error.h"
#include "native/native_state.h"
#include "platform/platform.h"
#include "vm/exceptions.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "vm/runtime.h"
#include "vm/stack_ops.h"

namespace qel {

// ---- the runtime routines a stub calls --------------------------------------------------------

namespace {

// Adds without raising: false when the list cannot grow.
bool add_checked(PtrList& list, void* item) {
    if (list.count == list.capacity && !list.set_capacity(ptr_list_grow(list.capacity))) return false;
    list.items[list.count++] = item;
    return true;
}

// One callback in progress on this thread, from the stub's first routine to its last. A nested
// callback (made while the method runs) replaces it only after the method has taken its object
// and parameters; the result is written back after the method returns.
struct ThunkCall {
    ValueStack* stack;
    void* self;
    int32_t base;      // the stack count at entry
    bool failed;       // a push failed: the method is not run
    void* error;       // the exception object of that failure
    int32_t result;
};
thread_local ThunkCall t_call;

// The calling thread's stack as last found in the registry of that version (no lock and no
// system call while the registry keeps it).
struct KnownStack {
    uint32_t version;
    ValueStack* stack;
};
thread_local KnownStack t_known;

// The stack of the calling thread. A thread the runtime does not know yet (one the system or a
// library made) is registered with a stack of its own on its first callback.
ValueStack* stack_of_this_thread(Runtime* rt) {
    const uint32_t version = rt->threads.version.load(std::memory_order_acquire);
    if (t_known.stack && t_known.version == version) return t_known.stack;
    const uint32_t id = platform::current_thread_id();
    if (ValueStack* s = rt->threads.lookup(id)) {
        t_known = KnownStack{version, s};
        return s;
    }
    ValueStack* s = value_stack_create();
    if (!s) return nullptr;
    NativeLock lock(rt->native);
    if (!add_checked(rt->native->adopted, s)) {
        value_stack_destroy(s);
        return nullptr;
    }
    if (!rt->threads.add(id, s)) {
        rt->native->adopted.remove(s);
        value_stack_destroy(s);
        return nullptr;
    }
    return s;
}

// An error that arose outside any interpreter activation, reported as an unhandled one would be.
void report_callback_error(ThunkContext* c, ValueStack* st, void* error) {
    Frame bare;
    init_bare_frame(bare, st);
    report_unhandled(c->rt, error, false, c->method, &bare);
}

// Native callers keep the stack aligned to 4 bytes only; the runtime's code may keep 16-byte data
// on it (SSE2), so a routine entered from a stub aligns the stack itself.
#define THUNK_ROUTINE __attribute__((cdecl, force_align_arg_pointer))

THUNK_ROUTINE void thunk_enter(ThunkContext* c) noexcept {
    ThunkCall& t = t_call;
    t.self = c->self;
    t.failed = false;
    t.error = nullptr;
    t.result = 0;
    try {
        t.stack = stack_of_this_thread(c->rt);
    } catch (...) {
        t.stack = nullptr;
    }
    if (!t.stack) {
        t.failed = true;
        if (g_vm_hooks.report) g_vm_hooks.report(10, "A callback arrived on a thread that has no value stack and none could be made");
        return;
    }
    t.base = t.stack->count;
}

THUNK_ROUTINE void thunk_set_this(ThunkContext*, void* object) noexcept { t_call.self = object; }

// A push that does not fit the stack: the call fails, and the error is reported when the method
// would have run. Kept out of line so that the pushes themselves stay short.
__attribute__((noinline, cold)) void push_failed(ThunkCall& t) noexcept {
    t.failed = true;
    try {
        stack_overflow();
    } catch (const qel_exception& e) {
        t.error = e.object;
    } catch (...) {
    }
}

// The next slot of the call's stack, or null when the call has failed or the stack is full.
inline Value* next_slot(ThunkCall& t) noexcept {
    if (t.failed) return nullptr;
    ValueStack* s = t.stack;
    if (s->count >= kStackSlots) {
        push_failed(t);
        return nullptr;
    }
    return &s->slots[s->count++];
}

THUNK_ROUTINE void thunk_push_int(ThunkContext*, int32_t word) noexcept {
    if (Value* v = next_slot(t_call)) {
        v->tag = kTagInt;
        v->v.i = word;
    }
}
THUNK_ROUTINE void thunk_push_double(ThunkContext*, double d) noexcept {
    if (Value* v = next_slot(t_call)) {
        v->tag = kTagDouble;
        v->v.d = d;
    }
}
THUNK_ROUTINE void thunk_push_long(ThunkContext*, int64_t l) noexcept {
    if (Value* v = next_slot(t_call)) {
        v->tag = kTagLong;
        v->v.l = l;
    }
}

// The method's result as the word the stub returns: integer kinds as they are (a long by its low
// word); results that cannot travel in EAX (reals, strings, methods) are dropped and give 0.
int32_t result_word(ThunkContext* c, ValueStack* st) {
    Value& v = st->slots[st->count - 1];
    switch (c->result) {
        case 'b': case 'c': case 'e': case 'i': case 'm': case 'n': case 'p': case 'l':
            switch (v.tag) {
                case kTagBool: case kTagByte: case kTagChar: case kTagShort: case kTagInt:
                case kTagPointer: case kTagDispatch: case kTagUnknown:
                    return v.v.i;
                case kTagLong:
                    return static_cast<int32_t>(v.v.l);
                default:
                    try {
                        conversion_error(v.tag, type_name_of_code(c->result));
                    } catch (const qel_exception& e) {
                        --st->count;
                        report_callback_error(c, st, e.object);
                    }
                    return 0;
            }
        default:
            return 0;
    }
}

THUNK_ROUTINE int32_t thunk_invoke(ThunkContext* c) noexcept {
    const ThunkCall t = t_call;  // a nested callback reuses the thread's record
    ValueStack* st = t.stack;
    int32_t result = 0;
    if (st) {
        try {
            if (t.failed) {
                st->count = t.base;
                if (t.error) report_callback_error(c, st, t.error);
            } else {
                run_top_level(c->rt, c->method, t.self, st);
                if (st->count > t.base) result = result_word(c, st);
                st->count = t.base;
            }
        } catch (...) {
            st->count = t.base;
            result = 0;
        }
    }
    t_call.result = result;
    return result;
}

THUNK_ROUTINE int32_t thunk_pop_int(ThunkContext*) noexcept { return t_call.result; }

}  // namespace

const ThunkRoutines& thunk_routines() {
    static const ThunkRoutines r{reinterpret_cast<const void*>(&thunk_enter),
                                 reinterpret_cast<const void*>(&thunk_set_this),
                                 reinterpret_cast<const void*>(&thunk_push_int),
                                 reinterpret_cast<const void*>(&thunk_push_double),
                                 reinterpret_cast<const void*>(&thunk_push_long),
                                 reinterpret_cast<const void*>(&thunk_invoke),
                                 reinterpret_cast<const void*>(&thunk_pop_int)};
    return r;
}

// ---- stub assembly -----------------------------------------------------------------------------

namespace {

struct Emitter {
    uint8_t* out;
    uint32_t cap;
    uint32_t n = 0;
    bool overflow = false;

    void byte(uint32_t b) {
        if (n < cap) out[n] = static_cast<uint8_t>(b);
        else overflow = true;
        ++n;
    }
    void bytes(std::initializer_list<uint32_t> list) {
        for (uint32_t b : list) byte(b);
    }
    void word(const void* p) {
        uint32_t w = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
        for (int i = 0; i < 4; ++i) byte(w >> (8 * i));
    }
    void push_context() { bytes({0xFF, 0x75, 0xFC}); }               // push dword [ebp-4]
    void call(const void* routine) {                                  // mov eax, routine; call eax
        byte(0xB8);
        word(routine);
        bytes({0xFF, 0xD0});
    }
};

}  // namespace

StubResult assemble_stub(uint8_t* out, uint32_t cap, const void* context, int convention, const char* codes,
                         int count, char result, const ThunkRoutines& r) {
    if (convention < 0 || convention > 2) return {StubStatus::bad_convention, 0, -1};
    const bool thiscall = convention == 2;
    // Every parameter must be transferable and addressable before a byte is written.
    int o = 8;
    for (int i = 0; i < count; ++i) {
        const char code = codes[i];
        const int width = code == 'd' || code == 'l' ? 8 : std::strchr("imnp", code) && code ? 4 : 0;
        if (width == 0) return {StubStatus::bad_parameter, 0, i};
        if (o + width - 4 > kMaxDisplacement) return {StubStatus::displacement, 0, i};
        o += width;
    }
    Emitter e{out, cap};
    e.bytes({0x55, 0x8B, 0xEC, 0x51});                     // push ebp; mov ebp, esp; push ecx
    if (thiscall) e.byte(0x51);                            // push ecx: the object at [ebp-8]
    e.bytes({0xC7, 0x45, 0xFC});                           // mov dword [ebp-4], context
    e.word(context);
    e.push_context();
    e.call(r.enter);
    e.byte(0x59);                                          // pop ecx
    if (thiscall) {
        e.push_context();                                  // (context, [ebp-8])
        e.call(r.set_this);
        e.bytes({0x83, 0xC4, 0x08});                       // add esp, 8
    }
    o = 8;
    for (int i = 0; i < count; ++i) {
        const char code = codes[i];
        if (code == 'd' || code == 'l') {
            e.bytes({0xFF, 0x75, static_cast<uint32_t>(o + 4), 0xFF, 0x75, static_cast<uint32_t>(o)});
            e.push_context();
            e.call(code == 'd' ? r.push_double : r.push_long);
            e.bytes({0x83, 0xC4, 0x0C});                   // add esp, 12
            o += 8;
        } else {
            e.bytes({0xFF, 0x75, static_cast<uint32_t>(o)});
            e.push_context();
            e.call(r.push_int);
            e.bytes({0x83, 0xC4, 0x08});                   // add esp, 8
            o += 4;
        }
    }
    e.push_context();
    e.call(r.invoke);
    if (result == 'i' || result == 'n' || result == 'p') {
        e.byte(0x59);
        e.push_context();
        e.call(r.pop_int);
    }
    e.bytes({0x59, 0x59, 0x5D});                           // pop ecx; pop ecx; pop ebp
    if (convention == 1)
        e.byte(0xC3);                                      // ret
    else
        e.bytes({0xC2, static_cast<uint32_t>(o - 8), 0x00});  // ret o-8
    if (e.overflow) return {StubStatus::too_long, e.n, -1};
    return {StubStatus::ok, e.n, -1};
}

// ---- pages, records and EntryPoint -----------------------------------------------------------

uint8_t* thunk_take(ThunkStore& store, uint32_t size) {
    if (!store.page_size) store.page_size = platform::page_size();
    if (size > store.page_size) return nullptr;
    if (store.page && store.fill + size <= store.page_size) return store.page + store.fill;
    auto* page = static_cast<uint8_t*>(platform::executable_alloc(store.page_size));
    if (!page) return nullptr;
    platform::executable_flush(page, store.page_size);
    if (!add_checked(store.pages, page)) {
        platform::executable_release(page, store.page_size);
        return nullptr;
    }
    store.page = page;  // the rest of the previous page is left unused
    store.fill = 0;
    return page;
}

NativeState* native_state_create() {
    auto* s = static_cast<NativeState*>(std::calloc(1, sizeof(NativeState)));
    if (!s) return nullptr;
    platform::mutex_init(s->lock);
    return s;
}

void native_state_destroy(Runtime* rt, NativeState* s) {
    if (!s) return;
    ThunkStore& store = s->thunks;
    if (store.records) {
        for (int32_t i = 0; i < store.records->count; ++i) {
            auto* r = static_cast<ThunkRecord*>((*store.records)[i]);
            std::free(r->name);
            std::free(r->context);
            std::free(r);
        }
        ptr_list_destroy(store.records);
    }
    std::free(store.staging);
    for (int32_t i = 0; i < store.pages.count; ++i) platform::executable_release(store.pages[i], store.page_size);
    store.pages.clear();
    for (int32_t i = 0; i < s->adopted.count; ++i) {
        auto* stack = static_cast<ValueStack*>(s->adopted[i]);
        for (int32_t k = 0; k < rt->threads.entries.count; ++k) {
            auto* e = static_cast<ThreadEntry*>(rt->threads.entries[k]);
            if (e->stack == stack) {
                rt->threads.remove(e->thread_id);
                break;
            }
        }
        value_stack_destroy(stack);
    }
    s->adopted.clear();
    platform::mutex_destroy(s->lock);
    std::free(s);
}

namespace {

// The reserved entry names, checked before any thunk is made. The window and thread procedures
// of the first four come with the window support; until a procedure is plugged in here, asking
// for its name is a runtime error.
struct ReservedEntry {
    const char* name;
    void* (*procedure)();
};
const ReservedEntry kReservedEntries[] = {
    {"InitWndProc", nullptr},
    {"StdWndProc", nullptr},
    {"ExtWndProc", nullptr},
    {"ThreadProc", nullptr},
    {"DefWindowProc", platform::default_window_procedure},
};

[[noreturn]] void refuse(const char* name, const char* why) {
    char text[320];
    std::snprintf(text, sizeof text, "EntryPoint <%.200s>: %s", name, why);
    raise_runtime_error(text);
}

ThunkRecord* cached(ThunkStore& store, const char* name) {
    if (!store.records) return nullptr;
    for (int32_t i = 0; i < store.records->count; ++i) {
        auto* r = static_cast<ThunkRecord*>((*store.records)[i]);
        if (r->name && std::strcmp(r->name, name) == 0) return r;
    }
    return nullptr;
}

ThunkRecord* make_thunk(Runtime* rt, const char* name, int convention) {
    ThunkStore& store = rt->native->thunks;
    if (ThunkRecord* r = cached(store, name)) return r;  // the first request fixed the convention
    if (!store.records) {
        store.records = ptr_list_create();
        store.staging = static_cast<uint8_t*>(std::calloc(1, kStagingBytes));
        store.staged = 0;
        if (!store.records || !store.staging) {
            ptr_list_destroy(store.records);
            std::free(store.staging);
            store.records = nullptr;
            store.staging = nullptr;
            raise_runtime_error("Out of memory");
        }
    }
    Instruction* method = rt->program.code.method(name);
    if (!method) refuse(name, "no method of that name");
    MethodRecord* m = method->method();
    const int params = method->param_count();
    auto* context = static_cast<ThunkContext*>(std::calloc(1, sizeof(ThunkContext)));
    auto* record = static_cast<ThunkRecord*>(std::calloc(1, sizeof(ThunkRecord)));
    char* copy = strdup(name);
    auto give_up = [&](const char* why) {
        std::free(context);
        std::free(record);
        std::free(copy);
        std::memset(store.staging, 0, kStagingBytes);
        store.staged = 0;
        refuse(name, why);
    };
    if (!context || !record || !copy) give_up("out of memory");
    *context = ThunkContext{rt, method, nullptr, &rt->stack, static_cast<char>(m->type)};
    StubResult s = assemble_stub(store.staging, kStagingBytes, context, convention, m->var_types, params,
                                 static_cast<char>(m->type), thunk_routines());
    char why[96] = "";
    switch (s.status) {
        case StubStatus::ok:
            break;
        case StubStatus::bad_convention:
            std::snprintf(why, sizeof why, "the calling convention must be 0, 1 or 2");
            break;
        case StubStatus::bad_parameter:
            std::snprintf(why, sizeof why, "parameter %d has type '%c', which a callback cannot pass", s.bad_index + 1,
                          m->var_types[s.bad_index]);
            break;
        case StubStatus::displacement:
            std::snprintf(why, sizeof why, "parameter %d lies more than %d bytes up the stack", s.bad_index + 1,
                          kMaxDisplacement);
            break;
        case StubStatus::too_long:
            std::snprintf(why, sizeof why, "the stub needs %u bytes, more than %u", s.size, kStagingBytes);
            break;
    }
    if (s.status != StubStatus::ok) give_up(why);
    store.staged = s.size;
    uint8_t* at = thunk_take(store, store.staged);
    if (!at || !add_checked(*store.records, record)) give_up("no executable memory");
    std::memcpy(at, store.staging, store.staged);
    platform::executable_flush(at, store.staged);
    store.fill += store.staged;
    store.staged = 0;
    std::memset(store.staging, 0, kStagingBytes);
    record->name = copy;
    record->code = at;
    record->context = context;
    return record;
}

}  // namespace

void* entry_point(Runtime* rt, const char* name, int32_t convention) {
    for (const ReservedEntry& r : kReservedEntries) {
        if (std::strcmp(r.name, name) != 0) continue;
        void* p = r.procedure ? r.procedure() : nullptr;
        if (!p) refuse(name, "this window or thread procedure is not available in this runtime build");
        return p;
    }
    if (convention < 0 || convention > 2) refuse(name, "the calling convention must be 0, 1 or 2");
    NativeLock lock(rt->native);
    return make_thunk(rt, name, convention)->code;
}

ThunkRecord* find_thunk(Runtime* rt, const char* name) {
    NativeLock lock(rt->native);
    return cached(rt->native->thunks, name);
}

}  // namespace qel
