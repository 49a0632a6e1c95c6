// How the commands that serve until stopped (serve, emulate) wait for the
// user's stop: SIGINT or SIGTERM on Linux; on Windows Ctrl+C, Ctrl+Break,
// the console closing, logging off or shutting down.
#pragma once

namespace morvel::cli {

// Before any thread starts, so that every thread inherits the blocked
// signals and no stop request is missed.
void PrepareForStop();
// Returns once the user asked to stop.
void WaitForStop();
// Once the command has stopped: Windows ends the process when the console
// handler returns, so the handler waits for this.
void AfterStop();

}  // namespace morvel::cli
