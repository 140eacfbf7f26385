// Strings and conversions: the built-ins that cut, search, rewrite and convert the string in the
// top stack slot. Most work in place: the first argument's slot receives the result, and string
// results reuse the slot's own buffer.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/instruction.h"
#include "stdlib/builtin_support.h"
#include "stdlib/wformat.h"

namespace qel {

namespace {

// ---- text helpers ---------------------------------------------------------------------------

// Cuts s to its first n units (n <= length); nothing is allocated.
void cut(WStr& s, uint32_t n) {
    s.length = n;
    if (s.buffer) s.buffer[n] = 0;
}

// Moves n units starting at from to the front and cuts s there.
void keep_units(WStr& s, uint32_t from, uint32_t n) {
    if (from) std::memmove(s.buffer, s.buffer + from, n * sizeof(WChar));
    cut(s, n);
}

// The blanks of the C library's isspace: space, TAB, LF, VT, FF, CR.
bool is_blank(WChar c) { return c == u' ' || (c >= 0x09 && c <= 0x0D); }

WChar upper_unit(WChar c) { return (c >= u'a' && c <= u'z') ? static_cast<WChar>(c - 32) : c; }
WChar lower_unit(WChar c) { return (c >= u'A' && c <= u'Z') ? static_cast<WChar>(c + 32) : c; }


// ---- parsing numbers from text ---------------------------------------------------------------

// Decimal text: leading blanks, an optional sign, then digits up to the first other unit; no
// digits give 0. Values beyond [lo, hi] saturate.
int64_t parse_decimal(const WChar* p, int64_t lo, int64_t hi) {
    while (is_blank(*p)) ++p;
    bool negative = *p == u'-';
    if (*p == u'-' || *p == u'+') ++p;
    // The magnitude grows up to one past the larger bound and stays there.
    const uint64_t limit = static_cast<uint64_t>(hi) + 1;
    uint64_t m = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        uint64_t d = static_cast<uint64_t>(*p - u'0');
        m = m > (limit - d) / 10 ? limit : m * 10 + d;
    }
    if (negative) {
        uint64_t most = static_cast<uint64_t>(-(lo + 1)) + 1;  // |lo| without overflow
        return m >= most ? lo : -static_cast<int64_t>(m);
    }
    return m > static_cast<uint64_t>(hi) ? hi : static_cast<int64_t>(m);
}

int32_t parse_int32(const WChar* p) { return static_cast<int32_t>(parse_decimal(p, INT32_MIN, INT32_MAX)); }

// Hexadecimal text as the C library's unsigned 32-bit conversion reads it: leading blanks, an
// optional sign, an optional 0x or 0X, hex digits. Values past 32 bits saturate at 0xFFFFFFFF;
// a minus sign negates modulo 2^32. The bits are the int, so 'FFFFFFFF' reads back as -1.
int32_t parse_hex32(const WChar* p) {
    while (is_blank(*p)) ++p;
    bool negative = *p == u'-';
    if (*p == u'-' || *p == u'+') ++p;
    if (p[0] == u'0' && (p[1] == u'x' || p[1] == u'X') && hex_digit(p[2]) >= 0) p += 2;
    uint64_t m = 0;
    for (int d; (d = hex_digit(*p)) >= 0; ++p) {
        m = m * 16 + static_cast<uint64_t>(d);
        if (m > 0xFFFFFFFFu) m = 0x100000000u;  // stays past the bound
    }
    uint32_t v = m > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(m);
    if (negative && m <= 0xFFFFFFFFu) v = 0u - v;
    return static_cast<int32_t>(v);
}

// Decimal text to double, the same in every locale: leading blanks, an optional sign, then the
// longest prefix that reads as a decimal number (digits, a '.' and an exponent) or as inf,
// infinity or nan in any case. No number gives 0; too large gives an infinity, too small 0.
double parse_double(const WChar* p) {
    while (is_blank(*p)) ++p;
    bool negative = *p == u'-';
    if (*p == u'-' || *p == u'+') ++p;
    if (*p == u'-' || *p == u'+') return 0.0;  // from_chars would take a second sign
    uint32_t n = 0;
    while (p[n] > 0 && p[n] < 0x80) ++n;  // the number can only be ASCII
    if (n == 0) return 0.0;
    char small[64];
    char* text = n < sizeof small ? small : static_cast<char*>(std::malloc(n + 1u));
    if (!text) return 0.0;
    for (uint32_t i = 0; i < n; ++i) text[i] = static_cast<char>(p[i]);
    text[n] = 0;
    double v = 0.0;
    auto [end, ec] = std::from_chars(text, text + n, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the decimal exponent of the leading digit decides.
        int64_t magnitude = 0;
        bool seen = false, point = false;
        const char* q = text;
        for (; q < end && *q != 'e' && *q != 'E'; ++q) {
            if (*q == '.') {
                point = true;
            } else if (*q != '0' || seen) {
                if (!point) ++magnitude;
                seen = true;
            } else if (point) {
                --magnitude;
            }
        }
        if (q < end) {
            WChar exp_text[24] = {};
            int k = 0;
            for (++q; q < end && k < 22; ++q) exp_text[k++] = static_cast<WChar>(*q);
            magnitude += parse_decimal(exp_text, INT32_MIN, INT32_MAX);
        }
        v = magnitude > 0 ? HUGE_VAL : 0.0;
    } else if (ec != std::errc()) {
        v = 0.0;
    }
    if (text != small) std::free(text);
    return negative ? -v : v;
}

// ---- built-in argument helpers ---------------------------------------------------------------

// The top Value as a string; other kinds raise the conversion failure.
WStr& top_text(Frame* f) { return top_string(f->stack); }

// The name of a method value: its full name, or nothing for the null method.
const char* method_value_name(const Value& v) {
    Instruction* header = v.v.m.Method;
    return header && !invalid_address(header) && header->method() && header->method()->name ? header->method()->name : "";
}

}  // namespace

