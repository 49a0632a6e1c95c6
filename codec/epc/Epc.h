// EPC numbers by the GS1 EPC Tag Data Standard: the binary EPC a tag's EPC
// bank holds, from its tag URI, its pure-identity URI or its GS1 element
// string, and back. One table holds the schemes (Schemes.cpp), a second
// the "+" schemes of TDS 2.x (PlusSchemes.cpp); the library needs nothing
// but the standard library.
//
//   Encode("urn:epc:tag:sgtin-96:3.0614141.812345.6789").Hex()
//     == "3074257BF7194E4000001A85"
//   Encode("SGTIN-96", 3, 7, "(01)80614141123458(21)6789")  the same tag
//   Decode("3074257BF7194E4000001A85").ElementString
//     == "(01)80614141123458(21)6789"
//   Encode("SGTIN+", 3, 0, "(01)79521141123453(21)32a/b").Hex()
//     == "F73795211411234538566CB0AFC4"
//
// The "+" schemes (SGTIN+, DSGTIN+, SSCC+, SGLN+, GRAI+, GIAI+, GSRN+,
// GSRNP+, GDTI+, SGCN+, ITIP+, CPI+: TDS 14.5 and 14.6) hold the element
// string's values whole, with no company prefix length; the standard gives
// them no tag URI and no pure-identity URI of their own (TDS 12.3.1, 13), so
// a decoded "+" EPC has its element string alone. Further AIs in the element
// string go after the EPC as its "+AIDC data" (TDS 15.3).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::epc {

// Input that breaks a rule of the standard; what() names the rule, e.g.
// "SGTIN-96: serial 274877906944 is over 2^38-1 (274877906943)".
class Refused : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// An encoded EPC: its scheme ("SGTIN-96"), its length in bits, and the bits
// as upper-case hexadecimal in whole 16-bit words, the last padded with
// zero bits (96 bits: 24 digits; SGTIN-198: 52). A "+" EPC with its +AIDC
// data runs to at most 496 bits (124 digits), the most an EPC bank's
// protocol-control length counts. Holds no heap memory.
struct Tag {
  std::string_view Scheme;
  int Bits = 0;
  std::array<char, 124> Digits{};
  uint8_t Size = 0;

  std::string_view Hex() const { return {Digits.data(), Size}; }
};

// What a binary EPC says. Filter is -1 for a scheme without one (GID-96);
// ElementString is empty for a scheme no GS1 key stands behind (GID-96).
// A "+" scheme has neither URI (TagUri and PureIdentity are empty: its bits
// do not tell where the company prefix ends, and the standard defines no
// tag URI for it); its ElementString holds the EPC's AIs, then DSGTIN+'s
// date AI, then the +AIDC data's AIs in the order they were encoded:
// "(01)79521141123453(21)32a/b(17)220630".
struct Decoded {
  std::string Scheme;
  int Filter = -1;
  std::string TagUri;
  std::string PureIdentity;
  std::string ElementString;
};

// From a tag URI: "urn:epc:tag:sgtin-96:3.0614141.812345.6789". The company
// prefix's length is the length of its part of the URI.
Tag Encode(std::string_view tagUri);

// From a GS1 element string, "(01)80614141123458(21)6789", or a pure-identity
// URI, "urn:epc:id:sgtin:0614141.812345.6789", in `scheme` ("SGTIN-96",
// any case) with `filter` (0-7). An element string does not tell where the
// company prefix ends: `companyPrefixLength` (6-12) does. A URI tells it
// itself; 0 takes the URI's, another length must be the URI's.
//
// A "+" scheme ("SGTIN+") takes an element string, a GS1 Digital Link URI
// ("https://id.gs1.org/01/79521141123453/21/32a%2Fb?17=220630") or a
// pure-identity URI (the same GS1 key, TDS 12.3.1), and needs no company
// prefix length: 0, or for a URI its own. AIs beyond the scheme's own (and
// DSGTIN+'s date) become the +AIDC data after the EPC, its toggle bit 1.
Tag Encode(std::string_view scheme, int filter, int companyPrefixLength, std::string_view input);

// From the hexadecimal EPC (either case); bits past the scheme's length,
// up to the end of its last 16-bit word, must be zero. A "+" EPC may also
// end at its last hexadecimal digit, as the standard's examples write them.
Decoded Decode(std::string_view hex);

// The schemes this codec knows, by name ("SGTIN-96", ...), in table order.
std::vector<std::string_view> SchemeNames();

}  // namespace morvel::epc
