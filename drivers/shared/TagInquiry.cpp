// Asking the printer for each label's RFID result once it has printed.
#include "drivers/shared/TagInquiry.h"

#include <algorithm>
#include <utility>

namespace morvel::drivers {
namespace {

using Heard = platform::Spooler::Heard;
using Clock = TagInquiryLink::Clock;

// Past this many bytes without a whole answer, what the printer says is no answer.
constexpr size_t MaxPending = 64 * 1024;

std::string Seconds(std::chrono::milliseconds wait) {
  const auto ms = wait.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string Ended() { return "the connection to the printer ended before it said what became of the tag"; }

// What the printer's counters tell of the job's labels, between the counts
// before it was sent and after its result.
void Counted(const lang::TagCounts& before, const lang::TagCounts& after, std::vector<TagResult>& results) {
  const long written = after.Written - before.Written, failed = after.Failed - before.Failed;
  const long total = after.Total - before.Total;
  // Counters that went back were reset or went round: they tell nothing.
  if (written < 0 || failed < 0 || total < 0 || results.empty()) return;
  TagResult& last = results.back();
  const long copies = static_cast<long>(results.size());
  if (copies == 1) {
    if (total > 0) last.Tries = static_cast<uint32_t>(total);
    return;
  }
  if (last.State == TagResult::Outcome::Written && written == copies) {
    for (long k = 0; k + 1 < copies; ++k) {
      TagResult& r = results[static_cast<size_t>(k)];
      r.State = TagResult::Outcome::Written;
      r.Epc = last.Epc;
      r.Reason.clear();
    }
    return;
  }
  for (long k = 0; k + 1 < copies; ++k)
    results[static_cast<size_t>(k)].Reason +=
        "; the printer counted " + std::to_string(written) + (written == 1 ? " tag" : " tags") + " written and " +
        std::to_string(failed) + " failed for the job's " + std::to_string(copies) + " labels";
}

}  // namespace

Heard TagInquiry::Answer(const TagInquiryLink& link, const std::function<size_t(std::string_view)>& frame,
                         Clock::time_point deadline, std::string& answer) {
  for (;;) {
    if (const size_t n = frame(pending_); n > 0) {
      answer = pending_.substr(0, n);
      pending_.erase(0, n);
      return Heard::Bytes;
    }
    if (pending_.size() > MaxPending) {
      pending_.clear();
      return Heard::Nothing;
    }
    if (const Heard heard = link.Read(pending_, deadline); heard != Heard::Bytes) return heard;
  }
}

TagResult TagInquiry::Last(const TagInquiryLink& link, std::chrono::milliseconds wait) {
  TagResult r;
  // What the printer said before (a late answer to an earlier label) is no
  // answer to what is asked now.
  pending_.clear();
  while (pending_.size() <= MaxPending && link.Read(pending_, Clock::now()) == Heard::Bytes) {
  }
  pending_.clear();
  const auto deadline = Clock::now() + wait;
  // What the last status answer said, once the wait is over.
  auto late = [&](PrinterWork work) {
    r.Reason = work == PrinterWork::Stopped ? "the printer stopped before it printed the label (paused or in "
                                              "error); it prints it when it goes on"
               : work == PrinterWork::Busy  ? "the printer had not printed the label within " + Seconds(wait)
                                            : "the printer's status answers were not understood";
    return r;
  };
  for (;;) {
    link.Send(link.StatusQuery);
    std::string answer;
    // Each answer has the whole wait: one asked at the wait's end still counts.
    const Heard heard = Answer(link, link.StatusFrame, Clock::now() + wait, answer);
    if (heard == Heard::Closed || heard == Heard::Unsupported) {
      r.Reason = Ended();
      return r;
    }
    if (heard != Heard::Bytes) {
      r.Reason = "the printer did not answer its status query within " + Seconds(wait);
      return r;
    }
    const PrinterWork work = link.ReadWork(answer);
    if (work == PrinterWork::Printed) break;
    if (Clock::now() >= deadline) return late(work);
    // A pause before the next query; whatever comes meanwhile was not asked for.
    const auto resume = std::min(deadline, Clock::now() + link.Pause);
    for (Heard h = Heard::Bytes; h == Heard::Bytes && Clock::now() < resume && pending_.size() <= MaxPending;)
      h = link.Read(pending_, resume);
    pending_.clear();
    if (Clock::now() >= deadline) return late(work);
  }
  link.Send(link.ResultQuery);
  std::string answer;
  const Heard heard = Answer(link, link.ResultFrame, Clock::now() + wait, answer);
  if (heard == Heard::Bytes) return link.ReadResult(answer);
  r.Reason = heard == Heard::Nothing
                 ? "the printer printed the label but did not tell its tag's status within " + Seconds(wait)
                 : Ended();
  return r;
}

std::optional<lang::TagCounts> TagInquiry::Count(const TagInquiryLink& link) {
  if (link.CountsQuery.empty() || countsSilent_) return std::nullopt;
  pending_.clear();
  while (pending_.size() <= MaxPending && link.Read(pending_, Clock::now()) == Heard::Bytes) {
  }
  pending_.clear();
  link.Send(link.CountsQuery);
  std::string answer;
  const Heard heard = Answer(link, link.CountsFrame, Clock::now() + link.CountsWait, answer);
  if (heard == Heard::Bytes) return link.ReadCounts(answer);
  countsSilent_ = heard == Heard::Nothing;
  return std::nullopt;
}

std::vector<TagResult> TagInquiry::Ask(const TagInquiryLink& link, int copies, std::chrono::milliseconds wait,
                                       const std::optional<lang::TagCounts>& before) {
  std::vector<TagResult> out;
  const int count = std::max(copies, 1);
  for (int k = 1; k < count; ++k) {
    TagResult r;
    r.Label = ++labels_;
    r.Reason = "the printer tells the tag of a job's last label only: copy " + std::to_string(k) + " of " +
               std::to_string(count) + " is not known";
    out.push_back(std::move(r));
  }
  TagResult last = Last(link, wait);
  last.Label = ++labels_;
  out.push_back(std::move(last));
  if (before)
    if (const std::optional<lang::TagCounts> after = Count(link)) Counted(*before, *after, out);
  return out;
}

}  // namespace morvel::drivers
