// One row per brand of printer: what the control's catalogue calls it, the
// words of its printers' names, its driver, the language that driver writes
// (or none, when the brand's vendor library draws), the RFID models among
// its printers and the printer library its driver reaches. SetPrint, the
// default catalogue, the printer-language rule of `morvel status` and the
// printing of documents, and the bridge's library leases all read these
// rows, so a brand is added by its driver's folder and its row here.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Language.h"

namespace morvel {
class IPrn;
}
namespace morvel::platform {
struct InstalledPrinter;
}

namespace morvel::drivers {

// The RFID model of the brands that have none: a word no printer's name
// holds, so that RFIDType is 0 on each of their printers.
inline constexpr char16_t NoRfidModel[] = u"nhj055hhjkklngfdsi55kuh";

// A page of a document as one bit a dot: rows of (Width + 7) / 8 bytes,
// the first dot of a row the high bit.
struct DotsPage {
  std::string_view Packed;
  int Width = 0, Height = 0;
  int Dpi = 203;
  int Copies = 1;
};

struct BrandRow {
  std::u16string_view Key;       // "zdesigner": the catalogue's key of the brand
  std::u16string_view Keywords;  // "zdesigner ": the default catalogue's keywords, ',' between them
  const char* Family;            // "Zebra": the driver's family, as logs and the bridge name it
  // The language its driver writes; none when the vendor's library draws.
  std::optional<lang::Language> Speaks;
  // Words that tell the brand in a printer's name that no keyword of the
  // catalogue matched, ',' between them (lower case).
  std::u16string_view NameWords;
  std::u16string_view RfidModel;  // the model word for which RFIDType is 1 (NoRfidModel: none)
  // Words that, standing whole in the name of a printer's system driver
  // (Windows: "ZDesigner LP 2844 (EPL)"), say that the brand prints on it,
  // ',' between them (lower case); empty: the driver's name is not read.
  std::u16string_view DriverWords = {};
  // The printer library its driver reaches, which one caller at a time may
  // hold ("the Orx printer library"); null when the driver reaches none.
  const char* Library;
  std::unique_ptr<IPrn> (*MakeDriver)();
  // How a document's page reaches a printer of a brand that takes no
  // language's bytes (its vendor's library draws): true when printed,
  // false when refused; null for a brand whose printers take its language.
  bool (*PrintPage)(const std::string& printerName, const std::string& jobName, const DotsPage& page) = nullptr;
};

// Each brand's row (drivers/Brands.cpp), and every row in the default
// catalogue's order.
extern const BrandRow OrxBrand, ZebraBrand, DothanBrand, SatoBrand, EplBrand;
std::span<const BrandRow* const> BrandRows();
// The row of a catalogue key (exactly as written); null for another key.
const BrandRow* BrandKeyed(std::u16string_view key);
// The first row whose driver writes `language`; null when none does.
const BrandRow* BrandSpeaking(lang::Language language);
// The row of a driver's family; null for another family.
const BrandRow* BrandOfFamily(std::string_view family);
// The control's default catalogue: "key:keyword,keyword|..." from the rows
// that have keywords (a brand without any is chosen by its language).
const std::u16string& DefaultCatalogue();

// The parts of catalogue text between every `separator`; none for empty text.
std::vector<std::u16string> CatalogueParts(std::u16string_view text, char16_t separator);
// A catalogue entry, "key:keyword,keyword" (what follows a second ':' is not
// read); none without a ':'.
struct CatalogueEntry {
  std::u16string Key;
  std::vector<std::u16string> Keywords;
};
std::optional<CatalogueEntry> EntryOf(std::u16string_view entry);
// Whether a catalogue keyword occurs in a lower-cased printer name; an empty
// keyword is found at the start of any non-empty name.
bool KeywordOccurs(std::u16string_view keyword, std::u16string_view lowerName);

struct PrinterLanguage {
  std::optional<lang::Language> Speaks;
  const BrandRow* Brand = nullptr;  // the brand that matched, whose driver prints
  // The language the printer's entry says it speaks, when no brand writes it.
  std::string Unknown = {};
};
// The printer's language: the one its installed entry says it speaks
// (`declared`, printers.conf's "language"), printed by the first brand that
// writes it; else from its name (UTF-8): the first brand of the default
// catalogue whose keyword occurs in the name, as SetPrint chooses; for a
// name no keyword matches, a brand's name word or a language's name
// anywhere in it, language by language in the languages' order (for ZPL:
// "zdesigner", "zebra", "zpl").
PrinterLanguage LanguageOfPrinter(std::string_view printerName, std::string_view declared = {});
// The word of the language an installed printer is said to speak: its
// entry's (printers.conf's "language"), else the language of the first
// brand whose driver words stand whole in the name of its system driver;
// empty when neither says.
std::string DeclaredLanguage(const platform::InstalledPrinter& printer);
// The brand that prints on a printer whose entry says it speaks `declared`
// (a language's word); null for a word no brand's language has.
const BrandRow* BrandOfDeclared(std::string_view declared);

}  // namespace morvel::drivers
