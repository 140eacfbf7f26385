#include <cstdlib>

#include "vm/value.h"

namespace qel {

ValueStack* value_stack_create() { return static_cast<ValueStack*>(std::calloc(1, sizeof(ValueStack))); }

void value_stack_destroy(ValueStack* s) {
    if (!s) return;
    for (Value& v : s->slots) v.text.clear();
    std::free(s);
}

}  // namespace qel
