// qelasm: the image toolkit. Builds "ql" images from authoring text, prints an image's text,
// verifies and inspects an image, and bundles an image with the Linux host.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "qelasm/authoring.h"
#include "qelasm/inspect.h"

namespace {

const char* kUsage =
    "usage: qelasm <command> ...\n"
    "  build SRC... -o IMAGE.qel   assemble authoring text into an image\n"
    "  text IMAGE.qel              print the text of an image\n"
    "  verify IMAGE.qel            list every problem the loader would refuse or note\n"
    "  inspect IMAGE.qel           print the classes with their fields' offsets, the methods, the procedures\n"
    "  bundle IMAGE.qel -o APP     write a Linux host that runs the image when started without arguments\n"
    "Each command takes --help.\n";

const char* kBuildHelp =
    "usage: qelasm build SRC... -o IMAGE.qel [--depfile FILE]\n"
    "Reads the authoring files in order and writes one image container.\n"
    "Authoring text is image text where lines may end in LF or CR LF, blank lines and lines starting\n"
    "with ';' are dropped, leading and trailing blanks are trimmed, '#include \"path\"' splices a file\n"
    "(relative to the including file), and in [SOURCE] blocks a line '@name:' labels the next\n"
    "instruction, which 'cmp', 'jmp', 'cmpjmp', 'try' and 'catch' can name as '@name'.\n"
    "--depfile writes the files read (includes too) as a make rule for IMAGE.qel.\n";

const char* kTextHelp =
    "usage: qelasm text IMAGE.qel\n"
    "Prints the inflated image text, line ends shown as LF.\n";

const char* kBundleHelp =
    "usage: qelasm bundle IMAGE.qel -o APP [--host QEL]\n"
    "Writes APP: the Linux host (default: the qel next to qelasm) followed by the image and a\n"
    "trailer. Started without arguments, APP runs the image.\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "qelasm: %s\n", message.c_str());
    return 1;
}

bool wants_help(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

int cmd_build(const std::vector<std::string>& args) {
    if (wants_help(args)) {
        std::fputs(kBuildHelp, stdout);
        return 0;
    }
    std::vector<std::string> sources;
    std::string output, depfile;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--depfile") {
            if (i + 1 >= args.size()) return fail("build: " + args[i] + " needs a file name");
            (args[i] == "-o" ? output : depfile) = args[i + 1];
            ++i;
        } else {
            sources.push_back(args[i]);
        }
    }
    if (sources.empty() || output.empty()) return fail(std::string("build: need sources and -o IMAGE.qel\n") + kBuildHelp);
    std::string text, error;
    std::vector<std::string> deps;
    if (!qelasm::build_image_text(sources, &text, &error, &deps)) return fail(error);
    if (!qelasm::write_image(text, output, &error)) return fail(error);
    if (!depfile.empty()) {
        FILE* f = std::fopen(depfile.c_str(), "w");
        if (!f) return fail(depfile + ": cannot write the file");
        std::fprintf(f, "%s:", output.c_str());
        for (const auto& d : deps) std::fprintf(f, " \\\n  %s", d.c_str());
        std::fprintf(f, "\n");
        std::fclose(f);
    }
    return 0;
}

int cmd_text(const std::vector<std::string>& args) {
    if (wants_help(args)) {
        std::fputs(kTextHelp, stdout);
        return 0;
    }
    if (args.size() != 1) return fail(std::string("text: need exactly one image\n") + kTextHelp);
    std::string text, error;
    if (!qelasm::read_image(args[0], &text, &error)) return fail(error);
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\0' && i + 1 == text.size()) break;
        shown.push_back(text[i]);
    }
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    return 0;
}

int cmd_bundle(const std::vector<std::string>& args, const char* self) {
    if (wants_help(args)) {
        std::fputs(kBundleHelp, stdout);
        return 0;
    }
    std::string image, output, host;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (args[i] == "--host" && i + 1 < args.size()) {
            host = args[++i];
        } else if (image.empty()) {
            image = args[i];
        } else {
            return fail("bundle: unexpected argument '" + args[i] + "'");
        }
    }
    if (image.empty() || output.empty()) return fail(std::string("bundle: need IMAGE.qel and -o APP\n") + kBundleHelp);
    if (host.empty()) host = (std::filesystem::path(self).parent_path() / "qel").string();
    std::string error;
    if (!qelasm::bundle(host, image, output, &error)) return fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "build") return cmd_build(args);
    if (command == "text") return cmd_text(args);
    if (command == "bundle") return cmd_bundle(args, argv[0]);
    if (command == "verify" || command == "inspect") {
        if (wants_help(args) || args.size() != 1) {
            std::fputs(kUsage, args.size() == 1 ? stdout : stderr);
            return args.size() == 1 ? 0 : 1;
        }
        return command == "verify" ? qelasm::verify(args[0]) : qelasm::inspect(args[0]);
    }
    return fail("unknown command '" + command + "'\n" + kUsage);
}
