#include "native/native_classes.h"

#include "native/native_bridge.h"

#include <cstdlib>
#include <cstring>

#include "base/runtime_error.h"
#include "base/wstr.h"
#include "image/instruction.h"
#include "image/opcodes.h"
#include "platform/platform.h"
#include "vm/frame.h"
#include "vm/runtime.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

// ---- the memory of one block -----------------------------------------------------------------

// Counted arrays (PString, PAnsiString) keep their element count in the word before element 0.
void* counted_array(int32_t count, size_t element) {
    if (count < 0 || static_cast<size_t>(count) > (0x7FFFFFF0u - 4) / element) return nullptr;
    auto* base = static_cast<int32_t*>(std::calloc(1, 4 + static_cast<size_t>(count) * element));
    if (!base) return nullptr;
    base[0] = count;
    return base + 1;
}
int32_t counted_length(const void* p) { return static_cast<const int32_t*>(p)[-1]; }
void counted_free(void* p) { std::free(static_cast<int32_t*>(p) - 1); }

struct AnsiRecord {  // a PAnsiString element
    char* text;
    int32_t length;
};
static_assert(sizeof(AnsiRecord) == 8);

void check(const void* p) {
    if (invalid_address(p)) raise_runtime_error("Native memory access at an invalid address");
}

// Text of a 0-terminated byte string in a code page, pushed as a string Value.
void push_from_bytes(ValueStack* st, uint32_t code_page, const char* bytes) {
    if (!bytes || !bytes[0]) {
        push_string(st, kEmptyText);
        return;
    }
    int n = platform::to_utf16(code_page, bytes, -1, nullptr, 0);
    if (n <= 1) {
        push_string(st, kEmptyText);
        return;
    }
    auto* w = static_cast<char16_t*>(std::malloc(static_cast<size_t>(n) * sizeof(char16_t)));
    if (!w) raise_runtime_error("Out of memory");
    n = platform::to_utf16(code_page, bytes, -1, w, n);
    push_string_units(st, w, n > 0 ? static_cast<uint32_t>(n - 1) : 0);
    std::free(w);
}

// A string as a new 0-terminated byte string of a code page, sized by the converter; *length
// receives the bytes before the terminator. Null when memory runs out.
char* bytes_of(const WStr& s, uint32_t code_page, int32_t* length = nullptr) {
    int n = s.length ? platform::from_utf16(code_page, s.text(), static_cast<int>(s.length) + 1, nullptr, 0) : 1;
    if (n <= 0) n = 1;
    auto* out = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
    if (!out) return nullptr;
    out[0] = 0;
    if (s.length && platform::from_utf16(code_page, s.text(), static_cast<int>(s.length) + 1, out, n) <= 0) out[0] = 0;
    out[n - 1] = 0;
    if (length) *length = static_cast<int32_t>(std::strlen(out));
    return out;
}

// ---- members ---------------------------------------------------------------------------------

using Member = void (*)(ValueStack* st, void* p);

template <typename T>
T& element(void* p, ValueStack* st) {
    const int32_t index = pop_int(st);
    check(p);
    return static_cast<T*>(p)[index];
}

// Write(index, value): the value is popped (and converted) before the index and the store.
template <typename T, typename Pop>
void write_element(ValueStack* st, void* p, Pop pop) {
    auto value = pop(st);
    T& e = element<T>(p, st);
    e = static_cast<T>(value);
}

void m_nop(ValueStack*, void*) {}

