// The stop request as the console's control events.
#include "platform/stop_request.h"

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

HANDLE StopRequested = nullptr;
HANDLE Stopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(StopRequested);
  // The process ends when this returns: the program gets a moment to close.
  WaitForSingleObject(Stopped, 3000);
  return TRUE;
}

}  // namespace

void PrepareForStop() {
  StopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WaitForStop() { WaitForSingleObject(StopRequested, INFINITE); }
void AfterStop() { SetEvent(Stopped); }

}  // namespace morvel::platform
