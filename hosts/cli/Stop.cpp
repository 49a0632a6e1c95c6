// The stop request of a serving command, on each system's terms.
#include "hosts/cli/Stop.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

namespace morvel::cli {

#ifdef _WIN32
namespace {

HANDLE StopRequested = nullptr;
HANDLE Stopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(StopRequested);
  // The process ends when this returns: the command gets a moment to close.
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
#else
namespace {

sigset_t StopSignals;

}  // namespace

void PrepareForStop() {
  sigemptyset(&StopSignals);
  sigaddset(&StopSignals, SIGINT);
  sigaddset(&StopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &StopSignals, nullptr);
}

void WaitForStop() {
  int signal = 0;
  sigwait(&StopSignals, &signal);
}

void AfterStop() {}
#endif

}  // namespace morvel::cli
