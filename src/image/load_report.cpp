#include "image/load_report.h"

namespace qel {

bool LoadReport::fail(int at_line, std::string text) {
    if (!failed) {
        failed = true;
        line = at_line;
        what = std::move(text);
    }
    return false;
}

bool LoadReport::fail_boxed(std::string text) {
    if (!failed) boxed = true;
    return fail(0, std::move(text));
}

}  // namespace qel
