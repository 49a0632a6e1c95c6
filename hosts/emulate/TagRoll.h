// The roll of RFID tags a virtual RFID printer is loaded with: one tag
// under each label, each with its TID (unique, drawn from a seed), its EPC
// and user memory; some fail when written, at chosen places in the roll or
// at a rate. Labels that ask for tag operations take tags from it as ^RS
// says: a tag that fails voids its label and the next label is tried, up
// to the rules' labels to try. What happened to each tag is the record the
// tests compare the results the printer reports with.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "lang/Label.h"

namespace morvel::emulate {

struct TagRollOptions {
  bool Loaded = false;        // --rfid: the printer has a roll of tags
  uint64_t Seed = 1;          // --rfid-seed: the TIDs and the failures at a rate
  std::set<uint64_t> FailAt;  // --rfid-fail: places in the roll (from 1) whose tags fail
  double FailRate = 0;        // --rfid-fail-rate: the share of other tags that fail, 0-1
};

// One tag that went under the antenna, and what became of it.
struct TagRecord {
  size_t Label = 0;      // the job's label (from 1) it was under
  size_t Copy = 1;       // that label's copy (^PQ, from 1)
  int Try = 1;           // that copy's try (from 1)
  uint64_t Place = 0;    // its place in the roll (from 1)
  std::string Tid;       // its TID, hexadecimal
  bool Written = false;  // every operation done; otherwise the label was voided
  std::string Reason;    // why it failed: "weak tag", "locked tag", "two tags in the field"
  std::string Epc;       // what its EPC holds after the label, hexadecimal
  std::string User;      // what its user memory holds, hexadecimal
};

// What a label's tag operations came to.
struct LabelTags {
  std::vector<TagRecord> Tags;  // one a try
  bool Written = false;         // a try succeeded
  bool GaveUp = false;          // every try failed: the rules' OnFailure follows
};

// What the label's field `number` holds after its tag operations on `tag`,
// as ^HV sends it: an ^RF read's into that field, what the tag's record
// holds of the bank read (hexadecimal for H, those bytes for A), nothing
// when the tag failed or none was taken (nullptr); else the field's data.
std::string FieldValue(const lang::Label& label, int number, const TagRecord* tag);

class TagRoll {
 public:
  explicit TagRoll(TagRollOptions options) : options_(std::move(options)) {}
  bool Loaded() const { return options_.Loaded; }
  // Carries out the label's tag operations on the next tags of the roll,
  // trying the label again on the next tag, up to its rules' tries, while a
  // tag fails. A label without operations takes no tag.
  LabelTags Encode(const lang::Label& label, size_t labelNumber);
  uint64_t Used() const { return next_ - 1; }

 private:
  // Why the tag at `place` fails; empty when it does not.
  std::string FailureAt(uint64_t place) const;
  std::string TidAt(uint64_t place) const;

  TagRollOptions options_;
  uint64_t next_ = 1;
};

}  // namespace morvel::emulate
