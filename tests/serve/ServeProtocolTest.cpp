// The bridge over real loopback sockets, without a browser: the protocol on
// one connection (calls, coercion, errors, events, message boxes, confined
// paths), the bounds, HTTP with CORS and private-network preflights, refused
// origins, and two connections on printers of different resolutions at once.
// The same cases hold a bridge command of another build (Bridge.h).
#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <gtest/gtest.h>
#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>

#include "hosts/serve/Server.h"
#include "morvel/version.h"
#include "platform/linux/adapters.h"
#include "serve/Bridge.h"
#include "support/CaptureListener.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace fs = std::filesystem;
using tcp = net::ip::tcp;
using morvel::testing::ScopedEnv;

constexpr const char* Page = "http://127.0.0.1:8000";

// A WebSocket client that sends one message and collects everything up to
// the answer (events first).
class Client {
 public:
  explicit Client(uint16_t port, std::string origin = Page) : ws_(context_) {
    tcp::resolver resolver(context_);
    net::connect(ws_.next_layer(), resolver.resolve("127.0.0.1", std::to_string(port)));
    ws_.set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
      if (!origin.empty()) request.set(http::field::origin, origin);
    }));
    ws_.handshake("127.0.0.1:" + std::to_string(port), "/");
  }

  std::string Exchange(const std::string& message) {
    ws_.text(true);
    ws_.write(net::buffer(message));
    std::string all;
    for (;;) {
      std::string one = Read();
      all += (all.empty() ? "" : "\n") + one;
      if (one.rfind("{\"event\"", 0) != 0) return all;
    }
  }

  std::string Read() {
    beast::flat_buffer buffer;
    ws_.read(buffer);
    return beast::buffers_to_string(buffer.data());
  }

  websocket::stream<tcp::socket>& Socket() { return ws_; }

 private:
  net::io_context context_;
  websocket::stream<tcp::socket> ws_;
};

http::response<http::string_body> HttpRequest(uint16_t port, http::verb verb, const std::string& target,
                                              std::vector<std::pair<std::string, std::string>> headers,
                                              const char* address = "127.0.0.1") {
  net::io_context context;
  tcp::socket socket(context);
  socket.connect(tcp::endpoint(net::ip::make_address(address), port));
  http::request<http::string_body> request{verb, target, 11};
  request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
  for (auto& [name, value] : headers) request.set(name, value);
  http::write(socket, request);
  beast::flat_buffer buffer;
  http::response<http::string_body> response;
  http::read(socket, buffer, response);
  return response;
}

class ServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "allowed" / "sub");
    fs::create_directories(dir_ / "allowed-not");
    std::ofstream(dir_ / "allowed" / "abc.bin") << "ABC";
    std::ofstream(dir_ / "secret.txt") << "secret";
    std::ofstream(dir_ / "allowed-not" / "x.bin") << "x";
    fs::create_symlink(dir_ / "secret.txt", dir_ / "allowed" / "link.txt");
    fs::create_symlink(dir_ / "nowhere.txt", dir_ / "allowed" / "dangling.txt");
    // Two of the demo printers, so that a bridge of another build finds
    // them among its system's printers too.
    printers_.emplace(
        "MORVEL_PRINTERS",
        morvel::testing::WritePrinters(dir_, {{"ZDesigner ZT410R-300dpi ZPL"},
                                              {"ZDesigner GK420t", morvel::testing::SocketUri(printer_.Port())}}));
    services_.emplace(morvel::platform::LinuxServices());
  }

  void Start(morvel::serve::Limits limits = {}) {
    morvel::serve::ServerOptions options;
    options.Port = 0;
    options.AllowedOrigins = {"HTTP://127.0.0.1:8000/"};  // compared in normal form
    options.AllowedFolders = {(dir_ / "allowed").string()};
    options.Bounds = limits;
    bridge_.Start(options);
  }

  void TearDown() override {
    bridge_.Stop();
    services_.reset();
  }

  // DIR as the bridge names the test's folder, inside JSON text.
  std::string Substitute(std::string text) {
    std::string path;
    for (char c : morvel::testing::BridgePath(dir_)) path += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return std::regex_replace(text, std::regex("DIR"), path);
  }

  const morvel::testing::TempFolder temp_{"morvel-serve"};
  const fs::path& dir_ = temp_.Path();
  morvel::testing::CaptureListener printer_;
  ScopedEnv cups_{"MORVEL_CUPS", "0"};
  std::optional<ScopedEnv> printers_;
  std::optional<morvel::platform::ScopedServices> services_;
  morvel::testing::BridgeUnderTest bridge_;
};

