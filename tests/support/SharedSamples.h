// The real-world samples the project is handed (ZPL labels, carriers'
// documents): in $MORVEL_SHARED_DIR, else beside the source tree
// (../shared). scripts/test.sh points a clone at the samples beside the
// repository it was cloned from.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace morvel::testing {

// The folder of the samples of that kind ("zpl-samples", "doc-samples");
// empty when there is none, and the tests that need it skip.
inline std::filesystem::path SharedSamples(const std::string& kind) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (const char* named = std::getenv("MORVEL_SHARED_DIR"); named != nullptr && *named != '\0')
    if (fs::is_directory(fs::path(named) / kind, ec)) return fs::path(named) / kind;
  const fs::path beside = fs::path(MORVEL_SOURCE_DIR) / ".." / "shared" / kind;
  return fs::is_directory(beside, ec) ? beside : fs::path();
}

}  // namespace morvel::testing
