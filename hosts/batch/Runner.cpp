// A batch run, and its resumption.
#include "hosts/batch/Runner.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "drivers/Brands.h"
#include "hosts/batch/SqliteJournal.h"
#include "lang/Languages.h"
#include "lang/Template.h"

namespace morvel::batch {
namespace {

using nlohmann::json;

std::string ReadAll(const std::string& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("the " + std::string(what) + " '" + path + "' cannot be read");
  return {std::istreambuf_iterator<char>(in), {}};
}

// FNV-1a, 64 bits: what a resume compares of a file, and of a label's fields.
constexpr uint64_t FnvStart = 1469598103934665603ULL;
uint64_t Fnv(uint64_t h, std::string_view bytes) {
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ULL;
  return h;
}
std::string Hex16(uint64_t h) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// What makes label N that label, for the journal.
LabelKey KeyOf(const PlannedLabel& label, const PlanOptions& plan) {
  LabelKey key;
  key.Number = label.Number;
  key.Row = label.Row;
  key.Copy = label.Copy;
  if (const std::string* s = plan.Serial.Enabled ? label.Find(plan.Serial.Field) : nullptr) key.Serial = *s;
  if (const std::string* e = plan.Epc.Enabled ? label.Find(plan.Epc.Field) : nullptr) key.Epc = *e;
  // The fields' text, hashed: the same row gives the same key.
  uint64_t h = FnvStart;
  for (const auto& [name, value] : label.Fields)
    for (const std::string* part : {&name, &value}) h = Fnv(Fnv(h, *part), "\xFF");
  key.Fields = Hex16(h);
  return key;
}

// The template's language, which must be the one the printer speaks.
lang::Language LanguageOf(const std::string& printer, const std::string& job) {
  const std::optional<lang::Language> written = lang::JobLanguage(job);
  if (!written)
    throw lang::TemplateError("the template is a job in no language Morvel reads (" + lang::LanguageTitles() + ")");
  const drivers::PrinterLanguage speaks = drivers::LanguageOfPrinter(printer);
  if (speaks.Speaks && *speaks.Speaks != *written)
    throw lang::TemplateError(std::string("the template is ") + lang::TitleOf(*written) + ", and '" + printer +
                              "' speaks " + lang::TitleOf(*speaks.Speaks));
  return *written;
}

class Run {
 public:
  Run(Journal& journal, const RunOptions& options, const RunHooks& hooks)
      : journal_(journal), options_(options), hooks_(hooks) {}

  Summary Go(PrinterLink& link, const lang::Template& tpl, uint64_t total) {
    Summary summary;
    summary.Mode = std::string(NameOf(journal_.Info().Mode));
    summary.Why = link.WhyNoWord();
    total_ = total;
    const Progress before = journal_.Status();
    done_ = before.Count(LabelState::Confirmed) + before.Count(LabelState::Done) + before.Count(LabelState::Void);
    Tell(Event::Kind::Started, 0, 0, journal_.Where());
    std::unique_ptr<RowSource> source = OpenData(options_.DataPath, options_.Data);
    LabelPlan plan(*source, options_.Plan);
    for (PlannedLabel label; plan.Next(label);) {
      const LabelKey key = KeyOf(label, options_.Plan);
      if (label.Number <= before.LastPlanned) {
        const std::optional<LabelRecord> held = journal_.Label(label.Number);
        if (!held || !(held->Key == key))
          throw DataError("label " + std::to_string(label.Number) + " (row " + std::to_string(label.Row) +
                          ") is not the label the journal holds: the data or the options changed");
        if (held->State != LabelState::Planned && held->State != LabelState::Uncertain) continue;
      } else {
        journal_.Plan(key);
      }
      if (Interrupted(1)) {
        summary.Stopped = "interrupted (Ctrl+C) before label " + std::to_string(label.Number);
        break;
      }
      if (!Print(link, tpl, label, summary)) break;
    }
    Summarise(summary);
    summary.Finished = summary.Stopped.empty();
    Tell(summary.Finished ? Event::Kind::Finished : Event::Kind::Stopped, 0, 0, summary.Stopped);
    return summary;
  }

 private:
  bool Interrupted(int times) const { return hooks_.Interrupts && hooks_.Interrupts->load() >= times; }

  void Tell(Event::Kind kind, uint64_t label, uint64_t row, const std::string& detail) {
    if (!hooks_.Told) return;
    Event e;
    e.What = kind;
    e.Label = label, e.Row = row, e.Done = done_, e.Total = total_;
    e.Detail = detail;
    hooks_.Told(e);
  }

