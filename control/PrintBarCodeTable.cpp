// The automation table of PrintBarCode and PrintInfo: members in interface
// order with their dispatch ids, parameters and result types, each bound to
// the C++ member of the same name.
#include <array>

#include "control/Dispatch.h"
#include "morvel/PrintBarCode.h"
#include "morvel/PrintInfo.h"

namespace morvel::automation {
namespace {

using Args = std::span<Variant>;
constexpr auto M = MemberKind::Method;
constexpr auto G = MemberKind::PropertyGet;
constexpr auto P = MemberKind::PropertyPut;
constexpr auto S = VarType::String;
constexpr auto F = VarType::Single;
constexpr auto I = VarType::Integer;
constexpr auto B = VarType::Boolean;
constexpr auto O = VarType::Object;
constexpr auto E = VarType::Empty;

String& Str(Args a, size_t i) { return a[i].Get<String>(); }
Single& Sng(Args a, size_t i) { return a[i].Get<Single>(); }

ParamInfo Ref(std::string_view name, VarType type) { return ParamInfo{name, type, true}; }
ParamInfo Val(std::string_view name, VarType type) { return ParamInfo{name, type, false}; }

std::vector<ParamInfo> Refs(std::initializer_list<std::string_view> names, VarType type) {
  std::vector<ParamInfo> params;
  for (auto n : names) params.push_back(Ref(n, type));
  return params;
}

std::vector<ParamInfo> ImageParams(ParamInfo first) {
  return {first, Val("x", F), Val("y", F), Val("width", F), Val("height", F)};
}

struct Row {
  MemberInfo Info;
  Thunk<PrintBarCode> Call;
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {{"GetVer", 0x60030002, M, {}, S, "The control's version, as major.minor.patch."},
       [](PrintBarCode& o, Args) -> Variant { return o.GetVer(); }},
      {{"GetDot",
        0x60030003,
        M,
        {Ref("pixels", F)},
        I,
        "Screen pixels in dots of the printer chosen by SetPrint (0 before)."},
       [](PrintBarCode& o, Args a) -> Variant { return o.GetDot(Sng(a, 0)); }},
      {{"textHeight",
        0x60030004,
        M,
        {Ref("strbuf", S), Ref("fontName", S), Ref("FontSize", F), Ref("FontBold", B)},
        F,
        "Height of the text in screen pixels in a font of FontSize points."},
       [](PrintBarCode& o, Args a) -> Variant {
         return o.textHeight(Str(a, 0), Str(a, 1), Sng(a, 2), a[3].Get<Boolean>());
       }},
      {{"TextWidth",
        0x60030005,
        M,
        {Ref("strbuf", S), Ref("fontName", S), Ref("FontSize", F), Ref("FontBold", B)},
        F,
        "Width of the text's widest line in screen pixels in a font of FontSize points."},
       [](PrintBarCode& o, Args a) -> Variant {
         return o.TextWidth(Str(a, 0), Str(a, 1), Sng(a, 2), a[3].Get<Boolean>());
       }},
      {{"GetPrintList", 0x60030006, M, {}, S, "The installed printers a brand keyword recognises, joined by \"|\"."},
       [](PrintBarCode& o, Args) -> Variant { return o.GetPrintList(); }},
      {{"SetPrint",
        0x60030007,
        M,
        {Ref("printerName", S)},
        I,
        "Chooses the printer and its brand's driver: 0 when chosen, 1 when no brand matches the name."},
       [](PrintBarCode& o, Args a) -> Variant { return o.SetPrint(Str(a, 0)); }},
      {{"OpenPort",
        0x60030008,
        M,
        {Ref("printerName", S)},
        E,
        "Opens the printer for this job (the spooler brands start a document)."},
       [](PrintBarCode& o, Args a) -> Variant { return o.OpenPort(Str(a, 0)), Variant(); }},
      {{"ClosePort", 0x60030009, M, {}, E, "Ends the document and closes the printer."},
       [](PrintBarCode& o, Args) -> Variant { return o.ClosePort(), Variant(); }},
      {{"PrintLabel",
        0x6003000A,
        M,
        {Ref("copies", S)},
        E,
        "Prints the label composed since InitPrint copies times and starts a new one."},
       [](PrintBarCode& o, Args a) -> Variant { return o.PrintLabel(Str(a, 0)), Variant(); }},
      {{"SendCmd",
        0x6003000B,
        M,
        {Ref("cmd", S)},
        E,
        "Raw printer language: Zebra and SATO add it to the label, Orx sends it at once, Dothan ignores it."},
       [](PrintBarCode& o, Args a) -> Variant { return o.SendCmd(Str(a, 0)), Variant(); }},
      {{"InitPrint", 0x6003000C, M, Refs({"wide", "height", "speed", "nd", "cz", "sp", "direction"}, S), E,
        "Starts a label: width and height in mm, speed, darkness, home offsets down and across in mm, orientation (0 "
        "normal)."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.InitPrint(Str(a, 0), Str(a, 1), Str(a, 2), Str(a, 3), Str(a, 4), Str(a, 5), Str(a, 6));
         return Variant();
       }},
      {{"PrintFont",
        0x6003000D,
        M,
        {Ref("x", F), Ref("y", F), Ref("txt", S), Ref("height", F), Ref("fontName", S)},
        E,
        "Text at x, y (screen pixels), height in points; fontName is a printer font (FontType 1) or a system font "
        "(0)."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.PrintFont(Sng(a, 0), Sng(a, 1), Str(a, 2), Sng(a, 3), Str(a, 4));
         return Variant();
       }},
      {{"PrintBar", 0x6003000E, M, Refs({"x", "y", "width", "height"}, F), E,
        "A box (Zebra), line (SATO), bar (Orx) or line to x+width, y+height (Dothan); screen pixels."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.PrintBar(Sng(a, 0), Sng(a, 1), Sng(a, 2), Sng(a, 3));
         return Variant();
       }},
      {{"PrintCode",
        0x6003000F,
        M,
        {Ref("x", F), Ref("y", F), Ref("code", S), Ref("codeType", S), Ref("Readable", S), Ref("height", F),
         Ref("zBar", S), Ref("kBar", S)},
        E,
        "Barcode at x, y: codeType \"128\" (Code 128) or \"QRCODE\"; Readable \"1\" adds the text line; zBar, kBar "
        "narrow and wide bar."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.PrintCode(Sng(a, 0), Sng(a, 1), Str(a, 2), Str(a, 3), Str(a, 4), Sng(a, 5), Str(a, 6), Str(a, 7));
         return Variant();
       }},
      {{"CommandPrint",
        0x68030001,
        G,
        {},
        S,
        "The printer language collected so far (Zebra: this label; SATO: everything; others empty)."},
       [](PrintBarCode& o, Args) -> Variant { return o.CommandPrint(); }},
      {{"FontType",
        0x68030000,
        G,
        {},
        I,
        "1 when fontName names a printer font (Zebra, SATO), 0 for a system font (Orx, Dothan)."},
       [](PrintBarCode& o, Args) -> Variant { return o.FontType(); }},
      {{"RFIDType", 0x68030010, G, {}, I, "1 on an RFID model, 0 otherwise, -1 before SetPrint."},
       [](PrintBarCode& o, Args) -> Variant { return o.RFIDType(); }},
      {{"InitRFID", 0x60030011, M, Refs({"labelType", "backfeed", "readPower", "writePower", "wire", "tryNum"}, S), E,
        "Sets up RFID encoding for the next labels (Zebra only; others accept and ignore it)."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.InitRFID(Str(a, 0), Str(a, 1), Str(a, 2), Str(a, 3), Str(a, 4), Str(a, 5));
         return Variant();
       }},
      {{"OpRFID", 0x60030012, M, Refs({"operate", "data", "dataType", "dataLen", "startAddress", "section"}, S), E,
        "Reads or writes tag memory as part of the label (Zebra, SATO)."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.OpRFID(Str(a, 0), Str(a, 1), Str(a, 2), Str(a, 3), Str(a, 4), Str(a, 5));
         return Variant();
       }},
      {{"PrintList",
        0x60030014,
        M,
        {Ref("vNewValue", S)},
        E,
        "Adds brands to the catalogue: \"key:keyword,keyword|...\", as \"zdesigner:zdesigner \"."},
       [](PrintBarCode& o, Args a) -> Variant { return o.PrintList(Str(a, 0)), Variant(); }},
      {{"DrawImageFromFile", 0x60030016, M, ImageParams(Val("imageFile", S)), E,
        "Image file (BMP, PNG, JPEG, GIF) at x, y; SATO, Orx, Dothan (Zebra places nothing)."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.DrawImageFromFile(Str(a, 0), Sng(a, 1), Sng(a, 2), Sng(a, 3), Sng(a, 4));
         return Variant();
       }},
      {{"DrawImageFromBase64", 0x60030017, M, ImageParams(Val("imageBase64", S)), E,
        "As DrawImageFromFile, the file's bytes given as Base64 text."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.DrawImageFromBase64(Str(a, 0), Sng(a, 1), Sng(a, 2), Sng(a, 3), Sng(a, 4));
         return Variant();
       }},
      {{"DrawImageFromPicture", 0x60030018, M, ImageParams(Val("pic", O)), E,
        "As DrawImageFromFile, the image given as a picture (@PATH in a script)."},
       [](PrintBarCode& o, Args a) -> Variant {
         o.DrawImageFromPicture(a[0].Get<PictureRef>(), Sng(a, 1), Sng(a, 2), Sng(a, 3), Sng(a, 4));
         return Variant();
       }},
      // The second interface: members added after the first was published,
      // in their own dispatch id range.
      {{"TagResults",
        0x60040000,
        M,
        {},
        S,
        "The printer's word on the RFID tag of each label printed since the last call, a line each joined by CR "
        "LF: \"label N written EPC\", or void or unknown, a tab and why.",
        2},
       [](PrintBarCode& o, Args) -> Variant { return o.TagResults(); }},
      {{"EpcEncode",
        0x60040001,
        M,
        {Val("Input", S), Val("Scheme", S), Val("Filter", I), Val("PrefixLength", I)},
        S,
        "An RFID tag's EPC in hexadecimal: Input a tag URI when Scheme is empty, else an element string or "
        "pure-identity URI in Scheme (SGTIN-96...) with Filter and company PrefixLength.",
        2},
       [](PrintBarCode& o, Args a) -> Variant {
         return o.EpcEncode(Str(a, 0), Str(a, 1), a[2].Get<Integer>(), a[3].Get<Integer>());
       }},
      {{"EpcDecode",
        0x60040002,
        M,
        {Val("Hex", S)},
        S,
        "The tag URI, pure-identity URI and GS1 element string of a hexadecimal EPC, joined by CR LF.",
        2},
       [](PrintBarCode& o, Args a) -> Variant { return o.EpcDecode(Str(a, 0)); }},
  };
  return rows;
}

const std::vector<Thunk<PrintBarCode>>& Thunks() {
  static const std::vector<Thunk<PrintBarCode>> thunks = [] {
    std::vector<Thunk<PrintBarCode>> t;
    for (const Row& r : Rows()) t.push_back(r.Call);
    return t;
  }();
  return thunks;
}

const std::array<Thunk<PrintInfo>, 4>& InfoThunks() {
  static const std::array<Thunk<PrintInfo>, 4> thunks = {
      [](PrintInfo& o, Args) -> Variant { return o.PrintPP; },
      [](PrintInfo& o, Args a) -> Variant { return o.PrintPP = a[0].Get<String>(), Variant(); },
      [](PrintInfo& o, Args) -> Variant { return o.PrintXH; },
      [](PrintInfo& o, Args a) -> Variant { return o.PrintXH = a[0].Get<std::vector<String>>(), Variant(); },
  };
  return thunks;
}

}  // namespace

