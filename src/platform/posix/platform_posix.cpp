// The Linux host's stand-ins for the Windows services the runtime uses.
#include <dirent.h>
#include <dlfcn.h>
#include <sys/mman.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/bundle_trailer.h"
#include "base/byte_buffer.h"
#include "platform/box_text.h"
#include "platform/platform.h"
#include "base/utf.h"

namespace qel::platform {

namespace {
void write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}
}  // namespace

void write_stderr(const char16_t* text, int n) {
    std::string s = utf8_of(text, n);
    write_all(2, s.data(), s.size());
}

void write_stderr_utf8(const char* text) { write_all(2, text, std::strlen(text)); }

bool message_boxes_to_stderr() { return true; }

void message_box(const char16_t* caption, const char16_t* text) {
    std::string out = box_text_for_stderr(caption, text);
    write_all(2, out.data(), out.size());
}

int active_window_caption(char16_t* out, int cap) {
    if (cap > 0) out[0] = 0;
    return 0;
}

int module_file_name(char16_t* out, int cap) {
    char path[1024];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0) n = 0;
    path[n] = 0;
    if (n > 260) n = 260;
    path[n] = 0;
    int units = utf8_to_utf16(path, static_cast<int>(n) + 1, out, cap);
    if (units <= 0) {
        if (cap > 0) out[0] = 0;
        return 0;
    }
    return units - 1;
}

uint32_t tick_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void exit_process(int code) { ::_exit(code); }

uint32_t current_thread_id() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

static_assert(sizeof(pthread_mutex_t) <= sizeof(Mutex::storage));
void mutex_init(Mutex& m) { pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(m.storage), nullptr); }
void mutex_lock(Mutex& m) { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(m.storage)); }
void mutex_unlock(Mutex& m) { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(m.storage)); }
void mutex_destroy(Mutex& m) { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(m.storage)); }

OsVersion os_version() {
    OsVersion v;
    utsname u;
    if (::uname(&u) == 0) std::sscanf(u.release, "%d.%d.%d", &v.major, &v.minor, &v.build);
    return v;
}

bool has_wow64_query() {
    utsname u;
    return ::uname(&u) == 0 && std::strcmp(u.machine, "x86_64") == 0;
}

EmbeddedStatus embedded_image(ByteBuffer& out) {
    FILE* f = std::fopen("/proc/self/exe", "rb");
    if (!f) return EmbeddedStatus::load_error;
    EmbeddedStatus status = EmbeddedStatus::not_found;
    unsigned char trailer[kBundleTrailerSize];
    if (std::fseek(f, -kBundleTrailerSize, SEEK_END) == 0 && std::fread(trailer, 1, sizeof trailer, f) == sizeof trailer &&
        std::memcmp(trailer + 4, kBundleMagic, sizeof kBundleMagic) == 0) {
        uint32_t size = trailer[0] | trailer[1] << 8 | trailer[2] << 16 | static_cast<uint32_t>(trailer[3]) << 24;
        long end = std::ftell(f);
        status = EmbeddedStatus::load_error;
        if (size < 0x7FFFFFFF && static_cast<long>(size) + kBundleTrailerSize <= end &&
            std::fseek(f, end - kBundleTrailerSize - static_cast<long>(size), SEEK_SET) == 0 &&
            out.set_length(static_cast<int32_t>(size)) &&
            std::fread(out.data, 1, size, f) == size)
            status = EmbeddedStatus::ok;
    }
    std::fclose(f);
    return status;
}

FILE* open_file(const char16_t* path, const char* mode) {
    std::string p = utf8_of(path, -1);
    return std::fopen(p.c_str(), mode);
}

// The Linux host's ANSI code page is UTF-8.
int to_utf16(uint32_t, const char* in, int n, char16_t* out, int cap) { return utf8_to_utf16(in, n, out, cap); }

