// The markup reader (markup_parse): scans a copy of the source one unit at a time, never past its
// end, keeps the open elements on a stack of objects, and creates and fills objects through the
// class registry and member access by name, calling the script's handlers on the way.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/name_hash.h"
#include "base/runtime_error.h"
#include "formats/markup.h"
#include "image/instruction.h"
#include "platform/ansi_name.h"
#include "stdlib/string_list.h"
#include "types/class_registry.h"
#include "vm/interpreter.h"
#include "vm/member_access.h"
#include "vm/objects.h"
#include "vm/runtime.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {

using Text = std::u16string;

bool is_space(WChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// A WStr that frees its buffer when it goes out of scope (also while an error unwinds).
struct OwnedText {
    WStr w{};
    OwnedText() = default;
    explicit OwnedText(const Text& t) { w.assign_wide(t.data(), static_cast<uint32_t>(t.size())); }
    ~OwnedText() { w.clear(); }
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
};

[[noreturn]] void raise_with(const char* a, const Text& x, const char* b, const Text* y = nullptr, const char* c = nullptr) {
    OwnedText m;
    m.w.append_narrow(a);
    m.w.append_units(x.data(), static_cast<uint32_t>(x.size()));
    m.w.append_narrow(b);
    if (y) m.w.append_units(y->data(), static_cast<uint32_t>(y->size()));
    if (c) m.w.append_narrow(c);
    raise_runtime_error(m.w);
}

[[noreturn]] void type_not_found(const Text& name) { raise_with("The type '", name, "' was not found!"); }

// Name lookups take narrow names in the ANSI code page, as the descriptors hold them.
struct Narrow {
    OwnedText wide;
    platform::AnsiName name;
    explicit Narrow(const Text& t) : wide(t), name(wide.w) {}
    const char* text() const { return name.text; }
};

// "&quot;" and "&amp;" back to the characters they stand for.
void decode(Text& v) {
    if (v.find(u'&') == Text::npos) return;
    Text out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v.compare(i, 6, u"&quot;") == 0) out.push_back(u'"'), i += 5;
        else if (v.compare(i, 5, u"&amp;") == 0) out.push_back(u'&'), i += 4;
        else out.push_back(v[i]);
    }
    v.swap(out);
}

