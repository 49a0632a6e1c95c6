// Part of libmorvel2.so: draws the pictures of each whole document of a
// file: printer whose printers.conf entry says `preview = png`, as
// NNNNNN-K.png beside NNNNNN.prn. Installed when the library is loaded.
#include "platform/document_hooks.h"
#include "platform/services.h"
#include "preview/Preview.h"

namespace morvel::preview {
namespace {

void WritePreview(const platform::FinishedDocument& document) {
  if (document.Preview != "png") return;
  std::vector<std::string> report;
  WritePicturesBeside(document.Path, document.Dpi, report, MediaOf(document.WidthMm, document.HeightMm, document.Dpi));
  for (const auto& line : report)
    platform::Logger().Record("printer '" + document.Printer + "': preview of '" + document.Path + "': " + line);
}

struct Installer {
  Installer() { platform::AddDocumentHook(&WritePreview); }
  ~Installer() { platform::RemoveDocumentHook(&WritePreview); }
} installer;

}  // namespace
}  // namespace morvel::preview
