// The origins (scheme://host[:port]) whose pages may drive Morvel: the web
// bridge admits their pages, and the control, embedded in one of their
// pages, counts as safe for scripting there. One list for both, from two
// places: the user's own file, and the machine's list that an administrator
// or the installer manages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvel::platform {

// An origin as pages send it, in one form: lower case, without a trailing
// slash, without the scheme's default port (http 80, https 443).
std::string NormalizeOrigin(std::string_view origin);

// The origin of a page's address (https://user@Host:8443/path?q ->
// https://host:8443); empty for an address that has none to allow (file:,
// about:, javascript:, data:, anything without "scheme://host").
std::string OriginOfUrl(std::string_view url);

// The entries of an origin file: one a line, blank lines and lines starting
// with '#' skipped, blanks around each trimmed. A missing file has none.
std::vector<std::string> ReadOriginFile(const std::string& path);

// The user's file: %APPDATA%\Morvel\allowed-origins on Windows,
// $XDG_CONFIG_HOME/morvel/allowed-origins (~/.config/...) on Linux.
std::string UserOriginFile();

// The machine's list: on Windows the value AllowedOrigins of
// HKLM\Software\Morvel (in either registry view; text or multi-text, the
// origins separated by blanks, commas or semicolons); on Linux the file
// /etc/morvel/allowed-origins. MORVEL_MACHINE_ORIGINS names another file
// instead, for tests.
std::vector<std::string> MachineOrigins();
// Where that list is, for messages.
std::string MachineOriginsPlace();

// The user's origins and the machine's, normalized, each once.
std::vector<std::string> AllowedOrigins();

// Splits text at blanks, commas and semicolons (the machine list's values).
std::vector<std::string> SplitOrigins(std::string_view text);

}  // namespace morvel::platform
