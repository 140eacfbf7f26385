// COM automation by late binding: newobj comobject makes an IDispatch object from a ProgID or a
// braced CLSID; comget calls a method or reads a property, comset writes one. Values travel as
// VARIANTs both ways; every record of a call is reclaimed whether the call succeeds or fails.
#include <cstdlib>
#include <cstring>

#include "base/runtime_error.h"
#include "base/wstr.h"
#include "image/instruction.h"
#include "image/opcodes.h"
#include "native/native_bridge.h"
#include "platform/windowing.h"
#include "vm/frame.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

#define COM_METHOD __attribute__((stdcall))

struct Guid {
    uint32_t a;
    uint16_t b, c;
    uint8_t d[8];
};
constexpr Guid kIidNull{};
constexpr Guid kIidDispatch{0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct Variant {
    uint16_t vt;
    uint16_t reserved[3];
    union {
        int8_t i1;
        uint8_t ui1;
        int16_t i2;
        uint16_t ui2;
        int32_t i4;
        uint32_t ui4;
        float r4;
        double r8;
        int16_t boolean;
        char16_t* bstr;
        void* object;
    };
};
static_assert(sizeof(Variant) == 16);

struct DispParams {
    Variant* args;
    int32_t* named;
    uint32_t count;
    uint32_t named_count;
};

struct ExcepInfo {
    uint16_t code;
    uint16_t reserved;
    char16_t* source;
    char16_t* description;
    char16_t* help_file;
    uint32_t help_context;
    void* reserved_pointer;
    int32_t(COM_METHOD* deferred_fill_in)(ExcepInfo*);
    int32_t scode;
};
static_assert(sizeof(ExcepInfo) == 32);

struct DispatchTable {
    int32_t(COM_METHOD* query_interface)(void* self, const Guid* iid, void** out);
    uint32_t(COM_METHOD* add_ref)(void* self);
    uint32_t(COM_METHOD* release)(void* self);
    void* type_info_count;
    void* type_info;
    int32_t(COM_METHOD* ids_of_names)(void* self, const Guid* iid, char16_t** names, uint32_t count, uint32_t lcid,
                                      int32_t* ids);
    int32_t(COM_METHOD* invoke)(void* self, int32_t id, const Guid* iid, uint32_t lcid, uint16_t flags,
                                DispParams* params, Variant* result, ExcepInfo* info, uint32_t* arg_error);
};
const DispatchTable& table_of(void* object) { return **static_cast<DispatchTable**>(object); }

enum : uint16_t {
    kVtEmpty = 0, kVtNull = 1, kVtI2 = 2, kVtI4 = 3, kVtR4 = 4, kVtR8 = 5, kVtBstr = 8, kVtDispatch = 9,
    kVtBool = 11, kVtUnknown = 13, kVtI1 = 16, kVtUi1 = 17, kVtUi2 = 18, kVtUi4 = 19, kVtInt = 22, kVtUint = 23,
    kVtVoid = 24,
};
constexpr uint32_t kUserDefaultLocale = 0x400;
constexpr int32_t kDispIdPropertyPut = -3;
constexpr uint16_t kDispatchMethodOrGet = 3, kDispatchPropertyPut = 4;
constexpr int32_t kDispException = static_cast<int32_t>(0x80020009), kInvalidArgument = static_cast<int32_t>(0x80070057);

// The records of one call, reclaimed when it ends, by a return or by a raised error.
struct ComCall {
    Variant* args = nullptr;
    uint32_t count = 0;
    Variant* result = nullptr;
    ExcepInfo info{};

    ~ComCall() {
        for (uint32_t i = 0; i < count; ++i) platform::variant_clear(&args[i]);
        std::free(args);
        if (result) {
            platform::variant_clear(result);
            std::free(result);
        }
        platform::bstr_free(info.source);
        platform::bstr_free(info.description);
        platform::bstr_free(info.help_file);
    }
};

// Raises the message and frees its text on the way out.
[[noreturn]] void raise_text(WStr& m) {
    struct Clear {
        WStr& m;
        ~Clear() { m.clear(); }
    } clear{m};
    raise_runtime_error(m);
}

void to_variant(ValueStack* st, Variant& out) {
    Value& v = pop_slot(st);
    switch (v.tag) {
        case kTagBool:
            out.vt = kVtBool;
            out.boolean = v.v.i ? -1 : 0;
            break;
        case kTagInt:
            out.vt = kVtI4;
            out.i4 = v.v.i;
            break;
        case kTagLong:
            out.vt = kVtI4;
            out.i4 = static_cast<int32_t>(v.v.l);
            break;
        case kTagPointer:
            out.vt = kVtDispatch;
            out.object = v.v.p;
            if (out.object) {
                if (invalid_address(out.object)) raise_runtime_error("COM argument: an invalid object pointer");
                table_of(out.object).add_ref(out.object);
            }
            break;
        case kTagDouble:
            out.vt = kVtR8;
            out.r8 = v.v.d;
            break;
        case kTagString:
            out.bstr = platform::bstr_alloc(v.text.text(), v.text.length);
            if (!out.bstr) raise_runtime_error("Out of memory");
            out.vt = kVtBstr;
            break;
        default:
            out.vt = kVtNull;
            break;
    }
}

[[noreturn]] void raise_com_error(int32_t hr, ExcepInfo& info) {
    WStr m{};
    m.append_narrow("COM Error");
    if (hr == kDispException) {
        if (info.deferred_fill_in) info.deferred_fill_in(&info);
        m.append_narrow("; \r\n");
        if (info.source) {
            m.append_units(info.source, platform::bstr_length(info.source));
            m.append_narrow(": ");
        }
        if (info.description) m.append_units(info.description, platform::bstr_length(info.description));
    } else if (hr == kInvalidArgument) {
        m.append_narrow("; \r\nOne or more arguments are invalid");
    }
    raise_text(m);
}

// Pushes the result by its type; true when the VARIANT itself was handed to the script.
bool push_result(ValueStack* st, Variant* r) {
    switch (r->vt) {
        case kVtEmpty: case kVtNull: case kVtVoid: break;
        case kVtI2: push_int(st, r->i2); break;
        case kVtI4: case kVtUi4: case kVtInt: case kVtUint: push_int(st, r->i4); break;
        case kVtR4: push_double(st, r->r4); break;
        case kVtR8: push_double(st, r->r8); break;
        case kVtBstr: push_string_units(st, r->bstr, platform::bstr_length(r->bstr)); break;
        case kVtBool: push_bool(st, r->boolean != 0); break;
        case kVtI1: push_int(st, r->i1); break;
        case kVtUi1: push_int(st, r->ui1); break;
        case kVtUi2: push_int(st, r->ui2); break;
        case kVtDispatch: case kVtUnknown: {
            void* dispatch = nullptr;
            if (r->object && table_of(r->object).query_interface(r->object, &kIidDispatch, &dispatch) >= 0 && dispatch) {
                table_of(r->object).add_ref(r->object);
                table_of(dispatch).release(dispatch);
                push_pointer(st, r->object);
            } else {
                push_pointer(st, nullptr);
            }
            break;
        }
        default:
            push_pointer(st, r);
            return true;
    }
    return false;
}

bool same(const char16_t* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (*a != static_cast<unsigned char>(*b)) return false;
    return *a == 0 && *b == 0;
}

}  // namespace

