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

/* Stand-ins for what the text renderer calls (both builds): probe_text_fake(0) a render target
   (ID2D1RenderTarget slots 8 CreateSolidColorBrush, 28 DrawTextLayout, 29 DrawGlyphRun, 31
   GetTransform, 52 GetDpi at 144), 1 a factory (IDWriteFactory4 slot 40 TranslateColorGlyphRun:
   no colour on its first call, then two layers, the text's colour and palette entry 1), 2 a text
   layout (slot 58 Draw: one glyph run through the renderer). Every call is logged; the brush the
   target makes is "colour", any other brush shows as its number. probe_renderer calls a
   renderer's own methods as DirectWrite would and logs their answers. */
typedef struct { float r, g, b, a; } FakeColor;
typedef struct {
    unsigned char run[32];
    const void* description;
    float x, y;
    FakeColor color;
    uint16_t palette;
} FakeColorRun;
typedef struct { void* const* table; } FakeObject;
static FakeObject g_fake_target, g_fake_factory, g_fake_layout, g_fake_brush, g_fake_layers;
static unsigned char g_fake_run[32];
static int g_translations, g_layer;
static const FakeColorRun g_fake_runs[2] = {{{0}, NULL, 5, 6, {0, 0, 0, 0}, 0xFFFF}, {{0}, NULL, 7, 8, {0.5f, 0.25f, 0, 1}, 1}};
static const char* brush_name(const void* brush, char* b) {
    if (brush == &g_fake_brush) return "colour";
    sprintf(b, "%lu", (unsigned long)(uintptr_t)brush);
    return b;
}
static int32_t STDCALL fake_create_brush(void* self, const FakeColor* c, const void* props, void** out) {
    fprintf(stderr, "CreateSolidColorBrush %g %g %g %g\n", c->r, c->g, c->b, c->a);
    *out = &g_fake_brush;
    return 0;
}
static void STDCALL fake_draw_layout(void* self, float x, float y, void* layout, void* brush, int32_t options) {
    char b[24];
    fprintf(stderr, "DrawTextLayout %g %g %s brush %s options %d\n", x, y, layout == &g_fake_layout ? "layout" : "?",
            brush_name(brush, b), (int)options);
}
static void STDCALL fake_draw_run(void* self, float x, float y, const void* run, void* brush, int32_t mode) {
    char b[24];
    fprintf(stderr, "DrawGlyphRun %g %g %s brush %s\n", x, y,
            run == g_fake_run ? "run" : run == g_fake_runs[0].run || run == g_fake_runs[1].run ? "layer" : "?",
            brush_name(brush, b));
}
static void STDCALL fake_transform(void* self, float* m) {
    static const float kM[6] = {1, 0, 0, 1, 10, 20};
    memcpy(m, kM, sizeof kM);
}
static void STDCALL fake_dpi(void* self, float* x, float* y) { *x = *y = 144; }
static int32_t STDCALL fake_translate(void* self, float x, float y, const void* run, const void* description,
                                      uint32_t formats, int32_t mode, const void* transform, uint32_t palette,
                                      void** layers) {
    fprintf(stderr, "TranslateColorGlyphRun %g %g formats %u palette %u\n", x, y, (unsigned)formats, (unsigned)palette);
    *layers = g_translations++ ? &g_fake_layers : NULL;
    g_layer = -1;
    return *layers ? 0 : (int32_t)0x8898500C;
}
static int32_t STDCALL fake_layers_next(void* self, int32_t* more) {
    *more = ++g_layer < 2;
    return 0;
}
static int32_t STDCALL fake_layers_current(void* self, const FakeColorRun** run) {
    *run = &g_fake_runs[g_layer];
    return 0;
}
static uint32_t STDCALL fake_release(void* self) {
    fprintf(stderr, "%s Release\n", self == &g_fake_brush ? "brush" : "layers");
    return 0;
}
static void STDCALL fake_set_color(void* self, const FakeColor* c) {
    fprintf(stderr, "SetColor %g %g %g %g\n", c->r, c->g, c->b, c->a);
}
typedef int32_t(STDCALL* FakeDrawRun)(void*, void*, float, float, int32_t, const void*, const void*, void*);
static int32_t STDCALL fake_layout_draw(void* self, void* context, void* renderer, float x, float y) {
    fprintf(stderr, "Draw %s %g %g\n", context == &g_fake_target ? "target" : "?", x, y);
    FakeDrawRun draw = (FakeDrawRun)(*(void***)renderer)[6];
    fprintf(stderr, "glyph run: %ld\n", (long)draw(renderer, context, x, y, 0, g_fake_run, NULL, NULL));
    return 0;
}
static void* g_fake_target_table[53];
static void* g_fake_factory_table[41];
static void* g_fake_layout_table[59];
static void* g_fake_brush_table[9];
static void* const g_fake_layers_table[5] = {NULL, NULL, (void*)fake_release, (void*)fake_layers_next,
                                              (void*)fake_layers_current};
