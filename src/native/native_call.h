// The machine-level call of a native procedure (native_call_i386.S): argument words laid out on
// the machine stack, the object in ECX, and the result registers read back.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qel {

enum NativeFpuResult : uint32_t { kFpuNone = 0, kFpuSingle = 1, kFpuDouble = 2 };

struct NativeCall {
    void* fn;
    const uint32_t* args;  // the first argument word (the one at the lowest address)
    uint32_t words;
    void* ecx;
    uint32_t fpu;          // NativeFpuResult: whether ST0 holds the result, and how wide
    uint32_t eax;
    uint32_t edx;
    float st0_single;
    double st0;
};
static_assert(offsetof(NativeCall, fn) == 0 && offsetof(NativeCall, args) == 4 && offsetof(NativeCall, words) == 8 &&
              offsetof(NativeCall, ecx) == 12 && offsetof(NativeCall, fpu) == 16 && offsetof(NativeCall, eax) == 20 &&
              offsetof(NativeCall, edx) == 24 && offsetof(NativeCall, st0_single) == 28 &&
              offsetof(NativeCall, st0) == 32);

extern "C" void qel_native_call(NativeCall* call);

}  // namespace qel
