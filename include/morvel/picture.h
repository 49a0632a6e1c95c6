// Picture: decoded pixels plus a handle that stays valid while the picture
// lives; it stands where the OLE picture object stood.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace morvel {

class Picture {
 public:
  // Pixels are 8-bit RGBA, rows top to bottom, width * height * 4 bytes.
  Picture(int width, int height, std::vector<uint8_t> rgba);
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  const std::vector<uint8_t>& Rgba() const noexcept { return rgba_; }

  // A non-zero 32-bit handle, unique among living pictures.
  uint32_t Handle() const noexcept { return handle_; }
  // The living picture with this handle, or none.
  static std::shared_ptr<Picture> FromHandle(uint32_t handle);

  // Makes a shared picture whose handle FromHandle can find.
  static std::shared_ptr<Picture> Create(int width, int height, std::vector<uint8_t> rgba);

 private:
  int width_;
  int height_;
  std::vector<uint8_t> rgba_;
  uint32_t handle_ = 0;
};

using PictureRef = std::shared_ptr<Picture>;

}  // namespace morvel
