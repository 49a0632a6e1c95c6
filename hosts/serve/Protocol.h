// What the bridge's messages share beyond one session: the error of a
// message the protocol cannot take, and the answers that need no session.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace morvel::serve {

// A message the protocol cannot take; answered with error 5 and the reason.
struct ProtocolError {
  std::string Detail;
};

// An RFID tag's EPC number to hexadecimal and back, as `morvel epc` does:
// {"epc": "encode", "input", "scheme"?, "filter"?, "prefixLength"?} gives
// {"hex"}; {"epc": "decode", "hex"} gives its three forms. Input the
// standard refuses raises AutomationError 5 naming the rule; a message of
// another shape, ProtocolError.
nlohmann::ordered_json EpcAnswer(const nlohmann::json& request);

}  // namespace morvel::serve