// ---- lengths, cuts and searches --------------------------------------------------------------

void bi_Length(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    if (v.tag != kTagString) conversion_error(v.tag, "string");
    set_int(v, static_cast<int32_t>(v.text.length));
}

void bi_LeftStr(Runtime* rt, Frame* f) {
    uint32_t count = static_cast<uint32_t>(pop_int(f->stack));
    WStr& s = top_text(f);
    if (count >= s.length) return;  // every negative count too
    if (count == 0) {
        s.clear();
        return;
    }
    cut(s, count);
}

void bi_RightStr(Runtime* rt, Frame* f) {
    uint32_t count = static_cast<uint32_t>(pop_int(f->stack));
    WStr& s = top_text(f);
    if (count >= s.length) return;
    if (count == 0) {
        s.clear();
        return;
    }
    keep_units(s, s.length - count, count);
}

void bi_MidStr(Runtime* rt, Frame* f) {
    int32_t count = pop_int(f->stack);
    uint32_t index = static_cast<uint32_t>(pop_int(f->stack));
    WStr& s = top_text(f);
    if (s.length == 0) return;
    if (index > s.length || count < 1) {  // a negative index is a large unsigned one
        s.clear();
        return;
    }
    if (index == 0) index = 1;
    uint32_t available = s.length - index + 1;
    uint32_t n = static_cast<uint32_t>(count) < available ? static_cast<uint32_t>(count) : available;
    keep_units(s, index - 1, n);
}

void bi_PosStr(Runtime* rt, Frame* f) {
    WStr& sub = pop_string(f->stack);
    Value& v = top_slot(f->stack);
    WStr& s = top_text(f);
    int32_t position = 0;
    if (sub.length == 0) {
        position = 1;
    } else if (sub.length <= s.length) {
        const WChar* hay = s.text();
        const WChar* needle = sub.text();
        for (uint32_t at = 0; at + sub.length <= s.length; ++at) {
            if (std::memcmp(hay + at, needle, sub.length * sizeof(WChar)) == 0) {
                position = static_cast<int32_t>(at + 1);
                break;
            }
        }
    }
    set_int(v, position);
}

void bi_InsertStr(Runtime* rt, Frame* f) {
    WStr& sub = pop_string(f->stack);
    int32_t index = pop_int(f->stack);
    void* target = pop_pointer(f->stack);
    ref_string(target).insert(index, sub);
}

void bi_DeleteStr(Runtime* rt, Frame* f) {
    int32_t count = pop_int(f->stack);
    int32_t index = pop_int(f->stack);
    WStr& s = top_text(f);
    if (s.length == 0 || index < 1 || static_cast<uint32_t>(index) > s.length || count < 1) return;
    uint32_t at = static_cast<uint32_t>(index) - 1;
    uint32_t available = s.length - at;
    if (static_cast<uint32_t>(count) <= available) {
        uint32_t n = static_cast<uint32_t>(count);
        // The units behind the gap move down, terminator included.
        std::memmove(s.buffer + at, s.buffer + at + n, (s.length - at - n + 1) * sizeof(WChar));
        s.length -= n;
    } else {
        cut(s, at);
    }
}

