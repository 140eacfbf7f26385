#include "native/native_bridge.h"

#include <cstdio>
#include <cstring>

#include "base/runtime_error.h"
#include "base/wstr.h"
#include "image/instruction.h"
#include "image/opcodes.h"
#include "native/native_call.h"
#include "native/procedures.h"
#include "vm/frame.h"
#include "vm/runtime.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

// Argument words of one call, laid out on the C stack like the machine stack they are copied to.
constexpr int kMaxArgumentWords = 256;

[[noreturn]] void raise_about(const char* format, const char* name) {
    char text[320];
    std::snprintf(text, sizeof text, format, name ? name : "");
    raise_runtime_error(text);
}

inline uint32_t word_of(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

[[noreturn]] void wrong_kind(const Value& v, char code) { conversion_error(v.tag, type_name_of_code(code)); }

}  // namespace

void call_native(CLibProc* d, ValueStack* st, void* object) {
    if (!d->proc) raise_about("Native procedure <%s> has no entry point", d->name);
    uint32_t words[kMaxArgumentWords];
    uint32_t* sp = words + kMaxArgumentWords;  // grows down: the last parameter lies highest
    const int32_t before = st->count;
    const char* codes = d->param_labels;
    for (int32_t i = d->param_count - 1; i >= 0; --i) {
        if (sp - words < 3) raise_about("Native procedure <%s> has too many parameters", d->name);
        const char code = codes[i];
        switch (code) {
            case 'b': case 'c': case 'e': case 'i': case 'm': {
                Value& v = pop_slot(st);
                if (v.tag != kTagInt && v.tag != kTagBool) wrong_kind(v, code);
                *--sp = v.v.u;  // the whole word, no narrowing
                break;
            }
            case 'd': {
                Value& v = pop_slot(st);
                if (v.tag != kTagDouble) wrong_kind(v, code);
                uint64_t bits;
                std::memcpy(&bits, &v.v.d, 8);
                *--sp = static_cast<uint32_t>(bits >> 32);
                *--sp = static_cast<uint32_t>(bits);
                break;
            }
            case 'f': {
                Value& v = pop_slot(st);
                float f;
                switch (v.tag) {
                    case kTagDouble: f = static_cast<float>(v.v.d); break;
                    case kTagInt: f = static_cast<float>(v.v.i); break;
                    case kTagLong: f = static_cast<float>(v.v.l); break;
                    default: wrong_kind(v, code);
                }
                uint32_t bits;
                std::memcpy(&bits, &f, 4);
                *--sp = bits;
                break;
            }
            case 'l': {
                Value& v = pop_slot(st);
                int64_t l;
                switch (v.tag) {
                    case kTagLong: l = v.v.l; break;
                    case kTagInt: case kTagBool: l = v.v.i; break;
                    default: wrong_kind(v, code);
                }
                *--sp = static_cast<uint32_t>(static_cast<uint64_t>(l) >> 32);
                *--sp = static_cast<uint32_t>(l);
                break;
            }
            case 'n': {
                Value& v = pop_slot(st);
                switch (v.tag) {
                    case kTagInt: case kTagPointer: *--sp = v.v.u; break;
                    case kTagLong: *--sp = static_cast<uint32_t>(v.v.l); break;
                    case kTagString: *--sp = word_of(v.text.buffer); break;  // null when it never held text
                    default: wrong_kind(v, code);
                }
                break;
            }
            case 'p': case 's': case 'v': {
                Value& v = pop_slot(st);
                switch (v.tag) {
                    case kTagPointer: case kTagDispatch: case kTagUnknown: case kTagInt: *--sp = v.v.u; break;
                    case kTagString: *--sp = word_of(v.text.text()); break;
                    default: wrong_kind(v, code);
                }
                break;
            }
            default:  // nothing is popped and nothing is passed (a method value among them)
                break;
        }
    }
    NativeCall call{};
    call.fn = d->proc;
    if (object) {
        if (d->type == kThisCall)
            call.ecx = object;
        else
            *--sp = word_of(object);
    }
    call.args = sp;
    call.words = static_cast<uint32_t>(words + kMaxArgumentWords - sp);
    call.fpu = d->return_type == 'd' ? kFpuDouble : d->return_type == 'f' ? kFpuSingle : kFpuNone;
    // The popped arguments keep their slots while the native code runs: it may read the text of a
    // string argument while a callback into script code pushes on this same stack.
    const int32_t after = st->count;
    st->count = before;
    qel_native_call(&call);
    st->count = after;
    switch (d->return_type) {
        case 'v': break;
        case 'i': case 'n': push_int(st, static_cast<int32_t>(call.eax)); break;
        case 'p': push_pointer(st, reinterpret_cast<void*>(static_cast<uintptr_t>(call.eax))); break;
        case 'm': push_int(st, static_cast<int16_t>(call.eax)); break;
        case 'f': push_double(st, call.st0_single); break;
        case 'd': push_double(st, call.st0); break;
        case 'l': push_long(st, static_cast<int64_t>(static_cast<uint64_t>(call.edx) << 32 | call.eax)); break;
        default: push_int(st, static_cast<int32_t>(call.eax)); break;
    }
}

