// Memory stream and compression built-ins: the stream first, arguments popped last first.
#include "stdlib/builtin_support.h"
#include "stdlib/streams.h"

namespace qel {

namespace {

CMemStream& pop_stream(ValueStack* s) { return checked_stream(pop_pointer(s)); }

}  // namespace

void bi_stream_clear(Runtime* rt, Frame* f) { stream_clear(pop_stream(f->stack)); }

void bi_stream_read(Runtime* rt, Frame* f) {
    int32_t count = pop_int(f->stack);
    void* buffer = pop_pointer(f->stack);
    CMemStream& s = pop_stream(f->stack);
    push_int(f->stack, stream_read(s, buffer, count));
}

void bi_stream_write(Runtime* rt, Frame* f) {
    int32_t count = pop_int(f->stack);
    void* buffer = pop_pointer(f->stack);
    CMemStream& s = pop_stream(f->stack);
    push_int(f->stack, stream_write(s, buffer, count));
}

void bi_stream_to_hex_string(Runtime* rt, Frame* f) {
    void* ref = pop_pointer(f->stack);
    CMemStream& s = pop_stream(f->stack);
    stream_to_hex(s, ref_string(ref));
}

void bi_stream_from_hex_string(Runtime* rt, Frame* f) {
    WStr& text = pop_string(f->stack);
    CMemStream& s = pop_stream(f->stack);
    int32_t written = 0;
    if (!stream_from_hex(s, text, &written)) raise_runtime_error("Invalid hexadecimal text");
}

void bi_stream_load_from_file(Runtime* rt, Frame* f) {
    WStr& name = pop_string(f->stack);
    CMemStream& s = pop_stream(f->stack);
    bool ok = usable_file_name(name) && stream_load_file(s, name.text());
    push_bool(f->stack, ok);
}

void bi_stream_save_to_file(Runtime* rt, Frame* f) {
    WStr& name = pop_string(f->stack);
    CMemStream& s = pop_stream(f->stack);
    bool ok = usable_file_name(name) && stream_save_file(s, name.text());
    push_bool(f->stack, ok);
}

void bi_stream_set_size(Runtime* rt, Frame* f) {
    int32_t size = pop_int(f->stack);
    CMemStream& s = pop_stream(f->stack);
    if (size < 0) raise_runtime_error("Invalid stream size");
    if (!stream_set_size(s, size)) raise_runtime_error("Out of memory");
}

void bi_stream_set_capacity(Runtime* rt, Frame* f) {
    int32_t capacity = pop_int(f->stack);
    CMemStream& s = pop_stream(f->stack);
    if (capacity < 0) raise_runtime_error("Invalid stream capacity");
    if (!stream_set_capacity(s, capacity)) raise_runtime_error("Out of memory");
}

// compress and uncompress frame their output as the image container does: a zlib stream whose
// two header bytes read "ql". The target's contents are replaced; the result is zlib's status.
void bi_compress(Runtime* rt, Frame* f) {
    CMemStream& target = pop_stream(f->stack);
    CMemStream& source = pop_stream(f->stack);
    push_int(f->stack, stream_compress(source, target));
}

void bi_uncompress(Runtime* rt, Frame* f) {
    CMemStream& target = pop_stream(f->stack);
    CMemStream& source = pop_stream(f->stack);
    push_int(f->stack, stream_uncompress(source, target));
}

}  // namespace qel
