// The Windows adapter of status_link.h. A printer on a Standard TCP/IP port
// that speaks raw is asked on the device over Winsock, in the shared
// conversation; every other printer is what the spooler says of it. No CUPS
// here, and no device node: a USB or parallel printer's read channel is not
// reached on Windows yet.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cwctype>
#include <vector>

#include "platform/status_channel.h"
#include "platform/status_link.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

using Clock = std::chrono::steady_clock;

std::string SocketError(int error) { return win::ErrorText(static_cast<DWORD>(error)); }

// A failed connect in the words of status answers where it says the
// printer is not there; the system's words otherwise.
std::string Refusal(int error, LinkResult& result) {
  const char* word =
      error == WSAECONNREFUSED ? ConnectionRefused
      : error == WSAEHOSTUNREACH || error == WSAENETUNREACH || error == WSAEHOSTDOWN || error == WSAENETDOWN
          ? HostUnreachable
          : nullptr;
  if (word) result.Unreachable = word;
  return word ? word : SocketError(error);
}

// Winsock is started once for the process and left running to its end.
int StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return started;
}

class Socket {
 public:
  explicit Socket(SOCKET s = INVALID_SOCKET) : s_(s) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET Get() const { return s_; }
  SOCKET Release() {
    SOCKET s = s_;
    s_ = INVALID_SOCKET;
    return s;
  }
  void Reset(SOCKET s) {
    if (s_ != INVALID_SOCKET) closesocket(s_);
    s_ = s;
  }

 private:
  SOCKET s_;
};

// select rather than WSAPoll: WSAPoll of older Windows never reports a
// connection that fails, and the caller would wait out its deadline.
// `exceptional` is set when the socket reports a failed connect.
bool Wait(SOCKET s, bool write, Clock::time_point deadline, bool* exceptional = nullptr) {
  for (;;) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    const int left = MillisecondsLeft(deadline);
    timeval limit{left / 1000, (left % 1000) * 1000};
    int n = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &limit);
    if (n > 0) {
      if (exceptional != nullptr) *exceptional = FD_ISSET(s, &failed) != 0;
      return true;
    }
    if (n == SOCKET_ERROR) return true;  // the call that follows tells the error
    if (left == 0) return false;
  }
}

class SocketChannel : public StatusChannel {
 public:
  explicit SocketChannel(SOCKET s) : s_(s) {}
  bool WaitWritable(Clock::time_point deadline) override { return Wait(s_, true, deadline); }
  bool WaitReadable(Clock::time_point deadline) override { return Wait(s_, false, deadline); }
  Io Send(const char* data, size_t size) override { return Result(send(s_, data, static_cast<int>(size), 0)); }
  Io Receive(char* buffer, size_t size) override { return Result(recv(s_, buffer, static_cast<int>(size), 0)); }

 private:
  static Io Result(int n) {
    Io io;
    if (n > 0) {
      io.Bytes = static_cast<size_t>(n);
    } else if (n == SOCKET_ERROR) {
      int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK || error == WSAEINTR)
        io.Again = true;
      else
        io.Error = SocketError(error);
    }
    return io;
  }
  SOCKET s_;
};

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  for (size_t k = 0; prefix[k] != 0; ++k)
    if (k >= text.size() || std::towupper(text[k]) != std::towupper(prefix[k])) return false;
  return true;
}

// Ports of printers cabled to this computer: the spooler's USB, parallel,
// serial and IEEE 1284.4 ports.
bool IsLocalPort(const std::wstring& port) {
  for (const wchar_t* prefix : {L"USB", L"LPT", L"COM", L"DOT4_"})
    if (StartsWithNoCase(port, prefix)) return true;
  return false;
}

// The value types are the Standard TCP/IP Port monitor's: Protocol and
// PortNumber REG_DWORD, HostName and IPAddress REG_SZ.
bool ReadNumber(HKEY key, const wchar_t* name, DWORD& value) {
  DWORD size = sizeof value;
  return RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS;
}

std::wstring ReadText(HKEY key, const wchar_t* name) {
  DWORD size = 0;
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &size) != ERROR_SUCCESS) return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

std::string Utf8(const std::wstring& text) { return ToUtf8(win::FromWide(text.c_str(), text.size())); }

}  // namespace

