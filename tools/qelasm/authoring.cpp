#include "qelasm/authoring.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "base/bundle_trailer.h"
#include "image/container.h"

namespace qelasm {

namespace fs = std::filesystem;

namespace {

struct Line {
    std::string text;
    std::string file;
    int number;
};

bool read_file(const std::string& path, std::string* out) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return true;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool collect(const std::string& text, const std::string& name, const std::string& base_dir, int depth,
             std::vector<Line>* out, std::string* error, std::vector<std::string>* deps) {
    if (depth > 32) {
        *error = name + ": includes nested too deeply";
        return false;
    }
    int number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.rfind("#include", 0) == 0) {
            size_t q1 = line.find('"'), q2 = line.rfind('"');
            if (q1 == std::string::npos || q2 == q1) {
                *error = name + ":" + std::to_string(number) + ": #include needs a quoted path";
                return false;
            }
            fs::path inc = fs::path(base_dir) / fs::path(line.substr(q1 + 1, q2 - q1 - 1));
            std::string body;
            if (!read_file(inc.string(), &body)) {
                *error = name + ":" + std::to_string(number) + ": cannot read included file '" + inc.string() + "'";
                return false;
            }
            if (deps) deps->push_back(inc.string());
            if (!collect(body, inc.string(), inc.parent_path().string(), depth + 1, out, error, deps)) return false;
            continue;
        }
        out->push_back(Line{line, name, number});
    }
    return true;
}

std::string where(const Line& l) { return l.file + ":" + std::to_string(l.number) + ": "; }

bool is_branch(const std::string& mnemonic) {
    return mnemonic == "cmp" || mnemonic == "jmp" || mnemonic == "cmpjmp" || mnemonic == "try" || mnemonic == "catch";
}

// Replaces label operands by instruction counts from the method header, and drops label lines.
bool resolve_labels(std::vector<Line>& lines, std::string* error) {
    std::vector<Line> out;
    bool in_source = false;
    struct Use {
        size_t out_index;
        std::string label;
    };
    std::map<std::string, int> labels;
    std::vector<Use> uses;
    int index = -1;  // instructions since the header; -1 before any header in the block

    auto finish_method = [&]() -> bool {
        for (const Use& u : uses) {
            auto it = labels.find(u.label);
            if (it == labels.end()) {
                *error = where(out[u.out_index]) + "undefined label '@" + u.label + "'";
                return false;
            }
            Line& l = out[u.out_index];
            l.text = l.text.substr(0, l.text.find('@')) + std::to_string(it->second);
        }
        labels.clear();
        uses.clear();
        return true;
    };

    for (Line& l : lines) {
        if (!in_source) {
            if (l.text == "[SOURCE]") {
                in_source = true;
                index = -1;
            }
            out.push_back(l);
            continue;
        }
        if (l.text == "[/SOURCE]") {
            if (!finish_method()) return false;
            in_source = false;
            out.push_back(l);
            continue;
        }
        if (l.text[0] == '@') {
            if (l.text.size() < 3 || l.text.back() != ':') {
                *error = where(l) + "a label is written @name:";
                return false;
            }
            if (index < 0) {
                *error = where(l) + "label outside a method";
                return false;
            }
            std::string name = l.text.substr(1, l.text.size() - 2);
            if (!labels.emplace(name, index + 1).second) {
                *error = where(l) + "label '@" + name + "' defined twice in this method";
                return false;
            }
            continue;
        }
        std::string mnemonic = l.text.substr(0, l.text.find(' '));
        if (mnemonic == "method") {
            if (!finish_method()) return false;
            index = 0;
        } else if (index >= 0) {
            ++index;
        }
        size_t at = l.text.find(" @");
        if (at != std::string::npos && is_branch(mnemonic)) {
            if (index < 0) {
                *error = where(l) + "branch outside a method";
                return false;
            }
            uses.push_back(Use{out.size(), trim(l.text.substr(at + 2))});
        }
        out.push_back(l);
    }
    if (in_source && !finish_method()) return false;
    lines.swap(out);
    return true;
}

