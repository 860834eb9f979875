#include "lv2Ports.h"

#include <map>

namespace korvo::lv2 {

namespace {

std::string symbolOf(const std::string& name) {
  std::string symbol;
  bool gap = false;
  for (const char c : name) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) {
      gap = !symbol.empty();
      continue;
    }
    if (gap) symbol += '_';
    gap = false;
    symbol += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  // A symbol may not start with a digit.
  if (symbol.empty() || (symbol[0] >= '0' && symbol[0] <= '9')) symbol.insert(0, "p_");
  return symbol;
}

std::vector<std::string> makeSymbols() {
  const auto& params = paramList().all();
  std::vector<std::string> symbols;
  std::map<std::string, int> uses;
  for (const ParamInfo& p : params) ++uses[symbols.emplace_back(symbolOf(p.name))];
  for (std::size_t i = 0; i < params.size(); ++i)
    if (uses[symbols[i]] > 1) symbols[i] += "_" + std::to_string(params[i].id);
  return symbols;
}

}  // namespace

const std::vector<std::string>& portSymbols() {
  static const std::vector<std::string> symbols = makeSymbols();
  return symbols;
}

}  // namespace korvo::lv2
