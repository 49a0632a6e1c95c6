// The system ANSI code page through iconv: chosen from MORVEL_CODEPAGE or,
// as Windows chooses it, from the user's locale.
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/encodings.h"
#include "platform/linux/adapters.h"
#include "platform/text_case.h"

namespace morvel::platform {
namespace {

constexpr const char* FallbackCodePage = "CP1252";
// char16_t in memory order, without a byte-order mark.
constexpr const char* Utf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
const iconv_t NoDescriptor = reinterpret_cast<iconv_t>(-1);

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Open descriptors of one direction. A descriptor carries shift state, so a
// conversion takes one for itself; descriptors are reused, never opened per
// call, and threads converting at once each get their own.
class DescriptorPool {
 public:
  DescriptorPool(std::string to, std::string from) : to_(std::move(to)), from_(std::move(from)) {}
  ~DescriptorPool() {
    for (iconv_t cd : free_) iconv_close(cd);
  }
  DescriptorPool(const DescriptorPool&) = delete;
  DescriptorPool& operator=(const DescriptorPool&) = delete;

  class Lease {
   public:
    Lease(DescriptorPool& pool, iconv_t cd) : pool_(pool), cd_(cd) {}
    ~Lease() {
      if (cd_ != NoDescriptor) pool_.Return(cd_);
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    iconv_t Get() const { return cd_; }

   private:
    DescriptorPool& pool_;
    iconv_t cd_;
  };

  Lease Take() {
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (!free_.empty()) {
        iconv_t cd = free_.back();
        free_.pop_back();
        return Lease(*this, cd);
      }
    }
    return Lease(*this, iconv_open(to_.c_str(), from_.c_str()));
  }

 private:
  void Return(iconv_t cd) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
    std::lock_guard<std::mutex> lock(lock_);
    free_.push_back(cd);
  }

  std::string to_;
  std::string from_;
  std::mutex lock_;
  std::vector<iconv_t> free_;
};

// Output buffer that grows as iconv asks for room.
struct Output {
  std::string Bytes;
  size_t Used = 0;

  char* Next() { return Bytes.data() + Used; }
  size_t Left() const { return Bytes.size() - Used; }
  void Grow() { Bytes.resize(Bytes.size() * 2 + 16); }
  void Put(const char* data, size_t size) {
    while (Left() < size) Grow();
    std::copy(data, data + size, Next());
    Used += size;
  }
};

// Converts everything, putting `replacement` for each unit the converter
// refuses; `skip` tells how many input bytes the refused unit takes. Returns
// false only when the descriptor could not be opened.
template <typename Skip>
bool Convert(iconv_t cd, const char* input, size_t size, std::string_view replacement, Output& out, Skip skip) {
  if (cd == NoDescriptor) return false;
  char* in = const_cast<char*>(input);
  size_t inLeft = size;
  out.Bytes.resize(size * 2 + 16);
  auto flushState = [&] {
    for (;;) {
      char* next = out.Next();
      size_t left = out.Left();
      size_t r = iconv(cd, nullptr, nullptr, &next, &left);
      out.Used = out.Bytes.size() - left;
      if (r != static_cast<size_t>(-1) || errno != E2BIG) return;
      out.Grow();
    }
  };
  while (inLeft > 0) {
    char* next = out.Next();
    size_t left = out.Left();
    size_t r = iconv(cd, &in, &inLeft, &next, &left);
    out.Used = out.Bytes.size() - left;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.Grow();
    } else if (errno == EILSEQ || errno == EINVAL) {
      // A stateful code page must be back in its initial state before a
      // replacement written as plain bytes.
      flushState();
      out.Put(replacement.data(), replacement.size());
      size_t n = std::min<size_t>(inLeft, skip(in, inLeft));
      in += n;
      inLeft -= n;
    } else {
      break;
    }
  }
  flushState();
  out.Bytes.resize(out.Used);
  return true;
}

bool IsAscii(std::string_view bytes) {
  unsigned char any = 0;
  for (char c : bytes) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

class IconvCodePage : public CodePage {
 public:
  explicit IconvCodePage(std::string name) : name_(name), fromUnicode_(name, Utf16), toUnicode_(Utf16, name) {}

  std::string Name() override { return name_; }

  std::string FromUnicode(std::u16string_view text) override {
    std::string ascii(text.size(), '\0');
    size_t i = 0;
    for (; i < text.size() && text[i] < 0x80; ++i) ascii[i] = static_cast<char>(text[i]);
    if (i == text.size()) return ascii;
    auto lease = fromUnicode_.Take();
    Output out;
    // A refused character is one '?': both halves of a surrogate pair, or a
    // lone surrogate by itself.
    String refused;
    auto skip = [&refused](const char* in, size_t left) -> size_t {
      char16_t units[2] = {};
      std::memcpy(units, in, std::min<size_t>(left, sizeof units));
      size_t n = left >= 4 && IsHighSurrogate(units[0]) && IsLowSurrogate(units[1]) ? 2 : 1;
      if (refused.size() < 64) refused.append(units, n);
      return n * 2;
    };
    if (!Convert(lease.Get(), reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t), "?", out,
                 skip))
      return Unconverted(text);
    if (!refused.empty()) Record(refused);
    return std::move(out.Bytes);
  }

  String ToUnicode(std::string_view bytes) override {
    if (IsAscii(bytes)) return String(bytes.begin(), bytes.end());
    auto lease = toUnicode_.Take();
    Output out;
    constexpr char16_t question = u'?';
    std::string_view replacement(reinterpret_cast<const char*>(&question), sizeof question);
    if (!Convert(lease.Get(), bytes.data(), bytes.size(), replacement, out, [](const char*, size_t) { return 1; })) {
      String result;
      for (unsigned char b : bytes) result.push_back(b < 0x80 ? b : u'?');
      return result;
    }
    String result(out.Bytes.size() / sizeof(char16_t), u'\0');
    std::memcpy(result.data(), out.Bytes.data(), result.size() * sizeof(char16_t));
    return result;
  }

 private:
  // Only when iconv cannot open another descriptor (out of descriptors):
  // ASCII stays, the rest is refused.
  static std::string Unconverted(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
      out.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
    }
    return out;
  }

  // The members print a '?' by contract; the user still hears which
  // characters were lost and which code page would hold them.
  void Record(const String& refused) {
    std::string text = "characters the code page " + name_ + " cannot hold were sent as '?': " + ToUtf8(refused) +
                       "; set MORVEL_CODEPAGE to an iconv code page that holds them";
    for (const char* candidate : {"CP936", "CP950", "CP932", "CP949", "CP1250", "CP1251", "CP1253", "CP1254", "CP1255",
                                  "CP1256", "CP1257", "CP1258"}) {
      if (candidate == name_ || !Holds(candidate, refused)) continue;
      text += std::string(" (") + candidate + " does)";
      break;
    }
    Logger().Record(text);
    CountIncident(Incident::ReplacedCharacters);
  }

  static bool Holds(const char* codePage, const String& text) {
    iconv_t cd = iconv_open(codePage, Utf16);
    if (cd == NoDescriptor) return false;
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(char16_t);
    std::string buffer(text.size() * 4 + 16, '\0');
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    bool all = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    return all;
  }

  std::string name_;
  DescriptorPool fromUnicode_;
  DescriptorPool toUnicode_;
};

