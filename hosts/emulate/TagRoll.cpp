// The virtual printer's roll of RFID tags.
#include "hosts/emulate/TagRoll.h"

#include <cctype>
#include <cstdio>

namespace morvel::emulate {
namespace {

// A 64-bit mix of the seed and a place (splitmix64's finaliser): the same
// seed draws the same roll on every run.
uint64_t Mix(uint64_t seed, uint64_t place) {
  uint64_t z = seed * 0x9E3779B97F4A7C15ull + place;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string Hex(uint64_t value, int digits) {
  std::string out(static_cast<size_t>(digits), '0');
  for (int k = digits - 1; k >= 0; --k, value >>= 4) out[static_cast<size_t>(k)] = "0123456789ABCDEF"[value & 15];
  return out;
}

// The bytes an operation writes, in hexadecimal: ASCII data as its bytes'
// digits, hexadecimal and EPC data as given (upper case).
std::string WrittenHex(const lang::TagOperation& op) {
  std::string out;
  if (op.Format == 'A') {
    for (unsigned char c : op.Data) out += Hex(c, 2);
    return out;
  }
  for (unsigned char c : op.Data)
    if (std::isxdigit(c)) out += static_cast<char>(std::toupper(c));
  return out;
}

}  // namespace

std::string FieldValue(const lang::Label& label, int number, const TagRecord* tag) {
  for (const lang::TagOperation& op : label.Tags) {
    if (op.What != 'R' || op.FieldNumber != number) continue;
    if (tag == nullptr || !tag->Written) return "";
    // Banks 1, E and A are the EPC; 0, the passwords, is not in the record.
    const std::string& hex = op.Bank == "3" ? tag->User : op.Bank == "2" ? tag->Tid : tag->Epc;
    if (op.Bank == "0") return "";
    if (op.Format != 'A') return hex;
    std::string bytes;
    for (size_t k = 0; k + 1 < hex.size(); k += 2) bytes += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
    return bytes;
  }
  const auto data = label.FieldData.find(number);
  return data == label.FieldData.end() ? "" : data->second;
}

std::string TagRoll::FailureAt(uint64_t place) const {
  static const char* const reasons[] = {"weak tag", "locked tag", "two tags in the field"};
  const uint64_t draw = Mix(options_.Seed ^ 0x5EEDull, place);
  const bool fails = options_.FailAt.count(place) > 0 ||
                     (options_.FailRate > 0 && static_cast<double>(draw % 1000000) < options_.FailRate * 1e6);
  return fails ? reasons[(draw >> 32) % 3] : std::string();
}

std::string TagRoll::TidAt(uint64_t place) const {
  // A Gen 2 TID: the class E2, a maker and model, then a serial that makes
  // it unique in the roll (the place, mixed with the seed, in its low bits).
  return "E2801105" + Hex(Mix(options_.Seed, 0) & 0xFFFFFFFFull, 8) + Hex(place, 8);
}

LabelTags TagRoll::Encode(const lang::Label& label, size_t labelNumber) {
  LabelTags out;
  if (!options_.Loaded || label.Tags.empty()) return out;
  const int tries = label.TagFailures.Tries < 1 ? 1 : label.TagFailures.Tries;
  for (int attempt = 1; attempt <= tries; ++attempt) {
    TagRecord tag;
    tag.Label = labelNumber;
    tag.Try = attempt;
    tag.Place = next_++;
    tag.Tid = TidAt(tag.Place);
    tag.Reason = FailureAt(tag.Place);
    if (tag.Reason.empty()) {
      for (const lang::TagOperation& op : label.Tags) {
        if (op.What != 'W' && op.What != 'L') continue;
        if (op.Bank == "2") {
          tag.Reason = "the TID cannot be written";
          break;
        }
        (op.Bank == "3" ? tag.User : tag.Epc) = WrittenHex(op);
      }
    }
    tag.Written = tag.Reason.empty();
    if (!tag.Written) tag.Epc.clear(), tag.User.clear();
    out.Tags.push_back(tag);
    if (tag.Written) {
      out.Written = true;
      return out;
    }
  }
  out.GaveUp = true;
  return out;
}

}  // namespace morvel::emulate
