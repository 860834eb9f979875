// The command line of a tool: options with and without a value, and the words that are not
// options. Errors read as "--rate needs a value", "bad value 'x' for --rate", "unknown option -z".
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::tools {

class CommandLine {
 public:
  // Turns an option's value into the tool's setting; throws std::exception on a bad value.
  using Setter = std::function<void(const std::string&)>;

  CommandLine& flag(std::initializer_list<std::string_view> names, bool& target, bool value = true);
  CommandLine& option(std::initializer_list<std::string_view> names, Setter set);
  CommandLine& option(std::initializer_list<std::string_view> names, std::string& target);
  // Numbers as std::stoi, std::stof and std::stod read them.
  CommandLine& option(std::initializer_list<std::string_view> names, int& target);
  CommandLine& option(std::initializer_list<std::string_view> names, float& target);
  CommandLine& option(std::initializer_list<std::string_view> names, double& target);
  // Stops the parse with no error: the caller prints its usage.
  CommandLine& help(std::initializer_list<std::string_view> names);
  // The one word that is not an option; another one is the error `tooMany`.
  CommandLine& operand(std::string& target, std::string tooMany);
  // Every word that is not an option, in order.
  CommandLine& operands(std::vector<std::string>& target);
  // Unknown options, and options without their value, are taken as operands instead of errors.
  CommandLine& lenient();

  // False with `error` set on a bad command line, false with `error` empty for help.
  bool parse(int argc, const char* const* argv, std::string& error) const;

 private:
  struct Option {
    std::vector<std::string> names;
    Setter set;                  // null for a flag or help
    std::function<void()> flag;  // null for help
  };
  const Option* find(const std::string& word) const;
  bool takeOperand(const std::string& word, std::string& error) const;

  std::vector<Option> options_;
  std::string* operand_ = nullptr;
  std::string tooMany_;
  std::vector<std::string>* operands_ = nullptr;
  bool lenient_ = false;
};

// What a tool does with a command line it cannot run: "TOOL: ERROR" (when there is an error) and
// the usage text on standard error. Returns the exit code 2.
int usageError(const char* tool, const std::string& error, const char* usage);

}  // namespace korvo::tools
