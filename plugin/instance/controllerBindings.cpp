#include "controllerBindings.h"

#include <charconv>

namespace korvo {

std::optional<ControllerBinding> bindingFor(const ParamList& params, int id) {
  const ParamInfo* p = params.find(id);
  if (!p) return std::nullopt;
  return ControllerBinding{p->id, p->min, p->max};
}

int readControllerBindings(std::string_view text, const ParamList& params, MidiLearn& learn) {
  int count = 0;
  while (!text.empty()) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::string_view entry = text.substr(0, text.find(' '));
    text.remove_prefix(entry.size());
    const auto eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    int controller = -1, id = -1;
    const auto number = [](std::string_view s, int& out) {
      const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
      return ec == std::errc{} && end == s.data() + s.size();
    };
    if (!number(entry.substr(0, eq), controller) || !number(entry.substr(eq + 1), id)) continue;
    const auto binding = bindingFor(params, id);
    if (binding && learn.bind(controller, *binding)) ++count;
  }
  return count;
}

std::string controllerBindingsText(const MidiLearn& learn) {
  std::string text;
  for (int c = 0; c < MidiLearn::kControllers; ++c) {
    if (const auto b = learn.binding(c)) {
      if (!text.empty()) text += ' ';
      text += std::to_string(c) + '=' + std::to_string(b->word);
    }
  }
  return text;
}

}  // namespace korvo
