// One row per "+" scheme of the EPC Tag Data Standard (TDS 2.0, in release
// 2.3): its header from Table 14-1 and its AIs from its coding table in
// section 14.6, which GS1's Tag Data Translation files of the same name
// list as its encodedAI (TDT 2.0, SCHEME.json). Each AI's value is written
// as Table F writes it (TableF.cpp); the "++" schemes of TDS 2.3, which add
// a custom host name, are not here.
#include "codec/epc/Schemes.h"

namespace morvel::epc::detail {
namespace {

// clang-format off
constexpr PlusScheme Table[] = {
    // SGTIN+ and DSGTIN+: TDS 14.6.1.3 and 14.6.1.4; (01) GTIN, (21) serial; DSGTIN+'s date after the filter.
    {"SGTIN+", "sgtin", 0xF7, false, {"01", "21"}},
    {"DSGTIN+", "sgtin", 0xFB, true, {"01", "21"}},
    // SSCC+: TDS 14.6.2.2, 84 bits; (00) SSCC.
    {"SSCC+", "sscc", 0xF9, false, {"00", ""}},
    // SGLN+: TDS 14.6.3.3; (414) GLN, (254) extension. The coding table always holds an extension; a GLN
    // without one takes the extension 0, as every SGLN EPC does (TDS 7.5, 14.6.3).
    {"SGLN+", "sgln", 0xF2, false, {"414", "254"}, "0"},
    // GRAI+: TDS 14.6.4.3; (8003) 0, GRAI, serial.
    {"GRAI+", "grai", 0xF1, false, {"8003", ""}},
    // GIAI+: TDS 14.6.5.3; (8004) GIAI, delimited numeric then alphanumeric.
    {"GIAI+", "giai", 0xFA, false, {"8004", ""}},
    // GSRN+ and GSRNP+: TDS 14.6.6.2 and 14.6.7.2, 84 bits; (8018), (8017).
    {"GSRN+", "gsrn", 0xF4, false, {"8018", ""}},
    {"GSRNP+", "gsrnp", 0xF5, false, {"8017", ""}},
    // GDTI+: TDS 14.6.8.4; (253) GDTI and serial.
    {"GDTI+", "gdti", 0xF6, false, {"253", ""}},
    // CPI+: TDS 14.6.9.3; (8010) CPI, (8011) serial.
    {"CPI+", "cpi", 0xF0, false, {"8010", "8011"}},
    // SGCN+: TDS 14.6.10.2; (255) GCN and serial component.
    {"SGCN+", "sgcn", 0xF8, false, {"255", ""}},
    // ITIP+: TDS 14.6.11.3; (8006) ITIP, (21) serial.
    {"ITIP+", "itip", 0xF3, false, {"8006", "21"}},
};
// clang-format on

}  // namespace

std::span<const PlusScheme> PlusSchemes() { return Table; }

}  // namespace morvel::epc::detail
