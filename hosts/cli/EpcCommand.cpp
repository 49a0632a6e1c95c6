// `morvel epc`: EPC numbers of RFID tags by the GS1 EPC Tag Data Standard
// (codec/epc/). `encode` prints the tag's hexadecimal EPC, from a tag URI or
// from a GS1 element string or pure-identity URI in a scheme (a "+" scheme:
// also a GS1 Digital Link URI, and no company prefix length); `decode`
// prints a hexadecimal EPC's tag URI, pure-identity URI and element string,
// one a line (those it has: a "+" scheme's element string alone). With -
// for the operand, each line of standard input is one operand, and each
// gives one line: encode its hex, decode its three forms separated by tabs. Input the standard refuses is a usage
// error: its rule (and in a list its line's number) on standard error, exit status 2.
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "codec/epc/Epc.h"
#include "hosts/cli/Options.h"

namespace morvel::cli {
namespace {

int Encode(const Invocation& call, const std::string& input, const std::string& scheme, int filter, int prefix) {
  if (scheme.empty()) {
    call.Out << epc::Encode(input).Hex() << "\n";
    return 0;
  }
  // The "+" schemes of TDS 2.x hold the element string's values whole.
  if (input.starts_with("(") && prefix < 0 && !scheme.ends_with('+'))
    return UsageFault(call, "an element string needs --prefix-length (its company prefix's digits)");
  call.Out << epc::Encode(scheme, filter < 0 ? 0 : filter, prefix < 0 ? 0 : prefix, input).Hex() << "\n";
  return 0;
}

int Decode(const Invocation& call, const std::string& hex, bool list) {
  const epc::Decoded decoded = epc::Decode(hex);
  if (list) {
    call.Out << decoded.TagUri << "\t" << decoded.PureIdentity << "\t" << decoded.ElementString << "\n";
    return 0;
  }
  for (const std::string* form : {&decoded.TagUri, &decoded.PureIdentity, &decoded.ElementString})
    if (!form->empty()) call.Out << *form << "\n";
  return 0;
}

}  // namespace

int EpcMain(const Invocation& call) {
  std::vector<std::string> operands;
  std::string scheme;
  int filter = -1, prefix = -1;
  OptionParser options(call);
  options.Text("--scheme", scheme);
  options.Number("--filter", filter, 0, 7);
  // 0: none, as a "+" scheme takes (or a pure-identity URI, which tells its own).
  options.Custom("--prefix-length", "a whole number of digits from 6 to 12, or 0 for none",
                 [&prefix](const std::string& text) {
                   const std::optional<long long> n = WholeNumber(text, 0, 12);
                   if (n && (*n == 0 || *n >= 6)) prefix = static_cast<int>(*n);
                   return n && (*n == 0 || *n >= 6);
                 });
  options.Operands(operands, 2, 2, "ACTION and its operand (encode TAG-URI, encode --scheme SCHEME INPUT, decode HEX)");
  if (auto status = options.Parse()) return *status;
  const std::string& action = operands[0];
  if (action != "encode" && action != "decode")
    return UsageFault(call, "unknown action '" + action + "' (encode or decode)");
  if (action == "decode" && (!scheme.empty() || filter >= 0 || prefix >= 0))
    return UsageFault(call, "decode takes the hexadecimal EPC alone; it tells its scheme, filter and prefix");
  if (action == "encode" && scheme.empty() && (filter >= 0 || prefix >= 0))
    return UsageFault(call, "--filter and --prefix-length go with --scheme; a tag URI holds its own");
  auto one = [&](const std::string& operand, bool list) {
    return action == "encode" ? Encode(call, operand, scheme, filter, prefix) : Decode(call, operand, list);
  };
  if (operands[1] != "-") {
    try {
      return one(operands[1], false);
    } catch (const epc::Refused& refused) {
      call.Err << "morvel epc: " << refused.what() << "\n";
      return UsageError;
    }
  }
  // A list: a line an operand, a line of output each, until a line is refused.
  std::string line;
  for (long number = 1; std::getline(call.In, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      if (const int status = one(line, true); status != 0) return status;
    } catch (const epc::Refused& refused) {
      call.Out.flush();
      call.Err << "morvel epc: line " << number << ": " << refused.what() << "\n";
      return UsageError;
    }
  }
  return 0;
}

}  // namespace morvel::cli
