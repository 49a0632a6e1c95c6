// morvel emulate: a virtual label printer. One raw TCP port per language;
// each connection read to its end is one job, kept in the jobs folder and
// pictured through the house preview by one print engine, as a printer
// prints one label after another. Status queries on the connection are
// answered at once from the state the user set.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hosts/emulate/JobsFolder.h"
#include "hosts/emulate/TagRoll.h"
#include "lang/Status.h"
#include "preview/Preview.h"

namespace morvel::emulate {

using lang::Language;
using lang::PrinterState;
using lang::Snapshot;
using Query = const lang::StatusQuery*;  // a row of the language's status table

// Takes the status queries of a language's table out of its byte stream as
// it comes, in pieces cut anywhere.
class QueryScanner {
 public:
  explicit QueryScanner(Language language) : status_(lang::StatusOf(language)) {}
  // Appends the job bytes of `chunk` to `job` and the queries to `queries`.
  void Feed(std::string_view chunk, std::string& job, std::vector<Query>& queries);
  // The bytes held back at the end (a query's start that never finished).
  void Finish(std::string& job);

 private:
  const lang::StatusLanguage& status_;
  std::string held_;
  bool insideJob_ = false;
};

// Finds in a job's bytes, as they come in pieces cut anywhere, each end of
// a label whose host waits on the connection for answers, so the job ends
// there. ZPL: each ^XZ that closes a format holding ^HV; commands are told
// by their prefixes (^CC and ~CC change them); the bytes of a download are
// not stepped over, so a "^XZ" within binary graphic data is taken as one.
// SBPL: each ESC Z after an ESC RU (the host asks SOH RU once the label
// has printed); the counted data of ESC GM, GP and DN is stepped over.
class AnswerCuts {
 public:
  explicit AnswerCuts(Language language) : language_(language) {}
  // Where the first such label ends in `chunk` (the byte after its ^XZ or
  // ESC Z); npos when none does. The next call goes on after that place.
  size_t Next(std::string_view chunk);

 private:
  size_t NextZpl(std::string_view chunk);
  size_t NextSbpl(std::string_view chunk);
  enum class At { Text, Prefix, Letter, Caret, Tilde };
  enum class SbplAt { Text, Esc, Name, Count, Data };
  Language language_;
  char caret_ = '^', tilde_ = '~', prefix_ = 0, letter_ = 0;
  At at_ = At::Text;
  SbplAt sbplAt_ = SbplAt::Text;
  bool inFormat_ = false, answers_ = false;
  uint64_t count_ = 0;  // SBPL: the counted data's bytes, as read and then as left
  int digits_ = 0;
};

enum class JobStage { Waiting, Printing, Printed, Cancelled };

struct JobRecord {
  int Id = 0;
  lang::Language Language = lang::Language::Zpl;
  std::string File;      // the job's bytes as they came, the answered queries taken out (a name in the folder)
  std::string Peer;      // who sent it
  std::string Received;  // ISO 8601 UTC
  uint64_t Bytes = 0;    // as received, queries included
  bool Cut = false;      // over the size limit: the rest was read and dropped
  bool Dropped = false;  // the connection broke off
  JobStage Stage = JobStage::Waiting;
  size_t LabelsTotal = 0;
  size_t LabelsPrinted = 0;
  std::vector<std::string> Pictures;  // PNG files in the folder, one a label printed
  std::vector<std::string> Warnings;
  std::string JobId, JobName;        // the job's marks its language's status answer reports (lang/Languages.h)
  std::vector<TagRecord> Tags;       // the RFID tags its labels took, one a try (a printer loaded with tags)
  std::vector<std::string> Answers;  // its ^HV answers sent, in order (the first thousand)
  size_t CopiesDone = 0;             // of the label after LabelsPrinted, when the printer stopped in it
  // Sends bytes on the connection the job came on; false when it is no longer served.
  std::function<bool(const std::string&)> Reply;
};
const char* NameOf(JobStage stage);
// The job's record as JSON, as the jobs folder and the page show it.
std::string RecordJson(const JobRecord& job, int indent = -1);

struct Options {
  std::string ListenAddress = "127.0.0.1";
  std::map<Language, int> Ports;  // the languages served and their ports (0: a free one); the others are off
  std::string JobsFolder;
  int Dpi = 203;
  // The labels each language's printer is loaded with, width and length
  // in millimetres: a label whose job gives no size prints on them. Not
  // told (or 0): 4 x 6 inches.
  std::map<Language, std::pair<double, double>> MediaMm;
  uint64_t SizeLimit = 64ull << 20;
  int IdleTimeoutMs = 60 * 1000;   // a connection silent this long is ended
  size_t ConnectionsPerPort = 64;  // served at once on one language's port; a newcomer
                                   // beyond them takes the place of the one silent longest
  TagRollOptions Rfid;             // the roll of RFID tags, when loaded
};

class Emulator {
 public:
  explicit Emulator(Options options);
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Binds every port; false with `error` naming the port that failed.
  bool Start(std::string& error);
  void Stop();
  // Stops, waiting at most `limit` for the label being drawn; false when it
  // is still being drawn (the process should then end without waiting).
  bool StopWithin(std::chrono::milliseconds limit);
  int Port(Language language) const;
  const Options& Settings() const { return options_; }

