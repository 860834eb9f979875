#include "commandLine.h"

#include <cstdio>
#include <exception>

namespace korvo::tools {

namespace {
std::vector<std::string> nameList(std::initializer_list<std::string_view> names) {
  return {names.begin(), names.end()};
}
}  // namespace

CommandLine& CommandLine::flag(std::initializer_list<std::string_view> names, bool& target, bool value) {
  options_.push_back({nameList(names), nullptr, [&target, value] { target = value; }});
  return *this;
}

CommandLine& CommandLine::option(std::initializer_list<std::string_view> names, Setter set) {
  options_.push_back({nameList(names), std::move(set), nullptr});
  return *this;
}

CommandLine& CommandLine::option(std::initializer_list<std::string_view> names, std::string& target) {
  return option(names, [&target](const std::string& v) { target = v; });
}

CommandLine& CommandLine::option(std::initializer_list<std::string_view> names, int& target) {
  return option(names, [&target](const std::string& v) { target = std::stoi(v); });
}

CommandLine& CommandLine::option(std::initializer_list<std::string_view> names, float& target) {
  return option(names, [&target](const std::string& v) { target = std::stof(v); });
}

CommandLine& CommandLine::option(std::initializer_list<std::string_view> names, double& target) {
  return option(names, [&target](const std::string& v) { target = std::stod(v); });
}

CommandLine& CommandLine::help(std::initializer_list<std::string_view> names) {
  options_.push_back({nameList(names), nullptr, nullptr});
  return *this;
}

CommandLine& CommandLine::operand(std::string& target, std::string tooMany) {
  operand_ = &target;
  tooMany_ = std::move(tooMany);
  return *this;
}

CommandLine& CommandLine::operands(std::vector<std::string>& target) {
  operands_ = &target;
  return *this;
}

CommandLine& CommandLine::lenient() {
  lenient_ = true;
  return *this;
}

const CommandLine::Option* CommandLine::find(const std::string& word) const {
  for (const Option& o : options_)
    for (const std::string& name : o.names)
      if (name == word) return &o;
  return nullptr;
}

bool CommandLine::takeOperand(const std::string& word, std::string& error) const {
  if (operands_) {
    operands_->push_back(word);
  } else if (operand_ && operand_->empty()) {
    *operand_ = word;
  } else {
    error = operand_ ? tooMany_ : "unexpected " + word;
    return false;
  }
  return true;
}

bool CommandLine::parse(int argc, const char* const* argv, std::string& error) const {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const Option* o = find(word);
    if (o && o->set) {
      if (i + 1 >= argc) {
        if (!lenient_) {
          error = word + " needs a value";
          return false;
        }
        if (!takeOperand(word, error)) return false;
        continue;
      }
      const std::string value = argv[++i];
      try {
        o->set(value);
      } catch (const std::exception&) {
        error = "bad value '" + value + "' for " + word;
        return false;
      }
    } else if (o && o->flag) {
      o->flag();
    } else if (o) {
      error.clear();
      return false;
    } else if (!lenient_ && !word.empty() && word[0] == '-') {
      error = "unknown option " + word;
      return false;
    } else if (!takeOperand(word, error)) {
      return false;
    }
  }
  return true;
}

int usageError(const char* tool, const std::string& error, const char* usage) {
  if (!error.empty()) std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
  std::fputs(usage, stderr);
  return 2;
}

}  // namespace korvo::tools
