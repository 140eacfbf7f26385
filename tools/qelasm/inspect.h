// Looking into an image without running it: the verifier's findings, and the layout of its
// classes, methods and procedures.
#pragma once
#include <string>

namespace qelasm {

// Prints every problem the load-time verifier and the host-record check find; 1 when any would
// refuse the image.
int verify(const std::string& path);
// Prints every class and struct with its fields' offsets and sizes, the methods with their
// headers, and the declared procedures.
int inspect(const std::string& path);

}  // namespace qelasm