LinkResult AskSocket(const std::string& host, const std::string& port, const std::vector<Exchange>& exchanges,
                     Clock::time_point deadline) {
  LinkResult result;
  if (int error = StartWinsock(); error != 0) {
    result.Error = "Winsock does not start: " + SocketError(error);
    return result;
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* found = nullptr;
  const std::wstring wideHost = win::Wide(FromUtf8(host)), widePort = win::Wide(FromUtf8(port));
  if (int rc = GetAddrInfoW(wideHost.c_str(), widePort.c_str(), &hints, &found); rc != 0) {
    if (rc == WSAHOST_NOT_FOUND || rc == WSANO_DATA || rc == WSATRY_AGAIN) result.Unreachable = NameNotFound;
    result.Error = "cannot resolve " + host + ": " + (result.Unreachable ? result.Unreachable : SocketError(rc));
    return result;
  }
  Socket connected;
  std::string lastError = "no address";
  for (ADDRINFOW* a = found; a != nullptr && connected.Get() == INVALID_SOCKET; a = a->ai_next) {
    Socket attempt(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (attempt.Get() == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    ioctlsocket(attempt.Get(), FIONBIO, &nonBlocking);
    if (connect(attempt.Get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
      if (int error = WSAGetLastError(); error != WSAEWOULDBLOCK) {
        lastError = Refusal(error, result);
        continue;
      }
      bool failed = false;
      if (!Wait(attempt.Get(), true, deadline, &failed)) {
        result.TimedOut = true;
        lastError = "no connection before the deadline";
        break;
      }
      int error = 0;
      int len = sizeof error;
      getsockopt(attempt.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
      if (failed || error != 0) {
        lastError = Refusal(error != 0 ? error : WSAECONNREFUSED, result);
        continue;
      }
    }
    connected.Reset(attempt.Release());
  }
  FreeAddrInfoW(found);
  if (connected.Get() == INVALID_SOCKET) {
    result.Error = "cannot connect to " + host + ":" + port + ": " + lastError;
    return result;
  }
  result.Connected = true;
  // Queries are a few bytes each, the next sent only after an answer: none waits to be gathered.
  BOOL one = TRUE;
  setsockopt(connected.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  SocketChannel channel(connected.Get());
  Converse(channel, exchanges, deadline, result);
  return result;
}

LinkResult AskDevice(const std::string& node, const std::vector<Exchange>&, Clock::time_point) {
  LinkResult result;
  result.Error = "asking a printer on " + node + " itself is not available on Windows yet";
  return result;
}

QueueState AskCupsQueue(const std::string& queue, Clock::time_point) {
  QueueState state;
  state.Error = "there is no CUPS on this system (queue '" + queue + "')";
  return state;
}

StatusTarget StatusTargetOf(const std::string& listedUri) {
  StatusTarget target;
  target.Spooled = true;
  target.Uri = "spooler:" + listedUri;
  const std::wstring port = win::Wide(FromUtf8(listedUri));
  // A printer pool names several ports, commas between: a job may go to any.
  if (port.empty() || port.find(L',') != std::wstring::npos) return target;
  HKEY key = nullptr;
  const std::wstring path =
      L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\" + port;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    if (IsLocalPort(port)) target.LocalPort = listedUri;
    return target;
  }
  DWORD protocol = 0, number = 0;
  const bool raw = ReadNumber(key, L"Protocol", protocol) && protocol == 1;
  const bool hasNumber = ReadNumber(key, L"PortNumber", number);
  std::wstring host = ReadText(key, L"HostName");
  if (host.empty()) host = ReadText(key, L"IPAddress");
  RegCloseKey(key);
  // An LPR port hands jobs to a queue on the device, not to its printer
  // language: the spooler's word is all there is.
  if (!raw) return target;
  const std::string named = "the Standard TCP/IP port '" + listedUri + "'";
  if (host.empty()) {
    target.Error = named + " names no printer address (HostName, IPAddress)";
  } else if (!hasNumber) {
    target.Error = named + " has no PortNumber";
  } else if (number < 1 || number > 65535) {
    target.Error = named + " has the port number " + std::to_string(number) + ", outside 1 to 65535";
  } else {
    const std::string address = Utf8(host);
    target.Uri = "socket://" + (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" +
                 std::to_string(number);
  }
  return target;
}

SpoolerState AskSpooler(const std::string& printer) {
  SpoolerState state;
  std::wstring name = win::Wide(FromUtf8(printer));
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, &access)) {
    state.Error = "the spooler cannot open printer '" + printer + "': " + win::ErrorText(GetLastError());
    return state;
  }
  std::vector<BYTE> buffer;
  DWORD needed = 0;
  bool got = false;
  for (int attempt = 0; attempt < 4 && !got; ++attempt) {
    got = GetPrinterW(h, 2, buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed);
    if (!got && GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    if (!got) buffer.assign(needed, 0);
  }
  if (!got) {
    state.Error = "the spooler does not tell the state of '" + printer + "': " + win::ErrorText(GetLastError());
  } else {
    auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    state.Answered = true;
    state.Status = info->Status;
    state.Attributes = info->Attributes;
    state.Jobs = info->cJobs;
  }
  ClosePrinter(h);
  return state;
}

}  // namespace morvel::platform