// ---- rewriting -------------------------------------------------------------------------------

void bi_Trim(Runtime* rt, Frame* f) {
    WStr& s = top_text(f);
    uint32_t first = 0, end = s.length;
    while (first < end && is_blank(s.buffer[first])) ++first;
    while (end > first && is_blank(s.buffer[end - 1])) --end;
    if (first == end) {
        s.clear();
        return;
    }
    if (first == 0 && end == s.length) return;
    keep_units(s, first, end - first);
}

void bi_UpperCase(Runtime* rt, Frame* f) {
    WStr& s = top_text(f);
    for (uint32_t i = 0; i < s.length; ++i) s.buffer[i] = upper_unit(s.buffer[i]);
}

void bi_LowerCase(Runtime* rt, Frame* f) {
    WStr& s = top_text(f);
    for (uint32_t i = 0; i < s.length; ++i) s.buffer[i] = lower_unit(s.buffer[i]);
}

void bi_ReplaceStr(Runtime* rt, Frame* f) {
    WStr& replacement = pop_string(f->stack);
    WStr& pattern = pop_string(f->stack);
    top_text(f).replace_all(pattern, replacement, true);
}

void bi_ReplaceText(Runtime* rt, Frame* f) {
    WStr& replacement = pop_string(f->stack);
    WStr& pattern = pop_string(f->stack);
    top_text(f).replace_all(pattern, replacement, false);
}

void bi_QuotedStr(Runtime* rt, Frame* f) {
    WStr& s = top_text(f);
    uint32_t n = s.length, quotes = 0;
    for (uint32_t i = 0; i < n; ++i) quotes += s.buffer[i] == u'"';
    uint32_t total = n + quotes + 2;
    s.reserve(static_cast<int>(total));
    if (!s.buffer || s.capacity < total) return;  // no room: the text stays as it was
    // Fill from the back so that every unit is read before its place is written.
    WChar* b = s.buffer;
    uint32_t w = total;
    b[w] = 0;
    b[--w] = u'"';
    for (uint32_t i = n; i-- > 0;) {
        WChar c = b[i];
        b[--w] = c;
        if (c == u'"') b[--w] = u'"';
    }
    b[--w] = u'"';
    s.length = total;
}

void bi_UrlEncode(Runtime* rt, Frame* f) {
    static const char kHex[] = "0123456789ABCDEF";
    WStr& s = top_text(f);
    int bytes = 0;
    char* utf8 = s.to_utf8(&bytes);
    if (!utf8) raise_runtime_error("Out of memory");
    uint32_t n = bytes > 0 ? static_cast<uint32_t>(bytes) - 1 : 0, out = 0;
    auto kept = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
               c == '_';
    };
    for (uint32_t i = 0; i < n; ++i) out += kept(static_cast<unsigned char>(utf8[i])) ? 1 : 3;
    if (out == 0) {
        std::free(utf8);
        s.clear();
        return;
    }
    s.reserve(static_cast<int>(out));
    if (!s.buffer || s.capacity < out) {
        std::free(utf8);
        raise_runtime_error("Out of memory");
    }
    WChar* w = s.buffer;
    for (uint32_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (kept(c)) {
            *w++ = c;
        } else {
            *w++ = u'%';
            *w++ = static_cast<WChar>(kHex[c >> 4]);
            *w++ = static_cast<WChar>(kHex[c & 15]);
        }
    }
    *w = 0;
    s.length = out;
    std::free(utf8);
}

// ---- characters, hexadecimal and booleans ----------------------------------------------------

void bi_Chr(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    if (v.tag != kTagInt && v.tag != kTagBool) conversion_error(v.tag, "int");
    WChar unit = static_cast<WChar>(v.v.u & 0xFFFF);
    set_string(v).set_char(unit);
}

void bi_Asc(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    WStr& s = top_text(f);
    set_int(v, s.length ? static_cast<int32_t>(s.buffer[0]) : 0);
}

