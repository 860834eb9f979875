#include "soundAux.h"

namespace korvo {

std::string fixedString(const char* chars, int n) {
  if (n <= 0) return {};
  if (chars == nullptr) return std::string(static_cast<std::size_t>(n), ' ');
  return std::string(chars, static_cast<std::size_t>(n));
}

std::string upperNoBlanks(std::string_view text, int n) {
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0u, '\0');
  std::size_t k = 0;
  for (char c : text) {
    if (k >= out.size()) break;
    if (c == ' ') continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out[k++] = c;
  }
  return out;
}

}  // namespace korvo
