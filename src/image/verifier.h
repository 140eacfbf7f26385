// The verifier: what an assembled image must satisfy before it may run. It refuses what would
// corrupt memory or run off the end of a method, and notes what is only suspicious.
//
// Refused (the load fails at the instruction's line):
//  - a variable index at or beyond the method's declared count;
//  - a store, inc, dec or exc on a string variable with anything but a string instruction, and a
//    string instruction (ldvstr, stvstr) on a variable that is not a string;
//  - a field instruction that would corrupt memory: a string instruction on a field that is not a
//    string, a store of another kind into a string field, a store wider than its field that reaches
//    past the end of the record, and a store or a string instruction (ldpstr, newstr, freestr)
//    without its Class.Field operand;
//  - a method that can run past its end: its last instruction is none of ret, return, abort, jmp,
//    catch and throw;
//  - a branch to the method's own header (a count of 0 or less);
//  - newstruct or sizeof of a type that is neither declared nor basic.
// Only noted (qelasm verify lists them): other kind mismatches between an instruction and its
// variable or field (a double read from an int variable, a store or load wider than its field
// inside the record, a field load without an operand), which images compiled with word-size punning rely on.
#pragma once
#include <string>
#include <vector>

#include "image/load_report.h"
#include "image/program.h"

namespace qel {

struct VerifyProblem {
    int line;
    bool refused;  // false: only noted
    std::string what;
};

// Every problem of the program, in chain order.
std::vector<VerifyProblem> verify_program(const Program& program);

// The load's check: the first refused problem fails the report.
bool verify_for_load(const Program& program, LoadReport& report);

}  // namespace qel
