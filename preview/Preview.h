// Pictures of printer jobs: a job's language told from its first bytes,
// read into labels (lang/Label.h) and each label drawn as a one-bit PNG at the
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

// The label model of the languages' readers, which previews are drawn from.
using lang::Bounds;
using lang::Code128Field;
using lang::Field;
using lang::FilledBox;
using lang::Job;
using lang::Label;
using lang::Language;
using lang::MalformedJob;
using lang::MaxLabelSide;
using lang::ParseOrx;
using lang::ParseSbpl;
using lang::ParseZpl;
using lang::QrField;
using lang::Raster;
using lang::Shape;
using lang::SymbolField;
using lang::TextField;
using lang::Warning;
namespace detail = lang::detail;

// ZPL (^XA or ~ first), SBPL (ESC A first), Orx (a known command word
// first); nullopt for anything else.
std::optional<Language> Detect(std::string_view bytes);

// Throws MalformedJob when the job cannot be read whole.
Job Parse(std::string_view bytes, Language language, int dpi);

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
// counted. Throws MalformedJob as Parse does, perhaps after some labels.
struct Reading {
  std::vector<Warning> Warnings;  // the reader's
  size_t Labels = 0;              // every label of the job
  size_t Pictured = 0;            // those `each` got
  // Said when labels were counted and not pictured; empty otherwise.
  std::string Unpictured() const;
};
Reading ReadLabels(std::string_view bytes, Language language, int dpi, const std::function<void(Label&&)>& each);

// The label's dots, turned as it leaves the printer, on the media where the
// job gives no size. Fields that cannot be drawn (data a barcode cannot
// encode) are left out and told in `problems`.
render::Bitmap Paint(const Label& label, int dpi, std::vector<std::string>* problems = nullptr,
                     const Media& media = {});

struct Picture {
  std::vector<uint8_t> Png;
  std::string Copies;
  std::vector<std::string> Notes;
};

struct Preview {
  std::vector<Picture> Pictures;  // one a label, in job order
  std::vector<Warning> Warnings;  // with byte offsets into the job
  std::vector<std::string> Problems;
};

// Reads and draws the whole job; throws MalformedJob (nothing drawn) when
// it cannot be read whole, std::invalid_argument when the language cannot
// be told.
Preview MakePreview(std::string_view bytes, std::optional<Language> language, int dpi, const Media& media = {});

// Writes PATH-minus-extension-K.png beside a finished job file (one a
// label); failures and warnings go to `report`. True when every picture was
// written.
bool WritePicturesBeside(const std::string& jobPath, int dpi, std::vector<std::string>& report,
                         const Media& media = {});

// The media of `widthMm` x `heightMm` (0: not told) at the resolution.
Media MediaOf(double widthMm, double heightMm, int dpi);

}  // namespace morvel::preview
