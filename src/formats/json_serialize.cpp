// The serializer: one walk with an explicit stack, run twice over the same sink interface, first
// to measure the text (in 64 bits, so no size can wrap) and then to write it into a buffer of
// exactly that size.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "formats/json_tree.h"

namespace qel {

int json_format_double(double d, char* out) {
    if (std::isnan(d)) {
        std::snprintf(out, 32, "null");
        return 4;
    }
    if (std::isinf(d)) return std::snprintf(out, 32, d > 0 ? "1e999" : "-1e999");
    int n = std::snprintf(out, 32, "%g", d);
    bool point_or_exponent = false;
    for (int i = 0; i < n; ++i) {
        if (out[i] == ',') out[i] = '.';
        if (out[i] == '.' || out[i] == 'e') point_or_exponent = true;
    }
    if (!point_or_exponent) {
        out[n++] = '.';
        out[n++] = '0';
        out[n] = 0;
    }
    return n;
}

namespace {

// The texts of the doubles in the order of the walk: formatted while measuring, written from here.
struct DoubleTexts {
    std::string text;  // each followed by a 0
    size_t next = 0;
};

struct Measure {
    uint64_t n = 0;
    DoubleTexts& doubles;
    void real(double d) {
        char text[32];
        const int count = json_format_double(d, text);
        doubles.text.append(text, static_cast<size_t>(count) + 1);
        n += static_cast<uint64_t>(count);
    }
    void unit(WChar) { ++n; }
    void ascii(const char*, int count) { n += static_cast<uint64_t>(count); }
    void repeat(WChar, uint64_t count) { n += count; }
    bool full() const { return n > kJsonMaxSerialized; }
};

struct Write {
    WChar* p;
    DoubleTexts& doubles;
    void real(double) {
        for (const char* t = doubles.text.data() + doubles.next; *t; ++t, ++doubles.next) *p++ = static_cast<unsigned char>(*t);
        ++doubles.next;
    }
    void unit(WChar c) { *p++ = c; }
    void ascii(const char* s, int count) {
        for (int i = 0; i < count; ++i) *p++ = static_cast<WChar>(static_cast<unsigned char>(s[i]));
    }
    void repeat(WChar c, uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) *p++ = c;
    }
    static bool full() { return false; }
};

struct Style {
    int32_t mode;
    bool crlf, pack_brackets, space_after_comma, space_after_colon, tabs;
    uint32_t indent;

    explicit Style(const json_serialize_opts& o)
        : mode(o.mode == kJsonSingleLine || o.mode == kJsonPacked ? o.mode : kJsonMultiline),
          crlf(o.opts & kJsonOptCrlf),
          pack_brackets(o.opts & kJsonOptPackBrackets),
          space_after_comma(!(o.opts & kJsonOptNoSpaceAfterComma) && mode != kJsonPacked),
          space_after_colon(!(o.opts & kJsonOptNoSpaceAfterColon) && mode != kJsonPacked),
          tabs(o.opts & kJsonOptUseTabs),
          indent(o.indent_size > 0 ? static_cast<uint32_t>(o.indent_size) : 0) {}
};

// Quotes and the json-builder escapes; the other control characters as \u00XX so that the text
// stays JSON.
template <typename Sink>
void write_string(Sink& out, const WChar* s, uint32_t n) {
    out.unit(u'"');
    for (uint32_t i = 0; i < n; ++i) {
        const WChar c = s[i];
        switch (c) {
            case u'"': out.ascii("\\\"", 2); break;
            case u'\\': out.ascii("\\\\", 2); break;
            case 0x08: out.ascii("\\b", 2); break;
            case 0x0C: out.ascii("\\f", 2); break;
            case 0x0A: out.ascii("\\n", 2); break;
            case 0x0D: out.ascii("\\r", 2); break;
            case 0x09: out.ascii("\\t", 2); break;
            default:
                if (c < 0x20) {
                    char e[8];
                    std::snprintf(e, sizeof e, "\\u%04x", static_cast<unsigned>(c));
                    out.ascii(e, 6);
                } else {
                    out.unit(c);
                }
        }
    }
    out.unit(u'"');
}

// Digit by digit, through the unsigned magnitude (so the most negative value has one too).
template <typename Sink>
void write_integer(Sink& out, int64_t v) {
    char digits[24];
    int n = 0;
    uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m);
    if (v < 0) out.unit(u'-');
    while (n) out.unit(static_cast<WChar>(digits[--n]));
}

