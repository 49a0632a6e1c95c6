// morvel serve: the options, the origin allow-lists, and running the bridge
// until the user stops it.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "hosts/cli/Options.h"
#include "hosts/serve/Server.h"
#include "morvel/types.h"
#include "platform/origins.h"
#include "platform/stop_request.h"

namespace morvel::cli {

int ServeMain(const Invocation& call) {
  serve::ServerOptions options;
  serve::Limits& bounds = options.Bounds;
  OptionParser parser(call);
  parser.Number("--port", options.Port, 0, 65535);
  parser.Texts("--allow-origin", options.AllowedOrigins);
  parser.Texts("--allow-folder", options.AllowedFolders);
  parser.Number("--max-connections", bounds.MaxConnections, 1, 4096);
  parser.Number("--max-objects", bounds.MaxObjects, 1, 1 << 20);
  parser.Number("--max-message", bounds.MaxMessageBytes, 1024, 1LL << 30, "bytes");
  parser.Number("--lease-wait", bounds.LeaseWaitSeconds, 0, 3600, "seconds");
  parser.Number("--max-left-running", bounds.MaxLeftRunning, 1, 1024);
  parser.Flag("--ipv4-only", options.Ipv4Only);
  parser.Flag("--refuse-printer-settings", bounds.RefusePrinterSettings);
  if (auto status = parser.Parse()) return *status;
  std::string originFile = platform::UserOriginFile();
  for (std::string& o : platform::ReadOriginFile(originFile)) options.AllowedOrigins.push_back(std::move(o));
  for (std::string& o : platform::MachineOrigins()) options.AllowedOrigins.push_back(std::move(o));

  platform::PrepareForStop();

  serve::Server server(options);
  std::ostream& err = call.Err;
  try {
    server.Start();
  } catch (const AutomationError& e) {
    err << "morvel serve: " << e.Description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    err << "morvel serve: " << e.what() << "\n";
    return 1;
  }
  err << "morvel serve: listening on 127.0.0.1:" << server.Port()
      << (server.ListensOnIpv6() ? " and [::1]:" + std::to_string(server.Port()) : std::string(" only")) << "\n";
  if (options.AllowedOrigins.empty())
    err << "morvel serve: no origin is allowed, so no page can connect (--allow-origin, " << originFile
        << ", or the machine's list: " << platform::MachineOriginsPlace() << ")\n";
  for (const std::string& o : options.AllowedOrigins) err << "morvel serve: allowed origin " << o << "\n";
  for (const std::string& f : options.AllowedFolders) err << "morvel serve: allowed folder " << f << "\n";
  err.flush();

  platform::WaitForStop();
  server.Stop();
  // A call that Stop left running must not hold the process, nor run into
  // objects that static destructors tear down under it.
  err.flush();
  call.Out.flush();
  std::fflush(nullptr);
  platform::AfterStop();
  std::_Exit(0);
}

}  // namespace morvel::cli
