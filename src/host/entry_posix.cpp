// The Linux entry point: the command line is the program's arguments joined by single spaces,
// like the Windows command line without the program name.
#include <string>

#include "host/host.h"
#include "base/utf.h"

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    std::u16string wide(line.size() + 1, u'\0');
    int n = qel::utf8_to_utf16(line.c_str(), static_cast<int>(line.size()) + 1, wide.data(),
                                         static_cast<int>(wide.size()));
    if (n <= 0) wide[0] = 0;
    const int kShowDefault = 10;
    return qel::host_main(nullptr, nullptr, wide.data(), kShowDefault);
}
