// A message put together from its pieces (texts, numbers, characters), for the places that build
// one only when something fails and keep that out of their fast paths.
#pragma once
#include <cstdint>
#include <string>

namespace qel {

namespace message_detail {
inline void append(std::string& s, const char* t) { s += t; }
inline void append(std::string& s, int32_t n) { s += std::to_string(n); }
inline void append(std::string& s, char c) { s += c; }
}  // namespace message_detail

template <typename... Pieces>
std::string message_of(Pieces... pieces) {
    std::string text;
    (message_detail::append(text, pieces), ...);
    return text;
}

}  // namespace qel
