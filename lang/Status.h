// Status queries and their answers, per language, in one table: `morvel
// status` sends a language's queries and reads the answers through it; the
// virtual printer recognises the same queries in a job's stream and writes
// the answers through it. The layouts are the programming guides': ZPL's ~HS
// strings and ~HQES bit groups, SBPL's Status 4 and its status character
// table, TSPL's status byte and four-byte status.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Language.h"
#include "lang/Reason.h"

namespace morvel::lang {

// An answer read into IPP terms: printer-state and printer-state-reasons.
struct Reading {
  bool Understood = false;  // the answer had the documented shape
  std::string State = "unknown";
  std::vector<Reason> Reasons;
};

// The printer's condition, as the virtual printer's user sets it.
struct PrinterState {
  bool Paused = false, PaperOut = false, HeadOpen = false, RibbonOut = false;
  long PaperOutAfter = -1;  // labels left before the paper runs out; -1: never
  bool Faulted() const { return PaperOut || HeadOpen || RibbonOut; }  // an error, not a pause
  bool CanPrint() const { return !Paused && !Faulted(); }
  friend bool operator==(const PrinterState&, const PrinterState&) = default;
};

// What a printer keeps of its last RFID write and tells when asked: SBPL's
// SOH RU, after a label that asked for it with ESC RU (SATO S84-ex / S86-ex
// Programming Reference, RFID, pp. 308-310 / 344).
struct TagWriteStatus {
  bool Understood = false;  // read back: the answer had the documented shape
  bool Written = false;     // b: 1 success, 0 failure
  char Error = 'N';         // c: N none, E EPC write, T TID read, M chip (MCS), A all of them
  // d: EP: and ID:, hexadecimal, each when the printer gives it (its
  // DATA_TO_RECODE setting: 0 both, 1 the EPC, 2 the TID).
  std::optional<std::string> Epc, Tid;
};

// What a printer counts of its RFID tags since it was made (SBPL SOH RB's
// life counter, "Lc:"; SATO S84-ex / S86-ex Programming Reference, "RFID
// setting status request", p. 344) or since its counters were last reset
// (ZPL's odometer.rfid.valid_resettable and .void_resettable; RFID
// Programming Guide 58978L-008, "SGD Commands for RFID"): the tags written,
// the tags that failed (each a VOID label) and every try.
struct TagCounts {
  long Written = 0, Failed = 0, Total = 0;
  friend bool operator==(const TagCounts&, const TagCounts&) = default;
};

// What the answers tell besides the state.
struct Snapshot {
  PrinterState State;
  int Dpi = 203;
  int FormatsInBuffer = 0;                     // jobs waiting to print
  long LabelsRemaining = 0;                    // of the job printing or waiting first
  std::string JobId;                           // SBPL <ID> of that job, two characters or empty
  std::string JobName;                         // SBPL <WK> of that job
  std::optional<TagWriteStatus> LastTagWrite;  // SBPL SOH RU: the last RFID write; none: no write yet
  TagCounts Tags;                              // SBPL SOH RB, ZPL's RFID odometers
};

// One immediate command that asks the printer something, and its answer.
struct StatusQuery {
  std::string_view Name;     // as the guide writes it: "~HQES", "ENQ", "ESC !?"
  std::string_view Command;  // its bytes, as the printer finds them in a stream
  std::string_view Sent;     // what `morvel status` sends; empty: not asked
  // Bytes of `received` that make one whole answer, 0 while incomplete. An
  // answer that cannot be of the documented shape counts as whole where it
  // shows that, so a babbling device never holds the caller to its deadline.
  size_t (*Frame)(std::string_view received);
  Reading (*Read)(std::string_view answer);  // null: the answer tells no state
  std::string (*Answer)(const Snapshot& s);  // the virtual printer's answer
  bool Cancels = false;                      // it cancels the jobs first (SBPL CAN)
};

struct StatusLanguage {
  std::span<const StatusQuery> Queries;  // in the order `morvel status` asks
  bool AnyCase = false;                  // commands recognised in either case
  // Queries recognised only between jobs (SBPL: outside ESC A .. ESC Z);
  // empty: anywhere in the stream.
  std::string_view JobStart, JobEnd;
};
const StatusLanguage& StatusOf(Language language);

// The reasons' state: stopped for any fault or pause, else `fallback`.
std::string StateFor(const std::vector<Reason>& reasons, const std::string& fallback);
// Adds a reason once.
void AddReason(std::vector<Reason>& reasons, Reason reason);

namespace zpl {
// The RFID odometers, as SGD getvar asks them: each answers its count in
// double quotes ("12").
constexpr std::string_view ValidTagsQuery = "! U1 getvar \"odometer.rfid.valid_resettable\"";
constexpr std::string_view VoidTagsQuery = "! U1 getvar \"odometer.rfid.void_resettable\"";
size_t QuotedFrame(std::string_view received);  // "..."
std::optional<long> ReadQuotedCount(std::string_view answer);
std::string ValidTagsAnswer(const Snapshot& s);
std::string VoidTagsAnswer(const Snapshot& s);
size_t HostQueryFrame(std::string_view received);   // one STX..ETX CR LF
size_t HostStatusFrame(std::string_view received);  // three of them
Reading ReadHostQuery(std::string_view answer);     // ~HQES
Reading ReadHostStatus(std::string_view answer);    // ~HS
const StatusQuery& HostStatusQuery();               // ~HS's row of the table
std::string HostStatus(const Snapshot& s);          // ~HS: three STX..ETX CR LF strings
std::string HostQuery(const Snapshot& s);           // ~HQES
std::string HostIdentification(const Snapshot& s);  // ~HI
extern const StatusLanguage Status;
}  // namespace zpl

namespace sbpl {
size_t Status4Frame(std::string_view received);  // LAN length + ENQ + STX..ETX, or STX..ETX
Reading ReadStatus4(std::string_view answer);
std::string Status4(const Snapshot& s);      // ENQ on a LAN port: length, ENQ, STX..ETX
std::string CancelReply(const Snapshot& s);  // CAN: ACK, or NAK in an error
// SOH RU: the last RFID write's status, asked once the label has printed
// (asked before any write, a printer answers failure). Its answer is
// [STX]a,b,c,d[ETX]: a the count of the bytes from b to the ETX (at most
// five digits), b the result, c the error symbol, d "EP:hex,ID:hex" CR LF.
constexpr std::string_view TagWriteQuery = "\x01RU";
size_t TagWriteFrame(std::string_view received);  // STX..ETX
TagWriteStatus ReadTagWrite(std::string_view answer);
std::string TagWriteAnswer(const Snapshot& s);  // of s.LastTagWrite; failure, N and nothing read without one
// SOH RB: the RFID settings and counters. Its answer is [STX], the mode
// byte (02h with RFID on; alone before the ETX with it off), the length of
// the fields in four digits, the fields, [ETX]; each field an identifier
// and comma-separated values: "Lc:" the life counter's successes, failures
// and total, "Rc:" the resettable counter's.
constexpr std::string_view TagCountsQuery = "\x01RB";
size_t TagCountsFrame(std::string_view received);  // STX..ETX
// The life counter; none when the answer is not of that shape or RFID is off.
std::optional<TagCounts> ReadTagCounts(std::string_view answer);
std::string TagCountsAnswer(const Snapshot& s);
// The error symbol in words: "the EPC could not be written" for E.
std::string TagErrorWords(char symbol);
extern const StatusLanguage Status;
}  // namespace sbpl

namespace tspl {
size_t StatusByteFrame(std::string_view received);  // one byte
size_t ExtendedFrame(std::string_view received);    // STX 4 bytes ETX CR LF
Reading ReadStatusByte(std::string_view answer);    // ESC !?
Reading ReadExtended(std::string_view answer);      // ESC !S
std::string StatusByte(const Snapshot& s);
std::string ExtendedStatus(const Snapshot& s);
extern const StatusLanguage Status;
}  // namespace tspl

}  // namespace morvel::lang
