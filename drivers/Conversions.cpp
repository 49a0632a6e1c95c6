// Byte, string and picture conversions.
#include "drivers/Conversions.h"

#include <climits>
#include <new>

#include "platform/services.h"

namespace morvel {

ByteArray Module2::StringToUtf8Bytes(String text) {
  if (text.empty()) return ByteArray();
  std::string utf8 = ToUtf8(text);
  return ByteArray(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
}

void Module2::AppendBytes(ByteArray& destination, ByteArray& source) {
  long u = destination.UBound();
  long m = source.UBound();
  if (static_cast<long long>(u) + m + 1 > INT_MAX) throw AutomationError(errors::Overflow);
  if (&destination == &source) {
    std::vector<uint8_t> copy = source.Bytes();
    destination.Bytes().insert(destination.Bytes().end(), copy.begin(), copy.end());
    return;
  }
  destination.Bytes().insert(destination.Bytes().end(), source.begin(), source.end());
}

ByteArray Module2::PictureToBytes(PictureRef& picture) {
  if (!picture) throw AutomationError(errors::ObjectNotSet);
  return ByteArray(platform::Current().Images->SaveBmp(*picture));
}

PictureRef Module2::PictureFromBytes(ByteArray& bytes) {
  try {
    if (bytes.UBound() < 0) return nullptr;
    return platform::Current().Images->Decode(bytes.Data(), bytes.Size());
  } catch (const AutomationError& e) {
    if (e.Number() == errors::SubscriptOutOfRange) {
      platform::ShowMessage("您给函数提供的是空数组!");
    } else {
      platform::ShowMessage(std::to_string(e.Number()) + " - " + e.Description());
    }
  } catch (const std::bad_alloc&) {
    AutomationError e(errors::OutOfMemory);
    platform::ShowMessage(std::to_string(e.Number()) + " - " + e.Description());
  }
  return nullptr;
}

}  // namespace morvel
