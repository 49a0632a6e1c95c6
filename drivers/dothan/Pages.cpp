#include "drivers/dothan/Pages.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "drivers/dothan/LabelPrintLibrary.h"
#include "morvel/picture.h"
#include "platform/services.h"

namespace morvel::dothan {
namespace {

int HundredthsOfMm(int dots, int dpi) { return static_cast<int>(std::lround(dots * 2540.0 / dpi)); }

}  // namespace

bool PrintPage(const std::string& printerName, const std::string& jobName, const drivers::DotsPage& page) {
  const int width = page.Width, height = page.Height;
  const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4, 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (static_cast<uint8_t>(page.Packed[static_cast<size_t>(y) * rowBytes + (static_cast<size_t>(x) >> 3)]) &
          (0x80 >> (x & 7))) {
        uint8_t* p = rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
        p[0] = p[1] = p[2] = 0;
      }
  const auto picture = Picture::Create(width, height, std::move(rgba));
  const std::string name = platform::Ansi().FromUnicode(FromUtf8(printerName));
  const std::string job = platform::Ansi().FromUnicode(FromUtf8(jobName));
  const int w = HundredthsOfMm(width, page.Dpi), h = HundredthsOfMm(height, page.Dpi);
  if (Call("LPAOpenPrinter", name.c_str()) != 1) return false;
  const bool done = Call("LPAStartJob", w, h, 0, 0, std::min(page.Copies, 999), job.c_str()) == 1 &&
                    Call("LPAStartPage") == 1 && Call("LPADrawBitmap", picture->Handle(), 0, 0, 0, w, h, 128) == 1 &&
                    Call("LPAEndPage") == 1 && Call("LPACommitJob") == 1;
  Call("LPAClosePrinter");
  return done;
}

}  // namespace morvel::dothan
