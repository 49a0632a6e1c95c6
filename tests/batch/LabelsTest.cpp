// A batch's labels planned from its rows: copies by the quantity column,
// serials per label or per row, SGTIN EPCs (the EPC Tag Data Standard's
// worked SGTIN-96 example), each refusal naming its row; and the same data
// planned twice giving the same labels.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "codec/epc/Epc.h"
#include "hosts/batch/Labels.h"

namespace morvel::batch {
namespace {

// The labels as "number row.copy/copies name=value|...", one a line, or
// "error: " and the refusal.
std::string Plan(const std::string& csv, const PlanOptions& options) {
  std::istringstream in(csv);
  DataOptions data;
  data.Name = "data";
  std::string out;
  try {
    auto source = ReadCsv(in, data);
    LabelPlan plan(*source, options);
    PlannedLabel label;
    while (plan.Next(label)) {
      if (!out.empty()) out += '\n';
      out += std::to_string(label.Number) + " " + std::to_string(label.Row) + "." + std::to_string(label.Copy) + "/" +
             std::to_string(label.Copies);
      for (size_t i = 0; i < label.Fields.size(); ++i)
        out += (i > 0 ? "|" : " ") + label.Fields[i].first + "=" + label.Fields[i].second;
    }
  } catch (const DataError& error) {
    return out + (out.empty() ? "" : "\n") + "error: " + error.what();
  }
  return out;
}

PlanOptions Quantities() {
  PlanOptions options;
  options.QuantityColumn = "qty";
  return options;
}

PlanOptions Serials(uint64_t start, uint64_t step, int width, bool perRow) {
  PlanOptions options = Quantities();
  options.Serial = {true, start, step, width, perRow, "serial"};
  return options;
}

// The standard's example: (01)80614141123458(21)6789, company prefix
// 0614141, filter 3.
PlanOptions Epcs(const std::string& gtin, const std::string& column) {
  PlanOptions options = Quantities();
  options.Epc.Enabled = true;
  options.Epc.Filter = 3;
  options.Epc.CompanyPrefixLength = 7;
  options.Epc.Gtin = gtin;
  options.Epc.GtinColumn = column;
  return options;
}

struct Case {
  const char* Name;
  const char* Csv;
  PlanOptions Options;
  const char* Expected;
};

const Case Cases[] = {
    {"OneEachWithoutQuantities", "sku\nA\nB\n", {}, "1 1.1/1 sku=A\n2 2.1/1 sku=B"},
    {"Quantities", "sku,qty\nA,2\nB,0\nC,\nD,3\n", Quantities(),
     "1 1.1/2 sku=A|qty=2\n2 1.2/2 sku=A|qty=2\n3 3.1/1 sku=C|qty=\n4 4.1/3 sku=D|qty=3\n5 4.2/3 sku=D|qty=3\n"
     "6 4.3/3 sku=D|qty=3"},
    {"QuantityWithLeadingZeros", "qty\n002\n", Quantities(), "1 1.1/2 qty=002\n2 1.2/2 qty=002"},
    {"SerialsPerLabel", "sku,qty\nA,2\nB,0\nC,1\n", Serials(100, 5, 6, false),
     "1 1.1/2 sku=A|qty=2|serial=000100\n2 1.2/2 sku=A|qty=2|serial=000105\n3 3.1/1 sku=C|qty=1|serial=000110"},
    {"SerialsPerRow", "sku,qty\nA,2\nB,0\nC,1\n", Serials(7, 1, 0, true),
     "1 1.1/2 sku=A|qty=2|serial=7\n2 1.2/2 sku=A|qty=2|serial=7\n3 3.1/1 sku=C|qty=1|serial=8"},
    {"SerialFillsItsWidth", "qty\n2\n", Serials(98, 1, 2, false), "1 1.1/2 qty=2|serial=98\n2 1.2/2 qty=2|serial=99"},
    {"SerialOverItsWidth", "qty\n2\n1\n", Serials(98, 1, 2, false),
     "1 1.1/2 qty=2|serial=98\n2 1.2/2 qty=2|serial=99\nerror: data, row 2 (line 3): its serial 100 does not fit in 2 "
     "digits"},
    {"SerialOver64Bits", "qty\n2\n", Serials(18446744073709551615u, 1, 0, false),
     "1 1.1/2 qty=2|serial=18446744073709551615\nerror: data, row 1 (line 2): its serial, 18446744073709551615 + 1 x "
     "1, "
     "is over 2^64-1"},
    {"SerialTakesAFieldOfTheData", "serial\n1\n", Serials(1, 1, 0, false),
     "error: data, row 1 (line 2): the data has a field \"serial\" already, where the serials planned here would go"},

    {"EpcOfTheStandardsExample", "sku,serial\nA,6789\n", Epcs("80614141123458", ""),
     "1 1.1/1 sku=A|serial=6789|epc=3074257BF7194E4000001A85"},
    {"EpcRefusedWithTheCodecsRule", "serial\n6789\n00012\n", Epcs("80614141123458", ""),
     "1 1.1/1 serial=6789|epc=3074257BF7194E4000001A85\nerror: data, row 2 (line 3): no EPC for "
     "(01)80614141123458(21)00012: "},
    {"EpcWithAWrongCheckDigit", "serial\n1\n", Epcs("80614141123459", ""),
     "error: data, row 1 (line 2): no EPC for (01)80614141123459(21)1: "},
    {"EpcWithoutAGtin", "gtin,serial\n,1\n", Epcs("", "gtin"),
     "error: data, row 1 (line 2): no GTIN in the column \"gtin\""},
    {"EpcWithAShortGtin", "gtin,serial\n1234567,1\n", Epcs("", "gtin"),
     "error: data, row 1 (line 2): the GTIN \"1234567\" is not 8, 12, 13 or 14 digits"},
    {"EpcWithoutASerial", "sku\nA\n", Epcs("80614141123458", ""),
     "error: data, row 1 (line 2): no field \"serial\" to take the EPC's serial from"},
};

class LabelsPlanned : public ::testing::TestWithParam<Case> {};

TEST_P(LabelsPlanned, FromTheRows) {
  const Case& c = GetParam();
  const std::string got = Plan(c.Csv, c.Options);
  if (std::string_view(c.Expected).find("error: ") != std::string_view::npos)
    EXPECT_TRUE(got.starts_with(c.Expected)) << got;
  else
    EXPECT_EQ(got, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LabelsPlanned, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return info.param.Name; });

TEST(LabelsPlanned, QuantitiesThatAreNotWholeNumbersInRange) {
  for (const char* quantity : {"x", "-1", "+2", "1.5", " 2", "2 ", "100001", "99999999999999999999"}) {
    const std::string got = Plan(std::string("qty\n1\n\"") + quantity + "\"\n", Quantities());
    EXPECT_EQ(got, std::string("1 1.1/1 qty=1\nerror: data, row 2 (line 3): the quantity \"") + quantity +
                       "\" (qty) is not a whole number 0-100000");
  }
  std::istringstream in("qty\n100000\n");
  auto source = ReadCsv(in, {});
  LabelPlan plan(*source, Quantities());
  PlannedLabel label;
  ASSERT_TRUE(plan.Next(label));
  EXPECT_EQ(label.Copies, MaxQuantity);
}

// Serials numbered here, GTINs from a column (GTIN-13 and -14), decoded
// back to the element strings they were made from.
TEST(LabelsPlanned, EpcsCarryTheGtinAndTheSerial) {
  PlanOptions options = Epcs("", "gtin");
  options.Serial = {true, 6789, 1, 0, false, "serial"};
  std::istringstream in("gtin,qty\n80614141123458,2\n0614141123452,1\n");
  auto source = ReadCsv(in, {});
  LabelPlan plan(*source, options);
  PlannedLabel label;
  const char* elements[] = {"(01)80614141123458(21)6789", "(01)80614141123458(21)6790", "(01)00614141123452(21)6791"};
  for (const char* element : elements) {
    ASSERT_TRUE(plan.Next(label));
    EXPECT_EQ(epc::Decode(*label.Find("epc")).ElementString, element);
  }
  EXPECT_EQ(*label.Find("epc"), epc::Encode("urn:epc:tag:sgtin-96:3.0614141.012345.6791").Hex());
  EXPECT_FALSE(plan.Next(label));
  EXPECT_EQ(plan.RowsRead(), 2u);
  EXPECT_EQ(plan.LabelsPlanned(), 3u);
}

// A refused EPC's error names the row, then the codec's rule, as the codec
// words it.
TEST(LabelsPlanned, RefusedEpcsNameTheCodecsRule) {
  for (const auto& [gtin, serial] :
       {std::pair{"80614141123458", "00012"}, {"80614141123459", "1"}, {"80614141123458", "274877906944"}}) {
    const std::string element = std::string("(01)") + gtin + "(21)" + serial;
    std::string rule;
    try {
      epc::Encode("SGTIN-96", 3, 7, element);
    } catch (const epc::Refused& refused) {
      rule = refused.what();
    }
    ASSERT_FALSE(rule.empty()) << element;
    EXPECT_EQ(Plan(std::string("serial\n") + serial + "\n", Epcs(gtin, "")),
              "error: data, row 1 (line 2): no EPC for " + element + ": " + rule);
  }
}

TEST(LabelsPlanned, OptionsThatMakeNoPlan) {
  PlanOptions stepZero = Serials(1, 0, 0, false);
  PlanOptions tooWide = Serials(1, 1, 21, false);
  PlanOptions bothGtins = Epcs("80614141123458", "gtin");
  PlanOptions noGtin = Epcs("", "");
  PlanOptions badGtin = Epcs("8061414112345X", "");
  PlanOptions sameField = Epcs("80614141123458", "");
  sameField.Serial = {true, 1, 1, 0, false, "epc"};
  std::istringstream in("a\n1\n");
  auto source = ReadCsv(in, {});
  for (const PlanOptions* options : {&stepZero, &tooWide, &bothGtins, &noGtin, &badGtin, &sameField})
    EXPECT_THROW(LabelPlan(*source, *options), DataError);
}

// A resumed batch plans its labels again from the data: label N must be
// the same label every time, quantities, serials and EPCs alike.
TEST(LabelsPlanned, TheSameDataGivesTheSameLabels) {
  PlanOptions options = Epcs("", "gtin");
  options.Serial = {true, 1000, 3, 0, false, "serial"};
  std::string csv = "gtin,qty,name\n";
  for (int row = 0; row < 200; ++row)
    csv += std::string(row % 2 ? "80614141123458" : "0614141123452") + "," + std::to_string(row % 4) + ",\"n " +
           std::to_string(row) + "\"\n";
  const std::string first = Plan(csv, options);
  EXPECT_EQ(first.find("error"), std::string::npos) << first;
  EXPECT_EQ(Plan(csv, options), first);
}

}  // namespace
}  // namespace morvel::batch
