// The control object: catalogue, driver choice, text extents, forwarding.
#include "morvel/PrintBarCode.h"

#include "codec/epc/Epc.h"
#include "drivers/Brands.h"
#include "drivers/IPrn.h"
#include "drivers/Units.h"
#include "morvel/version.h"
#include "platform/guard.h"
#include "platform/services.h"
#include "platform/text_case.h"

#include <unordered_set>
#include <utility>

namespace morvel {

const char16_t* const PrintBarCode::DefaultBrandTable = drivers::DefaultCatalogue().c_str();

PrintBarCode::PrintBarCode() {
  String table = drivers::DefaultCatalogue();
  PrintList(table);
}

// A host that ends without ClosePort would leave its document unfinished
// (a file: document never published, a socket job never ended), losing the
// labels it printed; the control closes what its driver opened instead.
PrintBarCode::~PrintBarCode() {
  if (!currentDriver_ || !openPort_) return;
  platform::Logger().Record(std::string(currentDriver_->Family()) + ": closed the port of '" + ToUtf8(*openPort_) +
                            "' that the host left open");
  try {
    currentDriver_->ClosePort();
  } catch (...) {
    // A destructor reports nothing more; the log has the line above.
  }
}

IPrn& PrintBarCode::Driver() {
  if (!currentDriver_) throw AutomationError(errors::ObjectNotSet);
  return *currentDriver_;
}

const char* PrintBarCode::CurrentFamily() const noexcept { return currentDriver_ ? currentDriver_->Family() : ""; }

size_t PrintBarCode::CollectedBytes() const noexcept { return currentDriver_ ? currentDriver_->CollectedBytes() : 0; }

std::vector<TagResult> PrintBarCode::TakeTagResults() { return std::exchange(tagResults_, {}); }

String PrintBarCode::GetVer() { return u"" MORVEL_VERSION; }

Integer PrintBarCode::GetDot(Single& pixels) {
  return Guard([&] {
    Integer unit = Module1::UnitPixels;
    return Module1::ConvertToDots(pixels, unit);
  });
}

Single PrintBarCode::MeasureText(bool height, String& strbuf, String& fontName, Single& fontSize, Boolean& fontBold) {
  return Guard([&] {
    fontName_ = ToUtf8(fontName);
    fontBold_ = fontBold;
    fontSize_ = fontSize;
    const auto& services = platform::Current();
    platform::FontSpec font{fontName_, fontSize_, fontBold_};
    platform::TextExtent extent = services.Text->Measure(font, strbuf, services.ScreenInfo->PixelsPerInch());
    return static_cast<Single>(height ? extent.Height : extent.Width);
  });
}

Single PrintBarCode::textHeight(String& strbuf, String& fontName, Single& FontSize, Boolean& FontBold) {
  return MeasureText(true, strbuf, fontName, FontSize, FontBold);
}

Single PrintBarCode::TextWidth(String& strbuf, String& fontName, Single& FontSize, Boolean& FontBold) {
  return MeasureText(false, strbuf, fontName, FontSize, FontBold);
}

void PrintBarCode::PrintList(String& vNewValue) {
  Guard([&] {
    // The keys in a hash set, built anew each call (a C++ host may rename an
    // entry in between), so a table of many brands costs its length, not its
    // square.
    std::unordered_set<String> keys;
    keys.reserve(catalogue_.size() + 16);
    for (const auto& existing : catalogue_) keys.insert(text::ToLower(existing->PrintPP));
    for (const String& entry : drivers::CatalogueParts(vNewValue, u'|')) {
      std::optional<drivers::CatalogueEntry> brand = drivers::EntryOf(entry);
      if (!brand) throw AutomationError(errors::SubscriptOutOfRange);
      auto info = std::make_shared<PrintInfo>();
      info->PrintPP = std::move(brand->Key);
      info->PrintXH = std::move(brand->Keywords);
      if (!keys.insert(text::ToLower(info->PrintPP)).second) throw AutomationError(errors::DuplicateKey);
      catalogue_.push_back(std::move(info));
    }
  });
}

String PrintBarCode::GetPrintList() {
  return Guard([&] {
    String list;
    for (const auto& printer : platform::Current().Printers->List()) {
      String lower = text::ToLower(printer.Name);
      for (const auto& entry : catalogue_) {
        for (const String& keyword : entry->PrintXH) {
          if (!drivers::KeywordOccurs(keyword, lower)) continue;
          if (!list.empty()) list.push_back(u'|');
          list += printer.Name;
        }
      }
    }
    return list;
  });
}

namespace {

// The installed printer of that name (case aside) when its entry or its
// system driver says the language it speaks; none otherwise, or when the printers cannot be listed
// (the catalogue then chooses, as for any printer).
std::optional<platform::InstalledPrinter> DeclaringPrinter(const String& name) {
  const String lower = text::ToLower(name);
  try {
    for (auto& printer : platform::Current().Printers->List())
      if (text::ToLower(printer.Name) == lower && !drivers::DeclaredLanguage(printer).empty())
        return std::move(printer);
  } catch (const AutomationError&) {
  }
  return std::nullopt;
}

}  // namespace

Integer PrintBarCode::SetPrint(String& printerName) {
  return Guard([&]() -> Integer {
    // A printer whose entry says the language it speaks is printed by the
    // brand that writes that language, whatever its name says.
    if (std::optional<platform::InstalledPrinter> declaring = DeclaringPrinter(printerName)) {
      const std::string declared = drivers::DeclaredLanguage(*declaring);
      const drivers::BrandRow* brand = drivers::BrandOfDeclared(declared);
      if (brand == nullptr) {
        platform::Logger().Record("SetPrint: '" + ToUtf8(declaring->Name) + "' is said to speak '" + declared +
                                  "', which no driver writes");
        return 1;
      }
      currentDriver_ = brand->MakeDriver();
      openPort_.reset();
      CurrentPrinter() = std::move(*declaring);
      return 0;
    }
    String lower = text::ToLower(printerName);
    for (const auto& entry : catalogue_) {
      for (const String& keyword : entry->PrintXH) {
        if (!drivers::KeywordOccurs(keyword, lower)) continue;
        const drivers::BrandRow* brand = drivers::BrandKeyed(entry->PrintPP);
        if (brand == nullptr) continue;
        currentDriver_ = brand->MakeDriver();
        openPort_.reset();  // the new driver has opened nothing
        SelectCurrentPrinter(printerName);
        return 0;
      }
    }
    return 1;
  });
}

void PrintBarCode::SelectCurrentPrinter(const String& name) {
  String lower = text::ToLower(name);
  for (auto& printer : platform::Current().Printers->List()) {
    if (text::ToLower(printer.Name) == lower) {
      CurrentPrinter() = std::move(printer);
      return;
    }
  }
}

void PrintBarCode::OpenPort(String& printerName) {
  Guard([&] {
    Driver().OpenPort(printerName);
    openPort_ = printerName;
  });
}

void PrintBarCode::ClosePort() {
  Guard([&] {
    Driver().ClosePort();
    openPort_.reset();
  });
}

void PrintBarCode::PrintLabel(String& copies) {
  Guard([&] {
    IPrn& driver = Driver();
    driver.PrintLabel(copies);
    for (TagResult& r : driver.TakeTagResults()) {
      r.Label = ++tagLabels_;
      tagResults_.push_back(std::move(r));
    }
  });
}

void PrintBarCode::SendCmd(String& cmd) {
  Guard([&] { Driver().SendCmd(cmd); });
}

void PrintBarCode::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                             String& direction) {
  Guard([&] { Driver().InitPrint(wide, height, speed, nd, cz, sp, direction); });
}