  // One label: filled, journalled sent, sent, and the printer's word on
  // it; false when the run must stop.
  bool Print(PrinterLink& link, const lang::Template& tpl, const PlannedLabel& label, Summary& summary) {
    std::string job;
    try {
      job = lang::FillTemplate(tpl, [&](std::string_view name) { return label.Find(name); });
    } catch (const lang::FieldError& e) {
      throw DataError((options_.DataPath == "-" ? std::string("standard input") : options_.DataPath) + ", row " +
                      std::to_string(label.Row) + ": " + e.what());
    }
    const uint64_t n = label.Number;
    const std::string token = journal_.Info().Id.substr(0, 8) + ":" + std::to_string(n);
    journal_.Sent(n);
    try {
      link.Send(link.Echoing(std::move(job), token));
    } catch (const std::exception& e) {
      summary.Stopped = "the printer was lost sending label " + std::to_string(n) + ": " + e.what();
      return false;
    }
    if (journal_.Info().Mode == BatchMode::Sent) {
      journal_.Confirmed(n, "sent whole; the printer cannot confirm: " + link.WhyNoWord());
      ++done_;
      Tell(Event::Kind::Printed, n, label.Row, "sent");
      return true;
    }
    const Word word = link.Await(
        token, options_.Waits, [&](const std::string& said) { Tell(Event::Kind::Printer, n, label.Row, said); },
        [&] { return Interrupted(2); });
    switch (word.What) {
      case Word::Kind::Printed:
        journal_.Confirmed(n, {});
        ++done_;
        Tell(Event::Kind::Printed, n, label.Row, "confirmed");
        return true;
      case Word::Kind::Silent:
        journal_.Uncertain(n, word.Detail);
        Tell(Event::Kind::Uncertain, n, label.Row, word.Detail);
        summary.Stopped = "label " + std::to_string(n) + " is uncertain: " + word.Detail;
        return false;
      case Word::Kind::Stopped:
      case Word::Kind::Lost:
        summary.Stopped = "label " + std::to_string(n) + " (row " + std::to_string(label.Row) + ") was sent, and " +
                          word.Detail + "; it stays uncertain until the run is resumed";
        return false;
    }
    return false;
  }

  void Summarise(Summary& s) {
    const Progress p = journal_.Status();
    s.Confirmed = p.Count(LabelState::Confirmed);
    s.Void = p.Count(LabelState::Void);
    s.Uncertain = p.Count(LabelState::Uncertain) + p.Count(LabelState::Sent);
    s.Done = p.Count(LabelState::Done);
    s.Total = total_ ? total_ : p.LastPlanned;
    for (LabelState state : {LabelState::Uncertain, LabelState::Sent})
      for (const LabelRecord& r : journal_.Labels(state)) s.UncertainRows.push_back(r.Key.Row);
    for (const LabelRecord& r : journal_.Labels(LabelState::Void)) s.VoidRows.push_back(r.Key.Row);
  }

  Journal& journal_;
  const RunOptions& options_;
  const RunHooks& hooks_;
  uint64_t total_ = 0, done_ = 0;
};

// The labels the data makes, counted before the run (a file read twice);
// 0 for standard input, which is read once.
uint64_t CountLabels(const RunOptions& options) {
  if (options.DataPath == "-") return 0;
  std::unique_ptr<RowSource> source = OpenData(options.DataPath, options.Data);
  LabelPlan plan(*source, options.Plan);
  PlannedLabel label;
  while (plan.Next(label)) {
  }
  return plan.LabelsPlanned();
}

Summary Continue(Journal& journal, const RunOptions& options, const RunHooks& hooks) {
  const std::string job = ReadAll(options.TemplatePath, "template");
  const lang::Template tpl = lang::CompileTemplate(LanguageOf(options.Printer, job), job);
  const uint64_t total = CountLabels(options);
  PrinterLink link(options.Printer, tpl.Lang);
  if ((journal.Info().Mode == BatchMode::Sent) != !link.WhyNoWord().empty())
    throw std::runtime_error("the printer '" + options.Printer + "' " +
                             (link.WhyNoWord().empty() ? "can confirm its labels now, but the batch began without"
                                                       : "cannot confirm its labels now: " + link.WhyNoWord()));
  Run run(journal, options, hooks);
  return run.Go(link, tpl, total);
}

}  // namespace

std::string HashOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("'" + path + "' cannot be read");
  uint64_t h = FnvStart;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    h = Fnv(h, std::string_view(buffer, static_cast<size_t>(in.gcount())));
    if (!in) break;
  }
  return Hex16(h);
}

