// Observers of finished documents: a component that wants to do something
// with each whole document a file: printer wrote (draw its preview, say)
// registers here, so the platform layer needs to know nothing about it.
#pragma once

#include <string>

namespace morvel::platform {

struct FinishedDocument {
  std::string Printer;  // the printer's name, UTF-8
  std::string Path;     // the complete document file
  int Dpi = 203;        // the printer's resolution
  std::string Preview;  // the printer's `preview =` setting ("png"), empty when none
  double WidthMm = 0;   // the labels it is loaded with; 0 when not told
  double HeightMm = 0;
};

using DocumentHook = void (*)(const FinishedDocument&);

// Adding a hook twice keeps one; removing an absent one does nothing.
void AddDocumentHook(DocumentHook hook);
void RemoveDocumentHook(DocumentHook hook);

// Calls every hook; anything a hook throws is recorded in the log and goes
// no further, so a hook never fails a print.
void DocumentFinished(const FinishedDocument& document);

}  // namespace morvel::platform
