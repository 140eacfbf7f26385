// Text rendering for the scripts' Direct2D code: three small COM objects made here (their
// interfaces are stdcall methods behind a function table, in the interfaces' own order) and the
// built-ins that hand them out. They call nothing but the interfaces given to them, so both builds
// have them: a TextRenderer (IDWriteTextRenderer) that draws colour glyph runs layer by layer,
// the process's MemFontLoader (IDWriteFontFileLoader) and the MemFontStreams it makes over the
// image's resources (IDWriteFontFileStream).
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/runtime_error.h"
#include "image/code_store.h"
#include "stdlib/builtin_support.h"
#include "types/system_records.h"

namespace qel {

namespace {

// Methods native code calls align their stack; calls out through an interface are plain stdcall.
#define COM_METHOD __attribute__((stdcall, force_align_arg_pointer))
#define COM_CALL __attribute__((stdcall))

using HResult = int32_t;
constexpr HResult kOk = 0;
constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001);
constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);
constexpr HResult kPointer = static_cast<HResult>(0x80004003);
constexpr HResult kFail = static_cast<HResult>(0x80004005);
constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);
constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057);
constexpr HResult kNoColor = static_cast<HResult>(0x8898500C);  // DWRITE_E_NOCOLOR

struct Guid {
    uint32_t a;
    uint16_t b, c;
    uint8_t d[8];
    bool operator==(const Guid& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
constexpr Guid kIUnknown{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid kITextRenderer{0xef8a8135, 0x5cc6, 0x45fe, {0x88, 0x25, 0xc5, 0xa0, 0x72, 0x4e, 0xb8, 0x19}};
constexpr Guid kIPixelSnapping{0xeaf3a2da, 0xecf4, 0x4d24, {0xb6, 0x44, 0xb3, 0x4f, 0x68, 0x42, 0x02, 0x4b}};
constexpr Guid kIFontFileLoader{0x727cad4e, 0xd6af, 0x4c9e, {0x8a, 0x08, 0xd6, 0x95, 0xb1, 0x1c, 0xaa, 0x49}};
constexpr Guid kIFontFileStream{0x6d4865fe, 0x0ab8, 0x4d91, {0x8f, 0x62, 0x5d, 0xd6, 0xbe, 0x34, 0xa3, 0xe0}};

struct PointF {
    float x, y;
};
struct ColorF {
    float r, g, b, a;
};
struct GlyphRun;  // DWRITE_GLYPH_RUN, passed through
// DWRITE_COLOR_GLYPH_RUN: a glyph run (32 bytes), its description, its origin, colour and palette.
struct ColorGlyphRun {
    uint8_t glyph_run[32];
    const void* description;
    float x, y;
    ColorF color;
    uint16_t palette_index;
};
static_assert(offsetof(ColorGlyphRun, x) == 36 && offsetof(ColorGlyphRun, color) == 44 &&
              offsetof(ColorGlyphRun, palette_index) == 60);

// Slots of the interfaces the objects call.
constexpr int kRelease = 2;
constexpr int kTargetCreateSolidColorBrush = 8, kTargetDrawTextLayout = 28, kTargetDrawGlyphRun = 29,
              kTargetGetTransform = 31, kTargetGetDpi = 52;
constexpr int kBrushSetColor = 8;
constexpr int kLayoutDraw = 58;
constexpr int kInlineObjectDraw = 3;
constexpr int kFactory4TranslateColorGlyphRun = 40;
constexpr int kEnumeratorMoveNext = 3, kEnumeratorGetCurrentRun = 4;

template <typename Fn>
Fn slot(void* object, int index) {
    return reinterpret_cast<Fn>((*static_cast<void***>(object))[index]);
}
void release(void* object) {
    if (object) slot<uint32_t(COM_CALL*)(void*)>(object, kRelease)(object);
}

// ---- TextRenderer ------------------------------------------------------------------------------

struct TextRenderer {
    const void* const* table;
    int32_t direct;          // 1: the render target draws layouts itself; 0: colour glyph runs here
    std::atomic<int32_t> refs;
    void* factory;           // IDWriteFactory4
    void* target;            // ID2D1RenderTarget, also the drawing context
    int32_t options;         // of the layout being drawn
    void* brush;             // of the layout being drawn
    void* color_brush;       // ID2D1SolidColorBrush, colour mode only
};

COM_METHOD HResult renderer_query(TextRenderer* self, const Guid* iid, void** out);
COM_METHOD uint32_t renderer_add_ref(TextRenderer* self) { return static_cast<uint32_t>(++self->refs); }
COM_METHOD uint32_t renderer_release(TextRenderer* self) {
    const int32_t n = --self->refs;
    if (n == 0) {
        release(self->color_brush);
        std::free(self);
    }
    return static_cast<uint32_t>(n);
}
COM_METHOD HResult renderer_snapping_disabled(TextRenderer*, void*, int32_t* out) {
    if (!out) return kPointer;
    *out = 0;
    return kOk;
}
COM_METHOD HResult renderer_transform(TextRenderer* self, void*, float* matrix) {
    if (!self->target || !matrix) return kPointer;
    slot<void(COM_CALL*)(void*, float*)>(self->target, kTargetGetTransform)(self->target, matrix);
    return kOk;
}
COM_METHOD HResult renderer_pixels_per_dip(TextRenderer* self, void*, float* out) {
    if (!self->target || !out) return kPointer;
    float x = 96, y = 96;
    slot<void(COM_CALL*)(void*, float*, float*)>(self->target, kTargetGetDpi)(self->target, &x, &y);
    *out = x / 96.0f;
    return kOk;
}
void draw_run(TextRenderer* self, PointF at, const void* run, void* brush, int32_t mode) {
    slot<void(COM_CALL*)(void*, PointF, const void*, void*, int32_t)>(self->target, kTargetDrawGlyphRun)(
        self->target, at, run, brush, mode);
}
COM_METHOD HResult renderer_glyph_run(TextRenderer* self, void*, float x, float y, int32_t mode, const GlyphRun* run,
                                      const void* description, void*) {
    if (!self->target || !self->factory || !self->brush || !run) return kPointer;
    const uint32_t formats = 1 | 2 | ((self->options & 4) ? 4 : 0);  // TrueType, CFF, COLR when asked
    void* layers = nullptr;
    const HResult hr = slot<HResult(COM_CALL*)(void*, PointF, const void*, const void*, uint32_t, int32_t,
                                                 const void*, uint32_t, void**)>(self->factory,
                                                                                 kFactory4TranslateColorGlyphRun)(
        self->factory, PointF{x, y}, run, description, formats, mode, nullptr, 0, &layers);
    if (hr == kNoColor) {
        draw_run(self, PointF{x, y}, run, self->brush, mode);
        return kOk;  // drawn: the layout goes on with its next run
    }
    if (hr < 0 || !layers) return hr;
    for (;;) {
        int32_t more = 0;
        if (slot<HResult(COM_CALL*)(void*, int32_t*)>(layers, kEnumeratorMoveNext)(layers, &more) < 0 || !more) break;
        const ColorGlyphRun* layer = nullptr;
        if (slot<HResult(COM_CALL*)(void*, const ColorGlyphRun**)>(layers, kEnumeratorGetCurrentRun)(layers, &layer) < 0 ||
            !layer)
            break;
        void* brush = self->brush;  // palette index 0xFFFF: the text's own colour
        if (layer->palette_index != 0xFFFF && self->color_brush) {
            slot<void(COM_CALL*)(void*, const ColorF*)>(self->color_brush, kBrushSetColor)(self->color_brush,
                                                                                          &layer->color);
            brush = self->color_brush;
        }
        draw_run(self, PointF{layer->x, layer->y}, layer->glyph_run, brush, mode);
    }
    release(layers);
    return hr;
}
COM_METHOD HResult renderer_underline(TextRenderer*, void*, float, float, const void*, void*) { return kNotImplemented; }
COM_METHOD HResult renderer_strikethrough(TextRenderer*, void*, float, float, const void*, void*) {
    return kNotImplemented;
}
COM_METHOD HResult renderer_inline_object(TextRenderer* self, void* context, float x, float y, void* object,
                                          int32_t sideways, int32_t right_to_left, void* effect) {
    if (!object) return kPointer;
    return slot<HResult(COM_CALL*)(void*, void*, void*, float, float, int32_t, int32_t, void*)>(
        object, kInlineObjectDraw)(object, context, self, x, y, sideways, right_to_left, effect);
}

const void* const kRendererTable[] = {
    reinterpret_cast<const void*>(renderer_query),          reinterpret_cast<const void*>(renderer_add_ref),
    reinterpret_cast<const void*>(renderer_release),        reinterpret_cast<const void*>(renderer_snapping_disabled),
    reinterpret_cast<const void*>(renderer_transform),      reinterpret_cast<const void*>(renderer_pixels_per_dip),
    reinterpret_cast<const void*>(renderer_glyph_run),      reinterpret_cast<const void*>(renderer_underline),
    reinterpret_cast<const void*>(renderer_strikethrough),  reinterpret_cast<const void*>(renderer_inline_object),
};

COM_METHOD HResult renderer_query(TextRenderer* self, const Guid* iid, void** out) {
    if (!out) return kPointer;
    if (iid && (*iid == kITextRenderer || *iid == kIPixelSnapping || *iid == kIUnknown)) {
        renderer_add_ref(self);
        *out = self;
        return kOk;
    }
    *out = nullptr;
    return kFail;
}

// The direct mode, unless the system is Windows 10 build 22000 or later (Windows 11), where the
// renderer draws colour fonts itself.
bool direct_mode() {
    const CSystemEnvironment& e = system_environment();
    return !(e.MajorVersion == 10 && e.BuildNumber >= 22000);
}

TextRenderer* renderer_create(void* factory, void* target) {
    auto* r = static_cast<TextRenderer*>(std::calloc(1, sizeof(TextRenderer)));
    if (!r) return nullptr;
    r->table = kRendererTable;
    r->direct = direct_mode() ? 1 : 0;
    r->refs = 1;
    r->factory = factory;
    r->target = target;
    if (!r->direct && target) {
        const ColorF black{0, 0, 0, 1};
        slot<HResult(COM_CALL*)(void*, const ColorF*, const void*, void**)>(target, kTargetCreateSolidColorBrush)(
            target, &black, nullptr, &r->color_brush);
    }
    return r;
}

// ---- MemFontStream and MemFontLoader ------------------------------------------------------------

struct MemFontStream {
    const void* const* table;
    std::atomic<int32_t> refs;
    const ResourceRec* resource;
};

COM_METHOD HResult stream_query(MemFontStream* self, const Guid* iid, void** out);
COM_METHOD uint32_t stream_add_ref(MemFontStream* self) { return static_cast<uint32_t>(++self->refs); }
COM_METHOD uint32_t stream_release(MemFontStream* self) {
    const int32_t n = --self->refs;
    if (n == 0) std::free(self);
    return static_cast<uint32_t>(n);
}
COM_METHOD HResult stream_read(MemFontStream* self, const void** start, uint64_t offset, uint64_t length,
                               void** context) {
    if (!start) return kPointer;
    if (context) *context = nullptr;
    const uint64_t size = self->resource->size;
    if (offset > size || length > size - offset) {
        *start = nullptr;
        return kFail;
    }
    *start = self->resource->data + offset;
    return kOk;
}
COM_METHOD void stream_release_fragment(MemFontStream*, void*) {}
COM_METHOD HResult stream_size(MemFontStream* self, uint64_t* out) {
    if (!out) return kPointer;
    *out = self->resource->size;
    return kOk;
}
COM_METHOD HResult stream_write_time(MemFontStream*, uint64_t* out) {
    if (out) *out = 0;
    return kNotImplemented;
}

const void* const kStreamTable[] = {
    reinterpret_cast<const void*>(stream_query),       reinterpret_cast<const void*>(stream_add_ref),
    reinterpret_cast<const void*>(stream_release),     reinterpret_cast<const void*>(stream_read),
    reinterpret_cast<const void*>(stream_release_fragment), reinterpret_cast<const void*>(stream_size),
    reinterpret_cast<const void*>(stream_write_time),
};

COM_METHOD HResult stream_query(MemFontStream* self, const Guid* iid, void** out) {
    if (!out) return kPointer;
    if (iid && (*iid == kIFontFileStream || *iid == kIUnknown)) {
        stream_add_ref(self);
        *out = self;
        return kOk;
    }
    *out = nullptr;
    return kNoInterface;
}

// The loader lives as long as the process: its count may go back to 0 without freeing it, since
// D2DGetMemFontLoader hands the same one out again.
struct MemFontLoader {
    const void* const* table;
    std::atomic<int32_t> refs;
};

COM_METHOD HResult loader_query(MemFontLoader* self, const Guid* iid, void** out);
COM_METHOD uint32_t loader_add_ref(MemFontLoader* self) { return static_cast<uint32_t>(++self->refs); }
COM_METHOD uint32_t loader_release(MemFontLoader* self) {
    int32_t n = self->refs.load();
    while (n > 0 && !self->refs.compare_exchange_weak(n, n - 1)) {
    }
    return static_cast<uint32_t>(n > 0 ? n - 1 : 0);
}
// The key is the address of a word holding a ResourceRec pointer.
COM_METHOD HResult loader_create_stream(MemFontLoader*, const void* key, uint32_t key_size, void** out) {
    if (!out) return kPointer;
    *out = nullptr;
    if (invalid_address(key) || key_size < sizeof(void*)) return kInvalidArgument;
    const auto* resource = *static_cast<const ResourceRec* const*>(key);
    if (invalid_address(resource)) return kInvalidArgument;
    auto* s = static_cast<MemFontStream*>(std::calloc(1, sizeof(MemFontStream)));
    if (!s) return kOutOfMemory;
    s->table = kStreamTable;
    s->refs = 1;
    s->resource = resource;
    *out = s;
    return kOk;
}

const void* const kLoaderTable[] = {
    reinterpret_cast<const void*>(loader_query), reinterpret_cast<const void*>(loader_add_ref),
    reinterpret_cast<const void*>(loader_release), reinterpret_cast<const void*>(loader_create_stream),
};

COM_METHOD HResult loader_query(MemFontLoader* self, const Guid* iid, void** out) {
    if (!out) return kPointer;
    if (iid && (*iid == kIFontFileLoader || *iid == kIUnknown)) {
        loader_add_ref(self);
        *out = self;
        return kOk;
    }
    *out = nullptr;
    return kNoInterface;
}

MemFontLoader g_font_loader{kLoaderTable, {0}};

}  // namespace

// () -> pointer: the process's MemFontLoader.
void bi_D2DGetMemFontLoader(Runtime*, Frame* f) { push_pointer(f->stack, &g_font_loader); }

// (factory: pointer, renderTarget: pointer) -> pointer: a new TextRenderer (one reference), 0
// when it cannot be allocated.
void bi_D2DCreateTextRenderer(Runtime*, Frame* f) {
    void* target = pop_pointer(f->stack);
    void* factory = pop_pointer(f->stack);
    if ((target && invalid_address(target)) || (factory && invalid_address(factory)))
        raise_runtime_error("D2DCreateTextRenderer: an invalid factory or render target");
    push_pointer(f->stack, renderer_create(factory, target));
}

// (renderer: pointer, x: double, y: double, layout: pointer, brush: pointer, options: int)
void bi_D2DDrawTextLayout(Runtime*, Frame* f) {
    ValueStack* st = f->stack;
    const int32_t options = pop_int(st);
    void* brush = pop_pointer(st);
    void* layout = pop_pointer(st);
    const float y = static_cast<float>(pop_double(st));
    const float x = static_cast<float>(pop_double(st));
    auto* r = static_cast<TextRenderer*>(pop_pointer(st));
    if (invalid_address(r) || r->table != kRendererTable)
        raise_runtime_error("D2DDrawTextLayout: the renderer is not a TextRenderer");
    if (invalid_address(layout) || !r->target) raise_runtime_error("D2DDrawTextLayout: no text layout or render target");
    if (r->direct) {
        slot<void(COM_CALL*)(void*, PointF, void*, void*, int32_t)>(r->target, kTargetDrawTextLayout)(
            r->target, PointF{x, y}, layout, brush, options);
        return;
    }
    r->brush = brush;
    r->options = options;
    slot<HResult(COM_CALL*)(void*, void*, void*, float, float)>(layout, kLayoutDraw)(layout, r->target, r, x, y);
}

}  // namespace qel
