// Built-ins called from C++ as callstd calls them (a loaded runtime, arguments pushed in order, the
// values left read back as text), and small method bodies run by the interpreter.
#pragma once
#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <variant>
#include <vector>

#include "base/runtime_error.h"
#include "host/builtins.h"
#include "image/instruction.h"
#include "test_support.h"
#include "vm/exceptions.h"
#include "vm/interpreter.h"
#include "vm/stack_ops.h"

// A built-in and its name, for the rows of tables of built-in calls.
#define FN(name) qel::bi_##name, #name

namespace qeltest {

struct Ptr { const void* p; };                                     // a pointer argument
struct Mtd { qel::Instruction* header; uintptr_t target = 0; };  // a method value
// An argument: int, long, double, bool, pointer, UTF-8 text (NULs allowed), UTF-16 text, method.
using Arg = std::variant<int32_t, int64_t, double, bool, Ptr, std::string, std::u16string, Mtd>;

class Builtins : public ::testing::Test {
public:
    void SetUp() override { use_image("#include \"prelude/minimal.qsrc\"\n"); }

    void use_image(const std::string& authoring) {
        image = load(authoring);
        ASSERT_TRUE(image.ok) << image.report.what;
        st = &image.rt->stack;
        st->count = 0;
        qel::init_bare_frame(frame, st);
    }

    void push(const Arg& a) {
        std::visit([&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int32_t>) qel::push_int(st, v);
            else if constexpr (std::is_same_v<T, int64_t>) qel::push_long(st, v);
            else if constexpr (std::is_same_v<T, double>) qel::push_double(st, v);
            else if constexpr (std::is_same_v<T, bool>) qel::push_bool(st, v);
            else if constexpr (std::is_same_v<T, Ptr>) qel::push_pointer(st, v.p);
            else if constexpr (std::is_same_v<T, std::u16string>) qel::push_string_units(st, v.data(), uint32_t(v.size()));
            else if constexpr (std::is_same_v<T, Mtd>) qel::push_method(st, v.header, reinterpret_cast<void*>(v.target));
            else {
                qel::Value& slot = qel::push_slot(st);
                slot.tag = qel::kTagString;
                slot.text.assign_utf8(v.c_str(), static_cast<int>(v.size()));
            }
        }, a);
    }

    // Runs f: "" or the message of the runtime error it raised.
    template <typename F>
    std::string caught(F f) {
        try {
            f();
        } catch (const qel::qel_exception& e) {
            qel::WStr* w = qel::exception_message(image.rt.get(), e.object);
            return w ? utf8(*w) : std::string("?");
        }
        return "";
    }

    // Calls the built-in on the frame: "" or the message of the runtime error it raised.
    std::string call(qel::BuiltinFn fn) { return caught([&] { fn(image.rt.get(), &frame); }); }

    // On an emptied stack: pushes the arguments and calls; "" or the error.
    std::string run(qel::BuiltinFn fn, const std::vector<Arg>& args = {}) {
        st->count = 0;
        for (const Arg& a : args) push(a);
        return call(fn);
    }

    // As run; then the one value left as text (see text), "<n values>", or the error.
    std::string result(qel::BuiltinFn fn, const std::vector<Arg>& args = {}) {
        std::string error = run(fn, args);
        if (!error.empty()) return error;
        return st->count == 1 ? text(top()) : "<" + std::to_string(st->count) + " values>";
    }

    template <typename T = void>  // the one pointer a built-in leaves (failing the test otherwise)
    T* pointer(qel::BuiltinFn fn, const std::vector<Arg>& args = {}) {
        EXPECT_EQ(run(fn, args), "");
        EXPECT_TRUE(st->count == 1 && top().tag == qel::kTagPointer) << st->count;
        return st->count == 1 ? static_cast<T*>(top().v.p) : nullptr;
    }

    // Runs code as the body of a method with these variables (type codes) in an image of the
    // minimal prelude and the declarations (with more source after it): the one value it returns,
    // as text, or the message of the error it raised.
    std::string eval(const std::string& vars, const std::string& body, const std::string& more = "") {
        use_image("#include \"prelude/minimal.qsrc\"\n" + declarations + "[SOURCE]\nmethod T.[a:1][m:0][p:00][r:v][v:" + vars +
                  "p]\ntry @error\n" + body + "\nreturn\n@error:\nexc " + std::to_string(vars.size()) + "\nldvptr " +
                  std::to_string(vars.size()) + "\nldpstr Exception.FMessage\nreturn\n" + more + "[/SOURCE]\n");
        if (!image.ok) return "<load failed>";
        qel::run_top_level(image.rt.get(), image.rt->program.code.method("T"), nullptr, st);
        return st->count == 1 ? text(top()) : "<" + std::to_string(st->count) + " values>";
    }

    // "i:5", "l:-5", "d:0.5", "b:true", "p:16", "s:text" (UTF-8, a 0 unit as \0, a missing
    // terminator reported); other kinds as their tag.
    static std::string text(const qel::Value& v) {
        char t[40];
        switch (v.tag) {
            case qel::kTagInt: return "i:" + std::to_string(v.v.i);
            case qel::kTagLong: return "l:" + std::to_string(v.v.l);
            case qel::kTagBool: return v.v.i ? "b:true" : "b:false";
            case qel::kTagPointer: return "p:" + std::to_string(v.v.u);
            case qel::kTagDouble: return "d:" + std::string(t, std::to_chars(t, t + sizeof t, v.v.d).ptr);
            case qel::kTagString: return v.text.buffer && v.text.buffer[v.text.length] ? "s:<unterminated>" : "s:" + utf8(v.text);
            default: return "<tag " + std::to_string(v.tag) + ">";
        }
    }

    // The units up to the length in UTF-8, a 0 unit as \0.
    static std::string utf8(const qel::WStr& w) {
        static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
        std::string out;
        for (uint32_t k = 0; k < w.length; ++k) {
            uint32_t c = w.buffer[k];
            if (c >= 0xD800 && c < 0xDC00 && k + 1 < w.length) c = 0x10000 + ((c - 0xD800) << 10) + (w.buffer[++k] - 0xDC00);
            if (c == 0) {
                out += "\\0";
                continue;
            }
            int n = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
            out += static_cast<char>(kLead[n] | (c >> (6 * n)));
            while (n-- > 0) out += static_cast<char>(0x80 | ((c >> (6 * n)) & 63));
        }
        return out;
    }

    qel::Value& top() { return st->slots[st->count - 1]; }
    int count() const { return st->count; }
    void reset() { st->count = 0; }

    Loaded image;
    std::string declarations;  // image text that eval puts before its method: metadata, methods
    qel::ValueStack* st = nullptr;
    qel::Frame frame;
};

}  // namespace qeltest
