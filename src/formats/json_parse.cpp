// The JSON parser: one forward pass over UTF-16 with an explicit stack of open containers, so the
// depth of a document costs heap, never native stack. Values, strings and child arrays go into
// the tree's arena; the children of open containers wait in two shared lists until their
// container closes and they are copied out at their exact count.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "formats/json_arena.h"
#include "formats/json_tree.h"

namespace qel {

namespace {
constexpr size_t kMinBlock = 1024;
constexpr size_t kMaxBlock = 8u << 20;
// Longest text accepted: its copies must stay addressable in a 32-bit process.
constexpr uint32_t kMaxText = 1u << 30;
}  // namespace

// A new block for at least size bytes at the given alignment; null when memory runs out.
void* JsonArena::refill(size_t size, size_t align) {
    if (size > (std::numeric_limits<size_t>::max() >> 2)) return nullptr;
    size_t bytes = size + sizeof(Block) + 8;
    if (bytes < next_block) bytes = next_block;
    auto* b = static_cast<Block*>(std::malloc(bytes));
    if (!b) return nullptr;
    b->next = blocks;
    b->size = bytes;
    blocks = b;
    if (next_block < kMaxBlock) next_block *= 2;
    end = reinterpret_cast<char*>(b) + bytes;
    const uintptr_t at = (reinterpret_cast<uintptr_t>(b + 1) + (align - 1)) & ~static_cast<uintptr_t>(align - 1);
    next = reinterpret_cast<char*>(at + size);
    return reinterpret_cast<void*>(at);
}

JsonArena* json_arena_create(size_t first_block) {
    if (first_block < kMinBlock) first_block = kMinBlock;
    if (first_block > kMaxBlock / 8) first_block = kMaxBlock / 8;
    auto* b = static_cast<Block*>(std::malloc(first_block));
    if (!b) return nullptr;
    b->next = nullptr;
    b->size = first_block;
    static_assert(sizeof(Block) % 8 == 0 && sizeof(JsonArena) % 8 == 0);
    auto* a = reinterpret_cast<JsonArena*>(b + 1);
    a->magic = kJsonArenaMagic;
    a->root = nullptr;
    a->blocks = b;
    a->next = reinterpret_cast<char*>(a + 1);
    a->end = reinterpret_cast<char*>(b) + first_block;
    a->next_block = first_block * 2;
    return a;
}

void json_arena_destroy(JsonArena* arena) {
    arena->magic = 0;
    Block* b = arena->blocks;  // the arena record lives in the last block of the chain
    while (b) {
        Block* next = b->next;
        std::free(b);
        b = next;
    }
}

namespace {

inline bool is_digit(WChar c) { return c >= u'0' && c <= u'9'; }

struct Open {
    json_value* value;
    uint32_t first;  // index of its first child in the shared list
};

// A growable array whose append is inlined; growth (rare) is a call.
template <typename T>
class Pile {
public:
    ~Pile() { std::free(items_); }
    [[gnu::always_inline]] bool push(const T& t) {
        if (count_ == capacity_ && !grow()) return false;
        items_[count_++] = t;
        return true;
    }
    T& back() { return items_[count_ - 1]; }
    void pop() { --count_; }
    void cut(uint32_t n) { count_ = n; }
    bool empty() const { return count_ == 0; }
    uint32_t size() const { return count_; }
    const T* data() const { return items_; }

private:
    [[gnu::noinline]] bool grow() {
        const uint32_t capacity = capacity_ ? capacity_ * 2 : 64;
        if (capacity > 0x7FFFFFFF / sizeof(T)) return false;
        void* more = std::realloc(items_, capacity * sizeof(T));
        if (!more) return false;
        items_ = static_cast<T*>(more);
        capacity_ = capacity;
        return true;
    }
    T* items_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

// Under an emulator every call, return and indirect jump costs a lookup, so the common path is one
// function: the steps below are inlined into parse(), which keeps its position in a local.
class Parser {
public:
    Parser(const WChar* text, uint32_t n) : text_(text), end_(text + n) {}
    ~Parser() {
        if (arena_) json_arena_destroy(arena_);
    }

    json_value* run() {
        arena_ = json_arena_create(static_cast<size_t>(end_ - text_) * 4 + kMinBlock);
        if (!arena_) return nullptr;
        json_value* root = parse();
        if (!root) return nullptr;
        arena_->root = root;
        arena_ = nullptr;  // the tree owns it now
        return root;
    }

private:
    [[gnu::always_inline]] json_value* make(int32_t type) {
        auto* v = static_cast<json_value*>(arena_->take(sizeof(json_value), 8));
        if (!v) return nullptr;
        v->parent = nullptr;
        v->type = type;
        v->u.integer = 0;
        v->_reserved.object_mem = arena_;
        return v;
    }

