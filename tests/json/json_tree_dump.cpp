// The native side of the differential JSON test. Reads documents (each a 32-bit little-endian unit
// count and that many UTF-16 units) from the file named on the command line and prints, per
// document, "=" and then either R (rejected) or the tree in pre-order, one node per line:
//   O n | A n | K <units> | S <units> | I <decimal> | D <%a> | B 0|1 | N
// followed by T <units>, the tree serialized in the multi-line form. Units are 4 hex digits each.
// A child whose parent link is not its container prints P.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/json_tree.h"

using namespace qel;

namespace {

void units(const char* tag, const WChar* s, uint32_t n) {
    std::fputs(tag, stdout);
    for (uint32_t i = 0; i < n; ++i) std::printf("%04x", static_cast<unsigned>(s[i]));
    std::fputc('\n', stdout);
}

struct Item {
    const json_value* value;
    const json_value* parent;
    const json_object_entry* key;  // printed before the value when set
};

void dump(const json_value* root) {
    std::vector<Item> todo{{root, nullptr, nullptr}};
    while (!todo.empty()) {
        Item it = todo.back();
        todo.pop_back();
        if (it.key) units("K ", it.key->name, it.key->name_length);
        const json_value* v = it.value;
        if (v->parent != it.parent) std::puts("P");
        switch (v->type) {
            case kJsonObject:
                std::printf("O %u\n", v->u.object.length);
                for (uint32_t i = v->u.object.length; i-- > 0;)
                    todo.push_back({v->u.object.values[i].value, v, &v->u.object.values[i]});
                break;
            case kJsonArray:
                std::printf("A %u\n", v->u.array.length);
                for (uint32_t i = v->u.array.length; i-- > 0;) todo.push_back({v->u.array.values[i], v, nullptr});
                break;
            case kJsonInteger: std::printf("I %lld\n", static_cast<long long>(v->u.integer)); break;
            case kJsonDouble: std::printf("D %a\n", v->u.dbl); break;
            case kJsonString: units("S ", v->u.string.ptr, v->u.string.length); break;
            case kJsonBoolean: std::printf("B %d\n", v->u.boolean ? 1 : 0); break;
            case kJsonNull: std::puts("N"); break;
            default: std::printf("? %d\n", v->type); break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) return 2;
    std::vector<WChar> text;
    uint32_t n;
    while (std::fread(&n, 4, 1, in) == 1) {
        text.resize(n + 1);
        if (std::fread(text.data(), 2, n, in) != n) return 2;
        std::puts("=");
        json_value* v = json_parse(text.data(), n);
        if (!v) {
            std::puts("R");
            continue;
        }
        dump(v);
        uint32_t length = 0;
        WChar* s = json_serialize(v, json_serialize_opts{kJsonMultiline, 0, 2}, &length);
        if (s) units("T ", s, length);
        else std::puts("T-");
        std::free(s);
        json_value_free(v);
    }
    std::fclose(in);
    return 0;
}
