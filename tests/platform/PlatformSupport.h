// Helpers of the platform adapter tests: environment variables set for one
// test and a fixture whose log records (their folders: support/TempFolder.h).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/fakes/fakes.h"
#include "support/TempFolder.h"

namespace morvel::testing {

// Sets (or, with nullopt, removes) environment variables until its end.
class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, std::optional<std::string>>> values) {
    for (auto& [name, value] : values) {
      const char* old = getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      if (value)
        setenv(name, value->c_str(), 1);
      else
        unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Installs the fakes so that what the adapters log can be read back.
class WithFakeServices : public ::testing::Test {
 protected:
  platform::FakeServices Fakes;
  platform::ScopedServices Scope{Fakes.AsServices()};

  const std::vector<std::string>& Logged() const { return Fakes.Logger->Records; }
};

}  // namespace morvel::testing
