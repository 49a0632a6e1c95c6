// Pictures of printer jobs: a job's language told from its first bytes
// (lang/Languages.h), read into labels (lang/Label.h) and each label drawn as a one-bit PNG at the
// printer's resolution through the house renderer.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Label.h"

namespace morvel::preview {

// The labels a printer is loaded with, in dots: the width and length of a
// label whose job gives none (ZPL without ^PW or ^LL, SBPL without ESC A1,
// Orx without SIZE); such a label is as long as its fields reach where that
// is longer. 0: DefaultMedia's.
struct Media {
  int Width = 0, Height = 0;
};
// 4 x 6 inches at the resolution, the most common shipping label: the
// media of a printer nobody said otherwise of.
Media DefaultMedia(int dpi);

// A job read label by label, as `morvel preview` and `morvel emulate` draw
// it: `each` gets the first Bounds::PicturesPerJob labels, the rest are
// counted. Throws lang::MalformedJob as lang::ReadJob does, perhaps after some labels.
struct LabelsRead {
  std::vector<lang::Warning> Warnings;  // the reader's
  size_t Labels = 0;                    // every label of the job
  size_t Pictured = 0;                  // those `each` got
  // Said when labels were counted and not pictured; empty otherwise.
  std::string Unpictured() const;
};
LabelsRead ReadLabels(std::string_view bytes, lang::Language language, int dpi,
                      const std::function<void(lang::Label&&)>& each);

// The label's dots, turned as it leaves the printer, on the media where the
// job gives no size. Fields that cannot be drawn (data a barcode cannot
// encode) are left out and told in `problems`.
core::Bitmap Paint(const lang::Label& label, int dpi, std::vector<std::string>* problems = nullptr,
                   const Media& media = {});

struct LabelPicture {
  std::vector<uint8_t> Png;
  std::string Copies;
  std::vector<std::string> Notes;
};

struct Preview {
  std::vector<LabelPicture> Pictures;   // one a label, in job order
  std::vector<lang::Warning> Warnings;  // with byte offsets into the job
  std::vector<std::string> Problems;
};

// Reads and draws the whole job; throws lang::MalformedJob (nothing drawn) when
// it cannot be read whole, std::invalid_argument when the language cannot
// be told.
Preview MakePreview(std::string_view bytes, std::optional<lang::Language> language, int dpi, const Media& media = {});

// Writes PATH-minus-extension-K.png beside a finished job file (one a
// label); failures and warnings go to `report`. True when every picture was
// written.
bool WritePicturesBeside(const std::string& jobPath, int dpi, std::vector<std::string>& report,
                         const Media& media = {});

// The media of `widthMm` x `heightMm` (0: not told) at the resolution.
Media MediaOf(double widthMm, double heightMm, int dpi);

}  // namespace morvel::preview