void int_read(ValueStack* st, void* p) { push_int(st, element<int32_t>(p, st)); }
void int_write(ValueStack* st, void* p) { write_element<int32_t>(st, p, pop_int); }
void pointer_read(ValueStack* st, void* p) { push_pointer(st, element<void*>(p, st)); }
void pointer_write(ValueStack* st, void* p) { write_element<void*>(st, p, pop_pointer); }
void double_read(ValueStack* st, void* p) { push_double(st, element<double>(p, st)); }
void double_write(ValueStack* st, void* p) { write_element<double>(st, p, pop_double); }
void float_read(ValueStack* st, void* p) { push_double(st, element<float>(p, st)); }
void float_write(ValueStack* st, void* p) { write_element<float>(st, p, pop_double); }
void bool_read(ValueStack* st, void* p) {
    const uint8_t b = element<uint8_t>(p, st);
    Value& v = push_slot(st);
    v.tag = kTagBool;
    v.v.i = b;  // the byte as it is
}
void bool_write(ValueStack* st, void* p) {
    const bool b = pop_bool(st);
    element<uint8_t>(p, st) = b ? 1 : 0;
}
void short_read(ValueStack* st, void* p) { push_int(st, element<int16_t>(p, st)); }
void short_write(ValueStack* st, void* p) { write_element<uint16_t>(st, p, pop_int); }
void long_read(ValueStack* st, void* p) { push_long(st, element<int64_t>(p, st)); }
void long_write(ValueStack* st, void* p) { write_element<int64_t>(st, p, pop_long); }
void byte_read(ValueStack* st, void* p) { push_int(st, element<int8_t>(p, st)); }
void byte_uread(ValueStack* st, void* p) { push_int(st, element<uint8_t>(p, st)); }
void byte_write(ValueStack* st, void* p) { write_element<uint8_t>(st, p, pop_int); }
void byte_uvalue_get(ValueStack* st, void* p) {
    check(p);
    push_int(st, *static_cast<uint8_t*>(p));
}
void byte_uvalue_set(ValueStack* st, void* p) {
    const int32_t v = pop_int(st);
    check(p);
    *static_cast<uint8_t*>(p) = static_cast<uint8_t>(v);
}
void ansi_str(ValueStack* st, void* p) {
    check(p);
    push_from_bytes(st, platform::kCodePageAnsi, static_cast<const char*>(p));
}
void ansi_length(ValueStack* st, void* p) {
    check(p);
    push_int(st, static_cast<int32_t>(std::strlen(static_cast<const char*>(p))));
}
void ansi_decode(ValueStack* st, void* p) {
    const int32_t mode = pop_int(st);
    if (mode != 2) return;  // only UTF-8 is defined; other modes push nothing
    check(p);
    push_from_bytes(st, platform::kCodePageUtf8, static_cast<const char*>(p));
}
void char_read(ValueStack* st, void* p) { push_int(st, element<int16_t>(p, st)); }
void char_write(ValueStack* st, void* p) { write_element<uint16_t>(st, p, pop_int); }
void char_str(ValueStack* st, void* p) {
    check(p);
    auto* s = static_cast<const WChar*>(p);
    push_string_units(st, s, wlen(s));
}
void char_length(ValueStack* st, void* p) {
    check(p);
    push_int(st, static_cast<int32_t>(wlen(static_cast<const WChar*>(p))));
}
void string_read(ValueStack* st, void* p) { push_string(st, element<WStr>(p, st)); }
void string_write(ValueStack* st, void* p) {
    WStr& value = pop_string(st);
    element<WStr>(p, st).assign(value);
}
void string_c_str(ValueStack* st, void* p) {
    check(p);
    push_pointer(st, static_cast<WStr*>(p)->text());
}
void string_length(ValueStack* st, void* p) {
    check(p);
    push_int(st, static_cast<int32_t>(static_cast<WStr*>(p)->length));
}
void ansistring_read(ValueStack* st, void* p) {
    push_from_bytes(st, platform::kCodePageAnsi, element<AnsiRecord>(p, st).text);
}
void ansistring_write(ValueStack* st, void* p) {
    WStr& value = pop_string(st);
    AnsiRecord& e = element<AnsiRecord>(p, st);
    char* text = bytes_of(value, platform::kCodePageAnsi);
    if (!text) raise_runtime_error("Out of memory");
    std::free(e.text);
    e.text = text;
    e.length = static_cast<int32_t>(value.length);  // in code units
}
void ansistring_c_str(ValueStack* st, void* p) {
    static const char kEmptyBytes[1] = {0};
    check(p);
    const char* t = static_cast<AnsiRecord*>(p)->text;
    push_pointer(st, t ? t : kEmptyBytes);
}
void plain_free(ValueStack*, void* p) {
    if (p && invalid_address(p)) raise_runtime_error("Free of an invalid native block");
    std::free(p);
}
void string_free(ValueStack*, void* p) {
    if (!p) return;
    check(p);
    auto* items = static_cast<WStr*>(p);
    for (int32_t i = 0, n = counted_length(p); i < n; ++i) items[i].clear();
    counted_free(p);
}
void ansistring_free(ValueStack*, void* p) {
    if (!p) return;
    check(p);
    auto* items = static_cast<AnsiRecord*>(p);
    for (int32_t i = 0, n = counted_length(p); i < n; ++i) std::free(items[i].text);
    counted_free(p);
}

// ---- the classes -----------------------------------------------------------------------------

enum Kind : uint8_t { kMethod, kRead, kWrite };

struct MemberRow {
    Kind kind;
    const char* name;
    Member run;
};

struct ClassRow {
    const char* name;
    int32_t element;  // bytes per element for blocks made from a count; 0 otherwise
    const MemberRow* members;
    int count;
};

