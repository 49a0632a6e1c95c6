// The morvel command's one option parser. A command declares where each
// option's value goes and how many operands it takes, then Parse reads the
// arguments the way every command reads them: long options (--dpi 300,
// --dpi=300), short ones (-o OUT, -oOUT, flags grouped as -ab), options
// given again (the last one counts, or each is kept where the command
// collects them), -- before operands that start with a dash, and - as an
// operand (standard input, where the command reads one). -h and --help
// print the command's help.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/cli/Shell.h"

namespace morvel::cli {

// Tells a fault in a command's arguments, with the command's usage, on
// standard error; returns UsageError. For faults the parser cannot see,
// such as options that exclude each other.
int UsageFault(const Invocation& call, const std::string& fault);

// A whole decimal number, digits alone, from `low` to `high`.
std::optional<long long> WholeNumber(std::string_view text, long long low, long long high);
// A length in millimetres from 1 to 2000, `.` for decimals.
std::optional<double> MillimetresOf(const std::string& text);

class OptionParser {
 public:
  explicit OptionParser(const Invocation& call);
  ~OptionParser();
  OptionParser(const OptionParser&) = delete;
  OptionParser& operator=(const OptionParser&) = delete;

  // `names` is "-o", "--dpi", or both as "-o, --output".
  void Flag(std::string_view names, bool& into);
  void Text(std::string_view names, std::string& into);
  void Texts(std::string_view names, std::vector<std::string>& into);  // each one given is kept
  // A whole number from `low` to `high`, of `unit` ("dots per inch") where given.
  template <class T>
  void Number(std::string_view names, T& into, long long low, long long high, std::string_view unit = {}) {
    Custom(names, NumberWords(low, high, unit), [&into, low, high](const std::string& value) {
      std::optional<long long> n = WholeNumber(value, low, high);
      if (n) into = static_cast<T>(*n);
      return n.has_value();
    });
  }
  void Choice(std::string_view names, std::vector<std::string_view> choices, std::string& into);
  // A label side in millimetres, from 1 to 2000 (decimals with '.').
  void Millimetres(std::string_view names, double& into);
  // A value that `take` checks and keeps; false refuses it. `expected` says
  // in a few words what it takes.
  void Custom(std::string_view names, std::string expected, std::function<bool(const std::string&)> take);
  // The arguments that are not options: from `least` to `most`, each called
  // `name` in messages. Without this, a command takes none.
  void Operands(std::vector<std::string>& into, size_t least, size_t most, std::string_view name);

  // Reads the arguments. nullopt: the command goes on. Otherwise the exit
  // status: 0 once --help printed the help on standard output, UsageError
  // once the fault and the usage went to standard error.
  std::optional<int> Parse();

  // "(a whole number of UNIT from LOW to HIGH)" as Number says it.
  static std::string NumberWords(long long low, long long high, std::string_view unit);

 private:
  struct Option;
  Option* Find(std::string_view spelled);
  void Add(std::string_view names, bool takesValue, std::string expected, std::function<bool(const std::string&)> take);
  bool Take(std::string_view argument, std::string_view next, bool& usedNext);
  bool TakeShort(std::string_view argument, std::string_view next, bool& usedNext);
  bool Apply(const Option& option, std::string_view spelled, const std::string& value);

  const Invocation& call_;
  std::vector<std::unique_ptr<Option>> options_;
  std::vector<std::string>* operands_ = nullptr;
  size_t least_ = 0, most_ = 0;
  std::string operandName_;
  std::string fault_;
  bool help_ = false;
};

}  // namespace morvel::cli
