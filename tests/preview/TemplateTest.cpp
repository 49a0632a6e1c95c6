// Templates of each language filled with hostile values and read back by
// the language's own reader: each value is printed as the text it is, and
// never becomes a command; what a place cannot hold is refused with the
// field named; templates a language cannot fill safely are refused.
#include "lang/Template.h"

#include <map>

#include <gtest/gtest.h>

#include "lang/Label.h"
#include "lang/Reading.h"

namespace morvel::lang {
namespace {

std::vector<std::string> Texts(const Job& job) {
  std::vector<std::string> texts;
  for (const Label& label : job.Labels)
    for (const Field& f : label.Fields)
      if (const auto* t = std::get_if<TextField>(&f)) texts.push_back(t->Utf8);
  return texts;
}

std::string Fill(const Template& t, const std::map<std::string, std::string>& values) {
  return FillTemplate(t, [&](std::string_view name) -> const std::string* {
    const auto it = values.find(std::string(name));
    return it == values.end() ? nullptr : &it->second;
  });
}

TEST(TemplateTest, ValuesArePrintedAsTheirTextInEveryLanguage) {
  const std::string esc = "\x1b";
  const struct {
    Language In;
    std::string Job;
    std::map<std::string, std::string> Values;
    std::vector<std::string> Texts;  // as the reader reads the filled job
  } rows[] = {
      // ^FH given to fields without one, with an indicator their text lacks
      // (_ in the first, # in the second, whose text holds a _).
      {Language::Zpl,
       "^XA^FO10,10^A0N,30,30^FD${name}^FS^FO10,50^A0N,30,30^FDSN _${serial}_^FS^XZ",
       {{"name", "^XZ~JR^XA^FDevil"}, {"serial", "A#1_~"}},
       {"^XZ~JR^XA^FDevil", "SN _A#1_~_"}},
      // A field with its own ^FH keeps its indicator and its escapes.
      {Language::Zpl, "^XA^FO10,10^A0N,30,30^FH^FD${x} _41^FS^XZ", {{"x", "_5E^"}}, {"_5E^ A"}},
      // A placeholder among parameters, and a literal "${".
      {Language::Zpl, "^XA^FO${x},10^A0N,30,30^FD$${x} ${y}^FS^XZ", {{"x", "25"}, {"y", "z"}}, {"${x} z"}},
      {Language::Sbpl,
       esc + "A" + esc + "%0" + esc + "H100" + esc + "V100" + esc + "RG0,6,2,030,030,${name}" + esc + "Q1" + esc + "Z",
       {{"name", "Case 7,8 ^~\"$"}},
       {"Case 7,8 ^~\"$"}},
      {Language::Tspl,
       "SIZE 50 mm,30 mm\r\nCLS\r\nTEXT 10,10,\"3\",0,1,1,\"${name}\"\r\nPRINT 1\r\n",
       {{"name", "He said \"hi\", 1,2"}},
       {"He said \"hi\", 1,2"}},
      {Language::Epl,
       "N\nA10,10,0,3,1,1,N,\"${name}\"\nP1\n",
       {{"name", "back\\slash \"q\", 3"}},
       {"back\\slash \"q\", 3"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Job);
    const Template t = CompileTemplate(row.In, row.Job);
    const std::string job = Fill(t, row.Values);
    const Job read = ReadJob(job, row.In, 203);
    ASSERT_EQ(read.Labels.size(), 1u) << job;
    EXPECT_EQ(Texts(read), row.Texts) << job;
  }
}

TEST(TemplateTest, WhatAPlaceCannotHoldIsRefusedWithItsField) {
  const struct {
    Language In;
    std::string Job;
    std::string Value;
    std::string Why;
  } rows[] = {
      {Language::Zpl, "^XA^FO${v},10^FDa^FS^XZ", "10,^XZ", "parameters cannot hold"},
      {Language::Zpl, "^XA^PQ${v}^XZ", "1~JR", "parameters cannot hold"},
      {Language::Sbpl,
       "\x1b"
       "A\x1bXM${v}\x1bZ",
       "a\x1bZ", "ESC"},
      {Language::Tspl, "TEXT 10,10,\"3\",0,1,1,\"${v}\"\r\n", "two\r\nlines", "line break"},
      {Language::Tspl, "TEXT ${v},10,\"3\",0,1,1,\"a\"\r\n", "10\"", "quote"},
      {Language::Epl, "A10,10,0,3,1,1,N,\"${v}\"\n", "a\nP9", "line break"},
      {Language::Epl, "A${v},10,0,3,1,1,N,\"a\"\n", "1,2", "comma"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Job);
    const Template t = CompileTemplate(row.In, row.Job);
    try {
      Fill(t, {{"v", row.Value}});
      ADD_FAILURE() << "filled";
    } catch (const FieldError& e) {
      EXPECT_EQ(e.Field, "v");
      EXPECT_NE(std::string(e.what()).find(row.Why), std::string::npos) << e.what();
    }
  }
  // A field the label lacks.
  EXPECT_THROW(Fill(CompileTemplate(Language::Zpl, "^XA^FD${missing}^FS^XZ"), {}), FieldError);
}

TEST(TemplateTest, TemplatesThatCannotBeFilledSafelyAreRefused) {
  const struct {
    Language In;
    std::string Job;
    std::string Why;
  } rows[] = {
      {Language::Zpl, "^XA^FD${name^FS^XZ", "no closing }"},
      {Language::Zpl, "^XA^FD${}^FS^XZ", "no name"},
      {Language::Zpl, "^XA^CC+^FD${a}+FS^XZ", "^CC"},
      {Language::Zpl, "^XA^FD_#|`! ${a}^FS^XZ", "every character"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Job);
    try {
      CompileTemplate(row.In, row.Job);
      ADD_FAILURE() << "compiled";
    } catch (const TemplateError& e) {
      EXPECT_NE(std::string(e.what()).find(row.Why), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(CompileTemplate(Language::Zpl, "^XA^FD${a}${b}^FS^FD${a}^FS^XZ").Names(),
            (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace morvel::lang