#define SCALAR_MEMBERS(read, write) {kMethod, "Read", read}, {kMethod, "Write", write}, {kMethod, "Free", plain_free}
const MemberRow kInt[] = {SCALAR_MEMBERS(int_read, int_write)};
const MemberRow kDouble[] = {SCALAR_MEMBERS(double_read, double_write)};
const MemberRow kFloat[] = {SCALAR_MEMBERS(float_read, float_write)};
const MemberRow kBool[] = {SCALAR_MEMBERS(bool_read, bool_write)};
const MemberRow kShort[] = {SCALAR_MEMBERS(short_read, short_write)};
const MemberRow kPointer[] = {SCALAR_MEMBERS(pointer_read, pointer_write)};
const MemberRow kLong[] = {SCALAR_MEMBERS(long_read, long_write)};
const MemberRow kByte[] = {SCALAR_MEMBERS(byte_read, byte_write), {kMethod, "URead", byte_uread},
                           {kRead, "uvalue", byte_uvalue_get}, {kWrite, "uvalue", byte_uvalue_set}};
const MemberRow kAnsiChar[] = {SCALAR_MEMBERS(byte_read, byte_write), {kRead, "str", ansi_str},
                               {kRead, "Length", ansi_length}, {kMethod, "Decode", ansi_decode}};
const MemberRow kChar[] = {SCALAR_MEMBERS(char_read, char_write), {kRead, "str", char_str},
                           {kRead, "Length", char_length}};
const MemberRow kString[] = {{kMethod, "Read", string_read}, {kMethod, "Write", string_write},
                             {kMethod, "c_str", string_c_str}, {kRead, "Length", string_length},
                             {kMethod, "Free", string_free}};
const MemberRow kAnsiString[] = {{kMethod, "Read", ansistring_read}, {kMethod, "Write", ansistring_write},
                                 {kMethod, "c_str", ansistring_c_str}, {kMethod, "Free", ansistring_free}};
#undef SCALAR_MEMBERS

#define ROW(name, element, members) {name, element, members, static_cast<int>(sizeof members / sizeof members[0])}
const ClassRow kClasses[] = {
    ROW("PInt", 4, kInt),       ROW("PDouble", 8, kDouble),   ROW("PFloat", 4, kFloat),
    ROW("PBool", 1, kBool),     ROW("PShort", 2, kShort),     ROW("PPointer", 4, kPointer),
    ROW("PByte", 1, kByte),     ROW("PLong", 8, kLong),       ROW("PAnsiChar", 1, kAnsiChar),
    ROW("PChar", 2, kChar),     ROW("PString", 0, kString),   ROW("PAnsiString", 0, kAnsiString),
};
#undef ROW

const ClassRow* class_row(const char* name) {
    if (!name) return nullptr;
    for (const ClassRow& c : kClasses)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

Member resolve(const Runtime* rt, const Instruction* ins) {
    const Kind kind = ins->opcode == kOp_callreal ? kMethod : ins->opcode == kOp_ldnpp ? kRead : kWrite;
    if (ins->opcode != kOp_callreal && ins->opcode != kOp_ldnpp && ins->opcode != kOp_stnpp) return m_nop;
    const ClassRow* c = class_row(ins->operand.first_name);
    const char* member = rt ? rt->program.code.name_of(ins) : nullptr;
    if (!c || !member) return m_nop;
    for (int i = 0; i < c->count; ++i)
        if (c->members[i].kind == kind && std::strcmp(c->members[i].name, member) == 0) return c->members[i].run;
    return m_nop;
}

}  // namespace

void* native_object_create(Runtime*, const char* name, Frame* f) {
    ValueStack* st = f->stack;
    if (const ClassRow* c = class_row(name)) {
        const int32_t count = pop_int(st);
        if (c->element == 0)
            return counted_array(count, std::strcmp(name, "PString") == 0 ? sizeof(WStr) : sizeof(AnsiRecord));
        if (count < 0) return nullptr;
        return std::calloc(static_cast<size_t>(count), static_cast<size_t>(c->element));
    }
    if (std::strcmp(name, "PAnsiCharArray") == 0) return bytes_of(pop_string(st), platform::kCodePageAnsi);
    if (std::strcmp(name, "PAnsiCharArrayUTF8") == 0) return bytes_of(pop_string(st), platform::kCodePageUtf8);
    if (std::strcmp(name, "PCharArray") == 0) {
        WStr& s = pop_string(st);
        auto* w = static_cast<WChar*>(std::malloc(2 * static_cast<size_t>(s.length) + 2));
        if (w) {
            if (s.length) std::memcpy(w, s.buffer, 2 * static_cast<size_t>(s.length));
            w[s.length] = 0;
        }
        return w;
    }
    if (std::strcmp(name, "comobject") == 0) return com_create_object(pop_string(st));
    return nullptr;
}

void native_member(Runtime* rt, Frame* f, void* object, Instruction* ins) {
    // The member is found once per instruction and kept in it.
    auto run = reinterpret_cast<Member>(ins->object());
    if (!run) {
        run = resolve(rt, ins);
        ins->object() = reinterpret_cast<void*>(run);
    }
    run(f->stack, object);
}

}  // namespace qel
