#include <cstdlib>

#include "vm/value.h"

namespace qel {

ValueStack* value_stack_create() {
    auto* s = static_cast<ValueStack*>(std::calloc(1, sizeof(ValueStack)));
    if (s) s->capacity = kStackSlots;
    return s;
}

void value_stack_destroy(ValueStack* s) {
    if (!s) return;
    for (Value& v : s->slots) v.text.clear();
    std::free(s);
}

}  // namespace qel
