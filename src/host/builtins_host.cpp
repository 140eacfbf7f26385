// The built-ins that belong to the host: trace and ShowMessage (message boxes for the script's own
// diagnostics) and system_initialize (the locale and system step again).
#include <cinttypes>
#include <cstdio>

#include "host/builtins.h"
#include "host/error_report.h"
#include "host/system_block.h"
#include "platform/platform.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {
void show_message_box(const char16_t* caption, const WStr& text) {
    char16_t title[256];
    if (caption) {
        int n = 0;
        for (; caption[n] && n < 255; ++n) title[n] = caption[n];
        title[n] = 0;
    } else {
        platform::active_window_caption(title, 256);
    }
    platform::message_box(title, text.text());
}
}  // namespace

void bi_trace(Runtime* rt, Frame* f) {
    WStr text{};
    frame_dump(f, text, true);
    show_message_box(u"Trace", text);
    text.clear();
}

void bi_ShowMessage(Runtime* rt, Frame* f) {
    Value& v = pop_slot(f->stack);
    WStr text{};
    char buf[64];
    switch (v.tag) {
        case kTagBool: text.assign_narrow(v.v.i ? "True" : "False"); break;
        case kTagInt:
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v.v.i));
            text.assign_narrow(buf);
            break;
        case kTagPointer:
            std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(v.v.u));
            text.assign_narrow(buf);
            break;
        case kTagLong:
            std::snprintf(buf, sizeof buf, "%" PRId64, v.v.l);
            text.assign_narrow(buf);
            break;
        case kTagDouble:
            std::snprintf(buf, sizeof buf, "%.15g", v.v.d);
            text.assign_narrow(buf);
            break;
        case kTagString: text.assign(v.text); break;
        default: break;
    }
    show_message_box(nullptr, text);
    text.clear();
}

void bi_system_initialize(Runtime*, Frame*) { startup_locale_and_system(); }

}  // namespace qel
