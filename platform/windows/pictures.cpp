// Pictures on Windows are OLE pictures (OleLoadPicture, IPicture), which
// come with the control's COM server. Until then this build decodes none
// and says so, rather than pretending a picture was read.
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

class NoPictures : public Pictures {
 public:
  PictureRef Decode(const uint8_t*, size_t) override {
    Logger().Record("pictures: this Windows build has no picture decoder yet");
    return nullptr;
  }
  std::vector<uint8_t> SaveBmp(const Picture&) override {
    throw AutomationError(errors::InvalidPicture, "Invalid picture: this Windows build cannot save pictures yet");
  }
};

}  // namespace

std::shared_ptr<Pictures> MakeWindowsPictures() { return std::make_shared<NoPictures>(); }

}  // namespace morvel::platform
