// The commands over the control itself: morvel printers, run, members and
// version.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "control/Idl.h"
#include "hosts/cli/Options.h"
#include "hosts/cli/Script.h"
#include "morvel/automation.h"
#include "morvel/morvel.h"
#include "platform/services.h"

namespace morvel::cli {
namespace {

// One line that tells the user a label may not have arrived: the members
// keep delivery failures silent by contract, the log said why.
int Summary(const platform::IncidentCounts& seen, std::ostream& err) {
  if (seen.Total() == 0) return 0;
  std::string parts;
  auto add = [&](uint64_t n, const char* one, const char* many) {
    if (n == 0) return;
    parts += (parts.empty() ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? one : many);
  };
  add(seen.DeliveryFailures, "delivery failure", "delivery failures");
  add(seen.UnknownPrinters, "unknown printer name", "unknown printer names");
  add(seen.ReplacedCharacters, "text with characters printed as '?'", "texts with characters printed as '?'");
  err << "morvel: labels may not have reached their printer: " << parts << " (see " << platform::Logger().Place()
      << ")\n";
  return 3;
}

}  // namespace

int PrintersMain(const Invocation& call) {
  OptionParser options(call);
  if (auto status = options.Parse()) return *status;
  try {
    for (const auto& p : platform::Current().Printers->List())
      call.Out << ToUtf8(p.Name) << '\t' << p.Dpi << '\t' << p.Uri << '\n';
    return 0;
  } catch (const AutomationError& e) {
    call.Err << "morvel: cannot list printers: error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  }
}

int RunMain(const Invocation& call) {
  std::vector<std::string> named;
  OptionParser options(call);
  options.Operands(named, 0, 1, "FILE");
  if (auto status = options.Parse()) return *status;
  const std::string file = named.empty() ? "-" : named[0];
  std::string text, baseFolder;
  const std::string shownName = file == "-" ? "<stdin>" : file;
  if (file == "-") {
    text.assign(std::istreambuf_iterator<char>(call.In), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary);
    if (!in) {
      call.Err << "morvel: cannot read " << file << "\n";
      return 2;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    size_t slash = file.find_last_of(PathSeparators);
    baseFolder = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
  }
  ParsedScript script = ParseScript(text);
  if (!script.Errors.empty()) {
    for (const auto& e : script.Errors) call.Err << shownName << ":" << e.Line << ": " << e.Message << "\n";
    return 2;
  }
  auto before = platform::Incidents();
  bool allWell = RunScript(script.Statements, baseFolder, call.Out);
  call.Out.flush();
  if (int status = Summary(platform::Incidents() - before, call.Err)) return status;
  return allWell ? 0 : 1;
}

int MembersMain(const Invocation& call) {
  bool markdown = false, idl = false;
  std::vector<std::string> named;
  OptionParser options(call);
  options.Flag("--markdown", markdown);
  options.Flag("--idl", idl);
  options.Operands(named, 0, 1, "CLASS");
  if (auto status = options.Parse()) return *status;
  if (markdown + idl + !named.empty() > 1) return UsageFault(call, "--markdown, --idl and CLASS go alone");
  if (markdown) {
    call.Out << automation::ReferenceMarkdown();
    return 0;
  }
  if (idl) {
    call.Out << automation::TypeLibraryIdl();
    return 0;
  }
  const automation::ClassInfo* cls = nullptr;
  if (!named.empty() && (cls = automation::FindClass(named[0])) == nullptr) {
    call.Err << "morvel: no class named " << named[0] << " (PrintBarCode, PrintInfo, clsBase64)\n";
    return 2;
  }
  call.Out << automation::ReferenceText(cls);
  return 0;
}

int VersionMain(const Invocation& call) {
  OptionParser options(call);
  if (auto status = options.Parse()) return *status;
  PrintBarCode control;
  call.Out << ToUtf8(control.GetVer()) << "\n";
  return 0;
}

}  // namespace morvel::cli