EXPORT void* STDCALL probe_text_fake(int which) {
    g_fake_target_table[8] = (void*)fake_create_brush;
    g_fake_target_table[28] = (void*)fake_draw_layout;
    g_fake_target_table[29] = (void*)fake_draw_run;
    g_fake_target_table[31] = (void*)fake_transform;
    g_fake_target_table[52] = (void*)fake_dpi;
    g_fake_factory_table[40] = (void*)fake_translate;
    g_fake_layout_table[58] = (void*)fake_layout_draw;
    g_fake_brush_table[2] = (void*)fake_release;
    g_fake_brush_table[8] = (void*)fake_set_color;
    g_fake_target.table = g_fake_target_table;
    g_fake_factory.table = g_fake_factory_table;
    g_fake_layout.table = g_fake_layout_table;
    g_fake_brush.table = g_fake_brush_table;
    g_fake_layers.table = g_fake_layers_table;
    return which == 0 ? (void*)&g_fake_target : which == 1 ? (void*)&g_fake_factory : (void*)&g_fake_layout;
}
EXPORT void STDCALL probe_renderer(void* r) {
    typedef int32_t(STDCALL * Get)(void*, void*, void*);
    typedef int32_t(STDCALL * Line)(void*, void*, float, float, const void*, void*);
    void* const* t = *(void* const**)r;
    int32_t off = 7;
    float dip = 7, m[6] = {7, 7, 7, 7, 7, 7};
    int32_t s = ((Get)t[3])(r, NULL, &off), d = ((Get)t[5])(r, NULL, &dip), x = ((Get)t[4])(r, NULL, m);
    int32_t u = ((Line)t[7])(r, NULL, 1.5f, 2.5f, NULL, NULL), k = ((Line)t[8])(r, NULL, 1.5f, 2.5f, NULL, NULL);
    fprintf(stderr, "renderer methods: snapping %d %d, per dip %d %g, transform %d %g %g, underline %d, strikethrough %d\n",
            (int)s, (int)off, (int)d, dip, (int)x, m[4], m[5], (int)u, (int)k);
}

#ifdef _WIN32
/* Script windows: probe_register(procedure, background) registers the class QelTestWindow;
   probe_window(x, object) opens a visible 40 x 30 popup window of it at (x, 0) with the object as
   creation parameter; probe_fill(dc, colour) fills the left half (0, 0)-(20, 30) of a paint DC;
   probe_pixels(window, text) logs "text, pixels" and the pixels at (10, 15) and (39, 29). */
EXPORT int STDCALL probe_register(WNDPROC procedure, COLORREF background) {
    WNDCLASSW c = {0, procedure, 0, 0, GetModuleHandleW(NULL), NULL, NULL, CreateSolidBrush(background), NULL,
                   L"QelTestWindow"};
    return RegisterClassW(&c) != 0;
}
EXPORT HWND STDCALL probe_window(int x, void* object) {
    return CreateWindowExW(0, L"QelTestWindow", L"", WS_POPUP | WS_VISIBLE, x, 0, 40, 30, NULL, NULL,
                           GetModuleHandleW(NULL), object);
}
EXPORT void STDCALL probe_fill(HDC dc, COLORREF colour) {
    RECT r = {0, 0, 20, 30};
    HBRUSH b = CreateSolidBrush(colour);
    FillRect(dc, &r, b);
    DeleteObject(b);
}
EXPORT void STDCALL probe_pixels(HWND w, const wchar_t* text) {
    HDC dc = GetDC(w);
    fprintf(stderr, "%ls, pixels %lu %lu\n", text, GetPixel(dc, 10, 15), GetPixel(dc, 39, 29));
    fflush(stderr);
    ReleaseDC(w, dc);
}

/* probe_dispatch: an automation object (IDispatch) with three members. "Args" logs its flags,
   named arguments and arguments as "Args flags 3 named -: i4:5 bstr:'x'"; "Result"(k) answers with
   the k-th VARIANT type of kResults; "Fail"(k) fails: k = 0 a server exception with a source and a
   description, 1 one without either, 2 E_INVALIDARG, 3 E_FAIL. probe_dispatch_refs gives its
   reference count. */
#include <oleauto.h>
static const VARTYPE kResults[] = {VT_I2,  VT_I4,  VT_UI4, VT_INT,   VT_UINT,    VT_R4,    VT_R8,  VT_BSTR,
                                   VT_BOOL, VT_I1, VT_UI1, VT_UI2,   VT_EMPTY,   VT_DATE,  VT_DISPATCH, VT_UNKNOWN};
