// The catalogue as one table sorted by NameHash at compile time.
#include <algorithm>
#include <array>

#include "host/builtins.h"

#include "base/name_hash.h"

namespace qel {

namespace {
struct Entry {
    uint32_t hash;
    BuiltinFn fn;
};

constexpr auto sorted_table() {
    std::array table{
#define BUILTIN(name, fn) Entry{name_hash(#name), &fn},
#include "host/builtins.def"
#undef BUILTIN
    };
    std::sort(table.begin(), table.end(), [](const Entry& a, const Entry& b) { return a.hash < b.hash; });
    return table;
}

constexpr auto kTable = sorted_table();

constexpr bool hashes_unique() {
    for (size_t i = 1; i < kTable.size(); ++i)
        if (kTable[i].hash == kTable[i - 1].hash && kTable[i].fn != kTable[i - 1].fn) return false;
    return true;
}
static_assert(hashes_unique(), "two built-in names share a hash but not an entry point");
}  // namespace

BuiltinFn resolve_builtin(uint32_t hash) {
    auto it = std::lower_bound(kTable.begin(), kTable.end(), hash, [](const Entry& e, uint32_t h) { return e.hash < h; });
    return it != kTable.end() && it->hash == hash ? it->fn : nullptr;
}

}  // namespace qel