  PrinterState State();
  void SetState(const PrinterState& state);
  std::vector<JobRecord> Jobs();  // newest first
  Snapshot Now();
  // Counts every change of jobs or state; waits until it differs from
  // `seen` or `stop` is set, at most `limitMs`.
  uint64_t WaitForChange(uint64_t seen, int limitMs);
  uint64_t Version();
  // Jobs come from the network only; the web page and tests feed this too.
  void Log(const std::string& line);
  // The PNG of a picture some job lists, by its name; nullopt for any other name.
  std::optional<std::string> Picture(const std::string& name);

 private:
  struct Network;     // the listeners on Asio, and the thread that accepts
  struct Connection;  // one connection's socket, with its own io_context and thread
  struct Intake;      // one connection's job as it comes
  bool Listen(std::string& error);
  void StartAccepting();
  void StopNetwork();  // and waits until every connection has ended
  void Accept(size_t listener);
  void Pause(size_t listener, const std::string& why);  // accepts again in a moment
  void Spawn(Language language, std::shared_ptr<Connection> connection);
  void Serve(const std::shared_ptr<Connection>& connection, Language language);
  // A new job's number and its file, made new in the folder (not open when it cannot be).
  int NewJob(Language language, std::string& file, platform::FileDescriptor& fd);
  void Finished(JobRecord record);
  void Engine();
  // False: stopped before the job's end, or `yielded` its turn to the next job.
  bool PrintSome(JobRecord& job, bool& yielded);
  // The tags of the label's copy after job.CopiesDone taken from the roll,
  // each void answered (^HV), the one written in `written`: false when its
  // tags failed and it does not print now (dropped, or the printer paused,
  // `stopped` then set).
  bool TakeTags(JobRecord& job, const lang::Label& label, size_t index, const preview::Media& media, bool& stopped,
                std::optional<TagRecord>& written);
  // The picture of a label voided on its try `attempt`: the label with VOID across it.
  void WriteVoid(JobRecord& job, const lang::Label& label, size_t index, int attempt, const preview::Media& media);
  void WritePicture(JobRecord& job, const lang::Label& label, size_t index, const preview::Media& media);
  // Sends the label's ^HV answers of a kind on the job's connection: those
  // after each label (L), or after the format's last (F); `tag` the one it
  // took (nullptr: none).
  void Verify(JobRecord& job, const lang::Label& label, const TagRecord* tag, bool perLabel);
  void Changed();  // with lock_ held
  Snapshot SnapshotLocked();
  void Answer(Connection& connection, Query query);
  void Cancel(Language language);

  Options options_;
  JobsFolder folder_;
  std::unique_ptr<Network> network_;
  std::atomic<bool> stopping_{false};

  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t version_ = 0;
  PrinterState state_;
  int nextId_ = 1;
  std::list<JobRecord> jobs_;  // newest first
  std::list<int> queue_;       // ids waiting to print, oldest first
  std::thread engine_;
  bool engineDone_ = false;
  TagRoll roll_{TagRollOptions{}};  // used by the engine alone
  // Each language's printer's last RFID write, as SBPL's SOH RU answers it.
  std::map<Language, lang::TagWriteStatus> lastTagWrites_;
  std::map<Language, lang::TagCounts> tagCounts_;  // and what it counts of its tags

  std::mutex connectionsLock_;
  std::condition_variable connectionsChanged_;
  std::vector<std::shared_ptr<Connection>> open_;  // served now
  std::mutex logLock_;
  std::mutex readLock_;  // one job read at a time (Finished)
};

// The default jobs folder: $XDG_STATE_HOME/morvel/emulate, else
// ~/.local/state/morvel/emulate.
std::string DefaultJobsFolder();

}  // namespace morvel::emulate
