#include "test_support.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "image/image_parser.h"
#include "qelasm/authoring.h"
#include "types/class_registry.h"

namespace qeltest {

namespace {
std::vector<std::string>* g_notes = nullptr;
void note(int number, const std::string& text) { g_notes->push_back(std::to_string(number) + " " + text); }
}  // namespace

std::string image_text(const std::string& authoring) {
    std::string out, error;
    bool ok = qelasm::build_image_text_from(authoring, "test", QEL_SOURCE_DIR "/tests/images", &out, &error);
    EXPECT_TRUE(ok) << error;
    return out;
}

namespace {
// The text with its terminating NUL, parsed only or loaded whole.
Loaded read(const std::string& text, bool whole) {
    Loaded l;
    l.rt = std::make_unique<qel::Runtime>();
    l.text = text;
    if (l.text.empty() || l.text.back() != '\0') l.text.push_back('\0');
    g_notes = &l.notes;
    l.report.notify = note;
    l.ok = whole ? qel::load_image_text(*l.rt, l.text.data(), l.report) : qel::parse_image(l.rt->program, l.text.data(), l.report);
    return l;
}
}  // namespace

Loaded load_raw(const std::string& text) { return read(text, true); }
Loaded load(const std::string& authoring) { return load_raw(image_text(authoring)); }
Loaded parse_raw(const std::string& text) { return read(text, false); }
Loaded parse(const std::string& authoring) { return parse_raw(image_text(authoring)); }

qel::CClass* find_class(qel::Runtime& rt, const char* name) { return qel::class_by_name(rt.program.classes, name); }

std::string literal_text(const qel::Literal* lit) {
    if (lit->narrow) return "b:" + std::string(lit->bytes(), lit->length);
    const qel::WStr view{const_cast<char16_t*>(lit->units()), lit->length, lit->length};
    char* utf8 = view.to_utf8();
    std::string out = "u:" + std::string(utf8 ? utf8 : "");
    std::free(utf8);
    return out;
}

}  // namespace qeltest