std::string OptionsJson(const RunOptions& o) {
  const SerialOptions& s = o.Plan.Serial;
  const EpcOptions& e = o.Plan.Epc;
  json j = {
      {"format", o.Data.Format},
      {"delimiter", o.Data.Delimiter},
      {"quantity", o.Plan.QuantityColumn},
      {"serial",
       {{"on", s.Enabled},
        {"start", s.Start},
        {"step", s.Step},
        {"width", s.Width},
        {"perRow", s.PerRow},
        {"field", s.Field}}},
      {"epc",
       {{"on", e.Enabled},
        {"scheme", e.Scheme},
        {"filter", e.Filter},
        {"prefixLength", e.CompanyPrefixLength},
        {"gtin", e.Gtin},
        {"gtinColumn", e.GtinColumn},
        {"field", e.Field}}},
      {"waits", {{"ask", o.Waits.Ask.count()}, {"answer", o.Waits.Answer.count()}, {"idle", o.Waits.Idle.count()}}},
  };
  return j.dump();
}

RunOptions OptionsFromJson(const BatchInfo& info) {
  RunOptions o;
  o.TemplatePath = info.TemplatePath;
  o.DataPath = info.DataPath;
  o.Printer = info.Printer;
  const json j = json::parse(info.Options, nullptr, false);
  if (j.is_discarded() || !j.is_object()) throw JournalError("the journal's options cannot be read");
  try {
    o.Data.Format = j.at("format");
    o.Data.Delimiter = j.at("delimiter");
    o.Plan.QuantityColumn = j.at("quantity");
    const json& s = j.at("serial");
    o.Plan.Serial = {s.at("on"), s.at("start"), s.at("step"), s.at("width"), s.at("perRow"), s.at("field")};
    const json& e = j.at("epc");
    o.Plan.Epc = {e.at("on"),   e.at("scheme"),     e.at("filter"), e.at("prefixLength"),
                  e.at("gtin"), e.at("gtinColumn"), e.at("field")};
    const json& w = j.at("waits");
    o.Waits.Ask = std::chrono::milliseconds(w.at("ask").get<int64_t>());
    o.Waits.Answer = std::chrono::milliseconds(w.at("answer").get<int64_t>());
    o.Waits.Idle = std::chrono::milliseconds(w.at("idle").get<int64_t>());
  } catch (const json::exception& ex) {
    throw JournalError(std::string("the journal's options cannot be read: ") + ex.what());
  }
  return o;
}

Summary StartBatch(const RunOptions& options, const std::string& journalPath, const RunHooks& hooks) {
  const std::string job = ReadAll(options.TemplatePath, "template");
  const lang::Template tpl = lang::CompileTemplate(LanguageOf(options.Printer, job), job);
  BatchInfo info;
  info.TemplatePath = options.TemplatePath;
  info.TemplateHash = HashOfFile(options.TemplatePath);
  info.DataPath = options.DataPath;
  info.DataHash = options.DataPath == "-" ? std::string() : HashOfFile(options.DataPath);
  info.Printer = options.Printer;
  info.Options = OptionsJson(options);
  {
    // The printer decides the mode: one that cannot confirm runs "sent".
    PrinterLink probe(options.Printer, tpl.Lang);
    info.Mode = probe.WhyNoWord().empty() ? BatchMode::Confirmed : BatchMode::Sent;
  }
  std::unique_ptr<SqliteJournal> journal = SqliteJournal::Create(journalPath, info);
  return Continue(*journal, options, hooks);
}

Summary ResumeBatch(const std::string& journalPath, UncertainChoice uncertain, const RunHooks& hooks) {
  std::unique_ptr<SqliteJournal> journal = SqliteJournal::Open(journalPath);
  const BatchInfo& info = journal->Info();
  RunOptions options = OptionsFromJson(info);
  options.Uncertain = uncertain;
  if (info.DataPath == "-") throw DataError("the batch read its data from standard input, which cannot be read again");
  if (HashOfFile(info.TemplatePath) != info.TemplateHash)
    throw DataError("the template '" + info.TemplatePath + "' changed since the batch began");
  if (HashOfFile(info.DataPath) != info.DataHash)
    throw DataError("the data '" + info.DataPath + "' changed since the batch began");
  // The labels sent without a word are uncertain; each is reprinted or
  // marked done as the operator says, never either silently.
  journal->SentToUncertain("sent before the run stopped, and the printer never said it printed it");
  const std::vector<LabelRecord> open = journal->Labels(LabelState::Uncertain);
  for (const LabelRecord& r : open) {
    bool reprint = uncertain == UncertainChoice::Reprint;
    if (uncertain == UncertainChoice::Ask) {
      if (!hooks.AskUncertain) {
        std::string rows;
        for (const LabelRecord& u : open) rows += (rows.empty() ? "" : ", ") + std::to_string(u.Key.Row);
        throw DataError(std::to_string(open.size()) + " label(s) are uncertain (rows " + rows +
                        "): resume with --uncertain reprint or --uncertain done");
      }
      reprint = hooks.AskUncertain(r);
    }
    if (!reprint) journal->Done(r.Key.Number, "marked done by the operator");
  }
  return Continue(*journal, options, hooks);
}

}  // namespace morvel::batch
