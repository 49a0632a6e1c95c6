// Fixture of the spooler tests: the real Linux spooler over fake services,
// so a test names its printers and their uris and reads the log records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/fakes/fakes.h"
#include "platform/linux/adapters.h"

namespace morvel::testing {

class SpoolerTest : public ::testing::Test {
 protected:
  void Install(std::u16string name, std::string uri, int dpi = 203) {
    Fakes.Printers->Printers.push_back({std::move(name), dpi, std::move(uri)});
  }

  struct Outcome {
    bool Opened = false;
    bool Started = false;
    bool Wrote = true;  // every write
    bool Ended = false;
    size_t Written = 0;
  };
  // One document, one Write per part, on a printer opened and closed for it.
  Outcome Print(std::u16string_view printer, std::u16string_view document, const std::vector<std::string>& parts) {
    Outcome o;
    auto handle = Spool->OpenPrinter(printer);
    o.Opened = handle != platform::Spooler::NullHandle;
    if (!o.Opened) return o;
    o.Started = Spool->StartDoc(handle, document);
    Spool->StartPage(handle);
    for (const auto& part : parts) {
      size_t written = 0;
      o.Wrote &= Spool->Write(handle, reinterpret_cast<const uint8_t*>(part.data()), part.size(), written);
      o.Written += written;
    }
    Spool->EndPage(handle);
    o.Ended = Spool->EndDoc(handle);
    Spool->ClosePrinter(handle);
    return o;
  }

  // How many log records contain `part`.
  size_t Logged(std::string_view part) const {
    size_t n = 0;
    for (const auto& r : Fakes.Logger->Records) n += r.find(part) != std::string::npos;
    return n;
  }
  std::string Log() const {
    std::string all;
    for (const auto& r : Fakes.Logger->Records) all += r + "\n";
    return all;
  }

  platform::FakeServices Fakes;

 private:
  platform::ScopedServices scope_{Fakes.AsServices()};

 protected:
  std::shared_ptr<platform::Spooler> Spool = platform::MakeLinuxSpooler();
};

// Bytes a printer language would never produce by chance: every byte value,
// then a stretch of pseudo-random bytes.
inline std::string Payload(size_t size, unsigned seed = 1) {
  std::string bytes;
  bytes.reserve(size);
  for (int i = 0; i < 256 && bytes.size() < size; ++i) bytes.push_back(static_cast<char>(i));
  uint32_t x = seed * 2654435761u + 1;
  while (bytes.size() < size) {
    x = x * 1664525u + 1013904223u;
    bytes.push_back(static_cast<char>(x >> 24));
  }
  return bytes;
}

// `bytes` cut into parts of uneven sizes, as a driver writes them.
inline std::vector<std::string> Parts(const std::string& bytes) {
  std::vector<std::string> parts;
  size_t sizes[] = {1, 7, 4096, 65537, 3, 250000};
  for (size_t at = 0, i = 0; at < bytes.size(); ++i) {
    size_t n = std::min(sizes[i % 6], bytes.size() - at);
    parts.push_back(bytes.substr(at, n));
    at += n;
  }
  return parts;
}

}  // namespace morvel::testing
