// The C interface as a C host sees it, linked against the shipped
// libmorvel2.so: values in and out of members, by-reference write-back and
// its memory, every error kind, the thread's last error, callbacks, the
// printer list and pictures, and a whole label equal to the C++ API's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "morvel/morvel.h"
#include "morvel/morvel_members.h"
#include "morvel/version.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace fs = std::filesystem;

namespace {

// The process's folder: its printers' file: folders, removed at exit.
fs::path Folder() {
  static const morvel::testing::TempFolder folder("morvel-capi");
  return folder.Path();
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct Object {
  morvel_object* Handle = nullptr;
  explicit Object(const char* cls) { EXPECT_EQ(morvel_create(cls, &Handle), MORVEL_OK) << cls; }
  ~Object() { morvel_release(Handle); }
};

std::string Text(const morvel_value& v) {
  EXPECT_EQ(v.type, MORVEL_STRING);
  return v.type == MORVEL_STRING ? std::string(v.u.string.data, v.u.string.size) : std::string();
}

TEST(CApiValues, TextsAndListsComeBackAsTheyWent) {
  Object info("Morvel.PrintInfo");
  const char* const texts[] = {"zdesigner", "", "Zürich 東京 \xF0\x9F\x8F\xB7"};
  for (const char* text : texts) {
    morvel_value arg = morvel_string(text), result;
    ASSERT_EQ(morvel_invoke(info.Handle, "PrintPP", &arg, 1, &result), MORVEL_OK);
    EXPECT_EQ(result.type, MORVEL_EMPTY);
    ASSERT_EQ(morvel_invoke(info.Handle, "printpp", nullptr, 0, &result), MORVEL_OK);
    EXPECT_EQ(Text(result), text);
    EXPECT_EQ(result.u.string.data[result.u.string.size], '\0');
    morvel_value_clear(&result);
  }
  const char* keywords[] = {"t7 ", "t6 ", ""};
  morvel_value list = morvel_strings(keywords, 3), result;
  ASSERT_EQ(morvel_invoke(info.Handle, "PrintXH", &list, 1, nullptr), MORVEL_OK);
  ASSERT_EQ(morvel_invoke(info.Handle, "PrintXH", nullptr, 0, &result), MORVEL_OK);
  ASSERT_EQ(result.type, MORVEL_STRINGS);
  ASSERT_EQ(result.u.strings.count, 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_STREQ(result.u.strings.items[i], keywords[i]);
  morvel_free(const_cast<char**>(result.u.strings.items));
}

TEST(CApiValues, BytesRoundTripThroughBase64) {
  Object codec("clsBase64");
  const std::vector<std::vector<uint8_t>> cases = {
      {0}, {0, 0, 0}, {0xFF, 0xFE}, {'M', 'a', 'n'}, std::vector<uint8_t>(1000, 0xA5)};
  for (const auto& bytes : cases) {
    morvel_value in = morvel_bytes(bytes.data(), bytes.size()), text, out;
    ASSERT_EQ(morvel_b64_base64encode(codec.Handle, bytes.data(), bytes.size(), nullptr), MORVEL_OK);
    ASSERT_EQ(morvel_invoke(codec.Handle, "Base64Encode", &in, 1, &text), MORVEL_OK);
    ASSERT_EQ(morvel_invoke(codec.Handle, "Base64Decode", &text, 1, &out), MORVEL_OK);
    ASSERT_EQ(out.type, MORVEL_BYTES);
    EXPECT_EQ(std::vector<uint8_t>(out.u.bytes.data, out.u.bytes.data + out.u.bytes.size), bytes);
    morvel_value_clear(&text);
    morvel_value_clear(&out);
  }
}

TEST(CApiWriteBack, OnlyVariablesOfByRefParametersReceiveTheMembersValue) {
  Object pb("PrintBarCode");
  // GetDot(ByRef pixels As Single): a variable of another type comes back
  // in the parameter's own type, a value that is no variable stays as it was.
  morvel_value asText = morvel_ref(morvel_string("96")), result;
  ASSERT_EQ(morvel_invoke(pb.Handle, "GetDot", &asText, 1, &result), MORVEL_OK);
  EXPECT_EQ(asText.type, MORVEL_DOUBLE);
  EXPECT_EQ(asText.u.number, 96.0);
  EXPECT_EQ(asText.flags, unsigned(MORVEL_REF));
  const char* name = "ZDesigner GK420t";
  morvel_value plain = morvel_string(name);
  ASSERT_EQ(morvel_invoke(pb.Handle, "SetPrint", &plain, 1, &result), MORVEL_OK);
  EXPECT_EQ(plain.u.string.data, name);
  EXPECT_EQ(result.type, MORVEL_INTEGER);
  EXPECT_EQ(result.u.integer, 0);
  // A text variable is written back twice: the first copy is freed by the
  // second (ASan sees a leak or a double free otherwise).
  morvel_value variable = morvel_ref(morvel_string(name));
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(morvel_invoke(pb.Handle, "SetPrint", &variable, 1, nullptr), MORVEL_OK);
    EXPECT_EQ(Text(variable), name);
    EXPECT_NE(variable.u.string.data, name);
    EXPECT_EQ(variable.flags, unsigned(MORVEL_REF | MORVEL_OWNED));
  }
  morvel_value_clear(&variable);
  EXPECT_EQ(variable.type, MORVEL_EMPTY);

  // clsBase64.LoadFile fills the caller's byte array.
  Object codec("clsBase64");
  std::string path = (Folder() / "bytes.bin").string();
  std::ofstream(path, std::ios::binary) << std::string("\0\1\2zz", 5);
  morvel_value args[] = {morvel_string(path.c_str()), morvel_ref(morvel_bytes(nullptr, 0))};
  ASSERT_EQ(morvel_invoke(codec.Handle, "LoadFile", args, 2, nullptr), MORVEL_OK);
  ASSERT_EQ(args[1].type, MORVEL_BYTES);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(args[1].u.bytes.data), args[1].u.bytes.size),
            std::string("\0\1\2zz", 5));
  morvel_value_clear(&args[1]);
}

