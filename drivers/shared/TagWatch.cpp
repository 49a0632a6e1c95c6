// Waiting for the printer's word on each label's RFID tag.
#include "drivers/shared/TagWatch.h"

#include <algorithm>
#include <cstdlib>

#include "platform/text_case.h"

namespace morvel {

namespace drivers {
namespace {

// Past this many bytes without a line end, what the printer says is no echo.
constexpr size_t MaxPending = 64 * 1024;

std::chrono::milliseconds WaitFromEnv(const char* name, std::chrono::milliseconds fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || value <= 0 || value > 24LL * 3600 * 1000) return fallback;
  return std::chrono::milliseconds(value);
}

std::string Seconds(std::chrono::milliseconds wait) {
  const auto ms = wait.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string LabelCount(uint32_t n) { return std::to_string(n) + (n == 1 ? " label" : " labels"); }

}  // namespace

TagWaits TagWaitsFromEnv() {
  TagWaits waits;
  waits.FirstEcho = WaitFromEnv("MORVEL_RFID_WAIT_MS", waits.FirstEcho);
  waits.NextTry = WaitFromEnv("MORVEL_RFID_RETRY_WAIT_MS", waits.NextTry);
  return waits;
}

TagWatch::Next TagWatch::NextEcho(const TagLink& link, const std::string& prefix, TagLink::Clock::time_point deadline,
                                  std::string& data) {
  for (;;) {
    for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // The echo may follow on the line another answer without a line end
      // of its own (an odometer's count that came late).
      if (const size_t at = line.find(prefix); at != std::string::npos) {
        data = line.substr(at + prefix.size());
        return Next::Echo;
      }
      // Anything else the printer says (answers the caller's own commands
      // asked for) is no echo of ours.
    }
    if (pending_.size() > MaxPending) pending_.clear();
    switch (link.Read(pending_, deadline)) {
      case platform::Spooler::Heard::Bytes: continue;
      case platform::Spooler::Heard::Nothing: return Next::Silence;
      default: return Next::Closed;
    }
  }
}

PrinterWork WorkOf(const lang::Reading& reading) {
  if (!reading.Understood) return PrinterWork::Unclear;
  if (reading.State == "stopped") return PrinterWork::Stopped;
  return reading.State == "processing" ? PrinterWork::Busy : PrinterWork::Printed;
}

PrinterWork TagWatch::AskWork(const TagLink& link, TagLink::Clock::time_point deadline) {
  if (!link.Send || link.StatusQuery.empty()) return PrinterWork::Unclear;
  link.Send(link.StatusQuery);
  for (;;) {
    // The status answer starts at its STX; echoes around it stay for NextEcho.
    if (const size_t at = pending_.find('\x02'); at != std::string::npos) {
      if (const size_t n = link.StatusFrame(std::string_view(pending_).substr(at)); n > 0) {
        const PrinterWork work = link.ReadWork(std::string_view(pending_).substr(at, n));
        pending_.erase(at, n);
        return work;
      }
    }
    if (pending_.size() > MaxPending || link.Read(pending_, deadline) != platform::Spooler::Heard::Bytes)
      return PrinterWork::Unclear;
  }
}

std::optional<lang::TagCounts> TagWatch::Count(const TagLink& link) {
  if (link.CountQueries.size() != 2 || countsSilent_) return std::nullopt;
  long values[2] = {};
  for (size_t k = 0; k < 2; ++k) {
    link.Send(link.CountQueries[k] + "\r\n");
    const auto deadline = TagLink::Clock::now() + link.CountWait;
    for (;;) {
      // The answer starts at its first quote; echoes around it stay for NextEcho.
      if (const size_t at = pending_.find('"'); at != std::string::npos) {
        if (const size_t n = link.CountFrame(std::string_view(pending_).substr(at)); n > 0) {
          const std::optional<long> value = link.ReadCount(std::string_view(pending_).substr(at, n));
          pending_.erase(at, n);
          if (!value) return std::nullopt;
          values[k] = *value;
          break;
        }
      }
      if (pending_.size() > MaxPending) return std::nullopt;
      const platform::Spooler::Heard heard = link.Read(pending_, deadline);
      if (heard == platform::Spooler::Heard::Bytes) continue;
      countsSilent_ = heard == platform::Spooler::Heard::Nothing;
      return std::nullopt;
    }
  }
  return lang::TagCounts{values[0], values[1], values[0] + values[1]};
}

std::string CompareCounts(const lang::TagCounts& before, const lang::TagCounts& after,
                          std::vector<TagResult>& results) {
  const long written = after.Written - before.Written, voided = after.Failed - before.Failed;
  if (written < 0 || voided < 0) return {};
  long toldWritten = 0, toldVoided = 0;
  for (const TagResult& r : results) {
    const bool ok = r.State == TagResult::Outcome::Written;
    toldWritten += ok ? 1 : 0;
    toldVoided += ok && r.Tries > 0 ? r.Tries - 1 : r.Tries;  // each try before the last written one voided a label
  }
  if (written == toldWritten && voided == toldVoided) return {};
  const std::string counted = "the printer's RFID odometers counted " + std::to_string(written) + " written and " +
                              std::to_string(voided) + " void";
  for (TagResult& r : results)
    if (r.State == TagResult::Outcome::Unknown) r.Reason += "; " + counted;
  return counted + ", its echoes told " + std::to_string(toldWritten) + " written and " + std::to_string(toldVoided) +
         " void";
}

std::string WhyUnasked(const RawChannel& channel) {
  const char* results = std::getenv("MORVEL_RFID_RESULTS");
  if (results != nullptr && (std::string_view(results) == "0" || std::string_view(results) == "off"))
    return "tag results are off (MORVEL_RFID_RESULTS=" + std::string(results) + ")";
  if (!channel.IsOpen()) return "not sent: no printer port is open";
  if (!channel.CanRead()) return "the way to this printer carries no answer back (a file:, a CUPS queue, a spooler)";
  return {};
}

int CopiesOf(std::u16string_view copies) {
  long n = 0;
  for (char16_t c : copies) {
    if (c < u'0' || c > u'9' || n > 99999999) return 1;
    n = n * 10 + (c - u'0');
  }
  return n < 1 ? 1 : static_cast<int>(std::min(n, 99999999L));
}

std::vector<TagResult> Unanswered(int copies, const std::string& why, uint32_t& labels) {
  std::vector<TagResult> out;
  for (int k = 0; k < std::max(copies, 1); ++k) {
    TagResult r;
    r.Label = ++labels;
    r.Reason = why;
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<TagResult> TagWatch::Await(const TagLink& link, const TagExpectation& label, const TagWaits& waits) {
  using Outcome = TagResult::Outcome;
  std::vector<TagResult> out;
  auto heard = TagLink::Clock::now();
  const int copies = std::max(label.Copies, 1);
  for (int copy = 0; copy < copies; ++copy) {
    TagResult r;
    r.Label = ++labels_;
    uint32_t voids = 0;
    auto deadline = heard + waits.FirstEcho;
    for (;;) {
      std::string data;
      const Next next = NextEcho(link, label.Prefix, deadline, data);
      if (next == Next::Echo) {
        heard = TagLink::Clock::now();
        deadline = heard + waits.NextTry;
        ++r.Tries;
        if (text::EqualsIgnoreCaseAscii(data, label.Expected)) {
          r.State = Outcome::Written;
          r.Epc = data;
          break;
        }
        ++voids;  // a voided try: the next label is tried
        continue;
      }
      if (next == Next::Silence && voids > 0) {
        const PrinterWork work = AskWork(link, TagLink::Clock::now() + waits.NextTry);
        // A late try's echo may have come with the status answer.
        if (NextEcho(link, label.Prefix, TagLink::Clock::now(), data) == Next::Echo) {
          pending_.insert(0, label.Prefix + data + "\r\n");
          continue;
        }
        // A printer still at work on its formats has not given the label up:
        // its next try is waited for, as long as a label's first echo.
        if (work == PrinterWork::Busy && TagLink::Clock::now() < heard + waits.FirstEcho) {
          deadline = TagLink::Clock::now() + waits.NextTry;
          continue;
        }
        const bool stopped = work == PrinterWork::Stopped;
        r.State = stopped ? Outcome::Unknown : Outcome::Void;
        r.Reason = "its tag failed on " + LabelCount(voids) + " (printed VOID); " +
                   (stopped ? "the printer stopped (^RS) and prints it when it goes on"
                            : "no further try came within " + Seconds(waits.NextTry) +
                                  ": the printer dropped the format (^RS)");
      } else if (next == Next::Silence) {
        r.Reason = "the printer said nothing of its tag within " + Seconds(waits.FirstEcho);
      } else {
        r.Reason = "the connection to the printer ended before it said what became of the tag";
      }
      break;
    }
    const bool gaveUp = r.State != Outcome::Written;
    const Outcome outcome = r.State;
    const std::string why = r.Reason;
    out.push_back(std::move(r));
    if (!gaveUp) continue;
    // The copies after one the printer gave up on: dropped with its format,
    // or as unknown as it is.
    for (int rest = copy + 1; rest < copies; ++rest) {
      TagResult left;
      left.Label = ++labels_;
      left.State = outcome;
      left.Reason = outcome == Outcome::Void ? "not printed: the printer dropped the format with the copy before" : why;
      out.push_back(std::move(left));
    }
    break;
  }
  return out;
}

}  // namespace drivers
}  // namespace morvel