int from_utf16(uint32_t, const char16_t* in, int n, char* out, int cap) { return utf16_to_utf8(in, n, out, cap); }

uint32_t file_attributes(const char16_t* path, uint32_t* error) {
    std::string p = utf8_of(path, -1);
    struct stat st;
    if (p.empty()) {
        if (error) *error = kPathNotFound;
        return kInvalidAttributes;
    }
    if (::stat(p.c_str(), &st) != 0) {
        uint32_t e = 5;  // access denied, and whatever else
        if (errno == ENOENT) {
            // Like Windows: a missing file in an existing directory is "file not found".
            size_t slash = p.find_last_of('/');
            std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
            struct stat ds;
            e = (p.back() != '/' && ::stat(dir.c_str(), &ds) == 0) ? uint32_t(kFileNotFound) : uint32_t(kPathNotFound);
        } else if (errno == ENOTDIR) {
            e = kPathNotFound;
        } else if (errno == ENAMETOOLONG) {
            e = kInvalidName;
        }
        if (error) *error = e;
        return kInvalidAttributes;
    }
    uint32_t attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : 0x80;  // FILE_ATTRIBUTE_NORMAL
    if (!(st.st_mode & S_IWUSR)) attributes |= 1;                           // read-only
    return attributes;
}

bool find_file(const char16_t* path, bool* is_directory) {
    uint32_t error = 0;
    uint32_t a = file_attributes(path, &error);
    if (a == kInvalidAttributes) return false;
    if (is_directory) *is_directory = (a & kAttributeDirectory) != 0;
    return true;
}

int current_directory(char16_t* out, int cap) {
    if (cap <= 0) return 0;
    out[0] = 0;
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return 0;
    int n = utf8_to_utf16(buf, -1, out, cap);
    if (n <= 0) {
        out[0] = 0;
        return 0;
    }
    return n - 1;
}

LocalTime local_time() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    time_t t = ts.tv_sec;
    struct tm tm;
    localtime_r(&t, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec,  static_cast<int>(ts.tv_nsec / 1000000)};
}

// The default Windows colour scheme, for the Linux host.
uint32_t sys_color(int index) {
    static const uint32_t kColors[] = {
        0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, 0x000000, 0x000000,
        0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000,
        0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000, 0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xD77800,
        0xF0F0F0};
    return index >= 0 && index < static_cast<int>(sizeof kColors / sizeof kColors[0]) ? kColors[index] : 0;
}

namespace {
// Windows appends ".dll" to a file name without an extension; the Linux host appends ".so".
std::string with_default_extension(std::string path) {
    size_t slash = path.find_last_of('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (start < path.size() && path.find('.', start) == std::string::npos) path += ".so";
    return path;
}
}  // namespace

char16_t path_separator() { return '/'; }

void* library_load_path(const char16_t* path) {
    std::string p = with_default_extension(utf8_of(path, -1));
    // Only a file that is there: the loader would search its own path for a bare name.
    if (p.find('/') == std::string::npos || ::access(p.c_str(), F_OK) != 0) return nullptr;
    return ::dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* library_load_name(const char* name) {
    std::string p = with_default_extension(name);
    return ::dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* library_symbol(void* module, const char* name) { return module ? ::dlsym(module, name) : nullptr; }

void* library_ordinal(void*, uint32_t) { return nullptr; }

void library_release(void* module) {
    if (module) ::dlclose(module);
}

uint32_t page_size() {
    long n = ::sysconf(_SC_PAGESIZE);
    return n > 0 ? static_cast<uint32_t>(n) : 4096u;
}

void* executable_alloc(uint32_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void executable_flush(void* at, uint32_t size) {
    char* p = static_cast<char*>(at);
    __builtin___clear_cache(p, p + size);
}

void executable_release(void* block, uint32_t size) {
    if (block) ::munmap(block, size);
}

void* default_window_procedure() { return nullptr; }

}  // namespace qel::platform
