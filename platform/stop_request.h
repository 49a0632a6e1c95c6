// How a program that serves until stopped (morvel serve, morvel emulate)
// waits for the user's stop: SIGINT or SIGTERM on Linux; on Windows Ctrl+C,
// Ctrl+Break, the console closing, logging off or shutting down.
#pragma once

namespace morvel::platform {

// Before any thread starts, so that every thread inherits the blocked
// signals and no stop request is missed.
void PrepareForStop();
// Returns once the user asked to stop.
void WaitForStop();
// Once the program has stopped: Windows ends the process when the console
// handler returns, so the handler waits for this.
void AfterStop();

}  // namespace morvel::platform
