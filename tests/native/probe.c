/* The probe library of the native-bridge tests (qelprobe.so on Linux, qelprobe.dll on Windows).
   Its functions write what they received to standard error, one line per call, and return values
   chosen beforehand, so that image tests can compare both with their expectations:
     probe_std<N>, probe_cdecl<N>, probe_this<N>   N argument words (thiscall: plus ECX), logged
                                                   as "std2: 00000001 00000002"; they return the
                                                   64-bit value of probe_set_result in EDX:EAX
     probe_real_<conv>2, probe_single_<conv>2      two words; return probe_set_real's value in ST0
                                                   as a double or as a float
     probe_text                                    logs the UTF-16 text it is given
     probe_callback, probe_callback_thread         call a function pointer with chosen words and a
                                                   convention, and log how ESP moved and EAX
   Words equal to the pointer given to probe_mark are logged as "obj". Entry ESP of every logged
   call is tracked: probe_esp_span gives the spread since probe_esp_reset, and a call whose
   arguments do not start on a 16-byte boundary adds " (unaligned)" to its line, one made with
   values left on the FPU register stack " (N on the FPU stack)"; probe_quiet(1) keeps the tracking
   and drops the lines of calls without such a remark. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define EXPORT __declspec(dllexport)
#else
#include <pthread.h>
#define EXPORT __attribute__((visibility("default")))
#endif

#define STDCALL __attribute__((stdcall))
#undef CDECL
#define CDECL __attribute__((cdecl))
#define THISCALL __attribute__((thiscall))

static uint64_t g_result;
static double g_real;
static uint32_t g_mark;
static uint32_t g_esp_min = 0xFFFFFFFFu, g_esp_max;
static int g_quiet;

static void put_word(char* out, size_t cap, uint32_t w) {
    if (g_mark && w == g_mark)
        snprintf(out, cap, " obj");
    else
        snprintf(out, cap, " %08x", (unsigned)w);
}

/* frame: the caller's frame address (__builtin_frame_address(0)): the return address lies at
   frame + 4, the first stack argument at frame + 8. */
static void record(const char* tag, const char* frame, int words, int has_this, uint32_t ecx) {
    char line[512];
    size_t n = 0;
    const uint32_t* args = (const uint32_t*)(frame + 8);
    uint32_t esp = (uint32_t)(uintptr_t)(frame + 4);
    if (esp < g_esp_min) g_esp_min = esp;
    if (esp > g_esp_max) g_esp_max = esp;
    /* The FPU register stack must be empty when a function is called: TOP is then 0. */
    uint16_t status;
    __asm__ volatile("fnstsw %0" : "=m"(status));
    const int fpu_depth = (8 - ((status >> 11) & 7)) & 7;
    if (g_quiet && (esp + 4) % 16 == 0 && fpu_depth == 0) return;
    n += snprintf(line + n, sizeof line - n, "%s", tag);
    if (has_this) {
        char w[16];
        put_word(w, sizeof w, ecx);
        n += snprintf(line + n, sizeof line - n, " ecx=%s", w + 1);
    }
    n += snprintf(line + n, sizeof line - n, ":");
    for (int i = 0; i < words && n < sizeof line - 16; ++i) {
        put_word(line + n, sizeof line - n, args[i]);
        n += strlen(line + n);
    }
    if ((esp + 4) % 16 != 0) n += snprintf(line + n, sizeof line - n, " (unaligned)");
    if (fpu_depth) n += snprintf(line + n, sizeof line - n, " (%d on the FPU stack)", fpu_depth);
    fprintf(stderr, "%s\n", line);
    fflush(stderr);
}

#define FRAME ((const char*)__builtin_frame_address(0))
typedef uint32_t W;

EXPORT void CDECL probe_set_result(W lo, W hi) { g_result = (uint64_t)hi << 32 | lo; }
EXPORT void CDECL probe_set_real(double d) { g_real = d; }
EXPORT void CDECL probe_mark(W p) { g_mark = p; }
EXPORT void CDECL probe_esp_reset(void) {
    g_esp_min = 0xFFFFFFFFu;
    g_esp_max = 0;
}
/* Quiet: calls are tracked but not logged (an unaligned call is logged all the same). */
EXPORT void CDECL probe_quiet(int on) { g_quiet = on; }
EXPORT int CDECL probe_esp_span(void) { return g_esp_max >= g_esp_min ? (int)(g_esp_max - g_esp_min) : -1; }

/* The recorders: each logs its argument words (thiscall: and ECX) and returns the value set
   before, a 64-bit one in EDX:EAX or a real in ST0 (as a double, or as a float: single). */
#define ARGS0 void
#define ARGS1 W a
#define ARGS2 W a, W b
#define ARGS3 W a, W b, W c
#define ARGS4 W a, W b, W c, W d
#define THIS_ARGS1 void* self, W a
#define THIS_ARGS2 void* self, W a, W b
#define RECORDER(type, conv, name, n, value) \
    EXPORT type conv probe_##name(ARGS##n) { record(#name, FRAME, n, 0, 0); return value; }
#define THIS_RECORDER(type, name, n, value)                                   \
    EXPORT type THISCALL probe_##name(THIS_ARGS##n) {                         \
        record(#name, FRAME, n, 1, (W)(uintptr_t)self);                       \
        return value;                                                         \
    }