void* com_create_object(const WStr& text) {
    void* object = text.length ? platform::com_create_dispatch(text.text()) : nullptr;
    if (!object) {
        WStr m{};
        m.append_narrow("Failed to create COM object <");
        m.append(text);
        m.append_narrow(">\r\n");
        raise_text(m);
    }
    return object;
}

void native_com(Runtime*, Frame* f, Instruction* ins) {
    ValueStack* st = f->stack;
    const bool put = ins->opcode == kOp_comset;
    if (!platform::com_available()) {
        WStr m{};
        m.append_narrow(put ? "comset" : "comget");
        m.append_narrow(": COM automation is not available in this runtime build (Windows only)");
        raise_text(m);
    }
    void* object = pop_pointer(st);
    if (invalid_address(object)) raise_runtime_error(object ? "COM call on an invalid object" : "COM call on a null object");
    const DispatchTable& t = table_of(object);
    char16_t* name = ins->com_name();
    if (same(name, "Release") || same(name, "Free")) {
        push_int(st, static_cast<int32_t>(t.release(object)));
        return;
    }
    if (same(name, "AddRef")) {
        push_int(st, static_cast<int32_t>(t.add_ref(object)));
        return;
    }
    const int32_t n = ins->operand.i;
    if (n < 0 || n > st->count) raise_runtime_error("COM call with more arguments than the stack holds");
    int32_t id = 0;
    t.ids_of_names(object, &kIidNull, &name, 1, kUserDefaultLocale, &id);  // an unknown name fails in Invoke
    ComCall call;
    if (n > 0) {
        call.args = static_cast<Variant*>(std::calloc(static_cast<size_t>(n), sizeof(Variant)));
        if (!call.args) raise_runtime_error("Out of memory");
        for (int32_t i = 0; i < n; ++i) {
            to_variant(st, call.args[i]);  // element 0 is the last argument
            call.count = static_cast<uint32_t>(i + 1);
        }
    }
    int32_t named = kDispIdPropertyPut;
    DispParams params{call.args, put ? &named : nullptr, static_cast<uint32_t>(n), put ? 1u : 0u};
    call.result = static_cast<Variant*>(std::calloc(1, sizeof(Variant)));
    if (!call.result) raise_runtime_error("Out of memory");
    const int32_t hr = t.invoke(object, id, &kIidNull, kUserDefaultLocale, put ? kDispatchPropertyPut : kDispatchMethodOrGet,
                                &params, call.result, &call.info, nullptr);
    if (hr < 0) raise_com_error(hr, call.info);
    if (push_result(st, call.result)) call.result = nullptr;  // the script's now
}

}  // namespace qel
