// Reading printed pages back in tests: a PNG decoded to dots, the barcodes
// on it found by the zbar decoder, black dots counted by region.
#pragma once

#include <zbar.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/adapters.h"

namespace morvel::testing {

struct DecodedPage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Grey;  // one byte a dot, 0 black
  bool Valid() const { return Width > 0; }
  bool Black(int x, int y) const { return Grey[static_cast<size_t>(y) * Width + x] < 128; }
  // Black dots in [x0, x1) x [y0, y1), and outside it.
  size_t BlackInside(int x0, int y0, int x1, int y1) const {
    size_t n = 0;
    for (int y = std::max(0, y0); y < std::min(Height, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(Width, x1); ++x) n += Black(x, y);
    return n;
  }
  size_t BlackTotal() const { return BlackInside(0, 0, Width, Height); }
};

inline DecodedPage DecodePage(const std::string& png) {
  DecodedPage page;
  auto pictures = platform::MakeStbPictures();
  PictureRef picture = pictures->Decode(reinterpret_cast<const uint8_t*>(png.data()), png.size());
  if (!picture) return page;
  page.Width = picture->Width();
  page.Height = picture->Height();
  page.Grey.resize(static_cast<size_t>(page.Width) * page.Height);
  for (size_t i = 0; i < page.Grey.size(); ++i) page.Grey[i] = picture->Rgba()[i * 4];
  return page;
}

// Every symbol zbar finds, as "TYPE:data" (for example "CODE-128:12345678",
// "QR-Code:ABC").
inline std::vector<std::string> Barcodes(const DecodedPage& page) {
  using namespace zbar;
  std::vector<std::string> found;
  if (!page.Valid()) return found;
  zbar_image_scanner_t* scanner = zbar_image_scanner_create();
  zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
  zbar_image_t* image = zbar_image_create();
  zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image, static_cast<unsigned>(page.Width), static_cast<unsigned>(page.Height));
  zbar_image_set_data(image, page.Grey.data(), page.Grey.size(), nullptr);
  zbar_scan_image(scanner, image);
  for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s != nullptr; s = zbar_symbol_next(s))
    found.push_back(std::string(zbar_get_symbol_name(zbar_symbol_get_type(s))) + ":" + zbar_symbol_get_data(s));
  zbar_image_destroy(image);
  zbar_image_scanner_destroy(scanner);
  return found;
}

}  // namespace morvel::testing
