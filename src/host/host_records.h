// The records the host reads or writes by its own layout while scripts read them by the image's
// declaration: the system blocks, Global, Exception, the descriptors, streams and maps, the
// procedure records, the markup and JSON records. An image that declares one of them differently
// (another type, another offset, a field too few or too many) cannot run: the load fails naming
// the record and the field.
#pragma once
#include <string>
#include <vector>

#include "image/load_report.h"
#include "image/program.h"

namespace qel {

struct HostField {
    const char* name;
    char code;   // the type code the image must declare
    int offset;  // -1: anywhere (the host finds the field by name)
};

// Who makes the record decides how much of it an image may declare.
enum class RecordUse {
    Shared,     // scripts make it and the host reads or writes it: every field, the whole size
    HostMade,   // the host makes it and scripts read it: the image may declare the first fields only
    ByName,     // the host finds the listed fields by name: their types must match, nothing else
};

struct HostRecord {
    const char* name;
    RecordUse use;
    int size;  // the record's size; 0 when not compared (an overlay of a larger record)
    std::vector<HostField> fields;
};

const std::vector<HostRecord>& host_records();

// Every difference between the image's declarations and the host's records.
std::vector<std::string> host_record_mismatches(const Program& program);
// The load's check: the first difference fails the report.
bool check_host_records(const Program& program, LoadReport& report);

}  // namespace qel
