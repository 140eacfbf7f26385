// Calling built-ins from C++: a loaded runtime (the minimal prelude), a frame on its stack,
// pushes of arguments and reads of results.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "host/builtins.h"
#include "test_support.h"
#include "vm/exceptions.h"
#include "vm/interpreter.h"
#include "base/runtime_error.h"
#include "vm/stack_ops.h"

namespace qeltest {

class Builtins : public ::testing::Test {
public:  // the pushes chain: i(1).s(u"x")
    void SetUp() override {
        image = load("#include \"prelude/minimal.qsrc\"\n");
        ASSERT_TRUE(image.ok) << image.failure().what;
        st = &image.rt->stack;
        st->count = 0;
        qel::init_bare_frame(frame, st);
    }

    // Pushes.
    Builtins& i(int32_t v) { qel::push_int(st, v); return *this; }
    Builtins& l(int64_t v) { qel::push_long(st, v); return *this; }
    Builtins& d(double v) { qel::push_double(st, v); return *this; }
    Builtins& b(bool v) { qel::push_bool(st, v); return *this; }
    Builtins& p(const void* v) { qel::push_pointer(st, v); return *this; }
    Builtins& s(const std::u16string& v) { qel::push_string(st, v.c_str()); return *this; }
    Builtins& s8(const std::string& utf8) {
        qel::Value& v = qel::push_slot(st);
        v.tag = qel::kTagString;
        v.text.assign_utf8(utf8.c_str(), static_cast<int>(utf8.size()));
        return *this;
    }

    // Calls the built-in with the frame; returns the message of a runtime error, or "".
    std::string call(qel::BuiltinFn fn) {
        try {
            fn(image.rt.get(), &frame);
        } catch (const qel::qel_exception& e) {
            return message_of(e.object);
        }
        return "";
    }

    std::string message_of(void* exception) {
        qel::WStr* w = qel::exception_message(image.rt.get(), exception);
        return w ? utf8(*w) : std::string("?");
    }

    static std::string utf8(const qel::WStr& w) {
        char* t = w.to_utf8();
        std::string s = t ? t : "";
        std::free(t);
        return s;
    }

    qel::Value& top() { return st->slots[st->count - 1]; }
    int count() const { return st->count; }
    int32_t top_int() { EXPECT_EQ(top().tag, qel::kTagInt); return top().v.i; }
    double top_double() { EXPECT_EQ(top().tag, qel::kTagDouble); return top().v.d; }
    bool top_bool() { EXPECT_EQ(top().tag, qel::kTagBool); return top().v.i != 0; }
    void* top_pointer() { EXPECT_EQ(top().tag, qel::kTagPointer); return top().v.p; }
    std::string top_string() { EXPECT_EQ(top().tag, qel::kTagString); return utf8(top().text); }
    void reset() { st->count = 0; }

    Loaded image;
    qel::ValueStack* st = nullptr;
    qel::Frame frame;
};

}  // namespace qeltest
