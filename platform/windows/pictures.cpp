// Pictures on Windows are OLE pictures: the bytes go to OleLoadPicture
// (BMP, JPEG, GIF, icons and metafiles; PNG where the system's codecs read
// it), and the picture's pixels are read back as 32-bit RGB, opaque, rows
// top to bottom, as the drivers take them. A picture is saved as the same
// BMP file as on Linux.
#include <ole2.h>
#include <olectl.h>

#include <climits>
#include <cstring>

#include "core/picture_files.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

template <class T>
struct Released {
  T* Object = nullptr;
  ~Released() {
    if (Object != nullptr) Object->Release();
  }
};

// The picture drawn into a top-down 32-bit DIB section of its own size,
// on white: a bitmap picture is its pixels, an icon or metafile as it
// renders.
PictureRef Pixels(IPicture* picture) {
  OLE_XSIZE_HIMETRIC himetricWidth = 0;
  OLE_YSIZE_HIMETRIC himetricHeight = 0;
  if (FAILED(picture->get_Width(&himetricWidth)) || FAILED(picture->get_Height(&himetricHeight))) return nullptr;
  SHORT type = PICTYPE_NONE;
  picture->get_Type(&type);
  long width = 0, height = 0;
  if (type == PICTYPE_BITMAP) {
    OLE_HANDLE handle = 0;
    BITMAP info{};
    if (FAILED(picture->get_Handle(&handle)) ||
        GetObjectW(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(handle)), sizeof info, &info) == 0)
      return nullptr;
    width = info.bmWidth;
    height = info.bmHeight;
  } else {
    // HIMETRIC is hundredths of a millimetre; at the screen's 96 ppi.
    width = MulDiv(himetricWidth, 96, 2540);
    height = MulDiv(himetricHeight, 96, 2540);
  }
  if (!core::PictureSizeAllowed(width, height)) return nullptr;

  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;  // top-down
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP target = CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dc == nullptr || target == nullptr || bits == nullptr) {
    if (target != nullptr) DeleteObject(target);
    if (dc != nullptr) DeleteDC(dc);
    return nullptr;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::memset(bits, 0xFF, count * 4);
  HGDIOBJ previous = SelectObject(dc, target);
  // Render's source rectangle is in HIMETRIC from the bottom-left corner.
  HRESULT drawn = picture->Render(dc, 0, 0, width, height, 0, himetricHeight, himetricWidth, -himetricHeight, nullptr);
  GdiFlush();
  std::vector<uint8_t> rgba(count * 4);
  const auto* bgrx = static_cast<const uint8_t*>(bits);
  for (size_t i = 0; i < count; ++i) {
    rgba[i * 4] = bgrx[i * 4 + 2];
    rgba[i * 4 + 1] = bgrx[i * 4 + 1];
    rgba[i * 4 + 2] = bgrx[i * 4];
    rgba[i * 4 + 3] = 0xFF;
  }
  SelectObject(dc, previous);
  DeleteObject(target);
  DeleteDC(dc);
  if (FAILED(drawn)) {
    Logger().Record("pictures: IPicture::Render failed: " + win::ErrorText(static_cast<DWORD>(drawn)));
    return nullptr;
  }
  return Picture::Create(static_cast<int>(width), static_cast<int>(height), std::move(rgba));
}

class OlePictures : public Pictures {
 public:
  PictureRef Decode(const uint8_t* data, size_t size) override {
    if (data == nullptr || size == 0 || size > static_cast<size_t>(INT_MAX)) return nullptr;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) return nullptr;
    void* copy = GlobalLock(memory);
    if (copy == nullptr) {
      GlobalFree(memory);
      return nullptr;
    }
    std::memcpy(copy, data, size);
    GlobalUnlock(memory);
    Released<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream.Object))) {
      GlobalFree(memory);
      return nullptr;
    }
    Released<IPicture> picture;
    HRESULT loaded = OleLoadPicture(stream.Object, static_cast<LONG>(size), FALSE, IID_IPicture,
                                    reinterpret_cast<void**>(&picture.Object));
    if (FAILED(loaded) || picture.Object == nullptr) return nullptr;
    return Pixels(picture.Object);
  }
  std::vector<uint8_t> SaveBmp(const Picture& picture) override { return core::EncodeBmpFile(picture); }
};

}  // namespace

PictureRef win::PictureFromOle(IUnknown* object) {
  if (object == nullptr) return nullptr;
  Released<IPicture> picture;
  if (FAILED(object->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture.Object))) ||
      picture.Object == nullptr)
    return nullptr;
  return Pixels(picture.Object);
}

std::shared_ptr<Pictures> MakeWindowsPictures() { return std::make_shared<OlePictures>(); }

}  // namespace morvel::platform
