// The option parser's reading of the arguments and its messages. Every
// fault is one line naming the option and the value as the user spelt
// them, then the command's usage, so each command's mistakes read alike.
#include "hosts/cli/Options.h"

#include <ostream>

#include "core/numbers.h"

namespace morvel::cli {

struct OptionParser::Option {
  std::string Short;  // "-o", or empty
  std::string Long;   // "--output", or empty
  bool TakesValue = false;
  std::string Expected;
  std::function<bool(const std::string&)> Take;
};

std::optional<long long> WholeNumber(std::string_view text, long long low, long long high) {
  return core::WholeNumber(text, low, high);
}

std::string OptionParser::NumberWords(long long low, long long high, std::string_view unit) {
  std::string words = "a whole number";
  if (!unit.empty()) words += " of " + std::string(unit);
  return words + " from " + std::to_string(low) + " to " + std::to_string(high);
}

OptionParser::OptionParser(const Invocation& call) : call_(call) {}
OptionParser::~OptionParser() = default;

void OptionParser::Add(std::string_view names, bool takesValue, std::string expected,
                       std::function<bool(const std::string&)> take) {
  auto option = std::make_unique<Option>();
  while (!names.empty()) {
    size_t comma = names.find(',');
    std::string_view name = names.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    (name.starts_with("--") ? option->Long : option->Short) = std::string(name);
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
  }
  option->TakesValue = takesValue;
  option->Expected = std::move(expected);
  option->Take = std::move(take);
  options_.push_back(std::move(option));
}

void OptionParser::Flag(std::string_view names, bool& into) {
  Add(names, false, {}, [&into](const std::string&) { return into = true; });
}

void OptionParser::Text(std::string_view names, std::string& into) {
  Add(names, true, {}, [&into](const std::string& value) {
    into = value;
    return true;
  });
}

void OptionParser::Texts(std::string_view names, std::vector<std::string>& into) {
  Add(names, true, {}, [&into](const std::string& value) {
    into.push_back(value);
    return true;
  });
}

std::optional<double> MillimetresOf(const std::string& text) { return core::DecimalNumber(text, 1, 2000); }

void OptionParser::Millimetres(std::string_view names, double& into) {
  Custom(names, "(millimetres from 1 to 2000)", [&into](const std::string& text) {
    const std::optional<double> mm = MillimetresOf(text);
    if (mm) into = *mm;
    return mm.has_value();
  });
}

void OptionParser::Choice(std::string_view names, std::vector<std::string_view> choices, std::string& into) {
  std::string expected;
  for (size_t k = 0; k < choices.size(); ++k)
    expected += (k == 0 ? "" : k + 1 == choices.size() ? " or " : ", ") + std::string(choices[k]);
  Add(names, true, expected, [&into, choices](const std::string& value) {
    for (std::string_view c : choices)
      if (value == c) {
        into = value;
        return true;
      }
    return false;
  });
}

void OptionParser::Custom(std::string_view names, std::string expected, std::function<bool(const std::string&)> take) {
  Add(names, true, std::move(expected), std::move(take));
}

void OptionParser::Operands(std::vector<std::string>& into, size_t least, size_t most, std::string_view name) {
  operands_ = &into;
  least_ = least;
  most_ = most;
  operandName_ = name;
}

OptionParser::Option* OptionParser::Find(std::string_view spelled) {
  for (auto& o : options_)
    if (spelled == o->Short || spelled == o->Long) return o.get();
  return nullptr;
}

bool OptionParser::Apply(const Option& option, std::string_view spelled, const std::string& value) {
  if (option.Take(value)) return true;
  fault_ = "bad value for " + std::string(spelled) + ": " + value;
  if (!option.Expected.empty()) fault_ += " (" + option.Expected + ")";
  return false;
}

// A long option, with its value after '=' or in the next argument.
bool OptionParser::Take(std::string_view argument, std::string_view next, bool& usedNext) {
  size_t equals = argument.find('=');
  std::string_view spelled = argument.substr(0, equals);
  if (spelled == "--help") return help_ = true;
  const Option* option = Find(spelled);
  if (option == nullptr) {
    fault_ = "unknown option '" + std::string(spelled) + "'";
    return false;
  }
  if (!option->TakesValue) {
    if (equals == std::string_view::npos) return option->Take({});
    fault_ = std::string(spelled) + " takes no value";
    return false;
  }
  if (equals != std::string_view::npos) return Apply(*option, spelled, std::string(argument.substr(equals + 1)));
  if (next.data() == nullptr) {
    fault_ = std::string(spelled) + " needs a value";
    return false;
  }
  usedNext = true;
  return Apply(*option, spelled, std::string(next));
}

// Short options: flags may stand together (-ab); one that takes a value
// takes the rest of the word, or else the next argument.
bool OptionParser::TakeShort(std::string_view argument, std::string_view next, bool& usedNext) {
  for (size_t k = 1; k < argument.size(); ++k) {
    const std::string spelled = {'-', argument[k]};
    if (spelled == "-h") {
      help_ = true;
      continue;
    }
    const Option* option = Find(spelled);
    if (option == nullptr) {
      fault_ = "unknown option '" + spelled + "'";
      return false;
    }
    if (!option->TakesValue) {
      option->Take({});
      continue;
    }
    if (k + 1 < argument.size()) return Apply(*option, spelled, std::string(argument.substr(k + 1)));
    if (next.data() == nullptr) {
      fault_ = spelled + " needs a value";
      return false;
    }
    usedNext = true;
    return Apply(*option, spelled, std::string(next));
  }
  return true;
}

int UsageFault(const Invocation& call, const std::string& fault) {
  const std::string name(call.Cmd.Name);
  call.Err << "morvel " << name << ": " << fault << "\n"
           << UsageLines(call.Cmd) << "('morvel " << name << " --help' tells more)\n";
  return UsageError;
}

std::optional<int> OptionParser::Parse() {
  std::vector<std::string> found;
  bool optionsEnd = false;
  const std::vector<std::string>& args = call_.Args;
  for (size_t k = 0; k < args.size() && !help_; ++k) {
    const std::string& a = args[k];
    if (optionsEnd || a.size() < 2 || a[0] != '-') {
      found.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnd = true;
      continue;
    }
    const std::string_view next = k + 1 < args.size() ? std::string_view(args[k + 1]) : std::string_view();
    bool usedNext = false;
    const bool taken = a[1] == '-' ? Take(a, next, usedNext) : TakeShort(a, next, usedNext);
    if (!taken) return UsageFault(call_, fault_);
    if (usedNext) ++k;
  }
  if (help_) {
    call_.Out << UsageLines(call_.Cmd) << call_.Cmd.Help;
    return 0;
  }
  if (found.size() > most_) {
    const std::string name(call_.Cmd.Name);
    return UsageFault(call_, "too many arguments for '" + name + "': '" + found[most_] + "'");
  }
  if (found.size() < least_) return UsageFault(call_, "missing " + operandName_);
  if (operands_ != nullptr) *operands_ = std::move(found);
  return std::nullopt;
}

}  // namespace morvel::cli
