// Runs a shell command line in a folder, with given standard input, and
// keeps what it printed and how it ended: the tests of the morvel command
// and of the emulator drive the real program this way, the preview's tests
// the barcode readers and tesseract.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace morvel::testing {

struct CommandOutcome {
  bool Exited = false;  // ended by itself (not by a signal)
  int Status = -1;      // its exit status when it did
  std::string Out, Err;
};

// `commandLine` runs in `dir` with `input` on standard input; its output
// goes through files in `dir` (in.txt, out.txt, err.txt).
inline CommandOutcome RunCommandIn(const std::filesystem::path& dir, const std::string& commandLine,
                                   const std::string& input = "") {
  std::ofstream(dir / "in.txt", std::ios::binary) << input;
  std::string cmd = "cd '" + dir.string() + "' && " + commandLine + " < in.txt > out.txt 2> err.txt";
  int raw = std::system(cmd.c_str());
  CommandOutcome o;
  o.Exited = WIFEXITED(raw);
  o.Status = o.Exited ? WEXITSTATUS(raw) : -1;
  std::stringstream out, err;
  out << std::ifstream(dir / "out.txt").rdbuf();
  err << std::ifstream(dir / "err.txt").rdbuf();
  o.Out = out.str();
  o.Err = err.str();
  return o;
}

// What a shell command prints on standard output; empty when it cannot start.
inline std::string ShellOutput(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

}  // namespace morvel::testing