TEST(CApiErrors, EveryKindHasItsCodeNumberAndHResult) {
  Object pb("PrintBarCode");
  morvel_object* none = nullptr;
  morvel_value text = morvel_string("abc"), huge = morvel_double(1e300), odd = morvel_integer(1);
  odd.type = 42;
  morvel_value four[] = {morvel_double(1), morvel_double(2), morvel_double(3), morvel_double(4)};
  morvel_value font[] = {text, morvel_double(1), morvel_string("A"), morvel_double(12), morvel_string("F")};
  morvel_value overflow[] = {huge, morvel_double(1), morvel_string("A"), morvel_double(12), morvel_string("F")};
  morvel_picture* picture = nullptr;
  struct Case {
    const char* What;
    std::function<int()> Call;
    int Number;
    const char* Says;
  } cases[] = {
      {"class", [&] { return morvel_create("Morvel.NoSuchClass", &none); }, 429, "NoSuchClass"},
      {"member", [&] { return morvel_invoke(pb.Handle, "PrintFonts", nullptr, 0, nullptr); }, 438, "PrintFonts"},
      {"id", [&] { return morvel_invoke_id(pb.Handle, 12345, nullptr, 0, nullptr); }, 438, "12345"},
      {"count", [&] { return morvel_invoke(pb.Handle, "PrintFont", four, 4, nullptr); }, 450, ""},
      {"not a number", [&] { return morvel_invoke(pb.Handle, "PrintFont", font, 5, nullptr); }, 13, ""},
      {"overflow", [&] { return morvel_invoke(pb.Handle, "PrintFont", overflow, 5, nullptr); }, 6, ""},
      {"no driver", [&] { return morvel_invoke(pb.Handle, "ClosePort", nullptr, 0, nullptr); }, 91, ""},
      {"no object", [&] { return morvel_invoke(nullptr, "GetVer", nullptr, 0, nullptr); }, 5, "no object"},
      {"no type", [&] { return morvel_invoke(pb.Handle, "SetPrint", &odd, 1, nullptr); }, 5, "argument 1"},
      {"no events", [&] { return morvel_set_event_handler(pb.Handle, nullptr, nullptr); }, 438, "no events"},
      {"no picture", [&] { return morvel_picture_decode("BM", 2, &picture); }, 481, ""},
  };
  for (const Case& c : cases) {
    int code = c.Call();
    const morvel_error* e = morvel_last_error();
    // Bad handles, pointers and tags are the caller's mistakes; the rest
    // are what the members raised.
    EXPECT_EQ(code, c.Number == 5 ? MORVEL_E_ARGUMENT : MORVEL_E_AUTOMATION) << c.What;
    EXPECT_EQ(e->number, c.Number) << c.What << ": " << e->description;
    EXPECT_EQ(e->hresult, 0x800A0000u + unsigned(c.Number)) << c.What;
    EXPECT_NE(std::string(e->description).find(c.Says), std::string::npos) << c.What << ": " << e->description;
  }
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(picture, nullptr);
}