static IDispatch g_dispatch;
static LONG g_refs = 1;
static ULONG STDMETHODCALLTYPE d_add_ref(IDispatch* self) { return (ULONG)InterlockedIncrement(&g_refs); }
static ULONG STDMETHODCALLTYPE d_release(IDispatch* self) { return (ULONG)InterlockedDecrement(&g_refs); }
static HRESULT STDMETHODCALLTYPE d_query(IDispatch* self, REFIID iid, void** out) {
    int ok = IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch);
    *out = ok ? self : NULL;
    if (ok) d_add_ref(self);
    return ok ? S_OK : E_NOINTERFACE;
}
static HRESULT STDMETHODCALLTYPE d_type_count(IDispatch* self, UINT* n) { *n = 0; return S_OK; }
static HRESULT STDMETHODCALLTYPE d_type_info(IDispatch* self, UINT i, LCID l, ITypeInfo** t) { return E_NOTIMPL; }
static HRESULT STDMETHODCALLTYPE d_ids(IDispatch* self, REFIID iid, LPOLESTR* names, UINT n, LCID l, DISPID* ids) {
    static const wchar_t* const kMembers[] = {L"Args", L"Result", L"Fail"};
    for (ids[0] = 0; ids[0] < 3; ++ids[0])
        if (!wcscmp(names[0], kMembers[ids[0]])) return S_OK;
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}
static HRESULT STDMETHODCALLTYPE d_invoke(IDispatch* self, DISPID id, REFIID iid, LCID lcid, WORD flags,
                                          DISPPARAMS* p, VARIANT* result, EXCEPINFO* info, UINT* arg_error) {
    const int k = p->cArgs && V_VT(&p->rgvarg[0]) == VT_I4 ? V_I4(&p->rgvarg[0]) : 0;
    if (id == 0) {
        fprintf(stderr, "Args flags %u named", (unsigned)flags);
        for (UINT i = 0; i < p->cNamedArgs; ++i) fprintf(stderr, " %ld", (long)p->rgdispidNamedArgs[i]);
        fprintf(stderr, "%s:", p->cNamedArgs ? "" : " -");
        for (UINT i = 0; i < p->cArgs; ++i) {
            const VARIANT* v = &p->rgvarg[i];
            switch (V_VT(v)) {
                case VT_BOOL: fprintf(stderr, " bool:%d", V_BOOL(v)); break;
                case VT_I4: fprintf(stderr, " i4:%ld", (long)V_I4(v)); break;
                case VT_R8: fprintf(stderr, " r8:%g", V_R8(v)); break;
                case VT_NULL: fprintf(stderr, " null"); break;
                case VT_DISPATCH: fprintf(stderr, " dispatch:%s", V_DISPATCH(v) == self ? "probe" : "other"); break;
                case VT_BSTR: fprintf(stderr, " bstr:'%ls'", V_BSTR(v)); break;
                default: fprintf(stderr, " vt%d", V_VT(v)); break;
            }
        }
        fprintf(stderr, "\n");
        fflush(stderr);
        return S_OK;
    }
    if (id == 2 && k < 2) {
        info->bstrSource = k ? NULL : SysAllocString(L"Probe.Server");
        info->bstrDescription = k ? NULL : SysAllocString(L"the server says no");
        info->scode = E_FAIL;
        return DISP_E_EXCEPTION;
    }
    if (id != 1 || k < 0 || k >= (int)(sizeof kResults / sizeof kResults[0])) return id == 2 && k == 2 ? E_INVALIDARG : E_FAIL;
    VariantInit(result);
    V_VT(result) = kResults[k];
    switch (kResults[k]) {
        case VT_I2: V_I2(result) = -2; break;
        case VT_I4: case VT_INT: V_I4(result) = -4; break;
        case VT_UI4: case VT_UINT: V_UI4(result) = 0xFFFFFFFCu; break;
        case VT_R4: V_R4(result) = 0.25f; break;
        case VT_R8: V_R8(result) = -0.125; break;
        case VT_BSTR: V_BSTR(result) = SysAllocString(L"from the server"); break;
        case VT_BOOL: V_BOOL(result) = VARIANT_TRUE; break;
        case VT_I1: V_I1(result) = -1; break;
        case VT_UI1: V_UI1(result) = 0xFF; break;
        case VT_UI2: V_UI2(result) = 0xFFFF; break;
        case VT_DISPATCH: case VT_UNKNOWN: V_DISPATCH(result) = self; d_add_ref(self); break;
        case VT_DATE: V_DATE(result) = 2.5; break;
        default: break;
    }
    return S_OK;
}
static IDispatchVtbl g_dispatch_table = {d_query, d_add_ref, d_release, d_type_count, d_type_info, d_ids, d_invoke};
static IDispatch g_dispatch = {&g_dispatch_table};
EXPORT void* STDCALL probe_dispatch(void) { return &g_dispatch; }
EXPORT int STDCALL probe_dispatch_refs(void) { return (int)g_refs; }
#endif
