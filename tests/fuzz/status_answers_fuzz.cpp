// The status answer readers and framers of every language's table on any
// bytes: the first byte picks the query, the rest is the answer. A frame never claims more bytes than
// it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "control/status/Answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using namespace morvel;
  std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<const lang::StatusQuery*> queries;
  for (lang::Language language : lang::AllLanguages)
    for (const lang::StatusQuery& q : lang::StatusOf(language).Queries)
      if (q.Read) queries.push_back(&q);
  const lang::StatusQuery& q = *queries[data[0] % queries.size()];
  if (q.Frame(answer) > answer.size()) std::abort();
  lang::Reading r = q.Read(answer);
  if (r.State != "idle" && r.State != "processing" && r.State != "stopped" && r.State != "unknown") std::abort();
  (void)status::Combine(r, status::ReadCups(data[0] % 7, {std::string(answer.substr(0, 40))}));
  return 0;
}