void bi_IntToHex(Runtime* rt, Frame* f) {
    // Padding to more than 16 digits is taken as 16: a 32-bit value never needs more than 8.
    constexpr int32_t kMostDigits = 16;
    int32_t digits = pop_int(f->stack);
    Value& v = top_slot(f->stack);
    if (v.tag != kTagInt) return;
    int32_t value = v.v.i;
    if (digits > kMostDigits) digits = kMostDigits;
    WChar pattern[8];
    int k = 0;
    pattern[k++] = u'%';
    if (digits > 0) {
        pattern[k++] = u'0';
        if (digits >= 10) pattern[k++] = static_cast<WChar>(u'0' + digits / 10);
        pattern[k++] = static_cast<WChar>(u'0' + digits % 10);
    }
    pattern[k++] = u'X';
    pattern[k] = 0;
    uint32_t room = digits > 8 ? static_cast<uint32_t>(digits) : 8;
    wformat_into(set_string(v), room, pattern, FormatArg::of_int(value));
}

void bi_StrToInt(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    WStr& s = top_text(f);
    int32_t result = 0;
    if (s.length >= 2 && s.buffer[1] == u'x')
        result = parse_hex32(s.buffer);
    else if (s.length)
        result = parse_int32(s.buffer);
    set_int(v, result);
}

void bi_StrToBool(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    if (v.tag != kTagString) return;
    WStr& s = v.text;
    for (uint32_t i = 0; i < s.length; ++i) s.buffer[i] = lower_unit(s.buffer[i]);
    static const WChar kTrue[] = u"true";
    bool yes = s.length == 4 && std::memcmp(s.buffer, kTrue, 4 * sizeof(WChar)) == 0;
    set_bool(v, yes);
}

void bi_BoolToStr(Runtime* rt, Frame* f) {
    bool b = pop_bool(f->stack);
    push_string(f->stack, b ? u"True" : u"False");
}

// ---- Format ----------------------------------------------------------------------------------

namespace {
// One scratch string per thread for Format's output, freed when the thread ends.
struct FormatScratch {
    WStr text{};
    ~FormatScratch() { text.clear(); }
};
WStr& format_scratch() {
    thread_local FormatScratch scratch;
    return scratch.text;
}
}  // namespace

void bi_Format(Runtime* rt, Frame* f) {
    ValueStack* st = f->stack;
    int32_t n = f->variadic;
    f->variadic = 0;
    if (n < 0 || n >= st->count) stack_underflow();
    const int32_t first = st->count - n;
    Value& slot = st->slots[first - 1];
    if (slot.tag != kTagString) {
        st->count = first - 1;
        conversion_error(slot.tag, "string");
    }
    // The arguments, deepest first, and the room the result may take: 10 units per integer,
    // 40 per double, 20 per long, a string's length, plus the format's own length.
    FormatArg in_place[16];
    std::vector<FormatArg> many(n > 16 ? static_cast<size_t>(n) : 0);
    FormatArg* args = n > 16 ? many.data() : in_place;
    uint32_t count = 0;
    uint64_t estimate = slot.text.length;
    for (int32_t k = first; k < st->count; ++k) {
        const Value& v = st->slots[k];
        switch (v.tag) {
            case kTagBool:
            case kTagInt:
            case kTagPointer:
            case kTagDispatch:
            case kTagUnknown:
                args[count++] = FormatArg::of_int(v.v.i);
                estimate += 10;
                break;
            case kTagDouble:
                args[count++] = FormatArg::of_double(v.v.d);
                estimate += 40;
                break;
            case kTagString:
                args[count++] = FormatArg::of_text(v.text.text());
                estimate += v.text.length;
                break;
            case kTagLong:
                args[count++] = FormatArg::of_long(v.v.l);
                estimate += 20;
                break;
            default:  // a method value takes no argument
                break;
        }
    }
    // The text is formatted into this thread's scratch string, which then changes places with the
    // format's slot: no allocation once the buffers have grown. A format that begins with a plain
    // %s of a string starts from that string's own buffer (its slot is dead after this) instead
    // of a copy. A result longer than the estimate (a padded field, say) gets the room it needs.
    WStr& out = format_scratch();
    const WChar* fmt = slot.text.text();
    const FormatArg* rest = args;
    uint32_t rest_count = count;
    uint32_t start = 0;
    if (fmt[0] == u'%' && fmt[1] == u's' && count > 0 && st->slots[first].tag == kTagString) {
        WStr& head = st->slots[first].text;
        start = wlen_max(head.text(), head.length);  // %s stops at a 0 unit
        out.swap(head);
        fmt += 2;
        ++rest;
        --rest_count;
    }
    constexpr uint64_t kLargest = 0x3FFFFFFE;
    uint64_t room = estimate > out.capacity ? estimate : out.capacity;
    int produced = kFormatNoRoom;
    while (produced == kFormatNoRoom && room <= kLargest) {
        out.reserve(static_cast<int>(room));  // keeps the first units
        if (!out.buffer || out.capacity < room) break;
        produced = wformat(out.buffer + start, out.capacity - start, fmt, rest, rest_count);
        room = room * 2 > kLargest && room < kLargest ? kLargest : room * 2;
    }
    if (produced >= 0) {
        out.length = start + static_cast<uint32_t>(produced);
        slot.text.swap(out);
    } else {
        slot.text.clear();
    }
    st->count = first;
}

