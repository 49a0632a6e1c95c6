// The roll of tags a virtual RFID printer is loaded with: a seed draws the
// same roll every time, a rate fails about that share of the tags, and a
// label is written on the first tag that takes it.
#include <gtest/gtest.h>

#include <set>

#include "hosts/emulate/TagRoll.h"

namespace morvel::emulate {
namespace {

lang::TagOperation Operation(char what, char format, std::string bank, std::string data) {
  lang::TagOperation op;
  op.What = what;
  op.Format = format;
  op.Bank = std::move(bank);
  op.Data = std::move(data);
  return op;
}

lang::Label LabelWriting(std::string epc, int tries = 3) {
  lang::Label label;
  label.Tags.push_back(Operation('W', 'H', "E", std::move(epc)));
  label.TagFailures.Tries = tries;
  return label;
}

TagRollOptions Roll(uint64_t seed, std::set<uint64_t> failAt, double rate) {
  TagRollOptions options;
  options.Loaded = true;
  options.Seed = seed;
  options.FailAt = std::move(failAt);
  options.FailRate = rate;
  return options;
}

TEST(TagRoll, ARateFailsAboutItsShareTheSameOnEveryRun) {
  auto run = [](uint64_t seed) {
    TagRoll roll(Roll(seed, {}, 0.05));
    std::vector<uint64_t> failed;
    std::set<std::string> tids;
    for (size_t k = 1; k <= 10000; ++k) {
      const LabelTags tags = roll.Encode(LabelWriting("3074", 1), k);
      EXPECT_EQ(tags.Tags.size(), 1u);
      tids.insert(tags.Tags[0].Tid);
      if (!tags.Written) failed.push_back(tags.Tags[0].Place);
    }
    EXPECT_EQ(tids.size(), 10000u);
    return failed;
  };
  const auto first = run(7);
  EXPECT_GT(first.size(), 400u);
  EXPECT_LT(first.size(), 600u);
  EXPECT_EQ(run(7), first) << "a seed draws the same roll";
  EXPECT_NE(run(8), first) << "another seed another";
}

TEST(TagRoll, WritesWhatEachOperationAsksAndTakesNoTagForALabelWithout) {
  TagRoll roll(Roll(1, {2}, 0));
  lang::Label label = LabelWriting("30 74 ab");  // hexadecimal: its digits, upper case
  label.Tags.push_back(Operation('W', 'A', "3", "Hi"));
  label.Tags.push_back(Operation('R', 'H', "E", "ignored"));
  const LabelTags first = roll.Encode(label, 1);
  ASSERT_TRUE(first.Written);
  EXPECT_EQ(first.Tags[0].Epc, "3074AB");
  EXPECT_EQ(first.Tags[0].User, "4869");
  EXPECT_TRUE(roll.Encode(lang::Label{}, 2).Tags.empty());
  EXPECT_EQ(roll.Used(), 1u);
  lang::Label tid = LabelWriting("E2");
  tid.Tags[0].Bank = "2";
  const LabelTags refused = roll.Encode(tid, 3);  // place 2 fails of itself, place 3 refuses the TID
  ASSERT_EQ(refused.Tags.size(), 3u);
  EXPECT_FALSE(refused.Written);
  EXPECT_TRUE(refused.GaveUp);
  EXPECT_EQ(refused.Tags[1].Reason, "the TID cannot be written");
  EXPECT_FALSE(TagRoll(TagRollOptions{}).Encode(label, 1).Written) << "no roll loaded: no tag";
}

}  // namespace
}  // namespace morvel::emulate
