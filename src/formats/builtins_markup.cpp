// The markup built-ins: class_serialize writes an object tree as markup lines, markup_parse builds
// one from markup text.
#include <new>

#include "formats/markup.h"
#include "stdlib/builtin_support.h"

namespace qel {

// (object: pointer, aliases: pointer, target: pointer) -> bool
void bi_class_serialize(Runtime* rt, Frame* f) {
    PtrList* target = pop_list(f->stack);
    auto* aliases = static_cast<const PtrList*>(pop_pointer(f->stack));
    void* obj = pop_pointer(f->stack);
    bool done;
    try {
        done = markup_write(rt, f, obj, aliases, target);
    } catch (const std::bad_alloc&) {
        raise_runtime_error("Out of memory");
    }
    if (done) push_bool(f->stack, true);  // otherwise a getter's exception is on its way
}

// (parser: pointer to CMarkupParser) -> int
void bi_markup_parse(Runtime* rt, Frame* f) {
    auto* parser = static_cast<CMarkupParser*>(pop_pointer(f->stack));
    if (!parser || invalid_address(parser)) raise_runtime_error("Null markup parser");
    bool done;
    try {
        done = markup_read(rt, f, parser);
    } catch (const std::bad_alloc&) {
        raise_runtime_error("Out of memory");
    }
    if (done) push_int(f->stack, 1);
}

}  // namespace qel
