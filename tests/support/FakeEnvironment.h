// A test fixture base that installs the recording fakes of every platform
// port and leaves no CurrentPrinter behind.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "drivers/Units.h"
#include "platform/fakes/fakes.h"

namespace morvel::testing {

class FakeEnvironment : public ::testing::Test {
 protected:
  FakeEnvironment() : scope_(std::make_unique<platform::ScopedServices>(Fakes.AsServices())) {
    CurrentPrinter().reset();
  }
  ~FakeEnvironment() override { CurrentPrinter().reset(); }

  // Installs printers (name, dpi) in system order.
  void Install(std::initializer_list<std::pair<const char16_t*, int>> printers) {
    for (auto& [name, dpi] : printers) Fakes.Printers->Printers.push_back({name, dpi, "file:/tmp"});
  }

  platform::FakeServices Fakes;

 private:
  std::unique_ptr<platform::ScopedServices> scope_;
};

// The number of the AutomationError `call` raises; 0 when it raises none.
template <class F>
int ErrorOf(F&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.Number();
  }
  return 0;
}

// Expects `call` to raise an AutomationError with this number.
template <class F>
void ExpectError(int number, F&& call) {
  try {
    call();
    ADD_FAILURE() << "expected error " << number << ", nothing was raised";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), number) << e.Description();
  }
}

}  // namespace morvel::testing
