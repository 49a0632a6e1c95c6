// The binding to libLabelPrintAPI.so (LabelPrintAPI.dll on Windows): loaded by name at its first use, from
// the folder of libmorvel2.so first and then the usual search path, each
// function looked up by its exported name at its first call.
#pragma once

#include <stdexcept>
#include <string>

#include "lpa/LabelPrintAPI.h"

namespace morvel::dothan {

// Why a library function could not be reached: the loader's description.
class BindingFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LabelPrintLibrary {
 public:
  // The address of the export `name`; BindingFailure when the library or
  // the function cannot be reached. A library that failed to load is tried
  // again at the next call, so installing it later needs no restart.
  static void* Function(const char* name);

  // The file name searched for, "libLabelPrintAPI.so" ("LabelPrintAPI.dll"
  // on Windows); setting it forgets
  // what was bound (a setup that keeps the library elsewhere, and tests).
  static std::string FileName();
  static void SetFileName(std::string fileName);
};

// Calls the export `name` with the arguments, as a function returning a
// 32-bit integer, in the library's calling convention.
template <class... Args>
int Call(const char* name, Args... args) {
  using Fn = int(LPA_CALL*)(Args...);
  return reinterpret_cast<Fn>(LabelPrintLibrary::Function(name))(args...);
}

}  // namespace morvel::dothan