// Why `name` cannot serve as the ANSI code page, or empty when it can. Every
// Windows ANSI code page holds ASCII as itself, which the fast paths rely on.
std::string Unusable(const std::string& name) {
  iconv_t to = iconv_open(Utf16, name.c_str());
  iconv_t from = iconv_open(name.c_str(), Utf16);
  std::string reason;
  if (to == NoDescriptor || from == NoDescriptor) {
    reason = "iconv does not know it";
  } else {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
    Output wide;
    Convert(to, ascii.data(), ascii.size(), "", wide, [](const char*, size_t) { return 1; });
    std::u16string expected(ascii.begin(), ascii.end());
    Output narrow;
    Convert(from, reinterpret_cast<const char*>(expected.data()), expected.size() * 2, "", narrow,
            [](const char*, size_t) { return 2; });
    if (wide.Bytes != std::string_view(reinterpret_cast<const char*>(expected.data()), expected.size() * 2) ||
        narrow.Bytes != ascii)
      reason = "it does not hold ASCII as itself";
  }
  if (to != NoDescriptor) iconv_close(to);
  if (from != NoDescriptor) iconv_close(from);
  return reason;
}

// Chooses the code page at first use rather than at construction: the
// adapters are built while the process-wide services are being set up, and
// reporting an unusable MORVEL_CODEPAGE needs the log from those services.
class LinuxCodePage : public CodePage {
 public:
  std::string Name() override { return Get().Name(); }
  std::string FromUnicode(std::u16string_view text) override { return Get().FromUnicode(text); }
  String ToUnicode(std::string_view bytes) override { return Get().ToUnicode(bytes); }

 private:
  IconvCodePage& Get() {
    std::call_once(once_, [this] { chosen_ = std::make_unique<IconvCodePage>(Choose()); });
    return *chosen_;
  }

  static std::string Choose() {
    const char* named = std::getenv("MORVEL_CODEPAGE");
    if (named != nullptr && *named != '\0') {
      std::string reason = Unusable(named);
      if (reason.empty()) return named;
      Logger().Record("MORVEL_CODEPAGE=" + std::string(named) + " cannot be used (" + reason + "); using " +
                      FallbackCodePage);
      return FallbackCodePage;
    }
    const char* locale = "";
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
      const char* value = std::getenv(variable);
      if (value != nullptr && *value != '\0') {
        locale = value;
        break;
      }
    }
    return CodePageForLocale(locale);
  }

  std::once_flag once_;
  std::unique_ptr<IconvCodePage> chosen_;
};

}  // namespace

std::string CodePageForLocale(std::string_view localeName) {
  // language[_territory][.codeset][@modifier]; BCP 47 style "zh-TW" too.
  size_t end = localeName.find_first_of(".@");
  std::string_view tag = localeName.substr(0, end);
  size_t split = tag.find_first_of("_-");
  std::string language = text::ToLowerAscii(tag.substr(0, split));
  std::string territory = split == std::string_view::npos ? "" : text::ToLowerAscii(tag.substr(split + 1));
  if (language == "zh") {
    // Windows gives Macao the traditional code page and a Chinese locale
    // without territory the simplified one.
    if (territory == "tw" || territory == "hk" || territory == "mo") return "CP950";
    return "CP936";
  }
  if (language == "ja") return "CP932";
  if (language == "ko") return "CP949";
  return FallbackCodePage;
}

std::shared_ptr<CodePage> MakeLinuxCodePage() { return std::make_shared<LinuxCodePage>(); }

std::optional<std::string> DecodeToUtf8(std::string_view bytes, const char* codePage) {
  iconv_t cd = iconv_open("UTF-8", codePage);
  if (cd == NoDescriptor) return std::nullopt;
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || outLeft < 4) break;
    // A byte the code page does not know shows as '?', as printers do.
    *o++ = '?';
    --outLeft;
    ++in;
    --inLeft;
  }
  // A stateful code page (CP1255 holds a letter back for the marks that may
  // follow it) gives its last character only when flushed.
  iconv(cd, nullptr, nullptr, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace morvel::platform