TEST(CApiErrors, TheLastErrorBelongsToItsThread) {
  Object pb("PrintBarCode");
  ASSERT_EQ(morvel_invoke(pb.Handle, "NoSuchMember", nullptr, 0, nullptr), MORVEL_E_AUTOMATION);
  std::thread other([] {
    EXPECT_EQ(morvel_last_error()->number, 0);
    EXPECT_EQ(morvel_create("Nothing", nullptr), MORVEL_E_ARGUMENT);
    EXPECT_EQ(morvel_last_error()->number, 5);
  });
  other.join();
  EXPECT_EQ(morvel_last_error()->number, 438);
  // A success leaves the last failure readable.
  ASSERT_EQ(morvel_invoke(pb.Handle, "GetVer", nullptr, 0, nullptr), MORVEL_OK);
  EXPECT_EQ(morvel_last_error()->number, 438);
}

struct Heard {
  std::vector<std::string> Messages;
  std::vector<double> Percentages;
  const char* LeaveText = nullptr;
};

TEST(CApiCallbacks, MessageBoxesAndEncodeJDReachTheHandlers) {
  Heard heard;
  ASSERT_EQ(morvel_set_message_handler(
                [](void* user, const char* caption, const char* text) {
                  static_cast<Heard*>(user)->Messages.push_back(std::string(caption) + "|" + text);
                },
                &heard),
            MORVEL_OK);
  {
    Object pb("PrintBarCode");
    morvel_value name = morvel_string("Orx Nowhere");
    ASSERT_EQ(morvel_invoke(pb.Handle, "SetPrint", &name, 1, nullptr), MORVEL_OK);
    ASSERT_EQ(morvel_invoke(pb.Handle, "OpenPort", &name, 1, nullptr), MORVEL_OK);
  }
  ASSERT_EQ(morvel_set_message_handler(nullptr, nullptr), MORVEL_OK);
  EXPECT_EQ(heard.Messages, std::vector<std::string>{"Error Message|Printer Driver is not been specified"});

  Object codec("clsBase64");
  auto handler = [](void* user, morvel_object*, const char* event, morvel_value* args, size_t nargs) {
    auto* h = static_cast<Heard*>(user);
    EXPECT_STREQ(event, "EncodeJD");
    ASSERT_EQ(nargs, 1u);
    ASSERT_EQ(args[0].type, MORVEL_DOUBLE);
    h->Percentages.push_back(args[0].u.number);
    if (h->LeaveText != nullptr) args[0] = morvel_ref(morvel_string(h->LeaveText));
  };
  ASSERT_EQ(morvel_set_event_handler(codec.Handle, handler, &heard), MORVEL_OK);
  std::vector<uint8_t> bytes(300, 7);
  ASSERT_EQ(morvel_b64_base64encode(codec.Handle, bytes.data(), bytes.size(), nullptr), MORVEL_OK);
  EXPECT_EQ(heard.Percentages, (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0}));
  // What the handler leaves is read back as the Currency it stands for.
  heard.LeaveText = "no number";
  EXPECT_EQ(morvel_b64_base64encode(codec.Handle, bytes.data(), bytes.size(), nullptr), MORVEL_E_AUTOMATION);
  EXPECT_EQ(morvel_last_error()->number, 13);
}

TEST(CApiPrinters, TheListIsTheConfiguredOne) {
  morvel_printer* list;
  size_t count;
  ASSERT_EQ(morvel_printers(&list, &count), MORVEL_OK);
  ASSERT_EQ(count, 6u);
  EXPECT_STREQ(list[0].name, "ZDesigner GK420t");
  EXPECT_EQ(list[0].dpi, 203);
  EXPECT_EQ(list[0].uri, "file:" + (Folder() / "c").string());
  EXPECT_STREQ(list[2].name, "SATO CL4NX 305dpi");
  EXPECT_EQ(list[2].dpi, 305);
  morvel_free(list);
  EXPECT_STREQ(morvel_version(), MORVEL_VERSION);
}

