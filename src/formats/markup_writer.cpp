// The markup writer (class_serialize): one element per object, published members as attributes in
// class chain order, child objects as nested elements, collection items after them.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/runtime_error.h"
#include "formats/markup.h"
#include "stdlib/string_list.h"
#include "types/class_registry.h"
#include "vm/member_access.h"
#include "vm/objects.h"
#include "vm/runtime.h"
#include "vm/stack_ops.h"

namespace qel {

bool is_collection(const CClass* c) { return c && is_a(c, "CCollection"); }

PtrList* collection_items(void* obj, const CClass* c) {
    for (; c; c = c->base_class) {
        if (std::strcmp(c->name, "CList") != 0) continue;
        if (!c->fields || c->fields->count == 0) return nullptr;
        auto* m = static_cast<const CMember*>((*c->fields)[0]);
        if (m->type != kTypePointer || m->address < 0 || m->array_length != 0) return nullptr;
        return *reinterpret_cast<PtrList**>(static_cast<char*>(obj) + m->address);
    }
    return nullptr;
}

namespace {

using Text = std::u16string;

void append_ascii(Text& t, const char* s) {
    for (; *s; ++s) t.push_back(static_cast<unsigned char>(*s));
}

// A string attribute's text: double quotes as &quot;. An ampersand is written as &amp; only where
// the reader would otherwise take it for the start of one of these two.
void append_escaped(Text& t, const WStr& s) {
    const WChar* u = s.text();
    for (uint32_t i = 0; i < s.length; ++i) {
        if (u[i] == u'"') {
            append_ascii(t, "&quot;");
        } else if (u[i] == u'&' && ((s.length - i >= 6 && std::char_traits<WChar>::compare(u + i, u"&quot;", 6) == 0) ||
                                    (s.length - i >= 5 && std::char_traits<WChar>::compare(u + i, u"&amp;", 5) == 0))) {
            append_ascii(t, "&amp;");
        } else {
            t.push_back(u[i]);
        }
    }
}

void add_line(PtrList* list, const Text& t) { string_list_add(list, t.data(), static_cast<uint32_t>(t.size()), nullptr); }

struct ListOwner {
    void operator()(PtrList* l) const { string_list_free(l); }
};
using OwnedList = std::unique_ptr<PtrList, ListOwner>;

class Writer {
public:
    Writer(Runtime* rt, Frame* f, const PtrList* aliases) : rt_(rt), f_(f), aliases_(aliases) {}

    Text tag_of(const CClass* c) const {
        Text t;
        if (aliases_) {
            int32_t i = string_list_index_of_object(aliases_, c);
            if (i >= 0) {
                const WStr& alias = string_list_item(aliases_, i)->text;
                return Text(alias.text(), alias.length);
            }
        }
        append_ascii(t, c->name);
        return t;
    }

    bool object(void* obj, const CClass* cls, const Text& tag, PtrList* out);

private:
    // Reads a published member onto the stack; false when it gives no value.
    bool read(void* obj, const CMember* m, bool property) {
        ValueStack* s = f_->stack;
        const int32_t base = s->count;
        if (property) {
            if (!load_property(rt_, obj, m, f_)) return false;
        } else {
            if (m->address < 0 || m->array_length != 0) return false;
            load_cell(f_->stack, static_cast<char*>(obj) + m->address, static_cast<char>(m->type));
        }
        if (f_->pending || s->count != base + 1) {  // an exception, or a getter that returned nothing
            s->count = base;
            return false;
        }
        return true;
    }

    bool member(void* obj, const CMember* m, bool property, Text& header, std::vector<OwnedList>& children);