RECORDER(uint64_t, STDCALL, std0, 0, g_result)
RECORDER(uint64_t, STDCALL, std1, 1, g_result)
RECORDER(uint64_t, STDCALL, std2, 2, g_result)
RECORDER(uint64_t, STDCALL, std3, 3, g_result)
RECORDER(uint64_t, STDCALL, std4, 4, g_result)
RECORDER(uint64_t, CDECL, cdecl2, 2, g_result)
RECORDER(uint64_t, CDECL, cdecl3, 3, g_result)
THIS_RECORDER(uint64_t, this1, 1, g_result)
THIS_RECORDER(uint64_t, this2, 2, g_result)
RECORDER(double, STDCALL, real_std2, 2, g_real)
RECORDER(double, CDECL, real_cdecl2, 2, g_real)
THIS_RECORDER(double, real_this2, 2, g_real)
RECORDER(float, STDCALL, single_std2, 2, (float)g_real)
RECORDER(float, CDECL, single_cdecl2, 2, (float)g_real)
THIS_RECORDER(float, single_this2, 2, (float)g_real)

/* Text arguments. */
static void log_text(const char* tag, const uint16_t* s) {
    char line[256];
    size_t n = (size_t)snprintf(line, sizeof line, "%s: ", tag);
    if (!s) {
        snprintf(line + n, sizeof line - n, "null");
    } else {
        line[n++] = '\'';
        for (; *s && n < sizeof line - 3; ++s) line[n++] = *s < 0x80 ? (char)*s : '?';
        line[n++] = '\'';
        line[n] = 0;
    }
    fprintf(stderr, "%s\n", line);
    fflush(stderr);
}
EXPORT void STDCALL probe_text(const uint16_t* s) { log_text("text", s); }

/* Calling back. The invoker pushes the words (the first at the lowest address), loads ECX, calls,
   and notes ESP just before the pushes and just after the return, and EAX. */
struct Invoke {
    void* fn;            /* 0 */
    uint32_t count;      /* 4 */
    const uint32_t* words; /* 8 */
    uint32_t ecx;        /* 12 */
    uint32_t esp_before; /* 16 */
    uint32_t esp_after;  /* 20 */
    uint32_t eax;        /* 24 */
};
void probe_invoke_raw(struct Invoke* iv);
#define STR2(x) #x
#define STR(x) STR2(x)
#define ASM_NAME(name) STR(__USER_LABEL_PREFIX__) #name
__asm__(".text\n"
        ".globl " ASM_NAME(probe_invoke_raw) "\n"
        ASM_NAME(probe_invoke_raw) ":\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl %ebx\n"
        "  pushl %esi\n"
        "  pushl %edi\n"
        "  movl 8(%ebp), %ebx\n"
        "  movl 4(%ebx), %ecx\n"
        "  movl 8(%ebx), %esi\n"
        "  movl %esp, 16(%ebx)\n"
        "1: testl %ecx, %ecx\n"
        "  jz 2f\n"
        "  decl %ecx\n"
        "  pushl (%esi,%ecx,4)\n"
        "  jmp 1b\n"
        "2: movl 12(%ebx), %ecx\n"
        "  call *(%ebx)\n"
        "  movl %esp, 20(%ebx)\n"
        "  movl %eax, 24(%ebx)\n"
        "  leal -12(%ebp), %esp\n"
        "  popl %edi\n"
        "  popl %esi\n"
        "  popl %ebx\n"
        "  popl %ebp\n"
        "  ret\n");

static const char* const kConventions[] = {"std", "cdecl", "this"};

static int invoke_and_log(const char* tag, void* fn, int convention, W ecx, int count, const uint32_t* words) {
    struct Invoke iv = {fn, (uint32_t)count, words, ecx, 0, 0, 0};
    probe_invoke_raw(&iv);
    fprintf(stderr, "%s %s: esp %d eax %08x\n", tag, convention >= 0 && convention < 3 ? kConventions[convention] : "?",
            (int)(iv.esp_after - iv.esp_before), (unsigned)iv.eax);
    fflush(stderr);
    return (int)iv.eax;
}

/* Calls fn with the count words at words (a PInt block), ECX = ecx. */
EXPORT int CDECL probe_callback(void* fn, int convention, W ecx, int count, const uint32_t* words) {
    return invoke_and_log("callback", fn, convention, ecx, count, words);
}

/* The same on a thread of its own that the runtime has never seen. */
struct ThreadCall {
    void* fn;
    int convention;
    W ecx;
    int count;
    const uint32_t* words;
    int result;
};
#ifdef _WIN32
static DWORD WINAPI thread_main(void* p) {
#else
static void* thread_main(void* p) {
#endif
    struct ThreadCall* c = (struct ThreadCall*)p;
    c->result = invoke_and_log("thread callback", c->fn, c->convention, c->ecx, c->count, c->words);
    return 0;
}
EXPORT int CDECL probe_callback_thread(void* fn, int convention, W ecx, int count, const uint32_t* words) {
    struct ThreadCall c = {fn, convention, ecx, count, words, -1};
#ifdef _WIN32
    HANDLE h = CreateThread(NULL, 0, thread_main, &c, 0, NULL);
    if (!h) return -1;
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
#else
    pthread_t t;
    if (pthread_create(&t, NULL, thread_main, &c) != 0) return -1;
    pthread_join(t, NULL);
#endif
    return c.result;
}

/* A text argument read again after a callback into script code has run on the same stack. */
EXPORT void STDCALL probe_text_after_callback(void* fn, const uint16_t* s) {
    struct Invoke iv = {fn, 0, NULL, 0, 0, 0, 0};
    probe_invoke_raw(&iv);
    log_text("text after callback", s);
}

/* The trivial function of the call benchmark: no logging. */
EXPORT int STDCALL probe_add1(int x) { return x + 1; }

/* The "W" binding: a name with both exports binds the one with "W" appended. */
EXPORT int STDCALL probe_pick(void) { return 1; }
EXPORT int STDCALL probe_pickW(void) { return 2; }