TEST(CApiPictures, DecodedImagesHaveTheirSize) {
  // A 2 x 1 24-bit BMP, written by hand from the BMP file layout.
  const uint8_t bmp[] = {'B',  'M',  62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0,   0,   40,  0, 0, 0,    2,    0, 0,
                         0,    1,    0,  0, 0, 1, 0, 24, 0, 0, 0,  0, 0,   8,   0,   0, 0, 0x13, 0x0B, 0, 0,
                         0x13, 0x0B, 0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 255, 255, 255, 0, 0, 0,    0,    0};
  morvel_picture* picture;
  ASSERT_EQ(morvel_picture_decode(bmp, sizeof bmp, &picture), MORVEL_OK);
  int32_t width = 0, height = 0;
  ASSERT_EQ(morvel_picture_size(picture, &width, &height), MORVEL_OK);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  morvel_picture_release(picture);
  EXPECT_EQ(morvel_picture_load((Folder() / "missing.bmp").c_str(), &picture), MORVEL_E_AUTOMATION);
  EXPECT_EQ(morvel_last_error()->number, 53);
  EXPECT_EQ(picture, nullptr);
}

// A document through the C interface: a picture as an Orx label; options
// and documents it refuses.
TEST(CApiDocuments, APictureBecomesTheOrxPrintersLabel) {
  // A 2 x 1 24-bit BMP (black, white), written by hand from the BMP file layout.
  const uint8_t bmp[] = {'B',  'M',  62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0,   0,   40,  0, 0, 0,    2,    0, 0,
                         0,    1,    0,  0, 0, 1, 0, 24, 0, 0, 0,  0, 0,   8,   0,   0, 0, 0x13, 0x0B, 0, 0,
                         0x13, 0x0B, 0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 255, 255, 255, 0, 0, 0,    0,    0};
  const std::string picture(reinterpret_cast<const char*>(bmp), sizeof bmp);
  int32_t pages = 0;
  ASSERT_EQ(morvel_print_document("orx documents", picture.data(), picture.size(), "width=101.6 height=152.4 copies=2",
                                  &pages),
            MORVEL_OK)
      << morvel_last_error()->description;
  EXPECT_EQ(pages, 1);
  std::vector<fs::path> sent(fs::directory_iterator(Folder() / "docs"), fs::directory_iterator());
  ASSERT_EQ(sent.size(), 1u);
  const std::string job = Read(sent[0]);
  EXPECT_EQ(job.rfind("SIZE 101.60 mm,152.40 mm\r\nCLS\r\nBITMAP ", 0), 0u) << job.substr(0, 40);
  EXPECT_NE(job.find("PRINT 1,2\r\n"), std::string::npos);

  EXPECT_EQ(morvel_print_document("orx documents", picture.data(), picture.size(), "copies=1000", nullptr),
            MORVEL_E_ARGUMENT);
  EXPECT_EQ(morvel_last_error()->number, 5);
  EXPECT_STREQ(morvel_last_error()->description, "'copies=1000' is not a value that option takes");
  // The option words read as the command reads them, labels bounded.
  for (const char* words : {"fit actual", "width=0x50", "copies=+2", "copies=999 pages=1,1,1,1,1,1,1,1,1,1,1"})
    EXPECT_EQ(morvel_print_document("orx documents", picture.data(), picture.size(), words, nullptr), MORVEL_E_ARGUMENT)
        << words;
  EXPECT_NE(std::string(morvel_last_error()->description).find("a request prints at most 10,000"), std::string::npos);
  EXPECT_EQ(morvel_print_document("orx documents", "%PDF-1.4 cut", 12, nullptr, nullptr), MORVEL_E_AUTOMATION);
  EXPECT_EQ(std::string(morvel_last_error()->description).rfind("not a PDF that can be read", 0), 0u);
  EXPECT_TRUE(std::string(morvel_last_error()->description).ends_with("; nothing sent"));
  EXPECT_EQ(morvel_print_document("orx documents", "", 0, nullptr, &pages), MORVEL_E_AUTOMATION);
  EXPECT_STREQ(morvel_last_error()->description, "the document is empty; nothing sent");
  EXPECT_EQ(pages, 0);
  EXPECT_EQ(morvel_print_document("nobody", picture.data(), picture.size(), nullptr, nullptr), MORVEL_E_AUTOMATION);
  EXPECT_EQ(morvel_print_document(nullptr, picture.data(), picture.size(), nullptr, nullptr), MORVEL_E_ARGUMENT);
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder() / "docs"), fs::directory_iterator()), 1);
}

