// The data of one method invocation. Frames live on the native stack of the code that runs them.
#pragma once
#include <cstdint>

#include "types/descriptors.h"

namespace qel {

struct Instruction;
struct ValueStack;

constexpr int kFrameVariables = kMaxVariables;
constexpr int kTryLevels = 4;
constexpr int kCaughtObjects = 16;

struct CaughtList {
    int32_t count;
    void* objects[kCaughtObjects];
};

struct Frame {
    uint8_t returned;
    int16_t variadic;       // set by params/stparams for the next call
    int16_t var_count;
    int16_t try_depth;      // -1 when no handler is active
    int16_t stack_base;     // first ValueStack slot of this invocation
    const char* var_codes;
    void* self;             // this
    void* pending;          // Exception object being propagated
    Instruction* handlers[kTryLevels];
    CaughtList* caught;
    Instruction* method;    // the method header; null for a bare frame
    ValueStack* stack;
    Frame* caller;
    uint64_t vars[kFrameVariables];
};

}  // namespace qel
