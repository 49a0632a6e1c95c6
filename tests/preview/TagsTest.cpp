// The RFID work of a label as the readers take it from a job: each tag
// operation (ZPL ^RF with its data, SBPL's ESC IP0) in order, and the rules
// ^RS sets for a tag that cannot be written, which last from label to label.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "lang/Reading.h"

namespace morvel::lang {
namespace {

struct Tag {
  char What, Format;
  std::string Bank, Start, Length, Data;
};

TEST(Tags, EachLabelsTagOperationsAndTheRulesInForce) {
  const struct {
    const char* Name;
    Language In;
    std::string Job;
    std::vector<std::vector<Tag>> Labels;  // each label's tags
    std::vector<TagRules> Rules;           // each label's
    std::vector<std::string> Warnings;     // the job's, in order
  } cases[] = {
      {"the Zebra driver's label: InitRFID then two OpRFID",
       Language::Zpl,
       "^XA^RS8,F0^RW16,16,A1^RR3^RFW,H,2,2,1^FD00ABCD^FS^RF,,,,^FD00^FS^PQ1^XZ",
       {{{'W', 'H', "1", "2", "2", "00ABCD"}, {'W', 'H', "E", "", "", "00"}}},
       {{3, 'N', 0}},
       {}},
      {"^RS rules last into the next label; a bad value keeps the one before",
       Language::Zpl,
       "^XA^RS8,0,120,5,P^FO0,0^RFW,H^FD3074257BF7194E4000001A85^FS^XZ"
       "^XA^RS8,0,,11,X^FO0,0^RFL,A,,,1^FDHELLO^FS^XZ"
       "^XA^FO0,0^FDno tag^FS^XZ",
       {{{'W', 'H', "E", "", "", "3074257BF7194E4000001A85"}}, {{'L', 'A', "1", "", "", "HELLO"}}, {}},
       {{5, 'P', 120}, {5, 'P', 120}, {5, 'P', 120}},
       {"^RS labels to try 11 is not 1-10; kept", "^RS error handling 'X' is not N, P or E; kept"}},
      {"the SATO driver's EPC commands, an empty one included",
       Language::Sbpl,
       "\x1b"
       "A\x1bIP0e:h,epc:414243;\x1bIP0e:h,epc:;\x1bIP0e:a,epc:AB;\x1bIP0p:1234;\x1bQ1\x1bZ",
       {{{'W', 'H', "E", "", "", "414243"}, {'W', 'H', "E", "", "", ""}, {'W', 'A', "E", "", "", "AB"}}},
       {{}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const Job job = ReadJob(c.Job, c.In, 203);
    ASSERT_EQ(job.Labels.size(), c.Labels.size());
    for (size_t k = 0; k < job.Labels.size(); ++k) {
      const Label& label = job.Labels[k];
      ASSERT_EQ(label.Tags.size(), c.Labels[k].size()) << "label " << k;
      for (size_t t = 0; t < label.Tags.size(); ++t) {
        const TagOperation& got = label.Tags[t];
        const Tag& want = c.Labels[k][t];
        EXPECT_EQ(std::string({got.What, got.Format}), std::string({want.What, want.Format})) << k << "." << t;
        EXPECT_EQ(got.Bank, want.Bank) << k << "." << t;
        EXPECT_EQ(got.Start, want.Start) << k << "." << t;
        EXPECT_EQ(got.Length, want.Length) << k << "." << t;
        EXPECT_EQ(got.Data, want.Data) << k << "." << t;
        EXPECT_EQ(c.Job.substr(got.Offset, 1), c.In == Language::Zpl ? "^" : "\x1b") << "offset of " << k << "." << t;
      }
      const TagRules& rules = label.TagFailures;
      EXPECT_EQ(rules.Tries, c.Rules[k].Tries) << k;
      EXPECT_EQ(rules.OnFailure, c.Rules[k].OnFailure) << k;
      EXPECT_EQ(rules.VoidLength, c.Rules[k].VoidLength) << k;
    }
    std::vector<std::string> warnings;
    for (const auto& w : job.Warnings) warnings.push_back(w.Text);
    EXPECT_EQ(warnings, c.Warnings);
  }
}

// ^HV as the label keeps it: the field, the bytes, header and termination
// with ^FH's escapes decoded, F or L; the numbered fields' data it sends
// and the ^FN of a tag read.
TEST(Tags, HostVerificationsAndTheFieldsTheyAnswer) {
  using Data = std::map<int, std::string>;
  const struct {
    const char* Name;
    std::string Job;
    std::vector<HostVerification> Verifications;
    Data Fields;
    std::vector<int> TagFields;  // each tag operation's ^FN
    std::vector<std::string> Warnings;
  } cases[] = {
      {"the guide's example: a read into field 0, its EPC after every label",
       "^XA^RFR,H^FN0^FS^FH_^HV0,8,EPC[,]_0D_0A,L^FS^PQ2^XZ",
       {{0, 8, "EPC[", "]\r\n", true}},
       {},
       {0},
       {}},
      {"defaults, a plain numbered field, and a write's own data",
       "^XA^FO0,0^FN3^FDLot 7^FS^RFW,H^FN4^FD3074^FS^HV3^FS^HV4,,,,F^FS^XZ",
       {{3, 64, "", "", false}, {4, 64, "", "", false}},
       {{3, "Lot 7"}, {4, "3074"}},
       {4},
       {}},
      {"no ^FH: escapes kept; its ^FH ends with it; bytes out of range",
       "^XA^HV1,300,_0D,\r\n_0A\r\n,L^FS^FH^HV2,1,A_2C,_7C^FS^FN2^FD_41^FS^RFW,H^FD00^FS^XZ",
       {{1, 64, "_0D", "_0A", true}, {2, 1, "A,", "|", false}},
       {{2, "_41"}},
       {-1},
       {"^HV bytes to return 300 is not 1-256; 64 returned"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const Job job = ReadJob(c.Job, Language::Zpl, 203);
    ASSERT_EQ(job.Labels.size(), 1u);
    const Label& label = job.Labels[0];
    ASSERT_EQ(label.Verifications.size(), c.Verifications.size());
    for (size_t k = 0; k < c.Verifications.size(); ++k) {
      const HostVerification &got = label.Verifications[k], &want = c.Verifications[k];
      EXPECT_EQ(std::tie(got.Field, got.Bytes, got.Header, got.Terminator, got.PerLabel),
                std::tie(want.Field, want.Bytes, want.Header, want.Terminator, want.PerLabel))
          << k;
    }
    EXPECT_EQ(label.FieldData, c.Fields);
    std::vector<int> tagFields;
    for (const auto& t : label.Tags) tagFields.push_back(t.FieldNumber);
    EXPECT_EQ(tagFields, c.TagFields);
    std::vector<std::string> warnings;
    for (const auto& w : job.Warnings) warnings.push_back(w.Text);
    EXPECT_EQ(warnings, c.Warnings);
  }
}

}  // namespace
}  // namespace morvel::lang