const ClassInfo& PrintBarCodeClass() {
  static const ClassInfo cls = [] {
    ClassInfo c{"PrintBarCode",
                "_PrintBarCode",
                true,
                {},
                {},
                "The label control: choose a printer, compose labels in screen pixels, points and mm, print them."};
    for (const Row& r : Rows()) c.Members.push_back(r.Info);
    return c;
  }();
  return cls;
}

const ClassInfo& PrintInfoClass() {
  static const ClassInfo cls{
      "PrintInfo",
      "_PrintInfo",
      false,
      {
          {"PrintPP", 0x40030000, G, {}, S, "The brand key (orx, zdesigner, dothan, sato)."},
          {"PrintPP", 0x40030000, P, {Val("value", S)}, E, "Sets the brand key."},
          {"PrintXH",
           0x40030001,
           G,
           {},
           VarType::StringArray,
           "The printer-name keywords of the brand, each ending in a blank."},
          {"PrintXH", 0x40030001, P, {Val("value", VarType::StringArray)}, E, "Sets the name keywords."},
      },
      {},
      "A brand of the printer catalogue (made by the control; PrintList adds brands)."};
  return cls;
}

Variant Invoke(PrintBarCode& object, std::string_view name, std::span<Variant> args) {
  const ClassInfo& cls = PrintBarCodeClass();
  return Dispatch<PrintBarCode>(object, cls, Thunks(), FindMember(cls, name), args);
}

Variant Invoke(PrintBarCode& object, int32_t dispId, std::span<Variant> args) {
  const ClassInfo& cls = PrintBarCodeClass();
  return Dispatch<PrintBarCode>(object, cls, Thunks(), FindMember(cls, dispId), args);
}

Variant Invoke(PrintInfo& object, std::string_view name, std::span<Variant> args, MemberKind kind) {
  const ClassInfo& cls = PrintInfoClass();
  return Dispatch<PrintInfo>(object, cls, InfoThunks(), FindMember(cls, name, kind), args);
}

}  // namespace morvel::automation
