// The commands of a job that set the printer itself up, found command by
// command by the language's reader. Which commands they are, each
// language's row says (lang/<language>/Row.cpp), from its maker's guide.
#include "lang/PrinterSettings.h"

#include "lang/Reading.h"

#include <cctype>

#include "lang/Label.h"
#include "lang/Languages.h"

namespace morvel::lang {
namespace {

// The command's text, upper case, blanks between words made one and none
// after a comma, so "set  com1" and "DOWNLOAD f, " read alike.
std::string Normal(std::string_view command) {
  std::string out;
  for (char c : command) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') break;
    if (std::isspace(u)) {
      if (!out.empty() && out.back() != ' ' && out.back() != ',') out += ' ';
      continue;
    }
    if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
    out += static_cast<char>(std::toupper(u));
  }
  return out;
}

const SettingFamily* Matching(std::string_view command, const SettingCommands& commands) {
  const std::string text = Normal(command);
  for (const SettingFamily& f : commands.Families) {
    if (!text.starts_with(f.Name)) continue;
    // A whole word ends where its letters do: NETWORK is not NET, nor SET
    // HEADER SET HEAD, while SET KEY1 is SET KEY.
    const bool word = commands.WholeWords && std::isalpha(static_cast<unsigned char>(f.Name.back()));
    if (word && text.size() > f.Name.size() && std::isalpha(static_cast<unsigned char>(text[f.Name.size()]))) continue;
    return &f;
  }
  return nullptr;
}

}  // namespace

std::optional<PrinterSetting> FirstPrinterSetting(std::string_view job, Language language) {
  std::optional<PrinterSetting> found;
  const SettingCommands& commands = *RowOf(language).Settings;
  const std::function<void(Label &&)> drop = [](Label&&) {};
  const CommandSeen seen = [&](std::string_view command, size_t offset) {
    if (found) return;
    if (const SettingFamily* family = Matching(command, commands)) {
      const std::string shown = commands.ShownAfter + Normal(command).substr(0, 16);
      found = PrinterSetting{shown, std::string(family->What), offset};
    }
  };
  try {
    ReadingOf(language).Read(job, 203, drop, seen);
  } catch (const MalformedJob& e) {
    if (!found)
      found = PrinterSetting{"", std::string("the job cannot be read to its end (") + e.what() + ")", e.Offset()};
  }
  return found;
}

}  // namespace morvel::lang
