#include "host/runtime.h"

#include <cstdlib>
#include <initializer_list>
#include <cstring>
#include <string>

#include "host/error_report.h"
#include "image/container.h"
#include "image/image_parser.h"
#include "image/linker.h"
#include "types/member_access.h"
#include "vm/exceptions.h"
#include "vm/interpreter.h"
#include "vm/stack_ops.h"
#include "image/opcodes.h"
#include "platform/platform.h"
#include "stdlib/datetime.h"
#include "types/class_registry.h"
#include "types/objects.h"

namespace qel {

namespace {
Runtime* g_current = nullptr;

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
}  // namespace

Runtime* current_runtime() { return g_current; }

Runtime::Runtime() {
    g_current = this;
    exception_class = nullptr;
    loaded = false;
    global_object = nullptr;
    stack.count = 0;
    stack.capacity = kStackSlots;
    std::memset(stack.slots, 0, sizeof stack.slots);
    init_bare_frame(root_frame, &stack);
    threads.init();
    threads.add(platform::current_thread_id(), &stack);
    code.init();
    classes = PtrList{};
    opcode_table_init(opcodes);
    procs.init();
    units = UnitList{0, PtrList{}};
    enums = PtrList{};
    types = PtrList{};
    theme.init();
    std::memset(&system, 0, sizeof system);
    for (WStr** s : {&system.ProjectName, &system.ProjectTitle, &system.ProjectCompany, &system.ProjectVersion,
                     &system.ExeName, &system.FileName, &system.CmdLine, &system.Version})
        *s = wstr_new();
    system.Version->assignNarrow("6.2.0.0");
    system.Date = encode_date(2024, 3, 28);
    system.Formats = &system_formats();
    system.Environment = &system_environment();
    load_started = 0;
    exception_message_at = exception_trace_at = -1;
}

Runtime::~Runtime() {
    if (loaded) {
        for (int32_t i = units.records.count - 1; i >= 0; --i) {
            auto* u = static_cast<UnitRecord*>(units.records[i]);
            std::string fn = std::string(u->name) + "_Finalize";
            if (Instruction* m = code.method(fn.c_str())) run_top_level(this, m, nullptr, &stack);
        }
    }
    if (global_object) {
        if (CClass* g = class_by_name(classes, "Global")) free_string_fields(global_object, g);
        std::free(global_object);
        global_object = nullptr;
    }
    units.release();
    opcode_table_release(opcodes);
    release_classes(classes);
    release_enums(enums);
    release_types(types);
    theme.release();
    code.release();
    procs.release();
    for (Value& v : stack.slots) v.text.clear();
    threads.destroy();
    for (WStr** s : {&system.ProjectName, &system.ProjectTitle, &system.ProjectCompany, &system.ProjectVersion,
                     &system.ExeName, &system.FileName, &system.CmdLine, &system.Version}) {
        wstr_delete(*s);
        *s = nullptr;
    }
    if (g_current == this) g_current = nullptr;
}

bool Runtime::load(const char16_t* path) {
    char16_t exe[261];
    platform::module_file_name(exe, 261);
    system.ExeName->assignWide(exe);
    const bool fromFile = path && path[0];
    if (fromFile) {
        system.FileName->assignWide(path);
        system.ExeMode = false;
    } else {
        system.ExeMode = true;
        system.FileName->assign(*system.ExeName);
    }
    load_started = platform::tick_ms();

    ByteBuffer image;
    if (!fromFile) {
        ByteBuffer resource;
        switch (platform::embedded_image(resource)) {
            case platform::EmbeddedStatus::not_found:
                report_error(kErrorLoading, "Resource not found!'%s'", "BIN");
                failure.what = "Resource not found!'BIN'";
                return false;
            case platform::EmbeddedStatus::load_error:
                report_error(kErrorLoading, "Resource loading error found!'%s'", "BIN");
                failure.what = "Resource loading error found!'BIN'";
                return false;
            case platform::EmbeddedStatus::ok:
                break;
        }
        int status = container_inflate_buffer(image, resource.data, resource.length);
        if (status != kZOk) {
            failure.what = "the embedded image is not a valid container (zlib status " + std::to_string(status) + ")";
            return false;
        }
    } else {
        ByteBuffer file;
        if (!read_whole_file(file, path)) {
            failure.what = "cannot open image file '" + narrow(path) + "'";
            return false;
        }
        int status = container_inflate_buffer(image, file.data, file.length);
        if (status != kZOk) {
            failure.what = "'" + narrow(path) + "' is not a valid image container (zlib status " + std::to_string(status) + ")";
            return false;
        }
    }
    if (image.length == 0 || image.data[image.length - 1] != 0) {
        failure.what = "the image text does not end with a NUL byte";
        return false;
    }
    bool ok = load_text(reinterpret_cast<char*>(image.data));
    return ok;
}

bool Runtime::load_text(char* text) {
    code.text = text;
    bool parsed = parse_image(*this, code.text, failure);
    code.text = nullptr;
    if (!parsed) return false;

    const char* missing = nullptr;
    if (!check_constructors(*this, &missing)) {
        failure.what = std::string("class constructor not found for <") + missing + ">";
        return false;
    }
    if (!check_object_layouts(*this, &failure.what)) return false;
    link_image(*this);
    prepare_dispatch(code.first);
    bind_exception_class(this);

    CClass* global = class_by_name(classes, "Global");
    if (!global) {
        failure.what = "the image declares no Global struct";
        return false;
    }
    global_object = allocate_instance(global);
    if (!global_object) {
        failure.what = "out of memory";
        return false;
    }
    {
        // Global.System points at the system block.
        Frame frame;
        init_bare_frame(frame, &stack);
        push_pointer(&stack, &system);
        WStr name{};
        name.assignNarrow("System");
        set_field_by_name(this, global_object, global, name, &frame);
        name.clear();
        stack.count = frame.stack_base;
    }
    for (int32_t i = 0; i < units.records.count; ++i) {
        auto* u = static_cast<UnitRecord*>(units.records[i]);
        std::string fn = std::string(u->name) + "_Initialize";
        if (Instruction* m = code.method(fn.c_str())) run_top_level(this, m, nullptr, &stack);
    }
    system.LoadingTime = static_cast<int32_t>(platform::tick_ms() - load_started);
    loaded = true;
    return true;
}

void ThemeBinder::init() {
    std::memset(this, 0, sizeof *this);
    startup_locale_and_system();
    major_version = platform::os_version().major;
}

void ThemeBinder::release() { std::memset(this, 0, sizeof *this); }

}  // namespace qel
