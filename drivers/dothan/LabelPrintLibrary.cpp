// Loading libLabelPrintAPI.so (LabelPrintAPI.dll on Windows). The handle and the looked-up functions are
// process-wide, as a loaded library is.
#include "drivers/dothan/LabelPrintLibrary.h"

#include "platform/shared_library.h"

#include <map>
#include <mutex>

namespace morvel::dothan {
namespace {

struct Binding {
  std::mutex Lock;
  std::string FileName = platform::LibraryFileName("LabelPrintAPI");
  void* Library = nullptr;
  std::map<std::string, void*, std::less<>> Functions;
};

Binding& State() {
  static auto* binding = new Binding;  // lives as long as the loaded library
  return *binding;
}

void* Load(const std::string& fileName) {
  std::string error;
  // Anchored in libmorvel2.so, so its own folder is searched first.
  void* handle =
      platform::LoadSharedLibrary(reinterpret_cast<const void*>(&LabelPrintLibrary::Function), fileName, error);
  if (handle == nullptr) throw BindingFailure(error);
  return handle;
}

}  // namespace

void* LabelPrintLibrary::Function(const char* name) {
  Binding& b = State();
  std::lock_guard<std::mutex> lock(b.Lock);
  if (b.Library == nullptr) b.Library = Load(b.FileName);
  auto found = b.Functions.find(std::string_view(name));
  if (found != b.Functions.end()) return found->second;
  void* function = platform::FindEntryPoint(b.Library, name);
  if (function == nullptr) throw BindingFailure(b.FileName + ": no such function " + name);
  b.Functions.emplace(name, function);
  return function;
}

std::string LabelPrintLibrary::FileName() {
  Binding& b = State();
  std::lock_guard<std::mutex> lock(b.Lock);
  return b.FileName;
}

void LabelPrintLibrary::SetFileName(std::string fileName) {
  Binding& b = State();
  std::lock_guard<std::mutex> lock(b.Lock);
  b.FileName = std::move(fileName);
  b.Library = nullptr;  // stays loaded; a library is never unloaded under its callers
  b.Functions.clear();
}

}  // namespace morvel::dothan
