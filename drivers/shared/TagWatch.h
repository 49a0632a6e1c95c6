// Reading back what the printer did with the RFID tag of each label: the
// driver sends a label that ends with the printer's own echo of the tag it
// wrote (ZPL host verification) and waits here for one echo a label that
// left the printer, voided tries included. A label is written only when an
// echo holds what was asked; echoes of anything else are voided tries. A
// printer that cannot answer, or says nothing in time, leaves its labels
// unknown. Every wait is bounded (MORVEL_RFID_WAIT_MS for a label's first
// echo, MORVEL_RFID_RETRY_WAIT_MS for the next try after a void).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/shared/RawChannel.h"
#include "lang/Status.h"
#include "morvel/tag_result.h"
#include "platform/spooler.h"

namespace morvel::drivers {

struct TagWaits {
  std::chrono::milliseconds FirstEcho{20000};  // from the label's sending to its first echo
  std::chrono::milliseconds NextTry{5000};     // from a void echo to the next try's
};
// The waits from the environment (positive whole milliseconds), else the defaults.
TagWaits TagWaitsFromEnv();

// Why the printer of `channel` will not be asked for a label's tag result,
// empty when it will: tag results turned off (MORVEL_RFID_RESULTS=0, and
// the label's bytes are then as they always were), no port open, or a way
// to the printer that carries nothing back (a file:, a CUPS queue, a spooler).
std::string WhyUnasked(const RawChannel& channel);

// A label's copies as ^PQ or ESC Q take them: 1 when the text is no whole
// number, at most 99,999,999.
int CopiesOf(std::u16string_view copies);
// The results, unknown for `why`, of the `copies` labels a printer cannot
// answer for (or that were never sent), numbered on from `labels`.
std::vector<TagResult> Unanswered(int copies, const std::string& why, uint32_t& labels);

// What a status answer says of the labels sent.
enum class PrinterWork {
  Printed,  // nothing left to print
  Busy,     // printing, or labels wait
  Stopped,  // paused or in error, labels held
  Unclear,  // not an answer of the documented shape
};
// A status answer read in its language's terms, in those words.
PrinterWork WorkOf(const lang::Reading& reading);

// How the driver talks with its printer while it waits.
struct TagLink {
  using Clock = std::chrono::steady_clock;
  // Appends what the printer said to `into`, waiting at most until the deadline.
  std::function<platform::Spooler::Heard(std::string& into, Clock::time_point deadline)> Read;
  // Sends a status query on the same way (the language's status answer).
  std::function<void(const std::string& bytes)> Send;
  std::string StatusQuery;                                       // what to send when a try is late
  std::function<size_t(std::string_view)> StatusFrame;           // the answer's length, 0 while incomplete
  std::function<PrinterWork(std::string_view answer)> ReadWork;  // what the answer says
  // The printer's RFID odometers (ZPL: SGD getvar), tags written, then
  // tags voided, asked before the label is sent and once its results are
  // known; none: not asked. Each answer is found by its frame.
  std::vector<std::string> CountQueries;
  std::function<size_t(std::string_view)> CountFrame;
  std::function<std::optional<long>(std::string_view)> ReadCount;
  std::chrono::milliseconds CountWait{2000};  // for each answer
};

// What the odometers counted between `before` and `after`, against the
// echoes of the job's labels: empty when they agree (or went back, reset);
// else the counts in words, which are added to the reasons of the labels
// left unknown, so the user learns what the printer did count.
std::string CompareCounts(const lang::TagCounts& before, const lang::TagCounts& after, std::vector<TagResult>& results);

// One label as sent: its echo's prefix and what a written tag's echo holds.
struct TagExpectation {
  std::string Prefix;    // each echo line starts with it and ends with CR LF
  std::string Expected;  // compared without regard to case
  int Copies = 1;
};

class TagWatch {
 public:
  // Waits for the echoes of one sent label's copies; numbers them on from
  // the labels before.
  std::vector<TagResult> Await(const TagLink& link, const TagExpectation& label, const TagWaits& waits);
  // Results of labels a printer cannot answer for.
  std::vector<TagResult> Unanswerable(int copies, const std::string& why) { return Unanswered(copies, why, labels_); }
  uint32_t Labels() const { return labels_; }
  // The printer's RFID odometers now, where it tells them. A printer that
  // once let the wait pass without answering is not asked again.
  std::optional<lang::TagCounts> Count(const TagLink& link);

 private:
  enum class Next { Echo, Silence, Closed };
  // The next echo line's data into `data`, skipping other lines.
  Next NextEcho(const TagLink& link, const std::string& prefix, TagLink::Clock::time_point deadline, std::string& data);
  PrinterWork AskWork(const TagLink& link, TagLink::Clock::time_point deadline);

  std::string pending_;  // bytes after the last whole line
  uint32_t labels_ = 0;
  bool countsSilent_ = false;
};

}  // namespace morvel::drivers