void PrintBarCode::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  Guard([&] { Driver().PrintFont(x, y, txt, height, fontName); });
}

void PrintBarCode::PrintBar(Single& x, Single& y, Single& width, Single& height) {
  // width and height go to the driver as copies.
  Guard([&] { Driver().PrintBar(x, y, width, height); });
}

void PrintBarCode::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                             String& zBar, String& kBar) {
  Guard([&] { Driver().PrintCode(x, y, code, codeType, Readable, height, zBar, kBar); });
}

String PrintBarCode::CommandPrint() {
  return Guard([&] { return Driver().CommandPrint(); });
}

Integer PrintBarCode::FontType() {
  return Guard([&] { return Driver().FontType(); });
}

Integer PrintBarCode::RFIDType() {
  return Guard([&]() -> Integer {
    if (!CurrentPrinter()) return -1;
    return Driver().RFIDType();
  });
}

void PrintBarCode::InitRFID(String& labelType, String& backfeed, String& readPower, String& writePower, String& wire,
                            String& tryNum) {
  Guard([&] { Driver().InitRFID(labelType, backfeed, readPower, writePower, wire, tryNum); });
}

void PrintBarCode::OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
                          String& section) {
  Guard([&] { Driver().OpRFID(operate, data, dataType, dataLen, startAddress, section); });
}

void PrintBarCode::DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) {
  Guard([&] { Driver().DrawImageFromFile(std::move(imageFile), x, y, width, height); });
}

void PrintBarCode::DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) {
  Guard([&] { Driver().DrawImageFromBase64(std::move(imageBase64), x, y, width, height); });
}

void PrintBarCode::DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) {
  Guard([&] { Driver().DrawImageFromPicture(std::move(pic), x, y, width, height); });
}

String PrintBarCode::TagResults() {
  return Guard([&] {
    std::string lines;
    for (const TagResult& r : TakeTagResults()) lines += (lines.empty() ? "" : "\r\n") + DescribeWithReason(r);
    return FromUtf8(lines);
  });
}

namespace {

// An EPC call, its refusal as error 5 with the rule it breaks.
template <class F>
String EpcText(F&& call) {
  return Guard([&] {
    try {
      return FromUtf8(call());
    } catch (const epc::Refused& e) {
      throw AutomationError(errors::InvalidProcedureCall, e.what());
    }
  });
}

}  // namespace

String PrintBarCode::EpcEncode(Text input, Text scheme, Integer filter, Integer prefixLength) {
  return EpcText([&] {
    const std::string tag = ToUtf8(input.Value());
    const epc::Tag encoded =
        scheme.Value().empty() ? epc::Encode(tag) : epc::Encode(ToUtf8(scheme.Value()), filter, prefixLength, tag);
    return std::string(encoded.Hex());
  });
}

String PrintBarCode::EpcDecode(Text hex) {
  return EpcText([&] {
    const epc::Decoded decoded = epc::Decode(ToUtf8(hex.Value()));
    return decoded.TagUri + "\r\n" + decoded.PureIdentity + "\r\n" + decoded.ElementString;
  });
}

}  // namespace morvel