int hex_digit(WChar c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// "#RRGGBB" gives 0x00BBGGRR, "#AARRGGBB" gives 0xAARRGGBB; anything else 0.
int32_t colour(const Text& t) {
    if (t.size() != 7 && t.size() != 9) return 0;
    uint32_t v = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        int d = hex_digit(t[i]);
        if (d < 0) return 0;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    if (t.size() == 7) v = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    return static_cast<int32_t>(v);
}

// A decimal integer with an optional sign, or "0x" and up to 16 hexadecimal digits.
bool parse_integer(const Text& t, int64_t* out) {
    size_t i = 0;
    const size_t n = t.size();
    if (n >= 3 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
        if (n - 2 > 16) return false;
        uint64_t v = 0;
        for (i = 2; i < n; ++i) {
            int d = hex_digit(t[i]);
            if (d < 0) return false;
            v = (v << 4) | static_cast<uint64_t>(d);
        }
        *out = static_cast<int64_t>(v);
        return true;
    }
    bool negative = false;
    if (i < n && (t[i] == u'-' || t[i] == u'+')) negative = t[i++] == u'-';
    if (i == n) return false;
    uint64_t v = 0;
    for (; i < n; ++i) {
        if (t[i] < u'0' || t[i] > u'9') return false;
        const unsigned d = t[i] - u'0';
        if (v > (0xFFFFFFFFFFFFFFFFull - d) / 10) return false;
        v = v * 10 + d;
    }
    if (v > (negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull)) return false;
    *out = static_cast<int64_t>(negative ? 0 - v : v);
    return true;
}

// A decimal real ("." or "," as the separator), inf and nan included; false for anything else.
bool parse_real(const Text& t, double* out) {
    std::string s;
    for (WChar c : t) {
        if (c > 0x7F) return false;
        s.push_back(c == u',' ? '.' : static_cast<char>(c));
    }
    const char* b = s.data();
    if (!s.empty() && *b == '+') ++b;
    const char* e = s.data() + s.size();
    auto r = std::from_chars(b, e, *out, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

struct Arg {
    const Text* text;  // a string argument, or
    void* pointer;     // a pointer argument
};
Arg str(const Text& t) { return {&t, nullptr}; }
Arg ptr(void* p) { return {nullptr, p}; }

class Reader {
public:
    Reader(Runtime* rt, Frame* f, CMarkupParser* p) : rt_(rt), f_(f), p_(p) {}
    bool run();

private:
    struct Element {
        Text name;
        void* obj;
        const CClass* cls;
    };

    bool tag();
    bool attributes();
    bool start(const Text& name);
    bool end();
    bool attribute(const Text& name, Text value);
    bool assign(const Element& e, const CMember* m, bool property, const Text& value);
    bool from_string(const Element& e, const CMember* m, bool property, const Text& value);
    bool held_object(void* parent, const CClass* pcls, const Text& name, void** obj, const CClass** cls);
    void store_in_member(void* parent, const CClass* pcls, const Text& name, void* obj);
    bool append_item(void* parent, const CClass* pcls, void* obj);
    void* new_instance(const CClass* c);
    CClass* alias(const Text& name) const;
    bool invoke(Instruction* method, void* self, std::initializer_list<Arg> args);
    bool call(const PMethod& handler, std::initializer_list<Arg> args) {
        return !handler.Method || invoke(handler.Method, handler.Target, args);
    }
    void skip_past(WChar c) {
        size_t at = src_.find(c, i_);
        i_ = at == Text::npos ? src_.size() : at + 1;
    }

    Runtime* rt_;
    Frame* f_;
    CMarkupParser* p_;
    Text src_;
    size_t i_ = 0;
    std::vector<Element> open_;
};

bool Reader::run() {
    const WStr* source = p_->source;
    if (!source || invalid_address(source)) return true;
    src_.assign(source->text(), source->length);
    const size_t n = src_.size();
    while (i_ < n) {
        const size_t lt = src_.find(u'<', i_);
        if (lt == Text::npos) break;  // text after the last tag reaches no "<"
        if (lt > i_ && !p_->xml_rules && p_->character_handler.Method) {
            const Text text = src_.substr(i_, lt - i_);
            if (!call(p_->character_handler, {str(text)})) return false;
        }
        i_ = lt;
        if (src_.compare(i_, 4, u"<!--") == 0) {
            const size_t close = src_.find(u"-->", i_ + 4);
            i_ = close == Text::npos ? n : close + 3;
            continue;
        }
        if (!tag()) return false;
    }
    return true;
}

// A tag from its "<": the name ends at ">", white space or a "/" after its first unit.
bool Reader::tag() {
    const size_t n = src_.size();
    const size_t first = ++i_;
    while (i_ < n && src_[i_] != u'>' && !is_space(src_[i_]) && !(src_[i_] == u'/' && i_ > first)) ++i_;
    const Text name = src_.substr(first, i_ - first);
    if (name.empty() || name[0] == u'/') {
        skip_past(u'>');
        return name.empty() || end();
    }
    return start(name) && attributes();
}

bool Reader::attributes() {
    const size_t n = src_.size();
    for (;;) {
        while (i_ < n && is_space(src_[i_])) ++i_;
        if (i_ >= n) return true;  // cut off: the element stays open
        if (src_[i_] == u'>') {
            ++i_;
            return true;
        }
        if (src_[i_] == u'/') {
            skip_past(u'>');
            return end();
        }
        const size_t a = i_;
        while (i_ < n && !is_space(src_[i_]) && src_[i_] != u'=' && src_[i_] != u'>' && src_[i_] != u'/') ++i_;
        if (i_ == a) {  // a stray "="
            ++i_;
            continue;
        }
        const Text name = src_.substr(a, i_ - a);
        Text value;
        size_t k = i_;
        while (k < n && is_space(src_[k])) ++k;
        if (k < n && src_[k] == u'=') {
            i_ = k + 1;
            while (i_ < n && is_space(src_[i_])) ++i_;
            if (i_ < n && (src_[i_] == u'"' || src_[i_] == u'\'')) {
                const WChar quote = src_[i_++];
                size_t close = src_.find(quote, i_);
                if (close == Text::npos) close = n;
                value = src_.substr(i_, close - i_);
                i_ = close < n ? close + 1 : n;
            } else {
                const size_t v = i_;  // up to white space, ">" or a closing "/>"
                while (i_ < n && !is_space(src_[i_]) && src_[i_] != u'>' &&
                       !(src_[i_] == u'/' && i_ + 1 < n && src_[i_ + 1] == u'>'))
                    ++i_;
                value = src_.substr(v, i_ - v);
            }
        }
        decode(value);
        if (!attribute(name, std::move(value))) return false;
    }
}

bool Reader::start(const Text& name) {
    void* obj = nullptr;
    const CClass* cls = nullptr;
    if (p_->rtti && !p_->collection) {
        if (CClass* c = p_->classes ? alias(name) : nullptr) {
            void* made = new_instance(c);
            if (f_->pending) return false;
            p_->class_info = c;
            p_->obj = made;
        }
        obj = p_->obj;
        cls = obj ? (p_->class_info ? p_->class_info : class_if_object(rt_, obj)) : nullptr;
    } else if (p_->rtti) {
        const bool top = open_.empty();
        void* parent = top ? p_->obj : open_.back().obj;
        const CClass* pcls = !top ? open_.back().cls : parent ? (p_->class_info ? p_->class_info : class_if_object(rt_, parent)) : nullptr;
        CClass* c = p_->classes ? alias(name)
                                : class_by_hash(rt_->program.classes, name_hash(name.data(), static_cast<uint32_t>(name.size())));
        if (c) {
            if (parent || top) {  // an element whose parent element has no object builds nothing
                obj = new_instance(c);
                if (f_->pending) return false;
                cls = c;
                if (!parent) {  // the root element with no object to fill: it becomes the one
                    p_->obj = obj;
                    p_->class_info = c;
                } else if (!pcls->is_struct && is_collection(pcls)) {
                    if (!append_item(parent, pcls, obj)) return false;
                } else {
                    store_in_member(parent, pcls, name, obj);
                    if (f_->pending) return false;
                }
            }
        } else {
            if (!parent || !pcls) type_not_found(name);
            if (!held_object(parent, pcls, name, &obj, &cls)) return false;
        }
    }
    open_.push_back({name, obj, cls});
    return call(p_->start_element_handler, {str(name), ptr(obj)});
}

bool Reader::end() {
    if (open_.empty()) return true;  // an end tag with nothing open
    const Element& e = open_.back();
    const bool ok = call(p_->end_element_handler, {str(e.name), ptr(e.obj)});
    open_.pop_back();
    return ok;
}

// The object that a member of the parent holds: a pointer field or property, or a struct
// embedded in the parent.
bool Reader::held_object(void* parent, const CClass* pcls, const Text& name, void** obj, const CClass** cls) {
    Narrow n(name);
    const CMember* m = find_field(pcls, n.text());
    const bool property = !m;
    if (!m) m = property_in_chain(pcls, n.text());
    if (!m || m->type != kTypePointer) type_not_found(name);
    const auto* info = m->kind == kMemberObject ? static_cast<const CClass*>(m->info) : nullptr;
    void* held = nullptr;
    if (!property && m->array_length == -1 && info && m->address >= 0) {
        *obj = static_cast<char*>(parent) + m->address;
        *cls = info;
        return true;
    }
    if (!property && m->address >= 0 && m->array_length == 0) {
        held = *reinterpret_cast<void**>(static_cast<char*>(parent) + m->address);
    } else if (property) {
        ValueStack* s = f_->stack;
        const int32_t base = s->count;
        if (load_property(rt_, parent, m, f_) && !f_->pending && s->count == base + 1) held = pop_pointer(s);
        s->count = base;
        if (f_->pending) return false;
    }
    if (held && invalid_address(held)) held = nullptr;
    *obj = held;
    *cls = held ? (info && info->is_struct ? info : class_if_object(rt_, held)) : nullptr;
    return true;
}

void Reader::store_in_member(void* parent, const CClass* pcls, const Text& name, void* obj) {
    Narrow n(name);
    if (const CMember* m = find_field(pcls, n.text())) {
        if (m->type == kTypePointer && m->address >= 0 && m->array_length == 0)
            *reinterpret_cast<void**>(static_cast<char*>(parent) + m->address) = obj;
        return;
    }
    const CMember* p = property_in_chain(pcls, n.text());
    if (!p || p->type != kTypePointer) return;
    ValueStack* s = f_->stack;
    const int32_t base = s->count;
    push_pointer(s, obj);
    store_property(rt_, parent, p, f_);
    s->count = base;
}

bool Reader::append_item(void* parent, const CClass* pcls, void* obj) {
    PtrList* items = collection_items(parent, pcls);
    if (!items) raise_runtime_error("Null list reference");
    items->add(obj);
    if (!p_->collection_notify) return true;
    Instruction* added = method_in_chain(class_if_object(rt_, parent), name_hash("ItemAdded"));
    return !added || invoke(added, parent, {ptr(obj)});
}

void* Reader::new_instance(const CClass* c) {
    if (c->constructor && c->constructor->param_count() > 0 && !c->internal_class && !c->is_struct)
        raise_with("The type '", Text(c->name, c->name + std::strlen(c->name)), "' needs constructor arguments");
    create_object(rt_, const_cast<CClass*>(c), f_);
    return pop_pointer(f_->stack);
}

CClass* Reader::alias(const Text& name) const {
    const PtrList* list = p_->classes;
    for (int32_t i = 0; i < list->count; ++i) {
        auto* item = static_cast<const StrItem*>((*list)[i]);
        if (item && item->text.length == name.size() &&
            (name.empty() || std::memcmp(item->text.buffer, name.data(), name.size() * sizeof(WChar)) == 0))
            return static_cast<CClass*>(item->object);
    }
    return nullptr;
}

bool Reader::attribute(const Text& name, Text value) {
    if (open_.empty()) return true;
    const Element& e = open_.back();
    if (p_->rtti && e.obj && e.cls) {
        Narrow n(name);
        const CMember* m = find_field(e.cls, n.text());
        const bool property = !m;
        if (!m) m = property_in_chain(e.cls, n.text());
        if (!m) raise_with("attribute '", name, "' not found in element '", &e.name, "'");
        const PMethod resources = p_->resource_handler;
        if (value.size() >= 2 && value.front() == u'{' && value.back() == u'}' && resources.Method) {
            struct Args {
                CMarkupParserResourceHandlerArgs record{};
                OwnedText attribute, resource, key, result;
            } a;
            const Text ref = value.substr(1, value.size() - 2);
            const size_t split = p_->resource_split_char ? ref.find(p_->resource_split_char) : Text::npos;
            a.attribute.w.assign_wide(name.data(), static_cast<uint32_t>(name.size()));
            a.resource.w.assign_wide(ref.data(), static_cast<uint32_t>(split == Text::npos ? ref.size() : split));
            if (split != Text::npos) a.key.w.assign_wide(ref.data() + split + 1, static_cast<uint32_t>(ref.size() - split - 1));
            a.record = {&a.attribute.w, &a.resource.w, &a.key.w, e.obj, const_cast<CMember*>(m), &a.result.w, 0};
            if (!invoke(resources.Method, resources.Target, {ptr(&a.record)})) return false;
            if (a.record.Handled) return true;  // the handler took care of the attribute
            const WStr* result = a.record.Result;
            if (result && !invalid_address(result) && result->length) value.assign(result->text(), result->length);
        }
        if (!assign(e, m, property, value)) return false;
    }
    return call(p_->attribute_handler, {str(name), str(value), ptr(e.obj)});
}

bool Reader::assign(const Element& e, const CMember* m, bool property, const Text& value) {
    const char code = static_cast<char>(m->type);
    if (m->kind == kMemberObject && code == kTypePointer) return from_string(e, m, property, value);
    if (!property && (m->array_length != 0 || m->address < 0)) return true;  // inline arrays take no text
    ValueStack* s = f_->stack;
    const int32_t base = s->count;
    int64_t number = 0;
    const bool is_number = parse_integer(value, &number);
    double real = 0;
    const bool is_int_code = code == kTypeInt || code == kTypeByte || code == kTypeChar || code == kTypeShort || code == kTypeNative;
    if (m->kind == kMemberEnum && is_int_code) {
        int32_t v = static_cast<int32_t>(number);
        if (!value.empty() && value[0] == u'#') {
            v = colour(value);
        } else if (const auto* en = static_cast<const CEnum*>(m->info); en && en->members) {
            Narrow n(value);
            for (int32_t i = 0; i < en->members->count; ++i) {
                auto* em = static_cast<const CEnumMember*>((*en->members)[i]);
                if (std::strcmp(em->name, n.text()) == 0) {
                    v = em->value;
                    break;
                }
            }
        }
        push_int(s, v);
    } else {
        switch (code) {
            case kTypeString: push_string_units(s, value.data(), static_cast<uint32_t>(value.size())); break;
            case kTypeInt:
                if (!value.empty() && value[0] == u'#') push_int(s, colour(value));
                else if (is_number) push_int(s, static_cast<int32_t>(number));
                else push_int(s, static_cast<int32_t>(name_hash(value.data(), static_cast<uint32_t>(value.size()))));
                break;
            case kTypeBool: push_bool(s, value == u"true" || (value != u"false" && number != 0)); break;
            case kTypeByte:
            case kTypeChar:
            case kTypeShort:
            case kTypeNative: push_int(s, static_cast<int32_t>(number)); break;
            case kTypeDouble: push_double(s, parse_real(value, &real) ? real : 0.0); break;
            case kTypeFloat: push_double(s, value == u"auto" ? -1.0 : parse_real(value, &real) ? real : 0.0); break;
            case kTypeLong: push_long(s, number); break;
            case kTypePointer: push_pointer(s, reinterpret_cast<void*>(static_cast<intptr_t>(number))); break;
            case kTypeMethod: {
                void* container = p_->container;
                Instruction* h = method_in_chain(class_if_object(rt_, container),
                                                 name_hash(value.data(), static_cast<uint32_t>(value.size())));
                if (!h) raise_with("method '", value, "' not found in container for '", &e.name, "'");
                push_method(s, h, container);
                break;
            }
            default: return true;
        }
    }
    if (!property) store_cell(f_->stack, static_cast<char*>(e.obj) + m->address, code);
    else store_property(rt_, e.obj, m, f_);
    s->count = base;
    return !f_->pending;
}

// An object member takes the text through its object's virtual method FromString.
bool Reader::from_string(const Element& e, const CMember* m, bool property, const Text& value) {
    const auto* info = static_cast<const CClass*>(m->info);
    if (info && (info->is_struct || info->internal_class)) return true;
    void* target = nullptr;
    ValueStack* s = f_->stack;
    const int32_t base = s->count;
    if (!property) {
        if (m->address >= 0 && m->array_length == 0) target = *reinterpret_cast<void**>(static_cast<char*>(e.obj) + m->address);
    } else if (load_property(rt_, e.obj, m, f_) && !f_->pending && s->count == base + 1) {
        target = pop_pointer(s);
    }
    s->count = base;
    if (f_->pending) return false;
    Instruction* method = method_in_chain(class_if_object(rt_, target), name_hash("FromString"));
    return !method || invoke(method, target, {str(value)});
}

// A script method called with the first of the offered arguments that it declares; whatever it
// returns is dropped.
bool Reader::invoke(Instruction* method, void* self, std::initializer_list<Arg> args) {
    if (invalid_address(method)) raise_runtime_error("Call of an invalid method");
    const int declared = method->param_count();
    if (declared > static_cast<int>(args.size())) raise_runtime_error("Markup handler takes too many parameters");
    ValueStack* s = f_->stack;
    const int32_t base = s->count;
    int k = 0;
    for (const Arg& a : args) {
        if (k++ == declared) break;
        if (a.text) push_string_units(s, a.text->data(), static_cast<uint32_t>(a.text->size()));
        else push_pointer(s, a.pointer);
    }
    run_method(rt_, method, self, f_);
    s->count = base;
    return !f_->pending;
}

}  // namespace

bool markup_read(Runtime* rt, Frame* f, CMarkupParser* p) {
    Reader r(rt, f, p);
    return r.run();
}

}  // namespace qel
