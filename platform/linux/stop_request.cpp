// The stop request as the signals SIGINT and SIGTERM, blocked in every
// thread and taken by the one that waits.
#include "platform/stop_request.h"

#include <pthread.h>
#include <signal.h>

namespace morvel::platform {
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

}  // namespace morvel::platform
