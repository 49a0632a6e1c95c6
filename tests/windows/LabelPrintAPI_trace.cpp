// LabelPrintAPI.dll for the Windows tests, not shipped: on Windows the
// Dothan vendor's own library is installed by the user. This one draws and
// prints nothing; it records each call as libLabelPrintAPI.so does under
// MORVEL_LPA_TRACE (the function's name, then each argument after a TAB, a
// bitmap handle as "handle" since its value changes from run to run), so
// the Dothan driver's calls on Windows are compared with Linux's. Every call
// answers 1, as the real library does when a call succeeds.
#include <windows.h>

#include <cstdint>
#include <string>

#include "lpa/LabelPrintAPI.h"

namespace {

struct BitmapHandle {
  uint32_t Value;
};

void Append(std::string& line, int32_t v) { line += std::to_string(v); }
void Append(std::string& line, const char* v) {
  if (v != nullptr) line += v;  // the caller's ANSI bytes, unchanged
}
void Append(std::string& line, BitmapHandle) { line += "handle"; }

// One line a call, appended in one write so that several processes' lines
// do not interleave. The file's name is read from the wide environment, so
// any folder name reaches it.
template <class... Args>
int32_t Trace(const char* function, Args... args) noexcept {
  try {
    wchar_t path[MAX_PATH];
    DWORD size = GetEnvironmentVariableW(L"MORVEL_LPA_TRACE", path, MAX_PATH);
    if (size == 0 || size >= MAX_PATH) return 1;
    std::string line = function;
    ((line += '\t', Append(line, args)), ...);
    line += '\n';
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
  } catch (...) {
    // A line that cannot be made is left out; the call goes on.
  }
  return 1;
}

}  // namespace

extern "C" {

int32_t LPA_CALL LPAOpenPrinter(const char* printerName) { return Trace("LPAOpenPrinter", printerName); }
int32_t LPA_CALL LPAClosePrinter(void) { return Trace("LPAClosePrinter"); }
int32_t LPA_CALL LPAStartJob(int32_t width, int32_t height, int32_t unitCode, int32_t orientation, int32_t copies,
                             const char* jobName) {
  return Trace("LPAStartJob", width, height, unitCode, orientation, copies, jobName);
}
int32_t LPA_CALL LPAStartPage(void) { return Trace("LPAStartPage"); }
int32_t LPA_CALL LPADrawText(const char* text, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char* fontName, int32_t fontHeight, int32_t style) {
  return Trace("LPADrawText", text, x, y, width, height, fontName, fontHeight, style);
}
int32_t LPA_CALL LPADraw1DBarcode(const char* data, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int32_t textHeight) {
  return Trace("LPADraw1DBarcode", data, type, x, y, width, height, textHeight);
}
int32_t LPA_CALL LPADraw2DQRCode(const char* data, int32_t x, int32_t y, int32_t width, int32_t height) {
  return Trace("LPADraw2DQRCode", data, x, y, width, height);
}
int32_t LPA_CALL LPADrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t lineWidth) {
  return Trace("LPADrawLine", x1, y1, x2, y2, lineWidth);
}
int32_t LPA_CALL LPADrawImage(const char* imageFile, int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t threshold) {
  return Trace("LPADrawImage", imageFile, x, y, width, height, threshold);
}
int32_t LPA_CALL LPADrawBitmap(uint32_t bitmap, int32_t reserved, int32_t x, int32_t y, int32_t width, int32_t height,
                               int32_t threshold) {
  return Trace("LPADrawBitmap", BitmapHandle{bitmap}, reserved, x, y, width, height, threshold);
}
int32_t LPA_CALL LPAEndPage(void) { return Trace("LPAEndPage"); }
int32_t LPA_CALL LPACommitJob(void) { return Trace("LPACommitJob"); }

}  // extern "C"