    // Page-aligned so that the emulator can chain every jump inside it (it chains only jumps
    // within one page of code).
    [[gnu::noinline, gnu::aligned(4096)]] json_value* parse();
    [[gnu::always_inline]] bool string(const WChar*& p, WChar** out, uint32_t* length);
    [[gnu::noinline]] int32_t escape(const WChar*& p);
    [[gnu::noinline]] WChar* more_room(WChar* start, size_t have);
    [[gnu::always_inline]] json_value* number(const WChar*& p);
    [[gnu::noinline]] double to_double(const WChar* from, const WChar* to);
    [[gnu::always_inline]] json_value* literal(const WChar*& p, const char16_t* word, uint32_t n, int32_t type, int32_t boolean);
    [[gnu::always_inline]] bool close(const Open& o);

    const WChar* const text_;
    const WChar* const end_;
    JsonArena* arena_ = nullptr;
    Pile<Open> open_;
    Pile<json_value*> items_;
    Pile<json_object_entry> entries_;
    std::string digits_;
};

inline bool is_space(WChar c) { return c <= u' ' && (c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'); }

json_value* Parser::parse() {
    const WChar* p = text_;
    const WChar* const end = end_;
    auto skip_space = [&]() __attribute__((always_inline)) {
        while (p < end && is_space(*p)) ++p;
    };
    bool want_key = false;  // an object member's name comes next
    json_value* v;
    for (;;) {
        // A value (or a member's name) starts here.
        skip_space();
        if (p == end) return nullptr;
        const WChar c = *p;
        if (c == u'"') {
            WChar* text;
            uint32_t length;
            if (!string(p, &text, &length)) return nullptr;
            if (want_key) {  // the entry waits for its value
                if (!entries_.push({text, length, nullptr})) return nullptr;
                skip_space();
                if (p == end || *p != u':') return nullptr;
                ++p;
                want_key = false;
                continue;
            }
            if (!(v = make(kJsonString))) return nullptr;
            v->u.string.length = length;
            v->u.string.ptr = text;
        } else if (want_key) {
            return nullptr;
        } else if (is_digit(c) || c == u'-') {
            v = number(p);
        } else if (c == u'{' || c == u'[') {
            const bool object = c == u'{';
            ++p;
            if (!(v = make(object ? kJsonObject : kJsonArray))) return nullptr;
            skip_space();
            if (p == end || *p != (object ? u'}' : u']')) {
                if (!open_.push({v, object ? entries_.size() : items_.size()})) return nullptr;
                want_key = object;
                continue;  // the first child
            }
            ++p;  // empty: count 0, no array
        } else if (c == u't') {
            v = literal(p, u"true", 4, kJsonBoolean, 1);
        } else if (c == u'f') {
            v = literal(p, u"false", 5, kJsonBoolean, 0);
        } else if (c == u'n') {
            v = literal(p, u"null", 4, kJsonNull, 0);
        } else {
            return nullptr;
        }
        // v is complete: hand it to its container and read what follows it.
        for (;;) {
            if (!v) return nullptr;
            if (open_.empty()) {
                skip_space();
                return p == end ? v : nullptr;  // trailing content is an error
            }
            const Open& o = open_.back();
            const bool object = o.value->type == kJsonObject;
            v->parent = o.value;
            if (object) entries_.back().value = v;
            else if (!items_.push(v)) return nullptr;
            skip_space();
            if (p == end) return nullptr;
            const WChar next = *p++;
            if (next == u',') {
                want_key = object;
                break;  // the next child
            }
            if (next != (object ? u'}' : u']') || !close(o)) return nullptr;
            v = o.value;
            open_.pop();
        }
    }
}

// A string from its opening quote, decoded straight into the arena (a u escape is stored as the
// one unit it names, so a pair of escaped surrogates becomes its two units).
inline bool Parser::string(const WChar*& p, WChar** out, uint32_t* length) {
    ++p;
    auto* start = reinterpret_cast<WChar*>(arena_->next);  // every allocation keeps next even
    WChar* d = start;
    for (;;) {
        WChar* const limit = reinterpret_cast<WChar*>(arena_->end) - 1;  // the terminator's unit
        const size_t room = limit > d ? static_cast<size_t>(limit - d) : 0;
        const size_t left = static_cast<size_t>(end_ - p);
        const WChar* const stop = p + (room < left ? room : left);
        while (p < stop) {
            const WChar c = *p;
            if (c <= u'\\' && (c == u'"' || c == u'\\' || c < 0x20)) break;
            *d++ = c;
            ++p;
        }
        if (p < stop) {
            const WChar c = *p++;
            if (c == u'"') break;
            if (c != u'\\') return false;  // a control character
            const int32_t e = escape(p);
            if (e < 0) return false;
            *d++ = static_cast<WChar>(e);
            continue;
        }
        if (p == end_) return false;  // no closing quote
        const size_t have = static_cast<size_t>(d - start);
        if (!(start = more_room(start, have))) return false;
        d = start + have;
    }
    *d = 0;
    arena_->next = reinterpret_cast<char*>(d + 1);
    *out = start;
    *length = static_cast<uint32_t>(d - start);
    return true;
}

// A string outgrew its block: a new one with twice the room, the units so far moved there.
WChar* Parser::more_room(WChar* start, size_t have) {
    const size_t units = have * 2 + 256;
    auto* fresh = static_cast<WChar*>(arena_->refill(units * sizeof(WChar), alignof(WChar)));
    if (!fresh) return nullptr;
    arena_->next = reinterpret_cast<char*>(fresh);  // nothing is kept until the string ends
    for (size_t i = 0; i < have; ++i) fresh[i] = start[i];
    return fresh;
}

// The unit of an escape after its backslash; -1 when it is none of JSON's.
int32_t Parser::escape(const WChar*& p) {
    if (p == end_) return -1;
    switch (*p++) {
        case u'"': return u'"';
        case u'\\': return u'\\';
        case u'/': return u'/';
        case u'b': return 0x08;
        case u'f': return 0x0C;
        case u'n': return 0x0A;
        case u'r': return 0x0D;
        case u't': return 0x09;
        case u'u': {
            if (end_ - p < 4) return -1;
            int32_t c = 0;
            for (int i = 0; i < 4; ++i) {
                const WChar h = *p++;
                int32_t d;
                if (h >= u'0' && h <= u'9') d = h - u'0';
                else if (h >= u'a' && h <= u'f') d = h - u'a' + 10;
                else if (h >= u'A' && h <= u'F') d = h - u'A' + 10;
                else return -1;
                c = (c << 4) | d;
            }
            return c;
        }
        default: return -1;
    }
}

inline json_value* Parser::literal(const WChar*& p, const char16_t* word, uint32_t n, int32_t type, int32_t boolean) {
    if (static_cast<uint32_t>(end_ - p) < n) return nullptr;
    for (uint32_t i = 0; i < n; ++i)
        if (p[i] != word[i]) return nullptr;
    p += n;
    json_value* v = make(type);
    if (v && type == kJsonBoolean) v->u.boolean = boolean;
    return v;
}

#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "the fast path below needs double arithmetic rounded to double precision (build with -mfpmath=sse)"
#endif

// Clinger's fast path: a number of at most 19 significant digits m with m <= 2^53 and a decimal
// exponent of at most 22 either way is m * 10^e or m / 10^-e, both operands exact, one rounding.
bool exact_double(const WChar* s, const WChar* e, double* out) {
    static constexpr double kPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = *s == u'-';
    if (negative) ++s;
    uint64_t m = 0;
    int significant = 0;
    int32_t scale = 0;  // minus the number of fraction digits taken
    bool fraction = false;
    for (; s < e && *s != u'e' && *s != u'E'; ++s) {
        if (*s == u'.') {
            fraction = true;
            continue;
        }
        if (m == 0 && *s == u'0') {  // leading zeros
            if (fraction) --scale;
            continue;
        }
        if (++significant > 19) return false;
        m = m * 10 + (*s - u'0');
        if (fraction) --scale;
    }
    int32_t exponent = 0;
    if (s < e) {
        ++s;
        const bool down = *s == u'-';
        if (*s == u'+' || *s == u'-') ++s;
        for (; s < e; ++s) {
            if (exponent > 100000) return false;
            exponent = exponent * 10 + (*s - u'0');
        }
        if (down) exponent = -exponent;
    }
    if (m == 0) {
        *out = negative ? -0.0 : 0.0;
        return true;
    }
    exponent += scale;
    if (m > (uint64_t{1} << 53) || exponent > 22 || exponent < -22) return false;
    const double d = static_cast<double>(static_cast<int64_t>(m));
    const double r = exponent >= 0 ? d * kPowers[exponent] : d / kPowers[-exponent];
    *out = negative ? -r : r;
    return true;
}

// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
inline json_value* Parser::number(const WChar*& p) {
    const WChar* const start = p;
    const bool negative = *p == u'-';
    if (negative) ++p;
    if (p == end_) return nullptr;
    const WChar* const digits = p;
    if (*p == u'0') ++p;
    else if (*p >= u'1' && *p <= u'9') do ++p; while (p < end_ && is_digit(*p));
    else return nullptr;
    const WChar* const integer_end = p;
    bool integer = true;
    if (p < end_ && *p == u'.') {
        ++p;
        if (p == end_ || !is_digit(*p)) return nullptr;
        do ++p; while (p < end_ && is_digit(*p));
        integer = false;
    }
    if (p < end_ && (*p == u'e' || *p == u'E')) {
        ++p;
        if (p < end_ && (*p == u'+' || *p == u'-')) ++p;
        if (p == end_ || !is_digit(*p)) return nullptr;
        do ++p; while (p < end_ && is_digit(*p));
        integer = false;
    }
    if (integer && integer_end - digits <= 19) {  // 19 digits always fit in 64 unsigned bits
        uint64_t m = 0;
        for (const WChar* d = digits; d < integer_end; ++d) m = m * 10 + (*d - u'0');
        if (m <= (negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull)) {
            json_value* v = make(kJsonInteger);
            if (v) v->u.integer = static_cast<int64_t>(negative ? 0 - m : m);
            return v;
        }
    }
    json_value* v = make(kJsonDouble);
    if (v) v->u.dbl = to_double(start, p);
    return v;
}

// The nearest double of a number that the grammar accepted. Beyond the range of doubles the
// result is an infinity (the number's magnitude is above 1) or a zero (below), with its sign.
double Parser::to_double(const WChar* from, const WChar* to) {
    double fast;
    if (exact_double(from, to, &fast)) return fast;
    digits_.resize(static_cast<size_t>(to - from));
    for (size_t i = 0; i < digits_.size(); ++i) digits_[i] = static_cast<char>(from[i]);
    const char* s = digits_.data();
    const char* e = s + digits_.size();
    double d = 0;
    auto r = std::from_chars(s, e, d, std::chars_format::general);
    if (r.ec != std::errc::result_out_of_range) return d;
    const bool negative = *s == '-';
    if (negative) ++s;
    // Decimal position of the first significant digit, then the exponent on top.
    int64_t magnitude = 0;
    while (s < e && *s == '0') ++s;
    while (s < e && *s >= '0' && *s <= '9') ++magnitude, ++s;
    if (magnitude == 0 && s < e && *s == '.') {
        ++s;
        while (s < e && *s == '0') --magnitude, ++s;
    }
    while (s < e && *s != 'e' && *s != 'E') ++s;
    if (s < e) {
        ++s;
        const bool down = *s == '-';
        if (*s == '+' || *s == '-') ++s;
        int64_t x = 0;
        for (; s < e; ++s)
            if (x < 1000000000000ll) x = x * 10 + (*s - '0');
        magnitude += down ? -x : x;
    }
    const double m = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -m : m;
}

// A container's children move from the shared list into the arena, at their exact count.
inline bool Parser::close(const Open& o) {
    const bool object = o.value->type == kJsonObject;
    const uint32_t n = (object ? entries_.size() : items_.size()) - o.first;
    const uint32_t words = object ? n * 3 : n;
    static_assert(sizeof(json_object_entry) == 3 * sizeof(uint32_t) && sizeof(json_value*) == sizeof(uint32_t));
    auto* to = static_cast<uint32_t*>(arena_->take(words * sizeof(uint32_t), alignof(uint32_t)));
    if (!to) return false;
    const auto* from = object ? reinterpret_cast<const uint32_t*>(entries_.data() + o.first)
                              : reinterpret_cast<const uint32_t*>(items_.data() + o.first);
    for (uint32_t i = 0; i < words; ++i) to[i] = from[i];
    if (object) entries_.cut(o.first);
    else items_.cut(o.first);
    o.value->u.array.length = n;  // the same words for objects
    o.value->u.array.values = reinterpret_cast<json_value**>(to);
    return true;
}

}  // namespace

json_value* json_parse(const WChar* text, uint32_t n) {
    if (!text || n == 0 || n >= kMaxText) return nullptr;
    try {
        Parser parser(text, n);
        return parser.run();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace qel
