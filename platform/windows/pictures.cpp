// Pictures on Windows are OLE pictures: picture files are read with
// OleLoadPicture from a stream over the bytes, and an IPicture (a host's
// StdPicture) becomes our pixels by reading its bitmap or, for icons and
// metafiles, by rendering it on white. Saving writes the BMP file both
// systems write.
#include <ocidl.h>
#include <olectl.h>

#include <cstring>

#include "platform/bmp_file.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

// A 32-bit top-down DIB section, filled white.
struct DibSection {
  HBITMAP Bitmap = nullptr;
  uint8_t* Bits = nullptr;
  DibSection(HDC dc, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<uint8_t*>(bits);
    if (Bits != nullptr) std::memset(Bits, 0xFF, static_cast<size_t>(width) * height * 4);
  }
  ~DibSection() {
    if (Bitmap != nullptr) DeleteObject(Bitmap);
  }
};

// GDI's blue-green-red-unused pixels as opaque RGBA.
std::vector<uint8_t> RgbaOf(const uint8_t* bgrx, size_t count) {
  std::vector<uint8_t> rgba(count * 4);
  for (size_t i = 0; i < count; ++i) {
    rgba[i * 4] = bgrx[i * 4 + 2];
    rgba[i * 4 + 1] = bgrx[i * 4 + 1];
    rgba[i * 4 + 2] = bgrx[i * 4];
    rgba[i * 4 + 3] = 255;
  }
  return rgba;
}

PictureRef FromBitmap(HBITMAP bitmap) {
  BITMAP header{};
  if (GetObjectW(bitmap, sizeof(header), &header) == 0) return nullptr;
  int width = header.bmWidth, height = header.bmHeight < 0 ? -header.bmHeight : header.bmHeight;
  if (!PictureSizeFits(width, height)) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> bgrx(static_cast<size_t>(width) * height * 4);
  HDC screen = GetDC(nullptr);
  int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), bgrx.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != height) return nullptr;
  return Picture::Create(width, height, RgbaOf(bgrx.data(), static_cast<size_t>(width) * height));
}

PictureRef Rendered(IPicture* picture) {
  OLE_XSIZE_HIMETRIC himetricWidth = 0;
  OLE_YSIZE_HIMETRIC himetricHeight = 0;
  if (FAILED(picture->get_Width(&himetricWidth)) || FAILED(picture->get_Height(&himetricHeight))) return nullptr;
  // HIMETRIC are 1/100 mm; the picture's pixels are screen pixels (96 per inch).
  int width = MulDiv(himetricWidth, 96, 2540), height = MulDiv(himetricHeight, 96, 2540);
  if (!PictureSizeFits(width, height)) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  PictureRef out;
  {
    DibSection dib(dc, width, height);
    if (dib.Bits != nullptr) {
      HGDIOBJ old = SelectObject(dc, dib.Bitmap);
      HRESULT hr = picture->Render(dc, 0, 0, width, height, 0, himetricHeight, himetricWidth, -himetricHeight, nullptr);
      GdiFlush();
      SelectObject(dc, old);
      if (SUCCEEDED(hr)) out = Picture::Create(width, height, RgbaOf(dib.Bits, static_cast<size_t>(width) * height));
    }
  }
  DeleteDC(dc);
  return out;
}

class OlePictures : public Pictures {
 public:
  PictureRef Decode(const uint8_t* data, size_t size) override {
    if (data == nullptr || size == 0 || size > 0x7FFFFFFF) return nullptr;
    // OLE needs COM on this thread; a host that has it keeps its own.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    PictureRef out = Load(data, size);
    if (SUCCEEDED(com)) CoUninitialize();
    return out;
  }
  std::vector<uint8_t> SaveBmp(const Picture& picture) override { return BmpFile(picture); }

 private:
  static PictureRef Load(const uint8_t* data, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) return nullptr;
    void* target = GlobalLock(memory);
    std::memcpy(target, data, size);
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
      GlobalFree(memory);
      return nullptr;
    }
    IPicture* picture = nullptr;
    HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture, reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(hr) || picture == nullptr) {
      Logger().Record("pictures: OleLoadPicture could not read the image: " + win::ErrorText(static_cast<DWORD>(hr)));
      return nullptr;
    }
    PictureRef out = win::PictureFromOle(picture);
    picture->Release();
    return out;
  }
};

}  // namespace

PictureRef win::PictureFromOle(IUnknown* object) {
  if (object == nullptr) return nullptr;
  IPicture* picture = nullptr;
  if (FAILED(object->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture))) || picture == nullptr)
    return nullptr;
  PictureRef out;
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP && SUCCEEDED(picture->get_Handle(&handle)))
    out = FromBitmap(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)));
  if (out == nullptr && type != PICTYPE_NONE && type != PICTYPE_UNINITIALIZED) out = Rendered(picture);
  picture->Release();
  return out;
}

std::shared_ptr<Pictures> MakeWindowsPictures() { return std::make_shared<OlePictures>(); }

}  // namespace morvel::platform
