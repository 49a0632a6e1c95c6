#include "drivers/Brands.h"

#include "drivers/dothan/Dothan.h"
#include "drivers/dothan/Pages.h"
#include "drivers/epl/Epl.h"
#include "drivers/orx/Orx.h"
#include "drivers/sato/Sato.h"
#include "drivers/zebra/Zebra.h"
#include "lang/Languages.h"
#include "morvel/types.h"
#include "platform/services.h"
#include "platform/text_case.h"

namespace morvel::drivers {
namespace {

template <class Driver>
std::unique_ptr<IPrn> Make() {
  return std::make_unique<Driver>();
}

}  // namespace

// In the default catalogue's order, which SetPrint tries first to last.
const BrandRow OrxBrand{
    .Key = u"orx",
    .Keywords = u"orx ",
    .Family = "Orx",
    .Speaks = lang::Language::Tspl,
    .NameWords = u"orx",
    .RfidModel = NoRfidModel,
    .Library = "the Orx printer library",
    .MakeDriver = &Make<Orx>,
};
const BrandRow ZebraBrand{
    .Key = u"zdesigner",
    .Keywords = u"zdesigner ",
    .Family = "Zebra",
    .Speaks = lang::Language::Zpl,
    .NameWords = u"zdesigner,zebra",
    .RfidModel = u"ZDesigner ZT410R",
    .Library = nullptr,
    .MakeDriver = &Make<Zebra>,
};
const BrandRow DothanBrand{
    .Key = u"dothan",
    .Keywords = u"t7 ,t6 ",
    .Family = "Dothan",
    .Speaks = std::nullopt,
    .NameWords = u"",
    .RfidModel = NoRfidModel,
    .Library = "the Dothan printer library",
    .MakeDriver = &Make<Dothan>,
    .PrintPage = &dothan::PrintPage,
};
const BrandRow SatoBrand{
    .Key = u"sato",
    .Keywords = u"sato ",
    .Family = "Sato",
    .Speaks = lang::Language::Sbpl,
    .NameWords = u"sato",
    .RfidModel = u"SATO CL4NX",
    .Library = nullptr,
    .MakeDriver = &Make<Sato>,
};
// Printers of Zebra's EPL2 have no keyword of the catalogue: their names
// are those of Zebra's ZPL printers. A printer is one when its entry says
// `language = epl2`, or its Windows driver is Zebra's EPL one.
const BrandRow EplBrand{
    .Key = u"epl2",
    .Keywords = u"",
    .Family = "EPL2",
    .Speaks = lang::Language::Epl,
    .NameWords = u"",
    .RfidModel = NoRfidModel,
    .DriverWords = u"epl,epl2",
    .Library = nullptr,
    .MakeDriver = &Make<Epl>,
};

namespace {

const BrandRow* const Rows[] = {&OrxBrand, &ZebraBrand, &DothanBrand, &SatoBrand, &EplBrand};

// Whether `word` stands in `text` with no letter or digit either side.
bool WholeWordIn(std::u16string_view word, std::u16string_view text) {
  auto wordChar = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c > 0x7F; };
  for (size_t at = text.find(word); at != std::u16string_view::npos; at = text.find(word, at + 1)) {
    const size_t end = at + word.size();
    if ((at == 0 || !wordChar(text[at - 1])) && (end == text.size() || !wordChar(text[end]))) return true;
  }
  return false;
}

}  // namespace

std::span<const BrandRow* const> BrandRows() { return Rows; }

const BrandRow* BrandKeyed(std::u16string_view key) {
  for (const BrandRow* row : Rows)
    if (row->Key == key) return row;
  return nullptr;
}

const BrandRow* BrandSpeaking(lang::Language language) {
  for (const BrandRow* row : Rows)
    if (row->Speaks == language) return row;
  return nullptr;
}

const BrandRow* BrandOfDeclared(std::string_view declared) {
  const std::optional<lang::Language> language = lang::LanguageNamed(declared);
  return language ? BrandSpeaking(*language) : nullptr;
}

std::string DeclaredLanguage(const platform::InstalledPrinter& printer) {
  if (!printer.Language.empty() || printer.Driver.empty()) return printer.Language;
  const String driver = text::ToLower(FromUtf8(printer.Driver));
  for (const BrandRow* row : Rows) {
    if (!row->Speaks) continue;
    for (const std::u16string& word : CatalogueParts(row->DriverWords, u','))
      if (WholeWordIn(word, driver)) return lang::NameOf(*row->Speaks);
  }
  return {};
}

const BrandRow* BrandOfFamily(std::string_view family) {
  for (const BrandRow* row : Rows)
    if (family == row->Family) return row;
  return nullptr;
}

const std::u16string& DefaultCatalogue() {
  static const std::u16string* const text = [] {
    auto* joined = new std::u16string;
    for (const BrandRow* row : Rows) {
      if (row->Keywords.empty()) continue;
      if (!joined->empty()) joined->push_back(u'|');
      *joined += row->Key;
      joined->push_back(u':');
      *joined += row->Keywords;
    }
    return joined;
  }();
  return *text;
}

std::vector<std::u16string> CatalogueParts(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string> parts;
  if (text.empty()) return parts;
  for (size_t start = 0;;) {
    const size_t at = text.find(separator, start);
    parts.emplace_back(text.substr(start, at == std::u16string_view::npos ? std::u16string_view::npos : at - start));
    if (at == std::u16string_view::npos) return parts;
    start = at + 1;
  }
}

std::optional<CatalogueEntry> EntryOf(std::u16string_view entry) {
  std::vector<std::u16string> parts = CatalogueParts(entry, u':');
  if (parts.size() < 2) return std::nullopt;
  return CatalogueEntry{std::move(parts[0]), CatalogueParts(parts[1], u',')};
}

bool KeywordOccurs(std::u16string_view keyword, std::u16string_view lowerName) {
  return keyword.empty() ? !lowerName.empty() : lowerName.find(keyword) != std::u16string_view::npos;
}

PrinterLanguage LanguageOfPrinter(std::string_view printerName, std::string_view declared) {
  if (!declared.empty()) {
    if (const BrandRow* row = BrandOfDeclared(declared)) return {row->Speaks, row};
    return {std::nullopt, nullptr, std::string(declared)};
  }
  const String lower = text::ToLower(FromUtf8(printerName));
  // The default catalogue, brand by brand and keyword by keyword in its order.
  for (const BrandRow* row : Rows)
    for (const std::u16string& keyword : CatalogueParts(row->Keywords, u','))
      if (KeywordOccurs(keyword, lower)) return {row->Speaks, row};
  // Then the words, language by language: its brands' name words, its name.
  for (const lang::LanguageRow* language : lang::LanguageRows()) {
    for (const BrandRow* row : Rows) {
      if (row->Speaks != language->Id) continue;
      for (const std::u16string& word : CatalogueParts(row->NameWords, u','))
        if (lower.find(word) != String::npos) return {language->Id, nullptr};
    }
    if (lower.find(FromUtf8(language->Name)) != String::npos) return {language->Id, nullptr};
  }
  return {};
}

}  // namespace morvel::drivers
