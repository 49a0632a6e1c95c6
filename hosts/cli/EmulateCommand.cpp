// `morvel emulate`: the options, the ports told on standard output, and a
// run until SIGINT or SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

#include "core/numbers.h"
#include "hosts/cli/Options.h"
#include "hosts/emulate/EmulateWeb.h"
#include "hosts/emulate/Emulator.h"
#include "lang/Languages.h"
#include "platform/stop_request.h"

namespace morvel::cli {
namespace {

using namespace morvel::emulate;

// A language's port: a number, 0 for a free one, or off.
std::function<bool(const std::string&)> PortOrOff(std::optional<int>& into) {
  return [&into](const std::string& value) {
    if (value == "off") {
      into.reset();
      return true;
    }
    std::optional<long long> n = WholeNumber(value, 0, 65535);
    if (n) into = static_cast<int>(*n);
    return n.has_value();
  };
}

// `--media [LANG:]WIDTHxHEIGHT`, in millimetres: the labels of one
// language's printer, or of all three. False when it cannot be read.
bool TakeMedia(const std::string& value, Options& options) {
  std::string sizes = value;
  std::vector<Language> languages(std::begin(lang::AllLanguages), std::end(lang::AllLanguages));
  if (size_t colon = value.find(':'); colon != std::string::npos) {
    const std::optional<Language> one = lang::LanguageNamed(std::string_view(value).substr(0, colon));
    if (!one) return false;
    languages = {*one};
    sizes = value.substr(colon + 1);
  }
  const size_t x = sizes.find('x');
  if (x == std::string::npos) return false;
  const std::optional<double> width = MillimetresOf(sizes.substr(0, x)), height = MillimetresOf(sizes.substr(x + 1));
  if (!width || !height) return false;
  for (Language l : languages) options.MediaMm[l] = {*width, *height};
  return true;
}

// The options of the roll of RFID tags, as given.
struct RfidWords {
  long long Seed = 1, FailPercent = 0;
  std::string FailAt;  // "3,17": places in the roll (from 1) whose tags fail

  void Add(OptionParser& parser, emulate::TagRollOptions& rfid) {
    parser.Flag("--rfid", rfid.Loaded);
    parser.Number("--rfid-seed", Seed, 0, 1LL << 62, "a whole number");
    parser.Text("--rfid-fail", FailAt);
    parser.Number("--rfid-fail-rate", FailPercent, 0, 100, "percent");
  }
  // Into the roll's options; what is wrong with them, or nothing.
  std::string Take(emulate::TagRollOptions& rfid) const {
    rfid.Seed = static_cast<uint64_t>(Seed);
    rfid.FailRate = static_cast<double>(FailPercent) / 100.0;
    for (std::string_view rest = FailAt; !rest.empty();) {
      const size_t comma = rest.find(',');
      const auto place = core::WholeNumber(rest.substr(0, comma), 1, 1000000000);
      if (!place) return "bad value for --rfid-fail: " + FailAt + " (places in the roll from 1, ',' between)";
      rfid.FailAt.insert(static_cast<uint64_t>(*place));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (!rfid.Loaded && (!FailAt.empty() || FailPercent > 0))
      return "--rfid-fail and --rfid-fail-rate go with --rfid (a roll of tags)";
    return {};
  }
};

}  // namespace

int EmulateMain(const Invocation& call) {
  Options options;
  // Each language on its own port, `--zpl 9100` or `--tspl off` as told.
  std::map<Language, std::optional<int>> ports;
  std::vector<std::string> flags;
  flags.reserve(lang::LanguageRows().size());
  std::optional<int> webPort;
  PrinterState initial;
  OptionParser parser(call);
  const std::string portWords = "a port from 0 to 65535, or off";
  for (const lang::LanguageRow* row : lang::LanguageRows()) {
    ports[row->Id] = row->EmulatorPort;
    parser.Custom(flags.emplace_back(std::string("--") + row->Name), portWords, PortOrOff(ports[row->Id]));
  }
  parser.Custom("--web", portWords, PortOrOff(webPort));
  parser.Text("--jobs", options.JobsFolder);
  parser.Text("--listen", options.ListenAddress);
  parser.Number("--dpi", options.Dpi, 50, 2400, "dots per inch");
  parser.Number("--limit", options.SizeLimit, 1, 1LL << 40, "bytes");
  parser.Number("--paper-out-after", initial.PaperOutAfter, 0, 1000000000, "labels");
  long long idle = options.IdleTimeoutMs / 1000;
  parser.Number("--idle", idle, 1, 3600, "seconds");
  std::vector<std::string> media;
  parser.Texts("--media", media);
  parser.Flag("--paused", initial.Paused);
  parser.Flag("--paper-out", initial.PaperOut);
  parser.Flag("--head-open", initial.HeadOpen);
  parser.Flag("--ribbon-out", initial.RibbonOut);
  RfidWords rfid;
  rfid.Add(parser, options.Rfid);
  if (auto status = parser.Parse()) return *status;
  if (const std::string fault = rfid.Take(options.Rfid); !fault.empty()) return UsageFault(call, fault);
  options.IdleTimeoutMs = static_cast<int>(idle * 1000);
  // In the order given: a language's own size after one for all wins.
  for (const std::string& m : media)
    if (!TakeMedia(m, options))
      return UsageFault(
          call, "bad value for --media: " + m + " ([zpl:|sbpl:|tspl:]WIDTHxHEIGHT in millimetres from 1 to 2000)");
  for (const auto& [language, port] : ports)
    if (port) options.Ports[language] = *port;
  if (options.Ports.empty()) return UsageFault(call, "every language is off: nothing to listen for");
  // The stop is taken by WaitForStop below, never by the serving threads.
  platform::PrepareForStop();
  signal(SIGPIPE, SIG_IGN);

  Emulator emulator(options);
  emulator.SetState(initial);
  std::string error;
  if (!emulator.Start(error)) {
    call.Err << "morvel emulate: " << error << "\n";
    return 1;
  }
  std::unique_ptr<WebPage> web;
  if (webPort) {
    web = std::make_unique<WebPage>(emulator);
    if (!web->Start(options.ListenAddress, *webPort, error)) {
      call.Err << "morvel emulate: " << error << "\n";
      emulator.Stop();
      return 1;
    }
  }
  const std::string shown =
      options.ListenAddress.find(':') != std::string::npos ? "[" + options.ListenAddress + "]" : options.ListenAddress;
  for (Language t : lang::AllLanguages)
    if (int p = emulator.Port(t)) call.Out << lang::NameOf(t) << " " << shown << ":" << p << "\n";
  if (web) call.Out << "web http://" << shown << ":" << web->Port() << "/\n";
  call.Out << "jobs " << emulator.Settings().JobsFolder << std::endl;
  platform::WaitForStop();
  if (web) web->Stop();
  // A stop is quick: a label still being drawn a second on is left, and the
  // process ends under it (its files are whole or not there at all).
  if (!emulator.StopWithin(std::chrono::seconds(1))) {
    call.Err << "morvel emulate: stopped while a label was being drawn; its job stays unfinished" << std::endl;
    std::fflush(nullptr);
    std::_Exit(0);
  }
  return 0;
}

}  // namespace morvel::cli
