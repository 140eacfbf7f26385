// The JSON parser: one forward pass over UTF-16 with an explicit stack of open containers, so the
// depth of a document costs heap, never native stack. Values, strings and child arrays go into
// the tree's arena; the children of open containers wait in two shared vectors until their
// container closes and they are copied out at their exact count.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "formats/json_arena.h"
#include "formats/json_tree.h"

namespace qel {

namespace {
constexpr size_t kMinBlock = 1024;
constexpr size_t kMaxBlock = 8u << 20;
// Longest text accepted: its copies must stay addressable in a 32-bit process.
constexpr uint32_t kMaxText = 1u << 30;
}  // namespace

void* JsonArena::take(size_t size, size_t align) {
    uintptr_t at = (reinterpret_cast<uintptr_t>(next) + (align - 1)) & ~static_cast<uintptr_t>(align - 1);
    if (size > reinterpret_cast<uintptr_t>(end) - reinterpret_cast<uintptr_t>(next) ||
        at + size > reinterpret_cast<uintptr_t>(end)) {
        if (size > (std::numeric_limits<size_t>::max() >> 2)) return nullptr;
        size_t bytes = size + sizeof(Block) + 8;
        if (bytes < next_block) bytes = next_block;
        auto* b = static_cast<Block*>(std::malloc(bytes));
        if (!b) return nullptr;
        b->next = blocks;
        b->size = bytes;
        blocks = b;
        if (next_block < kMaxBlock) next_block *= 2;
        next = reinterpret_cast<char*>(b + 1);
        end = reinterpret_cast<char*>(b) + bytes;
        at = (reinterpret_cast<uintptr_t>(next) + (align - 1)) & ~static_cast<uintptr_t>(align - 1);
    }
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

inline bool is_space(WChar c) { return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'; }
inline bool is_digit(WChar c) { return c >= u'0' && c <= u'9'; }

struct Open {
    json_value* value;
    uint32_t first;  // index of its first child in the shared vector
};

class Parser {
public:
    Parser(const WChar* text, uint32_t n) : p_(text), end_(text + n) {}
    ~Parser() {
        if (arena_) json_arena_destroy(arena_);
    }

    json_value* run() {
        arena_ = json_arena_create(static_cast<size_t>(end_ - p_) * 4 + kMinBlock);
        if (!arena_) return nullptr;
        json_value* root = parse();
        if (!root) return nullptr;
        arena_->root = root;
        arena_ = nullptr;  // the tree owns it now
        return root;
    }

private:
    json_value* make(int32_t type) {
        auto* v = static_cast<json_value*>(arena_->take(sizeof(json_value), 8));
        if (!v) return nullptr;
        v->parent = nullptr;
        v->type = type;
        v->u.integer = 0;
        v->_reserved.object_mem = arena_;
        return v;
    }

    void skip_space() {
        while (p_ < end_ && is_space(*p_)) ++p_;
    }

    json_value* parse();
    bool key();
    bool string(WChar** out, uint32_t* length);
    WChar* keep(const WChar* text, size_t n);
    json_value* literal(const char16_t* word, uint32_t n, int32_t type, int32_t boolean);
    json_value* number();
    double to_double(const WChar* from, const WChar* to);
    bool close(const Open& o);

    const WChar* p_;
    const WChar* const end_;
    JsonArena* arena_ = nullptr;
    std::vector<Open> open_;
    std::vector<json_value*> items_;
    std::vector<json_object_entry> entries_;
    std::u16string scratch_;
    std::string digits_;
};

json_value* Parser::parse() {
    skip_space();
    json_value* v;
    for (;;) {
        // A value starts here.
        if (p_ == end_) return nullptr;
        switch (*p_) {
            case u'{':
            case u'[': {
                const bool object = *p_ == u'{';
                ++p_;
                if (!(v = make(object ? kJsonObject : kJsonArray))) return nullptr;
                skip_space();
                if (p_ < end_ && *p_ == (object ? u'}' : u']')) {
                    ++p_;
                    break;  // empty: count 0, no array
                }
                open_.push_back({v, static_cast<uint32_t>(object ? entries_.size() : items_.size())});
                if (object && !key()) return nullptr;
                continue;  // the first child
            }
            case u'"':
                if (!(v = make(kJsonString)) || !string(&v->u.string.ptr, &v->u.string.length)) return nullptr;
                break;
            case u't': v = literal(u"true", 4, kJsonBoolean, 1); break;
            case u'f': v = literal(u"false", 5, kJsonBoolean, 0); break;
            case u'n': v = literal(u"null", 4, kJsonNull, 0); break;
            default: v = number(); break;
        }
        // v is complete: hand it to its container and read what follows it.
        for (;;) {
            if (!v) return nullptr;
            if (open_.empty()) {
                skip_space();
                return p_ == end_ ? v : nullptr;  // trailing content is an error
            }
            const Open& o = open_.back();
            const bool object = o.value->type == kJsonObject;
            v->parent = o.value;
            if (object) entries_.back().value = v;
            else items_.push_back(v);
            skip_space();
            if (p_ == end_) return nullptr;
            const WChar c = *p_++;
            if (c == u',') {
                skip_space();
                if (object && !key()) return nullptr;
                break;  // the next child
            }
            if (c != (object ? u'}' : u']') || !close(o)) return nullptr;
            v = o.value;
            open_.pop_back();
        }
    }
}

// An object member's name and colon; its entry waits for the value.
bool Parser::key() {
    if (p_ == end_ || *p_ != u'"') return false;
    json_object_entry e{nullptr, 0, nullptr};
    if (!string(&e.name, &e.name_length)) return false;
    entries_.push_back(e);
    skip_space();
    if (p_ == end_ || *p_ != u':') return false;
    ++p_;
    skip_space();
    return true;
}

WChar* Parser::keep(const WChar* text, size_t n) {
    auto* s = static_cast<WChar*>(arena_->take((n + 1) * sizeof(WChar), alignof(WChar)));
    if (!s) return nullptr;
    if (n) std::memcpy(s, text, n * sizeof(WChar));
    s[n] = 0;
    return s;
}

// A string from its opening quote: the units as written, escapes decoded (a u escape is stored as
// the one unit it names, so a pair of escaped surrogates becomes its two units).
bool Parser::string(WChar** out, uint32_t* length) {
    const WChar* const start = ++p_;
    const WChar* q = start;
    while (q < end_ && *q != u'"' && *q != u'\\' && *q >= 0x20) ++q;
    if (q == end_ || *q < 0x20) return false;
    if (*q == u'"') {  // nothing to decode
        p_ = q + 1;
        *length = static_cast<uint32_t>(q - start);
        return (*out = keep(start, *length)) != nullptr;
    }
    scratch_.assign(start, q);
    p_ = q;
    for (;;) {
        const WChar* run = p_;
        while (p_ < end_ && *p_ != u'"' && *p_ != u'\\' && *p_ >= 0x20) ++p_;
        scratch_.append(run, p_);
        if (p_ == end_) return false;
        WChar c = *p_++;
        if (c == u'"') break;
        if (c != u'\\' || p_ == end_) return false;  // a control character, or a lone backslash at the end
        switch (*p_++) {
            case u'"': c = u'"'; break;
            case u'\\': c = u'\\'; break;
            case u'/': c = u'/'; break;
            case u'b': c = 0x08; break;
            case u'f': c = 0x0C; break;
            case u'n': c = 0x0A; break;
            case u'r': c = 0x0D; break;
            case u't': c = 0x09; break;
            case u'u': {
                if (end_ - p_ < 4) return false;
                c = 0;
                for (int i = 0; i < 4; ++i) {
                    const WChar h = *p_++;
                    unsigned d;
                    if (h >= u'0' && h <= u'9') d = h - u'0';
                    else if (h >= u'a' && h <= u'f') d = h - u'a' + 10;
                    else if (h >= u'A' && h <= u'F') d = h - u'A' + 10;
                    else return false;
                    c = static_cast<WChar>((c << 4) | d);
                }
                break;
            }
            default: return false;
        }
        scratch_.push_back(c);
    }
    *length = static_cast<uint32_t>(scratch_.size());
    return (*out = keep(scratch_.data(), scratch_.size())) != nullptr;
}

json_value* Parser::literal(const char16_t* word, uint32_t n, int32_t type, int32_t boolean) {
    if (static_cast<uint32_t>(end_ - p_) < n || std::memcmp(p_, word, n * sizeof(WChar)) != 0) return nullptr;
    p_ += n;
    json_value* v = make(type);
    if (v && type == kJsonBoolean) v->u.boolean = boolean;
    return v;
}

// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
json_value* Parser::number() {
    const WChar* const start = p_;
    const bool negative = *p_ == u'-';
    if (negative) ++p_;
    if (p_ == end_) return nullptr;
    const WChar* const digits = p_;
    if (*p_ == u'0') ++p_;
    else if (*p_ >= u'1' && *p_ <= u'9') do ++p_; while (p_ < end_ && is_digit(*p_));
    else return nullptr;
    const WChar* const integer_end = p_;
    bool integer = true;
    if (p_ < end_ && *p_ == u'.') {
        ++p_;
        if (p_ == end_ || !is_digit(*p_)) return nullptr;
        do ++p_; while (p_ < end_ && is_digit(*p_));
        integer = false;
    }
    if (p_ < end_ && (*p_ == u'e' || *p_ == u'E')) {
        ++p_;
        if (p_ < end_ && (*p_ == u'+' || *p_ == u'-')) ++p_;
        if (p_ == end_ || !is_digit(*p_)) return nullptr;
        do ++p_; while (p_ < end_ && is_digit(*p_));
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
    if (v) v->u.dbl = to_double(start, p_);
    return v;
}

// The nearest double of a number that the grammar accepted. Beyond the range of doubles the
// result is an infinity (the number's magnitude is above 1) or a zero (below), with its sign.
double Parser::to_double(const WChar* from, const WChar* to) {
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

bool Parser::close(const Open& o) {
    if (o.value->type == kJsonObject) {
        const size_t n = entries_.size() - o.first;
        auto* e = static_cast<json_object_entry*>(arena_->take(n * sizeof(json_object_entry), alignof(json_object_entry)));
        if (!e) return false;
        std::memcpy(e, entries_.data() + o.first, n * sizeof(json_object_entry));
        entries_.resize(o.first);
        o.value->u.object.length = static_cast<uint32_t>(n);
        o.value->u.object.values = e;
    } else {
        const size_t n = items_.size() - o.first;
        auto* a = static_cast<json_value**>(arena_->take(n * sizeof(json_value*), alignof(json_value*)));
        if (!a) return false;
        std::memcpy(a, items_.data() + o.first, n * sizeof(json_value*));
        items_.resize(o.first);
        o.value->u.array.length = static_cast<uint32_t>(n);
        o.value->u.array.values = a;
    }
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
