// The virtual printer's jobs and its print engine (its ports are in
// EmulatePorts.cpp). One engine pictures the jobs in the order they
// arrived, and only while the printer can print: jobs that come while it
// cannot wait in its buffer.
#include "hosts/emulate/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "core/utf8.h"
#include "lang/Languages.h"
#include "preview/Preview.h"
#include "render/Page.h"

namespace morvel::emulate {
namespace {

// Labels a job prints before it gives way to another that waits.
constexpr size_t TurnLabels = 50;
// The copies of one label that take their tags and answer one by one, and
// the answers a job's record keeps.
constexpr size_t CopiesOneByOne = 1000, AnswersKept = 1000;

// The copies of `label` printed one by one: those of a label with tag
// operations or answers to send (^PQ); the others print as one.
size_t CopiesOf(JobRecord& job, const lang::Label& label, size_t index) {
  if (label.Tags.empty() && label.Verifications.empty()) return 1;
  const std::optional<long> asked = lang::detail::Whole(label.Copies);
  if (!asked || *asked <= 1) return 1;
  if (static_cast<size_t>(*asked) > CopiesOneByOne && job.CopiesDone == 0)
    job.Warnings.push_back("label " + std::to_string(index) + ": " + label.Copies + " copies: the first " +
                           std::to_string(CopiesOneByOne) + " take tags and answer");
  return std::min(static_cast<size_t>(*asked), CopiesOneByOne);
}

std::string Numbered(int id) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", id);
  return text;
}

}  // namespace

std::string RecordJson(const JobRecord& job, int indent) {
  // The warnings quote the job's bytes, and the folder is the user's: any
  // byte that is not UTF-8 is shown as \xHH, so the record is valid JSON.
  std::vector<std::string> warnings;
  for (const auto& w : job.Warnings) warnings.push_back(core::EscapeNonUtf8(w));
  const nlohmann::json record = {{"id", job.Id},
                                 {"language", lang::NameOf(job.Language)},
                                 {"file", core::EscapeNonUtf8(job.File)},
                                 {"peer", core::EscapeNonUtf8(job.Peer)},
                                 {"received", job.Received},
                                 {"bytes", job.Bytes},
                                 {"cut", job.Cut},
                                 {"dropped", job.Dropped},
                                 {"stage", NameOf(job.Stage)},
                                 {"labels", job.LabelsTotal},
                                 {"labels_printed", job.LabelsPrinted},
                                 {"pictures", job.Pictures},
                                 {"warnings", std::move(warnings)}};
  if (job.Tags.empty() && job.Answers.empty())
    return record.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
  nlohmann::json withTags = record;
  if (!job.Answers.empty()) {
    nlohmann::json& answers = withTags["answers"] = nlohmann::json::array();
    for (const std::string& a : job.Answers) answers.push_back(core::EscapeNonUtf8(a));
  }
  if (job.Tags.empty()) return withTags.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
  nlohmann::json& tags = withTags["tags"] = nlohmann::json::array();
  for (const TagRecord& t : job.Tags)
    tags.push_back({{"label", t.Label},
                    {"copy", t.Copy},
                    {"try", t.Try},
                    {"place", t.Place},
                    {"tid", t.Tid},
                    {"result", t.Written ? "written" : "void"},
                    {"reason", t.Reason},
                    {"epc", t.Epc},
                    {"user", t.User}});
  return withTags.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string DefaultJobsFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::string(state) + "/morvel/emulate";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : "/tmp") + "/.local/state/morvel/emulate";
}

bool Emulator::Start(std::string& error) {
  if (!folder_.Open(options_.JobsFolder, error)) return false;
  // Numbers go on after the largest kept, whatever its width: no name is
  // used twice (and a new file never replaces one, see NewJob).
  nextId_ = static_cast<int>(std::min(folder_.LargestNumber(), 999999998L)) + 1;
  if (!Listen(error)) {
    Stop();
    return false;
  }
  engine_ = std::thread([this] { Engine(); });
  StartAccepting();
  return true;
}

void Emulator::Stop() { StopWithin(std::chrono::milliseconds::max()); }

bool Emulator::StopWithin(std::chrono::milliseconds limit) {
  if (stopping_.exchange(true)) return true;
  StopNetwork();
  std::unique_lock<std::mutex> hold(lock_);
  Changed();
  // The engine stops after the label it draws; one label is bounded, but
  // may still take seconds.
  const bool done = !engine_.joinable() || limit == std::chrono::milliseconds::max() ||
                    changed_.wait_for(hold, limit, [&] { return engineDone_; });
  hold.unlock();
  if (engine_.joinable()) {
    if (done)
      engine_.join();
    else
      engine_.detach();
  }
  return done;
}

