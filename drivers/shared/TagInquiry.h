// Asking the printer what became of a label's RFID tag once the label has
// left it: for printers that keep the status of their last tag write and
// tell it when asked (SBPL's SOH RU) rather than echo every label (TagWatch
// reads those). The driver sends the label, then asks the printer's status
// on the same connection until it has nothing left to print, and then the
// write's status, which it reads into the label's result. Every wait is
// bounded (TagWaits::FirstEcho, MORVEL_RFID_WAIT_MS): the label's printing
// from its sending, each answer from its asking. A printer that tells only
// its last write tells nothing of a label's earlier copies.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/shared/TagWatch.h"
#include "lang/Status.h"
#include "morvel/tag_result.h"
#include "platform/spooler.h"

namespace morvel::drivers {

// How the driver talks with its printer while it asks.
struct TagInquiryLink {
  using Clock = std::chrono::steady_clock;
  // Appends what the printer said to `into`, waiting at most until the deadline.
  std::function<platform::Spooler::Heard(std::string& into, Clock::time_point deadline)> Read;
  std::function<void(const std::string& bytes)> Send;
  std::string StatusQuery;                                // asked until the label has printed
  std::function<size_t(std::string_view)> StatusFrame;    // an answer's length, 0 while incomplete
  std::function<PrinterWork(std::string_view)> ReadWork;  // what the status answer says
  std::string ResultQuery;                                // the last write's status
  std::function<size_t(std::string_view)> ResultFrame;
  // The answer as the label's result: its state, EPC, TID and reason.
  std::function<TagResult(std::string_view answer)> ReadResult;
  std::chrono::milliseconds Pause{100};  // between status queries while the printer is at work
  // The printer's RFID counters, asked before the label is sent and once
  // its result is known (SBPL SOH RB); empty: not asked.
  std::string CountsQuery;
  std::function<size_t(std::string_view)> CountsFrame;
  std::function<std::optional<lang::TagCounts>(std::string_view)> ReadCounts;
  std::chrono::milliseconds CountsWait{2000};  // for each answer
};

class TagInquiry {
 public:
  // The printer's RFID counters now, where it tells them. A printer that
  // once let the wait pass without answering is not asked again.
  std::optional<lang::TagCounts> Count(const TagInquiryLink& link);
  // The results of one sent label's copies, numbered on from the labels
  // before: the last copy's as the printer tells it, the others unknown.
  // With the counters from before the label was sent, the printer's counts
  // tell the tries of a single label, and that every copy was written when
  // it counts as many tags written as there were copies (the copies of a
  // label write the same EPC).
  std::vector<TagResult> Ask(const TagInquiryLink& link, int copies, std::chrono::milliseconds wait,
                             const std::optional<lang::TagCounts>& before = std::nullopt);
  // Results of labels a printer cannot answer for.
  std::vector<TagResult> Unanswerable(int copies, const std::string& why) { return Unanswered(copies, why, labels_); }

 private:
  // One whole answer into `answer`, read until the deadline.
  platform::Spooler::Heard Answer(const TagInquiryLink& link, const std::function<size_t(std::string_view)>& frame,
                                  TagInquiryLink::Clock::time_point deadline, std::string& answer);
  TagResult Last(const TagInquiryLink& link, std::chrono::milliseconds wait);

  std::string pending_;  // bytes after the last whole answer
  uint32_t labels_ = 0;
  bool countsSilent_ = false;
};

}  // namespace morvel::drivers
