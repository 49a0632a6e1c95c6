// Table F and Table K of the EPC Tag Data Standard (TDS 2.3, section 15.3),
// row for row: each AI's components by encoding method, fixed digits and
// bits, or most characters and length-indicator bits. The standard leaves
// out (03) and (8014), which no EPC/RFID carrier may hold.
#include "codec/epc/TableF.h"

#include <array>

namespace morvel::epc::detail {
namespace {

constexpr Component Fixed(uint8_t digits) { return {Form::FixedNumeric, digits, static_cast<uint8_t>(digits * 4)}; }
constexpr Component FixedBits(uint8_t digits, uint8_t bits) { return {Form::FixedBitNumeric, digits, bits}; }
constexpr Component Text(uint8_t lengthBits, uint8_t most) { return {Form::Alphanumeric, most, lengthBits}; }
constexpr Component Digits(uint8_t lengthBits, uint8_t most) { return {Form::Numeric, most, lengthBits}; }
constexpr Component Delimited() { return {Form::Delimited, 30, 5}; }
constexpr Component Date() { return {Form::Date, 6, 16}; }
constexpr Component DateTime() { return {Form::DateTime, 10, 27}; }
constexpr Component Of(Form how) { return {how, 0, 0}; }
constexpr AiFormat Row(std::string_view pattern, Component one, Component two = {}, bool set39 = false) {
  return {pattern, one, two, set39};
}

// clang-format off
constexpr AiFormat Table[] = {
    Row("00", Fixed(18)), Row("01", Fixed(14)), Row("02", Fixed(14)),
    Row("10", Text(5, 20)),
    Row("11", Date()), Row("12", Date()), Row("13", Date()), Row("15", Date()), Row("16", Date()), Row("17", Date()),
    Row("20", FixedBits(2, 7)),
    Row("21", Text(5, 20)), Row("22", Text(5, 20)), Row("235", Text(5, 28)),
    Row("240", Text(5, 30)), Row("241", Text(5, 30)), Row("242", Digits(3, 6)), Row("243", Text(5, 20)),
    Row("250", Text(5, 30)), Row("251", Text(5, 30)),
    Row("253", Fixed(13), Text(5, 17)),
    Row("254", Text(5, 20)),
    Row("255", Fixed(13), Digits(4, 12)),
    Row("30", Digits(4, 8)),
    // Trade measures: 3100-3105 ... 3695, six digits in 20 bits.
    Row("31[0-6][0-5]", FixedBits(6, 20)), Row("32[0-9][0-5]", FixedBits(6, 20)), Row("33[0-7][0-5]", FixedBits(6, 20)),
    Row("34[0-9][0-5]", FixedBits(6, 20)), Row("35[0-7][0-5]", FixedBits(6, 20)), Row("36[0-9][0-5]", FixedBits(6, 20)),
    Row("37", Digits(4, 8)),
    Row("390[0-9]", Digits(4, 15)), Row("391[0-9]", FixedBits(3, 10), Digits(4, 15)),
    Row("392[0-9]", Digits(4, 15)), Row("393[0-9]", FixedBits(3, 10), Digits(4, 15)),
    Row("394[0-3]", FixedBits(4, 14)), Row("395[0-3]", FixedBits(6, 20)),
    Row("400", Text(5, 30)), Row("401", Text(5, 30)), Row("402", FixedBits(17, 57)), Row("403", Text(5, 30)),
    Row("41[0-7]", Fixed(13)),
    Row("420", Text(5, 20)), Row("421", FixedBits(3, 10), Text(4, 9)), Row("422", FixedBits(3, 10)),
    Row("423", Digits(4, 15)), Row("424", FixedBits(3, 10)), Row("425", Digits(4, 15)), Row("426", FixedBits(3, 10)),
    Row("427", Text(2, 3)),
    Row("430[0-1]", Text(6, 35)), Row("430[2-6]", Text(7, 70)), Row("4307", Of(Form::Country)), Row("4308", Text(5, 30)),
    Row("4309", FixedBits(20, 67)), Row("431[0-1]", Text(6, 35)), Row("431[2-6]", Text(7, 70)),
    Row("4317", Of(Form::Country)), Row("4318", Text(5, 20)), Row("4319", Text(5, 30)), Row("4320", Text(6, 35)),
    Row("432[1-3]", Of(Form::Bit)), Row("432[4-5]", DateTime()), Row("4326", Date()),
    Row("433[0-3]", FixedBits(6, 20), Of(Form::Minus)),
    Row("7001", FixedBits(13, 44)), Row("7002", Text(5, 30)), Row("7003", DateTime()), Row("7004", Digits(3, 4)),
    Row("7005", Text(4, 12)), Row("7006", Date()), Row("7007", Of(Form::DateOrRange)), Row("7008", Text(2, 3)),
    Row("7009", Text(4, 10)), Row("7010", Text(2, 2)), Row("7011", Of(Form::VariableDateTime)),
    Row("702[0-2]", Text(5, 20)), Row("7023", Delimited()),
    Row("703[0-9]", FixedBits(3, 10), Text(5, 27)),
    Row("7040", Text(3, 4)), Row("7041", Text(3, 4)),
    Row("71[0-6]", Text(5, 20)),
    Row("723[0-9]", Text(5, 30)), Row("7240", Text(5, 20)), Row("7241", Fixed(2)), Row("7242", Text(5, 25)),
    Row("7250", FixedBits(8, 27)), Row("7251", FixedBits(12, 40)), Row("7252", FixedBits(1, 4)),
    Row("7253", Text(6, 40)), Row("7254", Text(6, 30)), Row("7255", Text(4, 10)), Row("7256", Text(7, 90)),
    Row("7257", Text(7, 70)), Row("7258", Of(Form::Sequence)), Row("7259", Text(6, 40)),
    Row("8001", FixedBits(14, 47)), Row("8002", Text(5, 20)),
    Row("8003", Fixed(14), Text(5, 16)),
    Row("8004", Delimited()), Row("8005", FixedBits(6, 20)), Row("8006", Fixed(18)), Row("8007", Text(5, 24)),
    Row("8008", Of(Form::VariableDateTime)), Row("8009", Text(6, 50)),
    Row("8010", Delimited(), {}, true), Row("8011", Digits(4, 12)),
    Row("8012", Text(5, 20)), Row("8013", Text(5, 25)), Row("8017", Fixed(18)), Row("8018", Fixed(18)),
    Row("8019", Digits(4, 10)), Row("8020", Text(5, 25)), Row("8026", Fixed(18)), Row("8030", Text(7, 90)),
    Row("8110", Text(7, 70)), Row("8111", FixedBits(4, 14)), Row("8112", Text(7, 70)), Row("8200", Text(7, 70)),
    Row("90", Text(5, 30)), Row("9[1-9]", Text(7, 90)),
};
// clang-format on

// Whether `ai` fits `pattern`: digits stand for themselves, [a-b] for one digit from a to b.
bool Fits(std::string_view pattern, std::string_view ai) {
  size_t at = 0;
  for (size_t p = 0; p < pattern.size(); ++p, ++at) {
    if (at >= ai.size()) return false;
    if (pattern[p] == '[') {
      if (ai[at] < pattern[p + 1] || ai[at] > pattern[p + 3]) return false;
      p += 4;
    } else if (pattern[p] != ai[at]) {
      return false;
    }
  }
  return at == ai.size();
}

// Table K by the first two digits: 2, 3 or 4 digits, 0 for none. Table K as
// printed in TDS 2.3 has no row for 30, whose AI (30) Table F holds; GS1 General
// Specifications figure 7.8.1-2, which Table K copies, gives it 2 digits.
constexpr std::array<uint8_t, 100> Lengths = [] {
  std::array<uint8_t, 100> lengths{};
  for (int k : {0, 1, 2, 10, 11, 12, 13, 15, 16, 17, 20, 21, 22, 30, 37}) lengths[k] = 2;
  for (int k = 90; k <= 99; ++k) lengths[k] = 2;
  for (int k : {23, 24, 25, 40, 41, 42, 71}) lengths[k] = 3;
  for (int k : {31, 32, 33, 34, 35, 36, 39, 43, 70, 72, 80, 81, 82}) lengths[k] = 4;
  return lengths;
}();

}  // namespace

const AiFormat* FindFormat(std::string_view ai) {
  for (const AiFormat& row : Table)
    if (Fits(row.Pattern, ai)) return &row;
  return nullptr;
}

int AiLength(int firstTwo) { return firstTwo >= 0 && firstTwo < 100 ? Lengths[static_cast<size_t>(firstTwo)] : 0; }

}  // namespace morvel::epc::detail
