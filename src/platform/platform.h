// The operating-system layer. Everything the runtime asks of the machine goes through here;
// the rest of the code includes no system headers. win32/ holds the real Windows calls, posix/
// a small layer of our own that answers the way an en-US Windows would.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace qel {
struct ByteBuffer;
}

namespace qel::platform {

// ---- text output and message boxes ----------------------------------------------------------

// Writes UTF-16 text to standard error as UTF-8 (n units, or up to the terminator when n < 0).
void write_stderr(const char16_t* text, int n = -1);
void write_stderr_utf8(const char* text);

// True when message boxes go to standard error (always on Linux; on Windows when the
// environment variable QEL_MSGBOX is "stderr").
bool message_boxes_to_stderr();

// Shows a modal box with an OK button, owned by the active window. On standard error the box is
// written as "caption: text" (the text alone when the caption is empty), CR LF turned into LF,
// one LF at the end. Returns when the box is closed.
void message_box(const char16_t* caption, const char16_t* text);

// The active window and the caption of its owner (or of itself), for boxes without a caption.
// Fills at most cap - 1 units; returns the number of units written.
int active_window_caption(char16_t* out, int cap);

// ---- process ---------------------------------------------------------------------------------

// Full path of the running executable (at most 260 units). Returns units written.
int module_file_name(char16_t* out, int cap);

// Milliseconds from an arbitrary start; wraps.
uint32_t tick_ms();

uint32_t current_thread_id();

// Ends the process at once with the exit code.
[[noreturn]] void exit_process(int code);

// Runs fn(context) and returns true. When a machine fault (an access violation, a division
// fault, an illegal instruction) happens on this thread while it runs, returns false instead:
// whatever fn was doing is abandoned half-way, so the caller can only report and end the process.
// C++ exceptions pass through unchanged.
bool run_guarded(void (*fn)(void*), void* context);

// A lock for the few structures that several threads touch (a critical section on Windows).
struct Mutex {
    alignas(8) unsigned char storage[48];
};
void mutex_init(Mutex& m);
void mutex_lock(Mutex& m);
void mutex_unlock(Mutex& m);
void mutex_destroy(Mutex& m);

// ---- locale and system -----------------------------------------------------------------------

// Locale item ids, with the values Windows gives them.
enum LocaleItem : uint32_t {
    kLocaleSDecimal = 0x0E,
    kLocaleSThousand = 0x0F,
    kLocaleSCurrency = 0x14,
    kLocaleICurrDigits = 0x19,
    kLocaleICurrency = 0x1B,
    kLocaleSDate = 0x1D,
    kLocaleSTime = 0x1E,
    kLocaleSShortDate = 0x1F,
    kLocaleSLongDate = 0x20,
    kLocaleITime = 0x23,
    kLocaleITLZero = 0x25,
    kLocaleS1159 = 0x28,
    kLocaleS2359 = 0x29,
    kLocaleSDayName1 = 0x2A,        // Monday .. SDayName7 = Sunday
    kLocaleSAbbrevDayName1 = 0x31,  // Mon .. Sun
    kLocaleSMonthName1 = 0x38,      // January .. December
    kLocaleSAbbrevMonthName1 = 0x44,
    kLocaleITimeMarkPosn = 0x1005,
};

// Sets the thread locale to the user's default locale.
void use_user_default_locale();

// Reads a locale item of the thread locale into out (cap units including the terminator).
// Returns the number of units without the terminator; 0 and an empty text when absent.
int locale_info(uint32_t item, char16_t* out, int cap);

struct OsVersion {
    int major = 0, minor = 0, build = 0, service_pack_major = 0, service_pack_minor = 0;
};
OsVersion os_version();

// True when kernel32 exports IsWow64Process (only its presence is asked).
bool has_wow64_query();

// ---- the image shipped inside the host -------------------------------------------------------

enum class EmbeddedStatus { ok, not_found, load_error };

// Copies the embedded container into out (a fresh, writable copy).
EmbeddedStatus embedded_image(ByteBuffer& out);

// ---- files -----------------------------------------------------------------------------------

// fopen with a UTF-16 path.
FILE* open_file(const char16_t* path, const char* mode);

// ---- code pages ------------------------------------------------------------------------------

enum CodePage : uint32_t { kCodePageAnsi = 0, kCodePageUtf8 = 65001 };

// Converts n bytes (n < 0: up to and including the terminator) into UTF-16. With out null,
// returns the number of units needed. Returns 0 on failure.
int to_utf16(uint32_t code_page, const char* in, int n, char16_t* out, int cap);

// Converts n units (n < 0: up to and including the terminator) into bytes of the code page.
// With out null, returns the number of bytes needed. Returns 0 on failure.
int from_utf16(uint32_t code_page, const char16_t* in, int n, char* out, int cap);

}  // namespace qel::platform

namespace qel::platform {

// ---- file system ----------------------------------------------------------------------------

constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;
constexpr uint32_t kAttributeDirectory = 0x10;
enum FileError : uint32_t { kFileNotFound = 2, kPathNotFound = 3, kInvalidName = 123 };

// The Windows attribute word of a path, or kInvalidAttributes with *error set to the failure
// (2 file not found, 3 path not found, 123 invalid name, anything else).
uint32_t file_attributes(const char16_t* path, uint32_t* error);
// A directory search for path: true when something is found; *is_directory tells what.
bool find_file(const char16_t* path, bool* is_directory);
// The current directory (at most cap - 1 units); 0 and an empty text when the query fails.
int current_directory(char16_t* out, int cap);

// ---- time and colours -----------------------------------------------------------------------

struct LocalTime {
    int year, month, day, day_of_week, hour, minute, second, ms;
};
LocalTime local_time();

// The system colour of an index (GetSysColor), as 0x00BBGGRR.
uint32_t sys_color(int index);

// ---- native libraries and executable memory -----------------------------------------------

// The separator between a directory and a file name: '\\' on Windows, '/' on Linux.
char16_t path_separator();
// Loads a library by path (LoadLibraryW). Null when it cannot be loaded. On Linux the path is
// handed to the dynamic loader as UTF-8; a file name without an extension gets ".so", as Windows
// gives such names ".dll".
void* library_load_path(const char16_t* path);
// Loads a library by name with the system's standard search (LoadLibraryA; on Linux the dynamic
// loader's search, with the same default extension).
void* library_load_name(const char* name);
// An export by name, or by ordinal (Windows only; null elsewhere). Null when absent.
void* library_symbol(void* module, const char* name);
void* library_ordinal(void* module, uint32_t ordinal);
void library_release(void* module);

// The system page size (dwPageSize).
uint32_t page_size();
// size bytes of readable, writable and executable memory, zero-filled; null on failure.
void* executable_alloc(uint32_t size);
// Makes bytes just written into executable memory visible to the processor.
void executable_flush(void* at, uint32_t size);
void executable_release(void* block, uint32_t size);

// The system's default window procedure (DefWindowProcW); null where there is none.
void* default_window_procedure();

}  // namespace qel::platform
