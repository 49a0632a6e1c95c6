// What became of the RFID tag of a label the control printed, on the
// printer's word: the control asks the printer, after each label that
// writes a tag, what it wrote, and never reports a tag written that the
// printer did not read back.
#pragma once

#include <cstdint>
#include <string>

namespace morvel {

struct TagResult {
  enum class Outcome {
    Written,  // the printer read the tag back after writing it, and it holds what was asked
    Void,     // the printer voided the label: its tag could not be written
    Unknown,  // the printer cannot say or said nothing in time (a file:, a CUPS queue, a silent printer)
  };
  uint32_t Label = 0;  // the labels that write a tag, as the object printed them, from 1 (each copy one)
  Outcome State = Outcome::Unknown;
  std::string Epc;     // Written: what the tag holds now, as the printer read it back
  std::string Tid;     // Written: the tag's TID, when the printer read it (SATO); else empty
  std::string Reason;  // Void and Unknown: why, in words
  // Labels the printer used for it: the voided ones and the written one;
  // 0 when it does not say (a SATO printer tells the last try only).
  uint32_t Tries = 0;
};

// "written", "void" or "unknown".
inline const char* NameOf(TagResult::Outcome outcome) noexcept {
  switch (outcome) {
    case TagResult::Outcome::Written: return "written";
    case TagResult::Outcome::Void: return "void";
    case TagResult::Outcome::Unknown: break;
  }
  return "unknown";
}

// "label 3 written 00303425...", "label 4 void", "label 5 unknown".
inline std::string Describe(const TagResult& result) {
  std::string line = "label " + std::to_string(result.Label) + " " + NameOf(result.State);
  if (result.State == TagResult::Outcome::Written) line += " " + result.Epc;
  return line;
}

// Describe's line and, when the result gives them, a tab and the reason
// ("label 5 unknown\tthe printer cannot answer"), a tab and the TID the
// printer read ("label 3 written 3074...\ttid E280..."). The control's
// TagResults joins these lines; `morvel run` prints them.
inline std::string DescribeWithReason(const TagResult& result) {
  return Describe(result) + (result.Reason.empty() ? "" : "\t" + result.Reason) +
         (result.Tid.empty() ? "" : "\ttid " + result.Tid);
}

}  // namespace morvel
