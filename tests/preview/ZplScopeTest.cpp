// How long a ZPL setting lasts, read through the drawn labels: what a field
// sets ends at its ^FS, what a label sets ends at its ^XZ, and the printer's
// settings go on into the next label until changed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/Reading.h"
#include "preview/Preview.h"
#include "support/SameDots.h"

namespace morvel {
namespace {

struct Drawn {
  std::vector<core::Bitmap> Pictures;  // each label on white, then on black
  std::vector<std::string> Copies;
};

// The labels of a job, each drawn on white and on black, so that a reversed
// field shows as well as a black one.
Drawn DrawLabels(const std::vector<lang::Label>& labels) {
  Drawn d;
  for (const auto& label : labels) {
    lang::Label onBlack = label;
    lang::Shape ground;
    ground.Width = ground.Height = ground.Thickness = 400;
    onBlack.Fields.insert(onBlack.Fields.begin(), ground);
    d.Pictures.push_back(preview::Paint(label, 203));
    d.Pictures.push_back(preview::Paint(onBlack, 203));
    d.Copies.push_back(label.Copies);
  }
  return d;
}

void ExpectSame(const Drawn& got, const Drawn& want) {
  ASSERT_EQ(got.Pictures.size(), want.Pictures.size());
  EXPECT_EQ(got.Copies, want.Copies);
  for (size_t k = 0; k < got.Pictures.size(); ++k)
    EXPECT_TRUE(testing::SameDots(got.Pictures[k], want.Pictures[k])) << k;
}

std::vector<lang::Label> Labels(const std::string& job) { return lang::ReadJob(job, lang::Language::Zpl, 203).Labels; }

const std::string Size = "^PW400^LL400";

struct FieldCase {
  const char* Before;  // a field that sets something of its own
  const char* Field;   // drawn after it as it is drawn alone
};

TEST(ZplScope, AFieldsSettingsEndAtItsFieldSeparator) {
  const FieldCase cases[] = {
      {"^FO0,0^FB300,3,0,C^FDA^FS", "^FO10,100^FDHH HH HH^FS"},
      {"^FO0,0^A0N,60,60^FDA^FS", "^FO10,100^FDHH^FS"},
      {"^FO0,0^FR^FDA^FS", "^FO10,100^FDHH^FS"},
      {"^FO0,0^FH^FDA^FS", "^FO10,100^FD_41_42^FS"},
      {"^FO0,0^FPV,5^FDAB^FS", "^FO10,100^FDHH^FS"},
      {"^FO0,0^TBN,100,40^FDA^FS", "^FO10,100^A0N,30,30^FDHH HH HH HH HH^FS"},
      {"^FO0,0^GSN,40,40^FDA^FS", "^FO10,100^FDAB^FS"},
      {"^FO0,0^BCN,40^FD123^FS", "^FO10,100^FDHH^FS"},
      {"^FO0,0^GB50,50,5^FS", "^FO10,100^FDHH^FS"},
      {"^FN1^FDXX^FS", "^FO10,100^FDHH^FS"},
      {"^PQ2^FO0,0^SN001,1^FS", "^FO10,100^FD007^FS"},
      {"^FO0,0^BY2^BCN,40,N,N,N,U^FD123^FS", "^FO10,100^BCN,40,N^FD12345678^FS"},
      {"^FO0,0^BY2^B2N,40,N,N,Y^FD123456^FS", "^FO10,100^B2N,40,N^FD123456^FS"},
      // An Aztec field's ECI switch ends with it, even one that got no data.
      {"^FO0,0^BON,4,Y^FS", "^FO10,100^BON,4,N^FDA\\B^FS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Before) + " then " + c.Field);
    auto both = Labels("^XA" + Size + c.Before + c.Field + "^XZ");
    const auto alone = Labels("^XA" + Size + c.Field + "^XZ");
    ASSERT_FALSE(alone.empty());
    ASSERT_FALSE(both.empty());
    // The field's own part of each label (each copy of a serialised one): its last fields.
    const size_t own = alone[0].Fields.size();
    for (auto& label : both) {
      ASSERT_GE(label.Fields.size(), own);
      label.Fields.erase(label.Fields.begin(), label.Fields.end() - static_cast<std::ptrdiff_t>(own));
      ExpectSame(DrawLabels({label}), DrawLabels(alone));
    }
  }
}

struct LabelCase {
  const char* First;   // a label that sets something
  const char* Second;  // the label after it
  const char* AsIf;    // the second label as it is drawn alone
};

TEST(ZplScope, ALabelsSettingsEndAtItsEndAndThePrintersGoOn) {
  const LabelCase cases[] = {
      // The label's: copies, numbered data, serial numbers.
      {"^PQ3^FO0,0^FDA^FS", "^FO10,10^SN001,1^FS", "^FO10,10^SN001,1^FS"},
      {"^FN1^FDXX^FS^FO0,0^FDA^FS", "^FO10,10^FN1^FDYY^FS", "^FO10,10^FN1^FDYY^FS"},
      {"^PQ2^FO0,0^SN001,1^FS", "^PQ2^FO10,10^FD007^FS", "^PQ2^FO10,10^FD007^FS"},
      {"^FO0,0^FR^FDA^FS^FO0,0^FB300,3,0,C", "^FO10,10^FDHH^FS", "^FO10,10^FDHH^FS"},
      // The printer's: they hold until changed.
      {"^CF0,40^FO0,0^FDA^FS", "^FO10,10^FDHH^FS", "^CF0,40^FO10,10^FDHH^FS"},
      {"^BY4^FO0,0^FDA^FS", "^FO10,10^BCN,40,N^FD1234^FS", "^BY4^FO10,10^BCN,40,N^FD1234^FS"},
      {"^FWR^FO0,0^FDA^FS", "^FO100,10^FDHH^FS", "^FWR^FO100,10^FDHH^FS"},
      {"^LH30,40^FO0,0^FDA^FS", "^FO10,10^FDHH^FS", "^LH30,40^FO10,10^FDHH^FS"},
      {"^LRY^FO0,0^FDA^FS", "^FO10,10^FDHH^FS", "^LRY^FO10,10^FDHH^FS"},
      {"^CI0,65,66^FO0,0^FDA^FS", "^FO10,10^FDBB^FS", "^CI0,65,66^FO10,10^FDBB^FS"},
      {"^CWQ,E:FONT.TTF^FO0,0^FDA^FS", "^FO10,10^AQN,30,30^FDHH^FS", "^CWQ,E:FONT.TTF^FO10,10^AQN,30,30^FDHH^FS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.First) + " then " + c.Second);
    auto both = Labels("^XA" + Size + c.First + "^XZ^XA" + c.Second + "^XZ");
    const auto first = Labels("^XA" + Size + c.First + "^XZ");
    ASSERT_GE(both.size(), first.size());
    both.erase(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(first.size()));
    ExpectSame(DrawLabels(both), DrawLabels(Labels("^XA" + Size + c.AsIf + "^XZ")));
  }
}

}  // namespace
}  // namespace morvel
