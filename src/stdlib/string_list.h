// String lists: a PtrList of StrItem records, one per line, each with an attached word. The list
// owns its items and their text, never the attached objects. Doubles as a name=value store and
// as a text file in memory (ANSI, UTF-8 or UTF-16 with byte-order marks, or the "ql" container).
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/ptr_list.h"
#include "base/wstr.h"

namespace qel {

struct StrItem {
    WStr text;     // the line, without line-break characters
    void* object;  // the attached word; 0 when none
};
// A StrItem pointer is also a pointer to its text: scripts receive it as a WStr pointer.
static_assert(offsetof(StrItem, text) == 0 && sizeof(StrItem) == 16);

// File encodings of string_list_save_file.
enum StringListEncoding : int32_t { kEncodingAnsi = 0, kEncodingUtf8 = 2, kEncodingUtf16 = 3 };

// Every operation that makes items raises "Out of memory" when the memory cannot be had.

// The item of line index: "List index out of bounds" outside 0 .. count - 1.
StrItem* string_list_item(const PtrList* list, int32_t index);
void string_list_add(PtrList* list, const WChar* text, uint32_t n, void* object);
// index 0 .. count; anything else raises the bounds error and adds nothing.
void string_list_insert(PtrList* list, int32_t index, const WStr& text);
void string_list_delete(PtrList* list, int32_t index);
// Frees every line; the list is left empty with no array.
void string_list_clear(PtrList* list);
// Clears, then frees the list itself; null is ignored.
void string_list_free(PtrList* list);

// First line with exactly this text (case-sensitive), or -1.
int32_t string_list_index_of(const PtrList* list, const WStr& text);
int32_t string_list_index_of_object(const PtrList* list, const void* object);
// First line whose first "=" stands right after exactly name, or -1 (an empty name gives -1).
int32_t string_list_index_of_name(const PtrList* list, const WStr& name);
// The value of the first line named name; empty when none matches.
void string_list_value(const PtrList* list, const WStr& name, WStr& out);
// Replaces the value of the first line named name (keeping its object), or appends name=value.
void string_list_set_value(PtrList* list, const WStr& name, const WStr& value);
// The text of line index before its first "=" (all of it when there is none) / after it.
void string_list_name_at(const PtrList* list, int32_t index, WStr& out);
void string_list_value_at(const PtrList* list, int32_t index, WStr& out);

// All lines joined with CR LF between them.
void string_list_text(const PtrList* list, WStr& out);
// Replaces the lines with the lines of text: CR LF, a lone CR and a lone LF each end a line; a
// break at the very end adds no empty line. text may be one of the list's own lines.
void string_list_set_text(PtrList* list, const WChar* text, uint32_t n);
// With a separator other than CR LF the pieces between separators are appended behind the
// present lines; with CR LF it is string_list_set_text. An empty separator appends the whole
// text as one line.
void string_list_split(PtrList* list, const WChar* text, uint32_t n, const WStr& separator);

// Order of two line texts: unsigned units, or with A-Z folded to a-z; a prefix sorts first.
int string_list_compare(const WStr& a, const WStr& b, bool case_sensitive);
void string_list_sort(PtrList* list, bool case_sensitive, bool descending);

// Replaces the lines with the decoded bytes: FF FE starts UTF-16 LE, EF BB BF UTF-8, anything
// else is the ANSI code page. False (and the list unchanged) when the bytes cannot be decoded.
bool string_list_decode(PtrList* list, const uint8_t* data, int32_t size);
// False, with the list unchanged, when the file cannot be opened or read.
bool string_list_load_file(PtrList* list, const char16_t* path);
// False when the file cannot be opened or written. An unknown encoding leaves an empty file.
bool string_list_save_file(const PtrList* list, const char16_t* path, int32_t encoding, bool write_bom);
// The "ql" container holding the joined text as UTF-8 with one terminating zero byte.
bool string_list_save_compressed(const PtrList* list, const char16_t* path);
// False when the file cannot be read or inflated; the list is then left empty.
bool string_list_load_compressed(PtrList* list, const char16_t* path);

}  // namespace qel
