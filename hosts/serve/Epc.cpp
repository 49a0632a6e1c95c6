// The EPC answers of the bridge, through the codec of codec/epc/.
#include <optional>
#include <string>

#include "codec/epc/Epc.h"
#include "hosts/serve/Protocol.h"
#include "morvel/types.h"

namespace morvel::serve {

using json = nlohmann::json;
using answer = nlohmann::ordered_json;

answer EpcAnswer(const json& request) {
  const json& action = request["epc"];
  auto text = [&](const char* key) -> std::optional<std::string> {
    const auto it = request.find(key);
    if (it == request.end()) return std::nullopt;
    if (!it->is_string()) throw ProtocolError{std::string(key) + " must be a text"};
    return it->get<std::string>();
  };
  auto whole = [&](const char* key, int low, int high) {
    const auto it = request.find(key);
    if (it == request.end()) return 0;
    if (!it->is_number_integer() || it->get<int64_t>() < low || it->get<int64_t>() > high)
      throw ProtocolError{std::string(key) + " must be a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high)};
    return static_cast<int>(it->get<int64_t>());
  };
  try {
    if (action == "encode") {
      const auto input = text("input");
      if (!input) throw ProtocolError{"epc encode takes the input: a tag URI, element string or pure-identity URI"};
      const auto scheme = text("scheme");
      const epc::Tag tag = scheme ? epc::Encode(*scheme, whole("filter", 0, 7), whole("prefixLength", 0, 12), *input)
                                  : epc::Encode(*input);
      return answer{{"hex", std::string(tag.Hex())}};
    }
    if (action == "decode") {
      const auto hex = text("hex");
      if (!hex) throw ProtocolError{"epc decode takes the hex"};
      const epc::Decoded d = epc::Decode(*hex);
      return answer{{"tagUri", d.TagUri}, {"pureIdentity", d.PureIdentity}, {"elementString", d.ElementString}};
    }
  } catch (const epc::Refused& e) {
    throw AutomationError(errors::InvalidProcedureCall, e.what());
  }
  throw ProtocolError{"epc is \"encode\" or \"decode\""};
}

}  // namespace morvel::serve
