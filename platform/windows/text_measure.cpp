// Text measurement as the Windows design measures it: the font at the
// screen's resolution in the screen's device context, each line's extent
// from GetTextExtentPoint32W, the height of the font's cell per line.
#include <algorithm>
#include <cmath>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

class GdiTextMeasure : public TextMeasure {
 public:
  TextExtent Measure(const FontSpec& font, std::u16string_view text, int pixelsPerInch) override {
    double pixels = font.Points * pixelsPerInch / 72.0;
    if (!std::isfinite(pixels) || pixels <= 0 || pixels > 16000) {
      Logger().Record("text measure: no size for " + std::to_string(font.Points) + " points at " +
                      std::to_string(pixelsPerInch) + " pixels per inch");
      return {};
    }
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return {};
    std::wstring face = win::Wide(FromUtf8(font.Face));
    HFONT created = CreateFontW(-static_cast<int>(std::lround(pixels)), 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, 0, 0,
                                0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH, face.c_str());
    HGDIOBJ previous = SelectObject(dc, created);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    double widest = 0;
    size_t lines = 1;
    std::wstring wide = win::Wide(text);
    size_t start = 0;
    for (size_t i = 0; i <= wide.size(); ++i) {
      if (i < wide.size() && wide[i] != L'\r' && wide[i] != L'\n') continue;
      SIZE extent{};
      if (i > start) GetTextExtentPoint32W(dc, wide.data() + start, static_cast<int>(i - start), &extent);
      widest = std::max(widest, static_cast<double>(extent.cx));
      if (i == wide.size()) break;
      if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
      ++lines;
      start = i + 1;
    }
    SelectObject(dc, previous);
    DeleteObject(created);
    ReleaseDC(nullptr, dc);
    return TextExtent{widest, static_cast<double>(metrics.tmHeight) * static_cast<double>(lines)};
  }
};

}  // namespace

std::shared_ptr<TextMeasure> MakeGdiTextMeasure() { return std::make_shared<GdiTextMeasure>(); }

}  // namespace morvel::platform
