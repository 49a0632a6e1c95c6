// One row per EPC binary scheme, from the EPC Tag Data Standard's coding
// tables (section 14, "EPC Binary Encoding" and its header table 14-1) and
// GS1's Tag Data Translation definition file of the same name (TDT 2.0,
// SCHEME.json): the header, the length, the partition table's bits and
// digits (company prefix and reference together; the company prefix takes
// CompanyBits of them), the fields after it, and the element strings of
// the GS1 key. A partition table's reference bits are its total less the
// company prefix's: SGTIN 44 = 40 + 4 at partition 0 ... 20 + 24 at 6.
#include "codec/epc/Schemes.h"

namespace morvel::epc::detail {
namespace {

constexpr Field Serial(uint8_t bits) { return {"serial", Method::Integer, bits, 0}; }
constexpr Field SerialText(uint8_t bits) { return {"serial", Method::String, bits, static_cast<uint8_t>(bits / 7)}; }
constexpr Field Reserved(uint8_t bits) { return {"reserved bits", Method::Reserved, bits, 0}; }
constexpr Field None() { return {}; }

// One row a scheme, as the standard's coding tables lay them out.
// clang-format off
constexpr Scheme Table[] = {
    // SGTIN-96 and -198: TDS 14.5.1 (SGTIN), TDT SGTIN-96.json, SGTIN-198.json; (01) GTIN, (21) serial.
    {"SGTIN-96", "sgtin-96", "sgtin", "GTIN", 0x30, 96, true, 44, 13, Ref::Digits, "item reference",
     {{Serial(38), None(), None()}}, 1, {{{"01", "ICRK"}, {"21", "2"}}}},
    {"SGTIN-198", "sgtin-198", "sgtin", "GTIN", 0x36, 198, true, 44, 13, Ref::Digits, "item reference",
     {{SerialText(140), None(), None()}}, 1, {{{"01", "ICRK"}, {"21", "2"}}}},
    // SSCC-96: TDS 14.5.2, TDT SSCC-96.json; (00) SSCC; 24 bits reserved.
    {"SSCC-96", "sscc-96", "sscc", "SSCC", 0x31, 96, true, 58, 17, Ref::Digits, "serial reference",
     {{Reserved(24), None(), None()}}, 1, {{{"00", "ICRK"}, {}}}},
    // SGLN-96 and -195: TDS 14.5.3, TDT SGLN-96.json, SGLN-195.json; (414) GLN, (254) extension,
    // left out when the extension is 0.
    {"SGLN-96", "sgln-96", "sgln", "GLN", 0x32, 96, true, 41, 12, Ref::Digits, "location reference",
     {{{"extension", Method::Integer, 41, 0}, None(), None()}}, 1, {{{"414", "CrK"}, {"254", "2", "0"}}}},
    {"SGLN-195", "sgln-195", "sgln", "GLN", 0x39, 195, true, 41, 12, Ref::Digits, "location reference",
     {{{"extension", Method::String, 140, 20}, None(), None()}}, 1, {{{"414", "CrK"}, {"254", "2", "0"}}}},
    // GRAI-96 and -170: TDS 14.5.4, TDT GRAI-96.json, GRAI-170.json; (8003) 0, GRAI, serial.
    {"GRAI-96", "grai-96", "grai", "GRAI", 0x33, 96, true, 44, 12, Ref::Digits, "asset type",
     {{Serial(38), None(), None()}}, 1, {{{"8003", "0CrK2"}, {}}}},
    {"GRAI-170", "grai-170", "grai", "GRAI", 0x37, 170, true, 44, 12, Ref::Digits, "asset type",
     {{SerialText(112), None(), None()}}, 1, {{{"8003", "0CrK2"}, {}}}},
    // GIAI-96 (unpadded partition table) and -202 (string partition table): TDS 14.5.5,
    // TDT GIAI-96.json, GIAI-202.json; (8004) GIAI.
    {"GIAI-96", "giai-96", "giai", "GIAI", 0x34, 96, true, 82, 25, Ref::Integer, "asset reference",
     {{None(), None(), None()}}, 0, {{{"8004", "Cr"}, {}}}},
    {"GIAI-202", "giai-202", "giai", "GIAI", 0x38, 202, true, 188, 30, Ref::String, "asset reference",
     {{None(), None(), None()}}, 0, {{{"8004", "Cr"}, {}}}},
    // GSRN-96 and GSRNP-96: TDS 14.5.6 and 14.5.7, TDT GSRN-96.json, GSRNP-96.json; (8018), (8017).
    {"GSRN-96", "gsrn-96", "gsrn", "GSRN", 0x2D, 96, true, 58, 17, Ref::Digits, "service reference",
     {{Reserved(24), None(), None()}}, 1, {{{"8018", "CrK"}, {}}}},
    {"GSRNP-96", "gsrnp-96", "gsrnp", "GSRNP", 0x2E, 96, true, 58, 17, Ref::Digits, "service reference",
     {{Reserved(24), None(), None()}}, 1, {{{"8017", "CrK"}, {}}}},
    // GDTI-96 and -174: TDS 14.5.8, TDT GDTI-96.json, GDTI-174.json; (253) GDTI and serial.
    {"GDTI-96", "gdti-96", "gdti", "GDTI", 0x2C, 96, true, 41, 12, Ref::Digits, "document type",
     {{Serial(41), None(), None()}}, 1, {{{"253", "CrK2"}, {}}}},
    {"GDTI-174", "gdti-174", "gdti", "GDTI", 0x3E, 174, true, 41, 12, Ref::Digits, "document type",
     {{SerialText(119), None(), None()}}, 1, {{{"253", "CrK2"}, {}}}},
    // CPI-96: TDS 14.5.9 (unpadded partition table), TDT CPI-96.json; (8010) CPI, (8011) serial.
    {"CPI-96", "cpi-96", "cpi", "CPI", 0x3C, 96, true, 51, 15, Ref::Integer, "component/part reference",
     {{Serial(31), None(), None()}}, 1, {{{"8010", "Cr"}, {"8011", "2"}}}},
    // SGCN-96: TDS 14.5.10, TDT SGCN-96.json; (255) GCN and its serial component (numeric string).
    {"SGCN-96", "sgcn-96", "sgcn", "GCN", 0x3F, 96, true, 41, 12, Ref::Digits, "coupon reference",
     {{{"serial", Method::NumericString, 41, 12}, None(), None()}}, 1, {{{"255", "CrK2"}, {}}}},
    // GID-96: TDS 14.5.11, TDT GID-96.json; no filter, no partition table, no GS1 key.
    {"GID-96", "gid-96", "gid", "", 0x35, 96, false, 0, 0, Ref::None, "",
     {{{"general manager number", Method::Integer, 28, 0},
       {"object class", Method::Integer, 24, 0},
       {"serial", Method::Integer, 36, 0}}},
     3, {}},
    // ITIP-110 and -212: TDS 14.5.14 (piece and total: fixed-width integers), TDT ITIP-110.json,
    // ITIP-212.json; (8006) ITIP with piece and total, (21) serial.
    {"ITIP-110", "itip-110", "itip", "ITIP", 0x40, 110, true, 44, 13, Ref::Digits, "item reference",
     {{{"piece", Method::FixedWidth, 7, 2}, {"total", Method::FixedWidth, 7, 2}, Serial(38)}}, 3,
     {{{"8006", "ICRK23"}, {"21", "4"}}}},
    {"ITIP-212", "itip-212", "itip", "ITIP", 0x41, 212, true, 44, 13, Ref::Digits, "item reference",
     {{{"piece", Method::FixedWidth, 7, 2}, {"total", Method::FixedWidth, 7, 2}, SerialText(140)}}, 3,
     {{{"8006", "ICRK23"}, {"21", "4"}}}},
};
// clang-format on

}  // namespace

std::span<const Scheme> Schemes() { return Table; }

}  // namespace morvel::epc::detail