void Emulator::Log(const std::string& line) {
  std::lock_guard<std::mutex> hold(logLock_);
  std::cerr << "morvel emulate: " << line << std::endl;
}

int Emulator::NewJob(Language language, std::string& file, platform::FileDescriptor& fd) {
  std::lock_guard<std::mutex> hold(lock_);
  for (;;) {
    const int id = nextId_ < 999999999 ? nextId_++ : nextId_;
    file = Numbered(id) + "." + lang::NameOf(language);
    fd = folder_.Create(file);
    // A name taken since the folder was read (by hand, or another program) is passed over.
    if (fd.IsOpen() || errno != EEXIST || id == 999999999) return id;
  }
}

std::optional<std::string> Emulator::Picture(const std::string& name) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    bool listed = false;
    for (const auto& job : jobs_)
      listed = listed || std::find(job.Pictures.begin(), job.Pictures.end(), name) != job.Pictures.end();
    if (!listed) return std::nullopt;
  }
  return folder_.Read(name);
}

void Emulator::Cancel(Language language) {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == *it; });
    if (job != jobs_.end() && job->Language == language && job->Stage == JobStage::Waiting) {
      job->Stage = JobStage::Cancelled;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  Changed();
}

void Emulator::Finished(JobRecord record) {
  // Read once to know the labels and warnings; a job that cannot be read
  // whole gives no picture, as `morvel preview` gives none.
  std::string bytes = folder_.Read(record.File, options_.SizeLimit).value_or("");
  if (const auto marks = lang::RowOf(record.Language).JobMarks) marks(bytes, record.JobId, record.JobName);
  if (record.Cut)
    record.Warnings.push_back("cut at " + std::to_string(options_.SizeLimit) + " of " + std::to_string(record.Bytes) +
                              " bytes");
  if (record.Stage != JobStage::Cancelled) {
    // One job is read at a time: the bounds of one job are then the bounds
    // of them all, however many come at once.
    std::lock_guard<std::mutex> reading(readLock_);
    try {
      preview::LabelsRead read = preview::ReadLabels(bytes, record.Language, options_.Dpi, [](lang::Label&&) {});
      for (const auto& w : read.Warnings)
        record.Warnings.push_back("offset " + std::to_string(w.Offset) + ": " + w.Text);
      if (!read.Unpictured().empty()) record.Warnings.push_back(read.Unpictured());
      record.LabelsTotal = read.Labels;
      if (read.Labels == 0) record.Warnings.push_back("the job prints no label");
    } catch (const std::exception& e) {
      record.Warnings.push_back(std::string("no picture: ") + e.what());
    }
  }
  folder_.Replace(Numbered(record.Id) + ".json", RecordJson(record, 1) + "\n");
  Log("job " + std::to_string(record.Id) + " (" + lang::NameOf(record.Language) + ", " + std::to_string(record.Bytes) +
      " bytes) from " + record.Peer +
      (record.Warnings.empty() ? "" : ", " + std::to_string(record.Warnings.size()) + " warnings"));
  std::lock_guard<std::mutex> hold(lock_);
  if (record.Stage == JobStage::Waiting) queue_.push_back(record.Id);
  jobs_.push_front(std::move(record));
  Changed();
}

void Emulator::Changed() {
  ++version_;
  changed_.notify_all();
}

void Emulator::Engine() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [&] { return stopping_ || (!queue_.empty() && state_.CanPrint()); });
    if (stopping_) {
      engineDone_ = true;
      changed_.notify_all();
      return;
    }
    const int id = queue_.front();
    auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == id; });
    if (it == jobs_.end()) {
      queue_.pop_front();
      continue;
    }
    it->Stage = JobStage::Printing;
    JobRecord job = *it;
    Changed();
    hold.unlock();
    bool yielded = false;
    const bool whole = PrintSome(job, yielded);
    hold.lock();
    it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == id; });
    if (it == jobs_.end()) continue;
    const bool cancelled = it->Stage == JobStage::Cancelled;
    *it = job;
    if (cancelled)
      it->Stage = JobStage::Cancelled;
    else
      it->Stage = whole ? JobStage::Printed : JobStage::Waiting;
    if ((whole || cancelled || yielded) && !queue_.empty() && queue_.front() == id) queue_.pop_front();
    if (yielded && !cancelled) queue_.push_back(id);
    folder_.Replace(Numbered(id) + ".json", RecordJson(*it, 1) + "\n");
    Changed();
  }
}

