#include "host/error_report.h"

#include <cstdarg>
#include <cstdio>

#include "vm/runtime.h"
#include "platform/platform.h"

namespace qel {

namespace {
const char* header_of(int number) {
    switch (number) {
        case kErrorFatal: return "Fatal Error !\r\nAssembly Info:\r\n";
        case kErrorLoading: return "Qel Loading Error!\r\n";
        default: return "";
    }
}

bool reporting_on() {
    Runtime* rt = current_runtime();
    return rt && rt->system.ErrorReporting;
}

void build_and_show(int number, const char* narrow, const WStr* wide) {
    WStr box{};
    char line[255];
    std::snprintf(line, sizeof line, "[Qel Error]:Err <%d>", number);
    box.assign_narrow("\r\n");
    box.append_narrow(line);
    box.append_narrow("\r\n");
    box.append_narrow(header_of(number));
    if (wide)
        box.append(*wide);
    else
        box.append_narrow(narrow);
    show_runtime_error_box(box);
    box.clear();
}
}  // namespace

void report_error(int number, const char* format, ...) {
    if (!reporting_on()) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    build_and_show(number, text, nullptr);
}

void report_error_wide(int number, const WStr& text) {
    if (!reporting_on()) return;
    build_and_show(number, nullptr, &text);
}

void show_runtime_error_box(const WStr& text) { platform::message_box(u"Qel Runtime Error", text.text()); }

}  // namespace qel
