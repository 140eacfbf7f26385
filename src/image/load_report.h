// Everything loading has to say goes through one record: the failure that stops the load (with
// the image line it is about) and the numbered reports that let it go on. The host turns both into
// what the user sees, each once.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace qel {

struct LoadReport {
    bool failed = false;
    int line = 0;          // line of the image text, 0 when the failure is not about a line
    std::string what;
    bool boxed = false;    // the failure is shown as a runtime error box, whatever ErrorReporting says

    // The numbered reports that do not stop the load (error 10 or 11); installed by the host.
    using Notify = void (*)(int number, const std::string& text);
    Notify notify = nullptr;

    // Records the failure (the first one wins) and returns false, for `return report.fail(...)`.
    bool fail(int at_line, std::string text);
    bool fail_boxed(std::string text);
    // While set, notes wait here instead of going out (loading holds them until the container has
    // proved sound).
    std::vector<std::pair<int, std::string>>* held = nullptr;

    void note(int number, std::string text) const {
        if (held)
            held->emplace_back(number, std::move(text));
        else if (notify)
            notify(number, text);
    }
};

}  // namespace qel