bool assemble(std::vector<Line>& lines, std::string* out, std::string* error) {
    if (!resolve_labels(lines, error)) return false;
    out->clear();
    for (const Line& l : lines) {
        out->append(l.text);
        out->append("\r\n");
    }
    out->push_back('\0');
    return true;
}

}  // namespace

bool build_image_text_from(const std::string& text, const std::string& name, const std::string& base_dir,
                           std::string* out, std::string* error) {
    std::vector<Line> lines;
    if (!collect(text, name, base_dir, 0, &lines, error, nullptr)) return false;
    return assemble(lines, out, error);
}

bool build_image_text(const std::vector<std::string>& files, std::string* out, std::string* error,
                      std::vector<std::string>* deps) {
    std::vector<Line> lines;
    for (const std::string& f : files) {
        std::string body;
        if (!read_file(f, &body)) {
            *error = f + ": cannot read the file";
            return false;
        }
        if (deps) deps->push_back(f);
        if (!collect(body, f, fs::path(f).parent_path().string(), 0, &lines, error, deps)) return false;
    }
    return assemble(lines, out, error);
}

bool write_image(const std::string& text, const std::string& path, std::string* error) {
    qel::ByteBuffer packed;
    int status = qel::container_deflate_buffer(packed, reinterpret_cast<const uint8_t*>(text.data()),
                                               static_cast<int32_t>(text.size()));
    if (status != qel::kZOk) {
        *error = "compression failed (zlib status " + std::to_string(status) + ")";
        return false;
    }
    std::ofstream f(fs::path(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(packed.data), packed.length);
    if (!f) {
        *error = path + ": cannot write the file";
        return false;
    }
    return true;
}

bool read_image(const std::string& path, std::string* text, std::string* error) {
    std::string bytes;
    if (!read_file(path, &bytes)) {
        *error = path + ": cannot read the file";
        return false;
    }
    qel::ByteBuffer out;
    int status = qel::container_inflate_buffer(out, reinterpret_cast<uint8_t*>(bytes.data()),
                                               static_cast<int32_t>(bytes.size()));
    if (status != qel::kZOk) {
        *error = path + ": not a valid image container (zlib status " + std::to_string(status) + ")";
        return false;
    }
    text->assign(reinterpret_cast<const char*>(out.data), static_cast<size_t>(out.length));
    return true;
}

bool bundle(const std::string& host, const std::string& image, const std::string& out, std::string* error) {
    std::string host_bytes, image_bytes;
    if (!read_file(host, &host_bytes)) {
        *error = host + ": cannot read the host";
        return false;
    }
    if (host_bytes.size() >= 2 && host_bytes[0] == 'M' && host_bytes[1] == 'Z') {
        *error = host + ": a Windows host carries its image as the resource BIN; use qel_bundle_windows() in CMake";
        return false;
    }
    if (!read_file(image, &image_bytes)) {
        *error = image + ": cannot read the image";
        return false;
    }
    std::string check = image_bytes;
    qel::ByteBuffer inflated;
    if (qel::container_inflate_buffer(inflated, reinterpret_cast<uint8_t*>(check.data()),
                                      static_cast<int32_t>(check.size())) != qel::kZOk) {
        *error = image + ": not a valid image container";
        return false;
    }
    uint32_t size = static_cast<uint32_t>(image_bytes.size());
    unsigned char trailer[qel::kBundleTrailerSize] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                                                      static_cast<unsigned char>(size >> 16),
                                                      static_cast<unsigned char>(size >> 24)};
    std::memcpy(trailer + 4, qel::kBundleMagic, sizeof qel::kBundleMagic);
    {
        std::ofstream f(fs::path(out), std::ios::binary | std::ios::trunc);
        f << host_bytes << image_bytes;
        f.write(reinterpret_cast<const char*>(trailer), sizeof trailer);
        if (!f) {
            *error = out + ": cannot write the file";
            return false;
        }
    }
    std::error_code ec;
    fs::permissions(fs::path(out), fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    return true;
}

}  // namespace qelasm
