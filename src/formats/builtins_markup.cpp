// The markup built-ins: class_serialize writes an object tree as markup lines, markup_parse builds
// one from markup text.
#include <new>

#include "formats/markup.h"
#include "stdlib/builtin_support.h"

namespace qel {

// (object: pointer, aliases: pointer, target: pointer) -> bool
void bi_class_serialize(Runtime* rt, Frame* f) {
    PtrList* target = pop_list(f->stack);
    auto* aliases = static_cast<const PtrList*>(pop_optional(f->stack, "list reference"));
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
    // What the record points at is read through: lists, strings, classes and objects must be real.
    if (parser->classes) check_reference(parser->classes, "list reference");
    if (parser->source) check_reference(parser->source, "string reference");
    if (parser->class_info && !rt->program.class_index.has(parser->class_info)) raise_runtime_error("Class info not found!");
    for (void* o : {parser->obj, parser->container})  // an object or a struct
        if (o) check_reference(o, "object");
    bool done;
    try {
        done = markup_read(rt, f, parser);
    } catch (const std::bad_alloc&) {
        raise_runtime_error("Out of memory");
    }
    if (done) push_int(f->stack, 1);
}

}  // namespace qel
