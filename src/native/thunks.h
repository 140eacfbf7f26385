// Callback thunks: small machine-code stubs, made at run time, through which native code calls a
// script method as a plain function with a fixed calling convention (EntryPoint).
#pragma once
#include <cstdint>

namespace qel {

struct Runtime;
struct Instruction;
struct ValueStack;

// What a stub hands to the runtime routines it calls (its address is written into the stub).
// The stack and object of one call are kept per thread, not here, so two threads can be inside
// the same thunk at once.
struct ThunkContext {
    Runtime* rt;
    Instruction* method;  // the method header
    void* self;           // the object of calls without ECX (0)
    ValueStack* stack;    // the main thread's stack, as created
    char result;          // the method's result code
};

struct ThunkRecord {
    char* name;
    uint8_t* code;
    ThunkContext* context;
};

constexpr uint32_t kStagingBytes = 512;
constexpr int kMaxDisplacement = 127;  // a stack argument is addressed with a one-byte displacement

// The runtime routines a stub calls, all cdecl with the context first.
struct ThunkRoutines {
    const void* enter;        // (context)
    const void* set_this;     // (context, object)
    const void* push_int;     // (context, word)
    const void* push_double;  // (context, double)
    const void* push_long;    // (context, 64-bit integer)
    const void* invoke;       // (context) -> the result as a word
    const void* pop_int;      // (context) -> the result as a word
};
const ThunkRoutines& thunk_routines();

enum class StubStatus { ok, bad_convention, bad_parameter, displacement, too_long };
struct StubResult {
    StubStatus status;
    uint32_t size;   // bytes written when ok
    int bad_index;   // the parameter that could not be transferred or addressed
};

// Writes the stub for a method with these parameter codes and result code into out (cap bytes):
// conventions 0 stdcall, 1 cdecl, 2 thiscall; parameters d, i, l, m, n and p are transferred,
// any other code is refused, as is an argument beyond a one-byte displacement from EBP or a stub
// longer than cap.
StubResult assemble_stub(uint8_t* out, uint32_t cap, const void* context, int convention, const char* codes,
                         int count, char result, const ThunkRoutines& routines);

// EntryPoint: the reserved procedure of that name, or the code of the thunk made (once per name)
// for the script method of that full name. Raises a runtime error for an unknown method, a
// parameter that cannot be transferred, a convention outside 0..2, or a stub that cannot be made.
void* entry_point(Runtime* rt, const char* name, int32_t convention);

// The thunk made for a name, or null (for tests and dumps).
ThunkRecord* find_thunk(Runtime* rt, const char* name);

}  // namespace qel