void native_libproc(Runtime* rt, Frame* f, Instruction* ins) {
    CLibProc* d = ins->proc();
    if (!d) {
        const char* name = rt ? rt->program.code.name_of(ins) : nullptr;
        raise_about("Native procedure <%s> is not declared", name ? name : "");
    }
    call_native(d, f->stack, nullptr);
}

void native_callcvirt(Runtime*, Frame* f, Instruction* ins) {
    void* object = pop_pointer(f->stack);
    const int32_t slot = ins->operand.i;
    if (invalid_address(object)) raise_runtime_error("Native interface call on an invalid object");
    auto* const* table = *static_cast<void* const* const*>(object);
    if (invalid_address(table)) raise_runtime_error("Native interface call on an object without a function table");
    if (slot < 0) raise_runtime_error("Native interface call with a negative slot");
    // The temporary descriptor lives on this stack for the length of the call.
    CLibProc temp{};
    temp.proc = table[slot];
    static const VirtualCallSignature kNone{};
    const VirtualCallSignature& sig = ins->signature() ? *ins->signature() : kNone;
    temp.type = static_cast<uint8_t>(sig.convention);
    temp.return_type = static_cast<uint8_t>(sig.result);
    temp.param_labels = sig.labels ? sig.labels : const_cast<char*>("");
    temp.param_count = sig.labels ? sig.name_length : 0;
    if (temp.type == kCdecl) temp.esp_size = cdecl_bytes(temp.param_labels);
    char name[32];
    std::snprintf(name, sizeof name, "slot %d", static_cast<int>(slot));
    temp.name = name;
    call_native(&temp, f->stack, object);
}

void native_call_address(ValueStack* st) {
    const int32_t convention = pop_int(st);
    WStr& codes_text = pop_string(st);
    const int32_t result = pop_int(st);
    void* address = pop_pointer(st);
    // The codes are ASCII letters: one byte per unit, on the C stack.
    char codes[256];
    if (codes_text.length >= sizeof codes) raise_runtime_error("Native call with too many parameters");
    for (uint32_t i = 0; i < codes_text.length; ++i) {
        const char16_t u = codes_text.buffer[i];
        codes[i] = u < 0x80 ? static_cast<char>(u) : '?';
    }
    codes[codes_text.length] = 0;
    CLibProc temp{};
    temp.proc = address;
    temp.type = static_cast<uint8_t>(convention);
    temp.return_type = static_cast<uint8_t>(result);
    temp.param_labels = codes;
    temp.param_count = static_cast<int32_t>(codes_text.length);
    if (temp.type == kCdecl) temp.esp_size = cdecl_bytes(codes);
    char name[] = "(address)";
    temp.name = name;
    call_native(&temp, st, nullptr);
}

}  // namespace qel
