#include "host/lifecycle.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "host/error_report.h"
#include "host/host_records.h"
#include "host/system_block.h"
#include "image/container.h"
#include "image/image_parser.h"
#include "image/linker.h"
#include "image/streamed_text.h"
#include "image/verifier.h"
#include "native/native_state.h"
#include "platform/platform.h"
#include "types/class_registry.h"
#include "types/datetime.h"
#include "vm/exceptions.h"
#include "vm/interpreter.h"
#include "vm/member_access.h"
#include "vm/objects.h"
#include "vm/stack_ops.h"

namespace qel {

namespace {
std::string narrow(const char16_t* s) {
    std::string out;
    int n = platform::from_utf16(platform::kCodePageUtf8, s, -1, nullptr, 0);
    if (n > 0) {
        out.resize(static_cast<size_t>(n));
        platform::from_utf16(platform::kCodePageUtf8, s, -1, out.data(), n);
        out.resize(static_cast<size_t>(n - 1));
    }
    return out;
}

// The eight strings of the system block, created with the Runtime and freed with it.
template <typename Each>
void for_each_system_string(CSystem& s, Each each) {
    for (WStr** field : {&s.ProjectName, &s.ProjectTitle, &s.ProjectCompany, &s.ProjectVersion, &s.ExeName,
                         &s.FileName, &s.CmdLine, &s.Version})
        each(*field);
}

void run_unit_functions(Runtime& rt, const char* suffix, bool reverse) {
    const PtrList& units = rt.program.units.records;
    for (int32_t k = 0; k < units.count; ++k) {
        auto* u = static_cast<UnitRecord*>(units[reverse ? units.count - 1 - k : k]);
        std::string fn = std::string(u->name) + suffix;
        if (Instruction* m = rt.program.code.method(fn.c_str())) run_top_level(&rt, m, nullptr, &rt.stack);
    }
}
}  // namespace

void notify_load_problem(int number, const std::string& text) { report_error(number, "%s", text.c_str()); }

Runtime::Runtime() {
    set_current_runtime(this);
    install_layer_hooks();
    program.init();
    exception = ExceptionClass{nullptr, -1, -1};
    loaded = false;
    global_object = nullptr;
    stack.count = 0;
    stack.depth = 0;
    std::memset(stack.slots, 0, sizeof stack.slots);
    init_bare_frame(root_frame, &stack);
    threads.init();
    threads.add(platform::current_thread_id(), &stack);
    // The locale step runs again when the runtime binds its theme functions.
    startup_locale_and_system();
    os_major_version = platform::os_version().major;
    std::memset(&system, 0, sizeof system);
    for_each_system_string(system, [](WStr*& field) { field = wstr_new(); });
    system.Version->assign_narrow("6.2.0.0");
    system.Date = encode_date(2024, 3, 28);
    system.Formats = &system_formats();
    system.Environment = &system_environment();
    load_started = 0;
    native = native_state_create(os_major_version);
    if (!native) platform::exit_process(1);
}

Runtime::~Runtime() {
    if (loaded) run_unit_functions(*this, "_Finalize", true);
    // From here on no script code runs: a thread that starts now finds no runtime and ends.
    if (current_runtime() == this) set_current_runtime(nullptr);
    if (global_object) {
        if (CClass* g = class_by_name(program.classes, "Global")) free_string_fields(global_object, g);
        std::free(global_object);
        global_object = nullptr;
    }
    // The thunk pages before the procedures and their libraries.
    native_state_destroy(this, native);
    native = nullptr;
    program.release();
    for (Value& v : stack.slots) v.text.clear();
    threads.destroy();
    for_each_system_string(system, [](WStr*& field) {
        wstr_delete(field);
        field = nullptr;
    });
}

namespace {
// Where the image text comes from: a whole text, or a container read while it is inflated (path
// names the file, null for the embedded image).
struct TextSource {
    char* text = nullptr;
    StreamedText* stream = nullptr;
    const char16_t* path = nullptr;
};

std::string invalid_container(const char16_t* path, int status) {
    if (status == StreamedText::kNoFinalNul) return "the image text does not end with a NUL byte";
    const std::string zlib = "(zlib status " + std::to_string(status) + ")";
    return path ? "'" + narrow(path) + "' is not a valid image container " + zlib
                : "the embedded image is not a valid container " + zlib;
}

bool load_source(Runtime& rt, TextSource& source, LoadReport& report);
bool load_steps(Runtime& rt, TextSource& source, LoadReport& report);
}  // namespace

bool load_image(Runtime& rt, const char16_t* path, LoadReport& report) {
    CSystem& system = rt.system;
    char16_t exe[261];
    platform::module_file_name(exe, 261);
    system.ExeName->assign_wide(exe);
    const bool from_file = path && path[0];
    if (from_file) {
        system.FileName->assign_wide(path);
        system.ExeMode = false;
    } else {
        system.ExeMode = true;
        system.FileName->assign(*system.ExeName);
    }
    rt.load_started = platform::tick_ms();

    // The container stays while its text is read: the text is inflated a block at a time as the
    // parser asks for it, never whole.
    ByteBuffer container;
    if (!from_file) {
        switch (platform::embedded_image(container)) {
            case platform::EmbeddedStatus::not_found:
                report.note(kErrorLoading, "Resource not found!'BIN'");
                return report.fail(0, "Resource not found!'BIN'\n"
                                      "usage: qel PATH.qel (a command line containing \".qel\" names the image file; "
                                      "a host with a bundled image runs it when started without one)");
            case platform::EmbeddedStatus::load_error:
                report.note(kErrorLoading, "Resource loading error found!'BIN'");
                return report.fail(0, "Resource loading error found!'BIN'");
            case platform::EmbeddedStatus::ok:
                break;
        }
    } else if (!read_whole_file(container, path)) {
        return report.fail(0, "cannot open image file '" + narrow(path) + "'");
    }
    StreamedText text;
    if (!text.open(container.data, container.length)) return report.fail(0, invalid_container(path, text.inflater.status));
    TextSource source;
    source.stream = &text;
    source.path = from_file ? path : nullptr;
    return load_source(rt, source, report);
}

bool load_image_text(Runtime& rt, char* text, LoadReport& report) {
    TextSource source;
    source.text = text;
    return load_source(rt, source, report);
}

namespace {
// A runtime error raised while loading (memory running out, a store the image declared wrongly)
// fails the load like any other problem.
bool load_source(Runtime& rt, TextSource& source, LoadReport& report) {
    try {
        return load_steps(rt, source, report);
    } catch (const qel_exception& e) {
        report.held = nullptr;
        WStr* message = e.object ? exception_message(&rt, e.object) : nullptr;
        char* utf8 = message ? message->to_utf8() : nullptr;
        std::string what = std::string("loading raised an error: ") + (utf8 ? utf8 : "(no message)");
        std::free(utf8);
        return report.fail(0, what);
    }
}

// Parses the text. A streamed one is then inflated to its end: a container that turns out to be
// damaged, or a text without its final NUL, fails the load whatever the parser said, and the
// notes the parser made go out only for a sound container.
bool parse_source(Program& prog, TextSource& source, LoadReport& report) {
    if (!source.stream) return parse_image(prog, source.text, report);
    std::vector<std::pair<int, std::string>> notes;
    report.held = &notes;
    const bool parsed = parse_image(prog, *source.stream, report);
    report.held = nullptr;
    const int status = source.stream->finish();
    if (status != kZOk) {
        report.failed = report.boxed = false;
        return report.fail(0, invalid_container(source.path, status));
    }
    for (auto& [number, text] : notes) report.note(number, std::move(text));
    return parsed;
}

bool load_steps(Runtime& rt, TextSource& source, LoadReport& report) {
    Program& prog = rt.program;
    if (!parse_source(prog, source, report) || !verify_for_load(prog, report) || !check_host_records(prog, report))
        return false;
    CSystem& sys = rt.system;
    sys.ProjectName->assign(prog.manifest.name);
    sys.ProjectTitle->assign(prog.manifest.title);
    sys.ProjectCompany->assign(prog.manifest.company);
    sys.ProjectVersion->assign(prog.manifest.version);
    sys.ProjectDate = prog.manifest.date;

    if (!check_constructors(prog, report) || !check_object_layouts(prog, report)) return false;
    link_image(prog, report);
    bind_exception_class(&rt);

    CClass* global = class_by_name(prog.classes, "Global");
    if (!global) return report.fail(0, "the image declares no Global struct");
    rt.global_object = allocate_instance(global);
    if (!rt.global_object) return report.fail(0, "out of memory");
    {
        // Global.System points at the system block.
        Frame frame;
        init_bare_frame(frame, &rt.stack);
        push_pointer(&rt.stack, &rt.system);
        WStr name{};
        name.assign_narrow("System");
        set_field_by_name(&rt, rt.global_object, global, name, &frame);
        name.clear();
        rt.stack.count = frame.stack_base;
    }
    run_unit_functions(rt, "_Initialize", false);
    sys.LoadingTime = static_cast<int32_t>(platform::tick_ms() - rt.load_started);
    rt.loaded = true;
    return true;
}
}  // namespace

}  // namespace qel