bool Emulator::TakeTags(JobRecord& job, const lang::Label& label, size_t index, const preview::Media& media,
                        bool& stopped, std::optional<TagRecord>& written) {
  // A label that asks for tag operations takes its tags first: each that
  // fails voids a label, and the same label is tried on the next.
  const LabelTags tags = roll_.Encode(label, index);
  written.reset();
  for (TagRecord t : tags.Tags) {
    t.Copy = job.CopiesDone + 1;
    job.Tags.push_back(t);
    {
      // The printer keeps its last write's status (SBPL SOH RU): its EPC
      // and TID read back, or E, the EPC write failed, whatever made the
      // tag fail (weak, locked, two in the field).
      lang::TagWriteStatus last;
      last.Written = t.Written;
      last.Error = t.Written ? 'N' : 'E';
      last.Epc = t.Written ? t.Epc : "";
      last.Tid = t.Written ? t.Tid : "";
      std::lock_guard<std::mutex> hold(lock_);
      lastTagWrites_[job.Language] = last;
      // And counts it (SBPL SOH RB, ZPL's RFID odometers).
      lang::TagCounts& counts = tagCounts_[job.Language];
      ++(t.Written ? counts.Written : counts.Failed);
      ++counts.Total;
    }
    if (t.Written) {
      written = t;
    } else {
      WriteVoid(job, label, index, t.Try, media);
      Verify(job, label, &t, true);
    }
  }
  if (!tags.GaveUp) return true;
  const lang::TagRules& rules = label.TagFailures;
  const std::string tried =
      "label " + std::to_string(index) + ": its tag failed on " + std::to_string(tags.Tags.size()) + " labels (^RS)";
  if (rules.OnFailure == 'N') {
    job.Warnings.push_back(tried + "; the format was dropped");
    job.LabelsPrinted = index;
    Verify(job, label, &job.Tags.back(), false);  // its last label was a VOID
    return false;
  }
  // Paused (P) or in error (E): the label stays, to be tried again when the
  // printer goes on.
  job.Warnings.push_back(tried + "; the printer " + (rules.OnFailure == 'P' ? "paused" : "stopped in error"));
  job.LabelsPrinted = index - 1;
  stopped = true;
  std::lock_guard<std::mutex> hold(lock_);
  state_.Paused = true;
  Changed();
  return false;
}

void Emulator::WriteVoid(JobRecord& job, const lang::Label& label, size_t index, int attempt,
                         const preview::Media& media) {
  const int dpi = options_.Dpi;
  lang::Label voided = label;
  lang::TextField word;
  word.X = dpi / 8;
  word.Y = dpi / 8;
  word.Utf8 = "VOID";
  word.Look.Height = dpi;  // an inch tall
  word.Look.Bold = true;
  voided.Fields.push_back(std::move(word));
  std::vector<std::string> problems;
  try {
    const auto png = render::EncodePng(preview::Paint(voided, dpi, &problems, media), dpi);
    const std::string copy = job.CopiesDone > 0 ? "-copy-" + std::to_string(job.CopiesDone + 1) : "";
    const std::string name =
        Numbered(job.Id) + "-" + std::to_string(index) + copy + "-void-" + std::to_string(attempt) + ".png";
    if (folder_.Replace(name, std::string_view(reinterpret_cast<const char*>(png.data()), png.size())))
      job.Pictures.push_back(name);
    else
      job.Warnings.push_back("cannot write " + name);
  } catch (const std::exception& e) {
    job.Warnings.push_back("label " + std::to_string(index) + ": no picture of its VOID: " + e.what());
  }
}

void Emulator::Verify(JobRecord& job, const lang::Label& label, const TagRecord* tag, bool perLabel) {
  for (const lang::HostVerification& v : label.Verifications) {
    if (v.PerLabel != perLabel) continue;
    std::string answer =
        v.Header + FieldValue(label, v.Field, tag).substr(0, static_cast<size_t>(v.Bytes)) + v.Terminator;
    if (!job.Reply || !job.Reply(answer)) continue;
    if (job.Answers.size() < AnswersKept) job.Answers.push_back(std::move(answer));
  }
}

void Emulator::WritePicture(JobRecord& job, const lang::Label& label, size_t index, const preview::Media& media) {
  const int dpi = options_.Dpi;
  std::vector<std::string> problems;
  std::optional<core::Bitmap> dots;
  try {
    dots = preview::Paint(label, dpi, &problems, media);
  } catch (const std::exception& e) {
    // The label still leaves the printer, blank: the record says why.
    problems.push_back(std::string("no picture: ") + e.what());
  }
  for (auto& p : problems) job.Warnings.push_back("label " + std::to_string(index) + ": " + p);
  const std::string name = Numbered(job.Id) + "-" + std::to_string(index) + ".png";
  if (dots) {
    const auto png = render::EncodePng(*dots, dpi);
    if (!folder_.Replace(name, std::string_view(reinterpret_cast<const char*>(png.data()), png.size())))
      job.Warnings.push_back("cannot write " + name);
    else
      job.Pictures.push_back(name);
  }
}