// EPC numbers: each form in and out, the texts the caller frees, and
// refused input as an argument error naming its rule, with nothing to free.
TEST(CApiEpc, EncodesDecodesAndRefusesWithTheRule) {
  const struct {
    const char *Input, *Scheme;
    int Filter, PrefixLength;
    const char* Hex;  // null: refused, the error's description holding Rule
    const char* Rule;
  } cases[] = {
      {"urn:epc:tag:sgtin-96:3.0614141.812345.6789", nullptr, 5, 9, "3074257BF7194E4000001A85", nullptr},
      {"(01)80614141123458(21)6789", "SGTIN-96", 3, 7, "3074257BF7194E4000001A85", nullptr},
      {"urn:epc:id:sscc:0614141.1234567890", "sscc-96", 0, 0, "3114257BF4499602D2000000", nullptr},
      {"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944", nullptr, 0, 0, nullptr, "over 2^38-1"},
      {"(01)80614141123458(21)6789", "SGTIN-96", 3, 0, nullptr, "prefix"},
      {"urn:epc:id:sgtin:0614141.812345.6789", "SGTIN-96", 8, 0, nullptr, "filter 8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    char* hex = nullptr;
    const int rc = morvel_epc_encode(c.Input, c.Scheme, c.Filter, c.PrefixLength, &hex);
    if (c.Hex == nullptr) {
      EXPECT_EQ(rc, MORVEL_E_ARGUMENT);
      EXPECT_EQ(hex, nullptr);
      EXPECT_EQ(morvel_last_error()->number, 5);
      EXPECT_NE(std::string(morvel_last_error()->description).find(c.Rule), std::string::npos)
          << morvel_last_error()->description;
      continue;
    }
    ASSERT_EQ(rc, MORVEL_OK) << morvel_last_error()->description;
    EXPECT_STREQ(hex, c.Hex);
    char *tag = nullptr, *element = nullptr;
    ASSERT_EQ(morvel_epc_decode(hex, &tag, nullptr, &element), MORVEL_OK);
    char* again = nullptr;
    ASSERT_EQ(morvel_epc_encode(tag, nullptr, 0, 0, &again), MORVEL_OK);
    EXPECT_STREQ(again, c.Hex);
    EXPECT_EQ(element[0], '(');
    for (char* text : {hex, tag, element, again}) morvel_free(text);
  }
  char *tag = nullptr, *pure = nullptr, *element = nullptr;
  EXPECT_EQ(morvel_epc_decode("3074257BF7194E4000001A", &tag, &pure, &element), MORVEL_E_ARGUMENT);
  EXPECT_EQ(tag, nullptr);
  EXPECT_EQ(pure, nullptr);
  EXPECT_EQ(element, nullptr);
  EXPECT_EQ(morvel_epc_encode(nullptr, nullptr, 0, 0, &tag), MORVEL_E_ARGUMENT);
  EXPECT_EQ(morvel_epc_decode("3074257BF7194E4000001A85", nullptr, nullptr, nullptr), MORVEL_OK);
}

// The printer's word on each RFID label, once, in one block: a file:
// printer cannot answer, so its labels are unknown and say why; an object
// that is no PrintBarCode has none to give.
TEST(CApiTags, ResultsOfTheLabelsSinceTheLastCall) {
  const char* printer = "ZDesigner ZT410R-300dpi ZPL";
  Object pb("PrintBarCode");
  int16_t chosen = -1;
  ASSERT_EQ(morvel_pb_setprint(pb.Handle, printer, &chosen), MORVEL_OK);
  ASSERT_EQ(morvel_pb_openport(pb.Handle, printer), MORVEL_OK);
  ASSERT_EQ(morvel_pb_oprfid(pb.Handle, "W", "3074257BF7194E4000001A85", "H", "", "", ""), MORVEL_OK);
  ASSERT_EQ(morvel_pb_printlabel(pb.Handle, "2"), MORVEL_OK);
  morvel_tag_result* results = nullptr;
  size_t count = 0;
  ASSERT_EQ(morvel_tag_results(pb.Handle, &results, &count), MORVEL_OK);
  ASSERT_EQ(count, 2u);
  for (size_t k = 0; k < count; ++k) {
    EXPECT_EQ(results[k].label, k + 1);
    EXPECT_EQ(results[k].state, MORVEL_TAG_UNKNOWN);
    EXPECT_STREQ(results[k].epc, "");
    EXPECT_NE(std::string(results[k].reason).find("carries no answer back"), std::string::npos) << results[k].reason;
  }
  morvel_free(results);
  ASSERT_EQ(morvel_tag_results(pb.Handle, &results, &count), MORVEL_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(results, nullptr);
  Object codec("clsBase64");
  EXPECT_EQ(morvel_tag_results(codec.Handle, &results, &count), MORVEL_E_ARGUMENT);
  ASSERT_EQ(morvel_pb_closeport(pb.Handle), MORVEL_OK);
}

TEST(CApiLabels, TheTypedCallsWriteTheJobOfTheCxxApi) {
  // The same label on two file: printers, once through the C interface and
  // once through the C++ classes; the jobs must be equal byte for byte.
  struct Brand {
    const char* C;
    const char* Cxx;
  } brands[] = {{"ZDesigner GK420t", "ZDesigner GK420t copy"}, {"SATO CL4NX 305dpi", "SATO CL4NX 305dpi copy"}};
  for (const Brand& brand : brands) {
    Object pb("PrintBarCode");
    int16_t chosen = -1;
    ASSERT_EQ(morvel_pb_setprint(pb.Handle, brand.C, &chosen), MORVEL_OK);
    ASSERT_EQ(chosen, 0);
    ASSERT_EQ(morvel_pb_openport(pb.Handle, brand.C), MORVEL_OK);
    ASSERT_EQ(morvel_pb_initprint(pb.Handle, "60", "40", "4", "10", "2", "1", "0"), MORVEL_OK);
    ASSERT_EQ(morvel_pb_printfont(pb.Handle, 10, 20, "ABC", 12, "F1.TTF"), MORVEL_OK);
    ASSERT_EQ(morvel_pb_printbar(pb.Handle, 10, 100, 200, 2), MORVEL_OK);
    ASSERT_EQ(morvel_pb_printcode(pb.Handle, 10, 50, "12345678", "128", "1", 50, "1", "3"), MORVEL_OK);
    ASSERT_EQ(morvel_pb_printlabel(pb.Handle, "2"), MORVEL_OK);
    ASSERT_EQ(morvel_pb_closeport(pb.Handle), MORVEL_OK);

    morvel::PrintBarCode cxx;
    ASSERT_EQ(cxx.SetPrint(brand.Cxx), 0);
    cxx.OpenPort(brand.Cxx);
    cxx.InitPrint(60, 40, 4, 10, 2, 1, 0);
    cxx.PrintFont(10, 20, "ABC", 12, "F1.TTF");
    cxx.PrintBar(10, 100, 200, 2);
    cxx.PrintCode(10, 50, "12345678", "128", "1", 50, "1", "3");
    cxx.PrintLabel(2);
    cxx.ClosePort();
  }
  std::vector<std::string> c, cxx;
  for (const auto& entry : fs::directory_iterator(Folder() / "c")) c.push_back(Read(entry.path()));
  for (const auto& entry : fs::directory_iterator(Folder() / "cpp")) cxx.push_back(Read(entry.path()));
  std::sort(c.begin(), c.end());
  std::sort(cxx.begin(), cxx.end());
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c, cxx);
  EXPECT_NE(c[0].find("ABC"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path folder = Folder();
  // Each label through the C interface goes to c/, through the C++ classes
  // to cpp/; documents to docs/.
  const std::string printers =
      morvel::testing::WritePrinters(folder, {{"ZDesigner GK420t", "file:c"},
                                              {"ZDesigner GK420t", "file:cpp", {}, "ZDesigner GK420t copy"},
                                              {"SATO CL4NX 305dpi", "file:c"},
                                              {"SATO CL4NX 305dpi", "file:cpp", {}, "SATO CL4NX 305dpi copy"},
                                              {"Orx TE200", "file:docs", {}, "Orx documents"},
                                              {"ZDesigner ZT410R-300dpi ZPL", "file:rfid"}});
  setenv("MORVEL_PRINTERS", printers.c_str(), 1);
  setenv("MORVEL_CUPS", "0", 1);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