struct Level {
    const json_value* value;
    uint32_t next;  // the next child to write
};

template <typename Sink>
class Walk {
public:
    Walk(const Style& style, Sink& out) : style_(style), out_(out) {}

    void run(const json_value* root) {
        open(root);
        while (!stack_.empty() && !out_.full()) {  // a tree with a cycle stops at the limit
            Level& top = stack_.back();
            const json_value* c = top.value;
            const uint32_t length = c->u.array.length;
            if (top.next < length) {
                const uint32_t i = top.next++;
                if (i > 0) {
                    out_.unit(u',');
                    if (style_.mode == kJsonSingleLine && style_.space_after_comma) out_.unit(u' ');
                }
                line_break(stack_.size());
                const json_value* child;
                if (c->type == kJsonObject) {
                    const json_object_entry& e = c->u.object.values[i];
                    write_string(out_, e.name ? e.name : u"", e.name ? e.name_length : 0);
                    out_.unit(u':');
                    if (style_.space_after_colon) out_.unit(u' ');
                    child = e.value;
                } else {
                    child = c->u.array.values[i];
                }
                open(child);  // may grow the stack: top is not used after this
            } else {
                line_break(stack_.size() - 1);
                if (style_.mode == kJsonSingleLine && !style_.pack_brackets) out_.unit(u' ');
                out_.unit(c->type == kJsonObject ? u'}' : u']');
                stack_.pop_back();
            }
        }
    }

private:
    void line_break(size_t depth) {
        if (style_.mode != kJsonMultiline) return;
        if (style_.crlf) out_.unit(u'\r');
        out_.unit(u'\n');
        if (style_.tabs) out_.repeat(u'\t', depth);
        else out_.repeat(u' ', static_cast<uint64_t>(depth) * style_.indent);
    }

    // A scalar is written at once; a container with children opens a level.
    void open(const json_value* v) {
        if (!v) {
            out_.ascii("null", 4);
            return;
        }
        switch (v->type) {
            case kJsonObject:
            case kJsonArray: {
                const bool object = v->type == kJsonObject;
                if (v->u.array.length == 0) {
                    out_.ascii(object ? "{}" : "[]", 2);
                    return;
                }
                out_.unit(object ? u'{' : u'[');
                if (style_.mode == kJsonSingleLine && !style_.pack_brackets) out_.unit(u' ');
                stack_.push_back({v, 0});
                return;
            }
            case kJsonInteger: write_integer(out_, v->u.integer); return;
            case kJsonDouble: out_.real(v->u.dbl); return;
            case kJsonString:
                write_string(out_, v->u.string.ptr ? v->u.string.ptr : u"", v->u.string.ptr ? v->u.string.length : 0);
                return;
            case kJsonBoolean:
                if (v->u.boolean) out_.ascii("true", 4);
                else out_.ascii("false", 5);
                return;
            default: out_.ascii("null", 4); return;
        }
    }

    const Style& style_;
    Sink& out_;
    std::vector<Level> stack_;
};

}  // namespace

WChar* json_serialize(const json_value* value, const json_serialize_opts& opts, uint32_t* n) {
    const Style style(opts);
    try {
        DoubleTexts doubles;
        Measure measure{0, doubles};
        Walk<Measure>(style, measure).run(value);
        if (measure.n > kJsonMaxSerialized) return nullptr;
        auto* text = static_cast<WChar*>(std::malloc((static_cast<size_t>(measure.n) + 1) * sizeof(WChar)));
        if (!text) return nullptr;
        Write write{text, doubles};
        try {
            Walk<Write>(style, write).run(value);
        } catch (const std::bad_alloc&) {
            std::free(text);
            return nullptr;
        }
        *write.p = 0;
        *n = static_cast<uint32_t>(measure.n);
        return text;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace qel
