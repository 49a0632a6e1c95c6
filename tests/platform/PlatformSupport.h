// Helpers of the platform adapter tests: a scratch folder, environment
// variables set for one test, and a fixture whose log records.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/fakes/fakes.h"

namespace morvel::testing {

// A fresh folder removed with everything in it at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "morvel-platform-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes `content` to `relative`, making its folders; returns the full path.
  std::string Write(const std::string& relative, const std::string& content) const {
    auto full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return full.string();
  }

 private:
  std::filesystem::path path_;
};

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