    Runtime* rt_;
    Frame* f_;
    const PtrList* aliases_;
    std::vector<const void*> path_;  // the objects being written, outermost first
};

bool Writer::member(void* obj, const CMember* m, bool property, Text& header, std::vector<OwnedList>& children) {
    const char code = static_cast<char>(m->type);
    if (code == kTypeMethod || size_of_code(code) == 0 || code == kTypeVoid) return true;
    if (!read(obj, m, property)) return !f_->pending;
    ValueStack* s = f_->stack;
    const int32_t base = s->count - 1;
    const int32_t* def = m->default_value;
    char num[48];
    auto attribute = [&](const char* value) {
        header.push_back(u' ');
        append_ascii(header, m->name);
        header.push_back(u'=');
        append_ascii(header, value);
    };
    switch (code) {
        case kTypeBool: {
            const bool b = pop_bool(s);
            if (!(def && (*def != 0) == b)) attribute(b ? "\"true\"" : "\"false\"");
            break;
        }
        case kTypeChar:
        case kTypeShort:
        case kTypeByte:
        case kTypeInt:
        case kTypeNative: {
            int32_t v = pop_int(s);
            if (code == kTypeChar || code == kTypeShort) v = static_cast<int16_t>(v);
            else if (code == kTypeByte) v = static_cast<int8_t>(v);
            if (def && *def == v) break;
            std::snprintf(num, sizeof num, "\"%i\"", static_cast<int>(v));
            attribute(num);
            break;
        }
        case kTypeDouble:
        case kTypeFloat: {
            std::snprintf(num, sizeof num, "\"%.10g\"", pop_double(s));
            for (char* c = num; *c; ++c)
                if (*c == ',') *c = '.';
            attribute(num);
            break;
        }
        case kTypeLong:
            std::snprintf(num, sizeof num, "%lld", static_cast<long long>(pop_long(s)));
            attribute(num);
            break;
        case kTypeString: {
            const WStr& text = pop_string(s);
            if (text.empty()) break;
            header.push_back(u' ');
            append_ascii(header, m->name);
            header.append(u"=\"");
            append_escaped(header, text);
            header.push_back(u'"');
            break;
        }
        case kTypePointer: {
            void* child = pop_pointer(s);
            const auto* info = static_cast<const CClass*>(m->info);
            // Only members declared with a class type hold objects; native objects have no layout.
            if (!child || invalid_address(child) || m->kind != kMemberObject || !info || info->internal_class) break;
            s->count = base;
            const CClass* cls = info->is_struct ? info : class_of(child);
            if (!cls) break;
            Text tag;
            append_ascii(tag, m->name);
            children.emplace_back(ptr_list_create());
            if (!children.back()) raise_runtime_error("Out of memory");
            if (!object(child, cls, tag, children.back().get())) return false;
            break;
        }
        default: break;
    }
    s->count = base;
    return true;
}

bool Writer::object(void* obj, const CClass* cls, const Text& tag, PtrList* out) {
    for (const void* o : path_)
        if (o == obj) raise_runtime_error("Cannot serialize an object that contains itself");
    if (path_.size() >= static_cast<size_t>(kMarkupMaxDepth)) raise_runtime_error("Object tree too deep to serialize");
    path_.push_back(obj);

    // The class chain from the highest class collected down to the object's own.
    std::vector<const CClass*> chain;
    for (const CClass* c = cls; c; c = c->base_class) {
        chain.insert(chain.begin(), c);
        if (c->is_struct) break;
    }
    Text header = u"<" + tag;
    std::vector<OwnedList> children;
    for (const CClass* c : chain) {
        for (int pass = 0; pass < 2; ++pass) {
            const PtrList* members = pass == 0 ? c->fields : c->properties;
            if (!members) continue;
            for (int32_t i = 0; i < members->count; ++i) {
                auto* m = static_cast<const CMember*>((*members)[i]);
                if (m->access != kAccessPublished) continue;
                if (!member(obj, m, pass == 1, header, children)) return false;
            }
        }
    }
    PtrList* items = !cls->is_struct && is_collection(cls) ? collection_items(obj, cls) : nullptr;
    const bool has_items = items && items->count > 0;
    if (children.empty() && !has_items) {
        header.append(u" />");
        add_line(out, header);
    } else {
        header.push_back(u'>');
        add_line(out, header);
        for (auto& child : children) {
            WStr text{};
            string_list_text(child.get(), text);
            if (!text.empty()) string_list_add(out, text.buffer, text.length, nullptr);
            text.clear();
        }
        for (int32_t i = 0; items && i < items->count; ++i) {  // a script may change the list meanwhile
            void* item = (*items)[i];
            if (!item || invalid_address(item) || !class_of(item)) continue;
            if (!object(item, class_of(item), tag_of(class_of(item)), out)) return false;
        }
        add_line(out, u"</" + tag + u">");
    }
    path_.pop_back();
    return true;
}

}  // namespace

bool markup_write(Runtime* rt, Frame* f, void* obj, const PtrList* aliases, PtrList* target) {
    if (!obj) return true;
    if (invalid_address(obj)) raise_runtime_error("Serialization of an invalid object");
    const CClass* cls = class_of(obj);
    if (!cls || invalid_address(cls)) raise_runtime_error("Serialization of an invalid object");
    Writer w(rt, f, aliases);
    return w.object(obj, cls, w.tag_of(cls), target);
}

}  // namespace qel
