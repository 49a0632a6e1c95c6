#include "lang/Reading.h"

#include "lang/epl/Raster.h"
#include "lang/sbpl/Raster.h"
#include "lang/tspl/Raster.h"

namespace morvel::lang {

namespace {

std::string ZplRaster(const render::Bitmap& dots, const RasterHow& how) {
  return zpl::LabelOfPicture(dots, {how.Compression, 32 * 1024, how.Copies});
}
std::string SbplRaster(const render::Bitmap& dots, const RasterHow& how) {
  return sbpl::LabelOfPicture(dots, how.Dpi, how.Copies);
}
std::string TsplRaster(const render::Bitmap& dots, const RasterHow& how) {
  return tspl::LabelOfPicture(dots, how.Dpi, how.Copies);
}
std::string EplRaster(const render::Bitmap& dots, const RasterHow& how) {
  return epl::LabelOfPicture(dots, how.Dpi, how.Copies);
}

const ReadingRow Rows[] = {
    {Language::Zpl, ParseZpl, ZplRaster},
    {Language::Sbpl, ParseSbpl, SbplRaster},
    {Language::Tspl, ParseOrx, TsplRaster},
    {Language::Epl, ParseEpl, EplRaster},
};

}  // namespace

const ReadingRow& ReadingOf(Language language) {
  for (const ReadingRow& row : Rows)
    if (row.Id == language) return row;
  return Rows[0];  // every language has its row (the tests check)
}

}  // namespace morvel::lang
