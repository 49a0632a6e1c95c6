// `morvel emulate`: the options, the ports told on standard output, and a
// run until SIGINT or SIGTERM.
#include <csignal>
#include <iostream>

#include "hosts/cli/EmulateWeb.h"
#include "hosts/cli/Emulator.h"

namespace morvel::emulate {
namespace {

const char* const Help =
    "usage: morvel emulate [--zpl PORT] [--sbpl PORT] [--tspl PORT] [--web PORT] [--jobs DIR] [--dpi N]\n"
    "                      [--listen ADDR] [--limit BYTES] [--paused] [--paper-out] [--head-open]\n"
    "                      [--ribbon-out] [--paper-out-after N]\n"
    "  a virtual label printer: one raw TCP port a language, each connection one job, every label\n"
    "  pictured as JOBS/NNNNNN-K.png beside the job's bytes (NNNNNN.zpl, .sbpl, .tspl) and its record\n"
    "  (NNNNNN.json); status queries are answered from the state set here or on the web page.\n"
    "  --zpl 9190, --sbpl 9191, --tspl 9192 unless told; 0 picks a free port, off leaves the language out\n"
    "  --web PORT   a page of the labels as they come and switches for the state (off unless told)\n"
    "  --jobs DIR   where jobs are kept (default $XDG_STATE_HOME/morvel/emulate)\n"
    "  --listen     the address to listen on (default 127.0.0.1, this computer only)\n"
    "  --limit      the largest job kept, in bytes (default 67108864); beyond it a job is cut\n"
    "  --dpi        the printer's resolution (default 203)\n"
    "The ports in use are printed as 'LANGUAGE ADDRESS:PORT' lines once all listen.\n";

bool Number(const std::string& text, long low, long high, long& value) {
  try {
    size_t used = 0;
    value = std::stol(text, &used);
    return used == text.size() && value >= low && value <= high;
  } catch (...) {
    return false;
  }
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  Options options;
  options.ZplPort = 9190;
  options.SbplPort = 9191;
  options.TsplPort = 9192;
  std::optional<int> webPort;
  PrinterState initial;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&]() -> const std::string* {
      if (k + 1 >= args.size()) {
        std::cerr << "morvel emulate: " << a << " needs a value\n" << Help;
        return nullptr;
      }
      return &args[++k];
    };
    auto port = [&](std::optional<int>& into) {
      const std::string* v = value();
      if (!v) return false;
      long n = 0;
      if (*v == "off") {
        into.reset();
        return true;
      }
      if (!Number(*v, 0, 65535, n)) {
        std::cerr << "morvel emulate: " << a << " needs a port from 0 to 65535 or off, not '" << *v << "'\n";
        return false;
      }
      into = static_cast<int>(n);
      return true;
    };
    long n = 0;
    if (a == "-h" || a == "--help") {
      std::cout << Help;
      return 0;
    } else if (a == "--zpl") {
      if (!port(options.ZplPort)) return 1;
    } else if (a == "--sbpl") {
      if (!port(options.SbplPort)) return 1;
    } else if (a == "--tspl") {
      if (!port(options.TsplPort)) return 1;
    } else if (a == "--web") {
      if (!port(webPort)) return 1;
    } else if (a == "--jobs") {
      const std::string* v = value();
      if (!v) return 1;
      options.JobsFolder = *v;
    } else if (a == "--listen") {
      const std::string* v = value();
      if (!v) return 1;
      options.ListenAddress = *v;
    } else if (a == "--dpi") {
      const std::string* v = value();
      if (!v || !Number(*v, 50, 2400, n)) {
        std::cerr << "morvel emulate: --dpi needs a whole number from 50 to 2400\n";
        return 1;
      }
      options.Dpi = static_cast<int>(n);
    } else if (a == "--limit") {
      const std::string* v = value();
      if (!v || !Number(*v, 1, 1L << 40, n)) {
        std::cerr << "morvel emulate: --limit needs a number of bytes above 0\n";
        return 1;
      }
      options.SizeLimit = static_cast<uint64_t>(n);
    } else if (a == "--paper-out-after") {
      const std::string* v = value();
      if (!v || !Number(*v, 0, 1000000000, n)) {
        std::cerr << "morvel emulate: --paper-out-after needs a number of labels\n";
        return 1;
      }
      initial.PaperOutAfter = n;
    } else if (a == "--paused") {
      initial.Paused = true;
    } else if (a == "--paper-out") {
      initial.PaperOut = true;
    } else if (a == "--head-open") {
      initial.HeadOpen = true;
    } else if (a == "--ribbon-out") {
      initial.RibbonOut = true;
    } else {
      std::cerr << "morvel emulate: unexpected argument '" << a << "'\n" << Help;
      return 1;
    }
  }
  if (!options.ZplPort && !options.SbplPort && !options.TsplPort) {
    std::cerr << "morvel emulate: every language is off: nothing to listen for\n";
    return 1;
  }
  // The signals are taken by sigwait below, never by the serving threads.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Emulator emulator(options);
  emulator.SetState(initial);
  std::string error;
  if (!emulator.Start(error)) {
    std::cerr << "morvel emulate: " << error << "\n";
    return 1;
  }
  std::unique_ptr<WebPage> web;
  if (webPort) {
    web = std::make_unique<WebPage>(emulator);
    if (!web->Start(options.ListenAddress, *webPort, error)) {
      std::cerr << "morvel emulate: " << error << "\n";
      emulator.Stop();
      return 1;
    }
  }
  const std::string shown = options.ListenAddress.find(':') != std::string::npos ? "[" + options.ListenAddress + "]" : options.ListenAddress;
  for (Tongue t : {Tongue::Zpl, Tongue::Sbpl, Tongue::Tspl})
    if (int p = emulator.Port(t)) std::cout << NameOf(t) << " " << shown << ":" << p << "\n";
  if (web) std::cout << "web http://" << shown << ":" << web->Port() << "/\n";
  std::cout << "jobs " << emulator.Settings().JobsFolder << std::endl;
  int signalNumber = 0;
  sigwait(&stopSignals, &signalNumber);
  if (web) web->Stop();
  emulator.Stop();
  return 0;
}

}  // namespace morvel::emulate