// ---- conversions -----------------------------------------------------------------------------

void bi_Int(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagBool: set_int(v, v.v.i ? 1 : 0); break;
        case kTagInt: break;
        case kTagLong: set_int(v, static_cast<int32_t>(v.v.l)); break;
        case kTagDouble: set_int(v, truncate_to_int32(v.v.d)); break;
        case kTagString: set_int(v, parse_int32(v.text.text())); break;
        case kTagPointer:
        case kTagDispatch:
        case kTagUnknown:
        case kTagMethod: set_int(v, v.v.i); break;
        default: conversion_error(v.tag, "int");
    }
}

void bi_Long(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagBool: set_long(v, v.v.i ? 1 : 0); break;
        case kTagInt:
        case kTagPointer: set_long(v, v.v.i); break;
        case kTagLong: break;
        case kTagDouble: set_long(v, truncate_to_int64(v.v.d)); break;
        case kTagString: set_long(v, parse_decimal(v.text.text(), INT64_MIN, INT64_MAX)); break;
        case kTagDispatch:
        case kTagUnknown:
        case kTagMethod: v.tag = kTagLong; break;  // both payload words, as they are
        default: conversion_error(v.tag, "long");
    }
}

void bi_Float(Runtime* rt, Frame* f) {
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagBool: set_double(v, v.v.i ? 1.0 : 0.0); break;
        case kTagInt: set_double(v, v.v.i); break;
        case kTagLong: set_double(v, static_cast<double>(v.v.l)); break;
        case kTagDouble: break;
        case kTagString: set_double(v, parse_double(v.text.text())); break;
        default: conversion_error(v.tag, "double");  // an address or a method has no number
    }
}

void bi_String(Runtime* rt, Frame* f) {
    constexpr uint32_t kRoom = 32;
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagBool: {
            bool b = v.v.i != 0;
            wformat_into(set_string(v), kRoom, u"%s", FormatArg::of_text(b ? u"true" : u"false"));
            break;
        }
        case kTagInt:
        case kTagPointer:
        case kTagDispatch:
        case kTagUnknown: {
            int32_t i = v.v.i;
            wformat_into(set_string(v), kRoom, u"%i", FormatArg::of_int(i));
            break;
        }
        case kTagLong: {
            int64_t l = v.v.l;
            wformat_into(set_string(v), kRoom, u"%I64d", FormatArg::of_long(l));
            break;
        }
        case kTagDouble: {
            double d = v.v.d;
            wformat_into(set_string(v), kRoom, u"%.15g", FormatArg::of_double(d));
            break;
        }
        case kTagString: break;
        case kTagMethod: {
            const char* name = method_value_name(v);
            uint32_t n = static_cast<uint32_t>(std::strlen(name));
            WStr& s = set_string(v);
            if (n == 0) {
                s.clear();
                break;
            }
            s.reserve(static_cast<int>(n > 256 ? n : 256));
            if (!s.buffer || s.capacity < n) {
                s.clear();
                raise_runtime_error("Out of memory");
            }
            for (uint32_t i = 0; i <= n; ++i) s.buffer[i] = static_cast<unsigned char>(name[i]);
            s.length = n;
            break;
        }
        default: conversion_error(v.tag, "string");
    }
}

void bi_Ptr(Runtime* rt, Frame* f) {
    auto address = [](uint32_t bits) { return reinterpret_cast<void*>(static_cast<uintptr_t>(bits)); };
    Value& v = top_slot(f->stack);
    switch (v.tag) {
        case kTagInt: v.tag = kTagPointer; break;
        case kTagLong: set_pointer(v, address(static_cast<uint32_t>(v.v.l))); break;
        case kTagString: set_pointer(v, address(static_cast<uint32_t>(parse_int32(v.text.text())))); break;
        default: break;  // bool, double, pointers and methods stay as they are
    }
}

void bi_UnsignedShort(Runtime* rt, Frame* f) {
    int32_t v = pop_int(f->stack);
    push_int(f->stack, v & 0xFFFF);
}

}  // namespace qel
