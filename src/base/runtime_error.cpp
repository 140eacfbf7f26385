#include "base/runtime_error.h"

namespace qel {

namespace {
ErrorObjectMaker g_maker = nullptr;
}

void set_error_object_maker(ErrorObjectMaker maker) { g_maker = maker; }

void raise_runtime_error(const WStr& message) { throw qel_exception{g_maker ? g_maker(message) : nullptr}; }

void raise_runtime_error(const char* message) {
    WStr m{};
    m.assign_narrow(message);
    void* obj = g_maker ? g_maker(m) : nullptr;
    m.clear();
    throw qel_exception{obj};
}

void refuse_reference(const void* p, const char* what) {
    WStr m{};
    m.assign_narrow(p ? "Invalid " : "Null ");
    m.append_narrow(what);
    void* obj = g_maker ? g_maker(m) : nullptr;
    m.clear();
    throw qel_exception{obj};
}

}  // namespace qel