bool Emulator::PrintSome(JobRecord& job, bool& yielded) {
  std::string bytes = folder_.Read(job.File, options_.SizeLimit).value_or("");
  const int dpi = options_.Dpi;
  const auto mm = options_.MediaMm.find(job.Language);
  const preview::Media media =
      mm == options_.MediaMm.end() ? preview::Media{} : preview::MediaOf(mm->second.first, mm->second.second, dpi);
  size_t index = 0;
  bool stopped = false;
  size_t turn = 0;
  auto print = [&](const lang::Label& label) {
    if (stopped) return;
    if (index++ < job.LabelsPrinted) return;  // printed before the printer stopped
    {
      std::lock_guard<std::mutex> hold(lock_);
      // A job of many labels gives way to the next in turn, so that a small
      // job never waits behind a large one for long.
      yielded = turn >= TurnLabels && queue_.size() > 1;
      if (stopping_ || !state_.CanPrint() || yielded) {
        stopped = true;
        return;
      }
    }
    ++turn;
    // Each copy takes its own tag and answers when it leaves the printer;
    // one picture shows them all.
    const size_t copies = CopiesOf(job, label, index);
    std::optional<TagRecord> tag;
    for (; job.CopiesDone < copies; ++job.CopiesDone) {
      if (!TakeTags(job, label, index, media, stopped, tag)) {
        if (!stopped) job.CopiesDone = 0;  // dropped
        return;
      }
      if (job.CopiesDone + 1 < copies) Verify(job, label, tag ? &*tag : nullptr, true);
    }
    job.CopiesDone = 0;
    WritePicture(job, label, index, media);
    job.LabelsPrinted = index;
    Verify(job, label, tag ? &*tag : nullptr, true);
    Verify(job, label, tag ? &*tag : nullptr, false);
    std::lock_guard<std::mutex> hold(lock_);
    if (state_.PaperOutAfter > 0 && --state_.PaperOutAfter == 0) {
      state_.PaperOut = true;
      state_.PaperOutAfter = -1;
    }
    if (auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == job.Id; });
        it != jobs_.end()) {
      it->LabelsPrinted = job.LabelsPrinted;
      it->Pictures = job.Pictures;
      it->Tags = job.Tags;
      it->Answers = job.Answers;
    }
    Changed();
  };
  try {
    const preview::LabelsRead read =
        preview::ReadLabels(bytes, job.Language, dpi, [&](lang::Label&& label) { print(label); });
    // The labels past the pictures' bound leave the printer unpictured.
    if (!stopped) job.LabelsPrinted = read.Labels;
  } catch (const lang::MalformedJob&) {
    return true;  // told when the job came: no picture
  } catch (const std::exception& e) {
    job.Warnings.push_back(std::string("no picture: ") + e.what());
    return true;
  }
  return !stopped;
}

PrinterState Emulator::State() {
  std::lock_guard<std::mutex> hold(lock_);
  return state_;
}

void Emulator::SetState(const PrinterState& state) {
  std::lock_guard<std::mutex> hold(lock_);
  state_ = state;
  if (state_.PaperOutAfter == 0) {
    state_.PaperOut = true;
    state_.PaperOutAfter = -1;
  }
  Changed();
}

std::vector<JobRecord> Emulator::Jobs() {
  std::lock_guard<std::mutex> hold(lock_);
  return {jobs_.begin(), jobs_.end()};
}

Snapshot Emulator::SnapshotLocked() {
  Snapshot s;
  s.State = state_;
  s.Dpi = options_.Dpi;
  s.FormatsInBuffer = static_cast<int>(queue_.size());
  if (!queue_.empty()) {
    auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == queue_.front(); });
    if (it != jobs_.end()) {
      s.JobId = it->JobId;
      s.JobName = it->JobName;
      s.LabelsRemaining =
          static_cast<long>(it->LabelsTotal > it->LabelsPrinted ? it->LabelsTotal - it->LabelsPrinted : 0);
    }
  }
  return s;
}

Snapshot Emulator::Now() {
  std::lock_guard<std::mutex> hold(lock_);
  return SnapshotLocked();
}

uint64_t Emulator::Version() {
  std::lock_guard<std::mutex> hold(lock_);
  return version_;
}

uint64_t Emulator::WaitForChange(uint64_t seen, int limitMs) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(limitMs), [&] { return version_ != seen || stopping_; });
  return version_;
}

}  // namespace morvel::emulate
