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

std::vector<TagResult> TagInquiry::Ask(const TagInquiryLink& link, int copies, std::chrono::milliseconds wait) {
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
  return out;
}

}  // namespace morvel::drivers
