// What Page and the exact-size symbols both stand on: the one pango context
// of the process, and zint symbols with their dark modules read as runs.
// Internal to the renderer.
#pragma once

#include <pango/pangocairo.h>
#include <zint.h>

#include <mutex>
#include <string>
#include <string_view>

namespace morvel::render {

// Pango font maps and contexts are not thread-safe; one context serves every
// text of the process, one at a time, under Lock.
struct TextContext {
  std::mutex Lock;
  PangoContext* Context = nullptr;
  TextContext();
};
TextContext& Fonts();  // lives for the process, as fontconfig does

// zint's symbol, freed on every path.
struct Symbol {
  zint_symbol* S = ZBarcode_Create();
  Symbol() = default;
  Symbol(const Symbol&) = delete;
  Symbol& operator=(const Symbol&) = delete;
  ~Symbol() { ZBarcode_Delete(S); }
  bool Module(int row, int column) const { return ((S->encoded_data[row][column >> 3] >> (column & 7)) & 1) != 0; }
  // Calls draw(first, count) for each run of dark modules along the row.
  template <class Draw>
  void DarkRuns(int row, Draw draw) const {
    for (int c = 0; c < S->width;) {
      if (!Module(row, c)) {
        ++c;
        continue;
      }
      int run = c;
      while (run < S->width && Module(row, run)) ++run;
      draw(c, run - c);
      c = run;
    }
  }
};

// Encodes the data (at most 64 KiB of it, far beyond any symbol's room) in
// the symbology; `option1` above 0 sets zint's first option (QR's error
// correction). False, with zint's reason in `error`, when it cannot.
bool Encode(Symbol& symbol, int symbology, int inputMode, int option1, std::string_view data, std::string* error);

}  // namespace morvel::render
