// The reading half of each language's row, built where the readers are (not
// in the Windows build): its reader into the label model and its raster
// writer, a whole picture as one label.
#pragma once

#include <string>
#include <string_view>

#include "lang/Label.h"
#include "lang/zpl/Raster.h"

namespace morvel::lang {

// How a picture is written as a label: the printer's resolution, the
// copies, and ZPL's graphic compression (which the others do not have).
struct RasterHow {
  int Dpi = 203;
  int Copies = 1;
  zpl::GraphicCompression Compression = zpl::GraphicCompression::Z64;
};

struct ReadingRow {
  Language Id;
  Job (*Read)(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen);
  std::string (*Raster)(const core::Bitmap& dots, const RasterHow& how);
};

const ReadingRow& ReadingOf(Language language);

// The whole job in the language read into labels; throws MalformedJob when
// it cannot be read whole.
Job ReadJob(std::string_view bytes, Language language, int dpi);

// Each language's reading row (lang/<folder>/Raster.cpp).
#define MORVEL_READING_ROW(id, folder) \
  namespace folder {                   \
  extern const ReadingRow ReadingHalf; \
  }
MORVEL_LANGUAGES(MORVEL_READING_ROW)
#undef MORVEL_READING_ROW

}  // namespace morvel::lang