// One connection, in order: each message and the exact answer, events first.
TEST_F(ServeTest, ProtocolOnOneConnection) {
  Start();
  Client client(bridge_.Port());
  struct Case {
    const char* Send;
    const char* Answer;
  } cases[] = {
      {R"({"id":1,"create":"Morvel.PrintBarCode"})", R"({"id":1,"result":{"object":1}})"},
      {R"({"id":"a","object":1,"member":"GetDot","args":[100]})", R"({"id":"a","result":0,"byref":[100.0]})"},
      {R"({"id":2,"object":1,"member":"setprint","args":["ZDesigner ZT410R-300dpi ZPL"]})",
       R"({"id":2,"result":0,"byref":["ZDesigner ZT410R-300dpi ZPL"]})"},
      // 100 px at 96 per inch on 300 dpi; text and Booleans coerce as automation does
      {R"({"id":3,"object":1,"member":"GetDot","args":["100"]})", R"({"id":3,"result":312,"byref":[100.0]})"},
      {R"({"id":4,"object":1,"member":"GetDot","args":[0.5]})", R"({"id":4,"result":2,"byref":[0.5]})"},
      {R"({"id":5,"object":1,"member":"GetDot","args":[true]})", R"({"id":5,"result":-3,"byref":[-1.0]})"},
      {R"({"id":6,"object":1,"member":"GetDot","args":["abc"]})",
       R"({"id":6,"error":{"number":13,"description":"Type mismatch","hresult":2148139021}})"},
      {R"({"id":7,"object":1,"member":"GetDot","args":[1e30]})",
       R"({"id":7,"error":{"number":6,"description":"Overflow","hresult":2148139014}})"},
      {R"({"id":8,"object":1,"member":"GetDot","args":[{"x":1}]})",
       R"({"id":8,"error":{"number":13,"description":"Type mismatch","hresult":2148139021}})"},
      {R"({"id":9,"object":1,"member":"GetDot","args":[]})",
       R"({"id":9,"error":{"number":450,"description":"Wrong number of arguments or invalid property assignment","hresult":2148139458}})"},
      {R"({"id":10,"object":1,"member":"Frobnicate"})",
       R"({"id":10,"error":{"number":438,"description":"Object doesn't support this property or method","hresult":2148139446}})"},
      {R"({"id":11,"object":99,"member":"GetVer"})",
       R"({"id":11,"error":{"number":424,"description":"Object required","hresult":2148139432}})"},
      {R"({"id":12,"create":"Morvel.Nothing"})",
       R"({"id":12,"error":{"number":429,"description":"ActiveX component can't create object","hresult":2148139437}})"},
      // Malformed messages answer with error 5 and stay connected.
      {R"(not json)", R"(^\{"id":null,"error":\{"number":5,.*"detail":"not JSON: .*\}\}$)"},
      {R"([1,2])", R"(^\{"id":null,"error":\{"number":5,.*"detail":"a message is a JSON object"\}\}$)"},
      {R"({"id":{"a":1},"object":1,"member":"GetVer"})", R"(^\{"id":null,"error":\{"number":5,.*"id must be.*$)"},
      {R"({"id":13,"object":1,"member":"GetVer","args":{}})", R"(^\{"id":13,"error":\{"number":5,.*args must.*$)"},
      {R"({"id":14,"object":"1","member":"GetVer"})", R"(^\{"id":14,"error":\{"number":5,.*object must.*$)"},
      {R"({"id":15,"object":1,"member":"GetVer","args":[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]})",
       R"(^\{"id":null,"error":\{"number":5,.*nested too deeply.*$)"},
      {R"({"id":17})", R"(^\{"id":17,"error":\{"number":5,.*a call.*$)"},
      {R"({"id":18,"object":1,"member":"GetVer"})", R"({"id":18,"result":")" MORVEL_VERSION R"("})"},
      // A label member before SetPrint chose a driver: 91, on a second control.
      {R"({"id":19,"create":"Morvel.PrintBarCode"})", R"({"id":19,"result":{"object":2}})"},
      {R"({"id":20,"object":2,"member":"ClosePort"})",
       R"({"id":20,"error":{"number":91,"description":"Object variable or With block variable not set","hresult":2148139099}})"},
      {R"({"id":21,"release":2})", R"({"id":21,"result":null})"},
      {R"({"id":22,"object":2,"member":"GetVer"})", R"(^\{"id":22,"error":\{"number":424,.*$)"},
      // The codec: events before the answer, byte arrays as Base64.
      {R"({"id":23,"create":"clsBase64"})", R"({"id":23,"result":{"object":3}})"},
      {R"({"id":24,"object":3,"member":"Base64Encode","args":[{"bytes":"QQ=="}]})",
       "{\"event\":\"EncodeJD\",\"object\":3,\"args\":[0.3]}\n{\"event\":\"EncodeJD\",\"object\":3,\"args\":[0.7]}\n"
       "{\"event\":\"EncodeJD\",\"object\":3,\"args\":[1.0]}\n{\"id\":24,\"result\":\"QQ==\",\"byref\":[{\"bytes\":"
       "\"QQ==\"}]}"},
      {R"({"id":25,"object":3,"member":"Base64Decode","args":["QUJD"]})", R"({"id":25,"result":{"bytes":"QUJD"}})"},
      {R"({"id":26,"object":3,"member":"Base64Decode","args":["Q"]})", R"(^\{"id":26,"error":\{"number":94,.*$)"},
      {R"({"id":27,"object":3,"member":"Base64Encode","args":[{"bytes":"*"}]})",
       R"(^\{"id":27,"error":\{"number":13,.*$)"},
      // Paths: inside the allowed folder only, never through ".." or a link.
      {R"({"id":30,"object":3,"member":"LoadFile","args":["DIR/allowed/abc.bin",null]})",
       R"({"id":30,"result":null,"byref":[null,{"bytes":"QUJD"}]})"},
      {R"({"id":31,"object":3,"member":"LoadFile","args":["DIR/allowed/sub/../abc.bin",null]})",
       R"(^\{"id":31,"error":\{"number":70,.*$)"},
      {R"({"id":32,"object":3,"member":"LoadFile","args":["DIR/secret.txt",null]})",
       R"({"id":32,"error":{"number":70,"description":"Permission denied","hresult":2148139078}})"},
      {R"({"id":33,"object":3,"member":"LoadFile","args":["DIR/allowed/../secret.txt",null]})",
       R"(^\{"id":33,"error":\{"number":70,.*$)"},
      {R"({"id":34,"object":3,"member":"LoadFile","args":["DIR/allowed/link.txt",null]})",
       R"(^\{"id":34,"error":\{"number":70,.*$)"},
      {R"({"id":35,"object":3,"member":"LoadFile","args":["DIR/allowed-not/x.bin",null]})",
       R"(^\{"id":35,"error":\{"number":70,.*$)"},
      {R"({"id":36,"object":3,"member":"SaveFile","args":["DIR/allowed/dangling.txt",{"bytes":"QUJD"}]})",
       R"(^\{"id":36,"error":\{"number":70,.*$)"},
      {R"({"id":37,"object":3,"member":"SaveFile2","args":["DIR/written.txt","x"]})",
       R"(^\{"id":37,"error":\{"number":70,.*$)"},
      {R"({"id":38,"object":3,"member":"SaveFile2","args":["DIR/allowed/sub/new.txt","abc"]})",
       R"({"id":38,"result":null,"byref":[null,"abc"]})"},
      {R"({"id":39,"object":3,"member":"LoadFile","args":["DIR/allowed",null]})",
       R"(^\{"id":39,"error":\{"number":75,.*$)"},
      {R"({"id":40,"object":1,"member":"DrawImageFromFile","args":["DIR/secret.txt",0,0,0,0]})",
       R"(^\{"id":40,"error":\{"number":70,.*$)"},
      // Pictures travel as the Base64 of an image file (a 1x1 BMP here).
      {R"({"id":44,"object":1,"member":"DrawImageFromPicture","args":[{"picture":"Qk06AAAAAAAAADYAAAAoAAAAAQAAAAEAAAABABgAAAAAAAQAAAATCwAAEwsAAAAAAAAAAAAA////AA=="},0,0,0,0]})",
       R"({"id":44,"result":null})"},
      {R"({"id":45,"object":1,"member":"DrawImageFromPicture","args":[{"picture":"QUJD"},0,0,0,0]})",
       R"({"id":45,"error":{"number":481,"description":"Invalid picture","hresult":2148139489}})"},
      // PrintInfo: a property read with one argument assigns it.
      {R"({"id":41,"create":"Morvel.PrintInfo"})", R"({"id":41,"result":{"object":4}})"},
      {R"({"id":42,"object":4,"member":"PrintXH","args":[["t7 ","t6 "]]})", R"({"id":42,"result":null})"},
      {R"({"id":43,"object":4,"member":"PrintXH"})", R"({"id":43,"result":["t7 ","t6 "]})"},
      // A message box on the way reaches the page as an event before the
      // answer: orxlib cannot open a printer it does not know.
      {R"({"id":46,"create":"Morvel.PrintBarCode"})", R"({"id":46,"result":{"object":5}})"},
      {R"({"id":47,"object":5,"member":"SetPrint","args":["Orx Nowhere"]})",
       R"({"id":47,"result":0,"byref":["Orx Nowhere"]})"},
      {R"({"id":48,"object":5,"member":"OpenPort","args":["Orx Nowhere"]})",
       "{\"event\":\"MessageBox\",\"caption\":\"Error Message\",\"text\":\"Printer Driver is not been specified\","
       "\"object\":5}\n{\"id\":48,\"result\":null,\"byref\":[\"Orx Nowhere\"]}"},
  };
  for (const Case& c : cases) {
    std::string send = Substitute(c.Send);
    std::string answer = client.Exchange(send);
    std::string expected = Substitute(c.Answer);
    if (expected[0] == '^')
      EXPECT_TRUE(std::regex_match(answer, std::regex(expected))) << send << "\n" << answer;
    else
      EXPECT_EQ(answer, expected) << send;
  }
  EXPECT_FALSE(fs::exists(dir_ / "written.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "nowhere.txt"));
  std::ifstream written(dir_ / "allowed" / "sub" / "new.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "abc");
}

// Objects, message size and connections are bounded; what is refused says
// so, and the connection that was refused an object goes on working.
TEST_F(ServeTest, Bounds) {
  Start({.MaxMessageBytes = 4096, .MaxObjects = 2, .MaxConnections = 2});
  Client first(bridge_.Port());
  EXPECT_EQ(first.Exchange(R"({"id":1,"create":"Morvel.PrintBarCode"})"), R"({"id":1,"result":{"object":1}})");
  EXPECT_EQ(first.Exchange(R"({"id":2,"create":"Morvel.clsBase64"})"), R"({"id":2,"result":{"object":2}})");
  EXPECT_TRUE(std::regex_match(first.Exchange(R"({"id":3,"create":"Morvel.PrintBarCode"})"),
                               std::regex(R"(^\{"id":3,"error":\{"number":7,.*at most 2 objects.*$)")));
  EXPECT_EQ(first.Exchange(R"({"id":4,"release":1})"), R"({"id":4,"result":null})");
  EXPECT_EQ(first.Exchange(R"({"id":5,"create":"Morvel.PrintBarCode"})"), R"({"id":5,"result":{"object":3}})");

  Client second(bridge_.Port());
  EXPECT_THROW(Client third(bridge_.Port()), boost::system::system_error);

  // A message beyond the bound closes that connection with 1009; the other stays.
  std::string big = R"({"id":6,"object":3,"member":"SendCmd","args":[")" + std::string(5000, 'x') + "\"]}";
  second.Socket().write(net::buffer(big));
  beast::flat_buffer buffer;
  beast::error_code ec;
  second.Socket().read(buffer, ec);
  EXPECT_EQ(ec, websocket::error::closed);
  EXPECT_EQ(second.Socket().reason().code, websocket::close_code::too_big);
  EXPECT_EQ(first.Exchange(R"({"id":7,"object":3,"member":"GetVer"})"), R"({"id":7,"result":")" MORVEL_VERSION R"("})");

  // Its slot is free again once it is gone.
  for (int tries = 0;; ++tries) {
    try {
      Client again(bridge_.Port());
      EXPECT_EQ(again.Exchange(R"({"id":1,"create":"Morvel.PrintBarCode"})"), R"({"id":1,"result":{"object":1}})");
      break;
    } catch (const boost::system::system_error&) {
      ASSERT_LT(tries, 100) << "the closed connection's slot never came free";
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

// Each connection runs on its own thread, so one page's SetPrint never moves
// another page's dots.
TEST_F(ServeTest, TwoConnectionsKeepTheirOwnPrinter) {
  Start();
  Client a(bridge_.Port()), b(bridge_.Port());
  for (Client* c : {&a, &b}) c->Exchange(R"({"id":1,"create":"Morvel.PrintBarCode"})");
  EXPECT_EQ(a.Exchange(R"({"id":2,"object":1,"member":"SetPrint","args":["ZDesigner ZT410R-300dpi ZPL"]})"),
            R"({"id":2,"result":0,"byref":["ZDesigner ZT410R-300dpi ZPL"]})");
  EXPECT_EQ(b.Exchange(R"({"id":2,"object":1,"member":"SetPrint","args":["ZDesigner GK420t"]})"),
            R"({"id":2,"result":0,"byref":["ZDesigner GK420t"]})");
  for (int i = 0; i < 20; ++i) {
    Client& first = i % 2 ? a : b;
    Client& other = i % 2 ? b : a;
    // Sent together, so both connections' calls run at the same time.
    first.Socket().write(net::buffer(std::string(R"({"id":3,"object":1,"member":"GetDot","args":[100]})")));
    other.Socket().write(net::buffer(std::string(R"({"id":3,"object":1,"member":"GetDot","args":[100]})")));
    EXPECT_EQ(a.Read(), R"({"id":3,"result":312,"byref":[100.0]})");
    EXPECT_EQ(b.Read(), R"({"id":3,"result":211,"byref":[100.0]})");
  }
}

// A page that leaves between OpenPort and ClosePort: the bridge closes the
// port, so the printer gets the label and no connection is left behind.
TEST_F(ServeTest, PortsOfAGonePageAreClosed) {
  const bool external = morvel::testing::ExternalBridge();
  if (external && !morvel::testing::LandedJobs::Available()) GTEST_SKIP() << "MORVEL_TEST_BRIDGE_JOBS is not set";
  std::optional<morvel::testing::LandedJobs> landed;
  if (external) landed.emplace();
  Start();
  {
    Client page(bridge_.Port());
    for (const char* call : {R"({"id":1,"create":"Morvel.PrintBarCode"})",
                             R"({"id":2,"object":1,"member":"SetPrint","args":["ZDesigner GK420t"]})",
                             R"({"id":3,"object":1,"member":"OpenPort","args":["ZDesigner GK420t"]})",
                             R"({"id":4,"object":1,"member":"SendCmd","args":["~HS"]})",
                             R"({"id":5,"object":1,"member":"PrintLabel","args":["1"]})"})
      EXPECT_EQ(page.Exchange(call).find("error"), std::string::npos) << call;
  }
  if (external) {
    EXPECT_EQ(landed->Wait(1), std::vector<std::string>{"^XA~HS^PQ1^XZ"});
    return;
  }
  ASSERT_TRUE(printer_.WaitForConnections(1));
  EXPECT_EQ(printer_.Connections(), std::vector<std::string>{"^XA~HS^PQ1^XZ"});
}

TEST_F(ServeTest, HttpAndOrigins) {
  Start();
  uint16_t port = bridge_.Port();
  struct Case {
    http::verb Verb;
    const char* Target;
    std::vector<std::pair<std::string, std::string>> Headers;
    unsigned Status;
    std::vector<std::pair<std::string, std::string>> Expected;  // "" value: header absent
    std::optional<std::string> Body = std::nullopt;
  } cases[] = {
      {http::verb::get,
       "/health",
       {},
       200,
       {{"Content-Type", "application/json"}, {"Access-Control-Allow-Origin", ""}}},
      {http::verb::get, "/health", {{"Origin", Page}}, 200, {{"Access-Control-Allow-Origin", Page}}},
      // A refused page may read that it is refused, and nothing more.
      {http::verb::get,
       "/health",
       {{"Origin", "https://evil.example"}},
       403,
       {{"Access-Control-Allow-Origin", "https://evil.example"}},
       "{\"status\":\"origin-not-allowed\"}\n"},
      {http::verb::get,
       "/morvel.js",
       {{"Origin", "https://evil.example"}},
       200,
       {{"Access-Control-Allow-Origin", "*"}, {"Content-Type", "text/javascript; charset=utf-8"}}},
      {http::verb::get,
       "/morvel-loader.js",
       {{"Origin", "https://evil.example"}},
       200,
       {{"Access-Control-Allow-Origin", "*"}, {"Content-Type", "text/javascript; charset=utf-8"}}},
      {http::verb::options,
       "/health",
       {{"Origin", Page}, {"Access-Control-Request-Method", "GET"}, {"Access-Control-Request-Private-Network", "true"}},
       204,
       {{"Access-Control-Allow-Origin", Page}, {"Access-Control-Allow-Private-Network", "true"}}},
      {http::verb::options,
       "/health",
       {{"Origin", "https://evil.example"}, {"Access-Control-Request-Private-Network", "true"}},
       403,
       {{"Access-Control-Allow-Origin", ""}, {"Access-Control-Allow-Private-Network", ""}}},
      {http::verb::get, "/health", {{"Host", "evil.example:8632"}}, 403, {}},
      {http::verb::get, "/nothing", {}, 404, {}},
      {http::verb::post, "/health", {}, 405, {{"Allow", "GET, HEAD, OPTIONS"}}},
  };
  for (const Case& c : cases) {
    auto response = HttpRequest(port, c.Verb, c.Target, c.Headers);
    EXPECT_EQ(response.result_int(), c.Status) << c.Target;
    for (auto& [name, value] : c.Expected) EXPECT_EQ(std::string(response[name]), value) << c.Target << " " << name;
    if (c.Body) {
      EXPECT_EQ(response.body(), *c.Body) << c.Target;
    }
  }
  EXPECT_EQ(HttpRequest(port, http::verb::get, "/morvel.js", {}).body(), std::string(morvel::serve::MorvelScript));
  EXPECT_EQ(HttpRequest(port, http::verb::get, "/morvel-loader.js", {}).body(),
            std::string(morvel::serve::MorvelLoaderScript));
  if (bridge_.ListensOnIpv6()) {
    EXPECT_EQ(HttpRequest(port, http::verb::get, "/health", {{"Host", "[::1]"}}, "::1").result_int(), 200u);
  }

  // A page from another origin hears why in the close frame; a program
  // without an Origin is served.
  Client refused(port, "https://evil.example");
  beast::flat_buffer buffer;
  beast::error_code ec;
  refused.Socket().read(buffer, ec);
  EXPECT_EQ(ec, websocket::error::closed);
  EXPECT_EQ(refused.Socket().reason().code, websocket::close_code::policy_error);
  EXPECT_EQ(std::string(refused.Socket().reason().reason.c_str()), "origin not allowed: https://evil.example");
  Client local(port, "");
  EXPECT_EQ(local.Exchange(R"({"id":1,"create":"Morvel.PrintBarCode"})"), R"({"id":1,"result":{"object":1}})");
}

}  // namespace
