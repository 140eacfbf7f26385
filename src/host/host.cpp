#include "host/host.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "host/error_report.h"
#include "host/lifecycle.h"
#include "host/system_block.h"
#include "platform/platform.h"
#include "vm/interpreter.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {
bool contains_qel(const char16_t* s) {
    for (; *s; ++s)
        if (s[0] == u'.' && s[1] == u'q' && s[2] == u'e' && s[3] == u'l') return true;
    return false;
}

// A failed load is told once: as the runtime's box when the failure is one (shown whatever
// ErrorReporting says), otherwise as one line on standard error.
void tell_load_failure(const LoadReport& f) {
    if (f.boxed) {
        WStr text{};
        text.assign_narrow(f.what.c_str());
        show_runtime_error_box(text);
        text.clear();
        return;
    }
    if (!platform::message_boxes_to_stderr()) return;
    std::string line = "qel: ";
    if (f.line > 0) line += "the image text is malformed at line " + std::to_string(f.line) + ": ";
    line += f.what.empty() ? "the image could not be loaded" : f.what;
    line += '\n';
    platform::write_stderr_utf8(line.c_str());
}
}  // namespace

int host_main(void* instance, void* previous, char16_t* cmd_line, int cmd_show) {
    startup_locale_and_system();
    int exit_code = 0;
    {
        auto* rt = new Runtime();
        rt->system.CmdLine->assign_wide(cmd_line);
        rt->system.CmdShow = cmd_show;
        const char16_t* path = contains_qel(cmd_line) ? cmd_line : u"";
        LoadReport report;
        report.notify = notify_load_problem;
        if (!load_image(*rt, path, report)) {
            // A load that fails is a failure of the run, not a success.
            tell_load_failure(report);
            exit_code = 1;
        } else if (Instruction* win_main = rt->program.code.method("WinMain")) {
            ValueStack* st = &rt->stack;
            push_pointer(st, instance);
            push_pointer(st, previous);
            push_pointer(st, cmd_line);
            push_int(st, cmd_show);
            run_top_level(rt, win_main, nullptr, st);
            if (st->count >= 1 && st->slots[st->count - 1].tag == kTagInt) exit_code = pop_int(st);
            // Script code may still run on a thread the script did not wait for: the process ends
            // at once, as the system ends it, instead of freeing what that thread is using.
            if (rt->threads.has_other_than(platform::current_thread_id())) {
                std::fflush(nullptr);
                platform::exit_process(exit_code);
            }
        }
        delete rt;
    }
    release_locale_and_system();
    return exit_code;
}

}  // namespace qel
