// SBPL label commands, BMP images and EPC writing for SATO printers,
// written through the SBPL table.
#include "drivers/sato/Sato.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "drivers/Conversions.h"
#include "drivers/Numbers.h"
#include "drivers/Units.h"
#include "drivers/shared/TagWatch.h"
#include "lang/Status.h"
#include "lang/sbpl/Writer.h"
#include "morvel/clsBase64.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/text_case.h"

namespace morvel {
namespace {

namespace sbpl = lang::sbpl;

const String JobStart = sbpl::Text(sbpl::Start);

Integer PxDots(Single value) {
  Integer unit = Module1::UnitPixels;
  return Module1::ConvertToDots(value, unit);
}
constexpr auto Px = Module1::PixelDotsText;
constexpr auto Pt = Module1::PointDotsText;
constexpr auto Mm = Module1::MillimetreDotsText;

// ESC %0 ESC H x ESC V y: the start of every placed field.
String Place(Single x, Single y) {
  String s;
  sbpl::Put(s, sbpl::Rotation, {u"0"});
  sbpl::Put(s, sbpl::Horizontal, {Px(x)});
  sbpl::Put(s, sbpl::Vertical, {Px(y)});
  return s;
}

// What a Status 4 answer says of the labels sent: printed once the printer
// is on-line with none left.
drivers::PrinterWork WorkOf(std::string_view answer) { return drivers::WorkOf(lang::sbpl::ReadStatus4(answer)); }

// SOH RU's answer as the label's result: written when the printer says so,
// holding the EPC it read back (else the one asked, whose write it
// confirms); void with its error symbol in words when it failed.
TagResult ResultOf(std::string_view answer, const std::string& asked) {
  const lang::TagWriteStatus status = lang::sbpl::ReadTagWrite(answer);
  TagResult r;
  if (!status.Understood) {
    r.Reason = "the printer's answer to SOH RU was not understood";
    return r;
  }
  if (!status.Written) {
    r.State = TagResult::Outcome::Void;
    r.Reason = "the printer could not write the tag: " + lang::sbpl::TagErrorWords(status.Error) + " (error " +
               std::string(1, status.Error) + ")";
    return r;
  }
  const std::string read = status.Epc.value_or("");
  if (!read.empty() && !text::EqualsIgnoreCaseAscii(read, asked)) {
    r.Reason = "the printer says the write succeeded, but read back " + read + ", not what was asked";
    return r;
  }
  r.State = TagResult::Outcome::Written;
  r.Epc = read.empty() ? asked : read;
  r.Tid = status.Tid.value_or("");
  return r;  // Tries 0: SOH RU tells the last try only
}

}  // namespace

Sato::Sato() : PrnBase(drivers::SatoBrand), CmdBytes(Module2::StringToUtf8Bytes(JobStart)) {}

void Sato::Append(const String& text) {
  ByteArray bytes = Module2::StringToUtf8Bytes(text);
  // Both limits before either collection changes, so a refused append keeps
  // the log and the label as they were.
  CheckCollectedRoom(CmdPrint.size(), text.size(), MaxCollectedText, "the printer's command log (UTF-16 units)");
  CheckCollectedRoom(CmdBytes.Size(), bytes.Size(), MaxCollectedBytes, "the label's bytes");
  // The bytes first: when they cannot be appended (empty text) nothing changes.
  Module2::AppendBytes(CmdBytes, bytes);
  CmdPrint += text;
}

void Sato::OpenPort(String& printerName) { channel_.Open(printerName); }

void Sato::ClosePort() { channel_.Close(); }

void Sato::PrintLabel(String& copies) {
  String end;
  sbpl::Put(end, sbpl::Quantity, {copies});
  sbpl::Put(end, sbpl::End);
  Append(end);
  // ESC RU with 1: the printer keeps the status of the label's tag write,
  // to answer SOH RU with (SATO S84-ex / S86-ex Programming Reference,
  // RFID, pp. 308-310 / 344); only where the answer can come back, so a
  // file: or a CUPS queue gets the label's bytes as ever.
  const std::optional<size_t> tagAt = std::exchange(tagAt_, std::nullopt);
  const std::string unasked = tagAt ? drivers::WhyUnasked(channel_) : std::string();
  const bool asked = tagAt && unasked.empty();
  std::optional<lang::TagCounts> before;
  if (asked) {
    const std::string keep = ToUtf8(sbpl::Text(sbpl::RfidReturn, {u"1"}));
    CmdBytes.Bytes().insert(CmdBytes.Bytes().begin() + static_cast<std::ptrdiff_t>(*tagAt), keep.begin(), keep.end());
    // The printer's counters before the label, to tell its tries after.
    before = inquiry_.Count(TagLink());
  }
  SendRawBytes(CmdBytes);
  CmdBytes = Module2::StringToUtf8Bytes(JobStart);
  if (tagAt) AwaitTag(copies, unasked, before);
}

drivers::TagInquiryLink Sato::TagLink() {
  drivers::TagInquiryLink link;
  link.Read = [this](std::string& into, auto deadline) { return channel_.Read(into, deadline); };
  link.Send = [this](const std::string& bytes) { channel_.Write(bytes); };
  // ENQ: Status 4, until the printer has no label left to print.
  link.StatusQuery = lang::sbpl::Status.Queries.front().Sent;
  link.StatusFrame = lang::sbpl::Status4Frame;
  link.ReadWork = WorkOf;
  link.ResultQuery = lang::sbpl::TagWriteQuery;
  link.ResultFrame = lang::sbpl::TagWriteFrame;
  link.ReadResult = [asked = tagEpc_](std::string_view answer) { return ResultOf(answer, asked); };
  // SOH RB: the RFID counters.
  link.CountsQuery = lang::sbpl::TagCountsQuery;
  link.CountsFrame = lang::sbpl::TagCountsFrame;
  link.ReadCounts = lang::sbpl::ReadTagCounts;
  return link;
}

void Sato::AwaitTag(const String& copies, const std::string& unasked, const std::optional<lang::TagCounts>& before) {
  const int count = drivers::CopiesOf(copies);
  const std::vector<TagResult> got = unasked.empty()
                                         ? inquiry_.Ask(TagLink(), count, drivers::TagWaitsFromEnv().FirstEcho, before)
                                         : inquiry_.Unanswerable(count, unasked);
  tagEpc_.clear();
  for (const TagResult& r : got) {
    platform::Logger().Record("Sato: RFID " + Describe(r) + (r.Tid.empty() ? "" : " tid " + r.Tid) +
                              (r.Reason.empty() ? "" : " (" + r.Reason + ")"));
    results_.push_back(r);
  }
}

std::vector<TagResult> Sato::TakeTagResults() { return std::exchange(results_, {}); }

void Sato::SendRawBytes(const ByteArray& bytes) {
  if (!channel_.IsOpen()) return;
  channel_.Write(bytes.Data(), bytes.Size());
}

void Sato::SendCmd(String& cmd) { Append(cmd); }

void Sato::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                     String& direction) {
  String t;
  sbpl::Put(t, sbpl::BaseReference, {u"V+", Mm(numbers::TextToSingle(cz)), u"H+", Mm(numbers::TextToSingle(sp))});
  sbpl::Put(t, sbpl::Speed, {numbers::FormatInteger(numbers::TextToInteger(speed))});
  // Integer division: the remainder is dropped.
  sbpl::Put(t, sbpl::Density, {numbers::FormatInteger(numbers::TextToInteger(nd) / 2)});
  sbpl::Put(t, sbpl::LabelSize, {u"V", Mm(numbers::TextToInteger(height)), u"H", Mm(numbers::TextToInteger(wide))});
  Append(t);
}

void Sato::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  String t = Place(x, y);
  sbpl::Put(t, sbpl::Pitch, {u"02"});
  String h = Pt(height);
  sbpl::Put(t, sbpl::OutlineFont, {u"0,6,2,", h, u",", h, u",", txt});
  Append(t);
}

void Sato::PrintBar(Single& x, Single& y, Single width, Single height) {
  String t = Place(x, y);
  if (height == 1)
    sbpl::Put(t, sbpl::Line, {u"02H", Px(width)});
  else
    sbpl::Put(t, sbpl::Line, {u"02V", Px(height)});
  Append(t);
}

void Sato::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                     String& zBar, String& kBar) {
  if (codeType == u"128") {
    Integer top = PxDots(y);
    Integer tall = PxDots(height);
    String digits = u"0" + numbers::FormatInteger(tall);
    String t = Place(x, y);
    sbpl::Put(t, sbpl::Code128, {u"02", digits.substr(digits.size() >= 3 ? digits.size() - 3 : 0), u">H", code});
    Append(t);
    // The human-readable line comes after the bars are in: a bad Readable or
    // an overflowing position raises with the barcode kept.
    if (numbers::TextToDouble(Readable) != 1) return;
    Integer below = numbers::ToInteger(numbers::ToInteger(static_cast<double>(top) + tall) + 3.0);
    String line;
    sbpl::Put(line, sbpl::Rotation, {u"0"});
    sbpl::Put(line, sbpl::Horizontal, {Px(x)});
    sbpl::Put(line, sbpl::Vertical, {numbers::FormatInteger(below)});
    sbpl::Put(line, sbpl::Pitch, {u"02"});
    sbpl::Put(line, sbpl::ProportionalFont, {u"B@0,025,025,", code});
    Append(line);
  } else if (codeType == u"QRCODE") {
    String t = Place(x, y);
    sbpl::Put(t, sbpl::QrCode, {u",L,", numbers::FormatSingle(height), u",1,0"});
    // The count of the bytes that follow, as they go out (UTF-8), so the
    // printer neither cuts nor pads text beyond ASCII.
    sbpl::Put(t, sbpl::QrData, {numbers::FormatInteger(static_cast<long long>(ToUtf8(code).size())), u",", code});
    Append(t);
  }
}

void Sato::DrawBmpBytes(ByteArray& bytes, Single x, Single y) {
  long count = bytes.UBound() - bytes.LBound() + 1;
  if (count <= 0) throw AutomationError(errors::SubscriptOutOfRange);
  String header;
  sbpl::Put(header, sbpl::Horizontal, {Px(x)});
  sbpl::Put(header, sbpl::Vertical, {Px(y)});
  sbpl::Put(header, sbpl::Graphic, {numbers::FormatInteger(count), u","});
  // Room is checked and reserved first, so that appending the image cannot
  // fail half-way.
  CheckCollectedRoom(CmdBytes.Size(), header.size() * 3 + static_cast<size_t>(count), MaxCollectedBytes,
                     "the label's bytes");
  CmdBytes.Bytes().reserve(CmdBytes.Size() + header.size() + static_cast<size_t>(count));
  Append(header);
  Module2::AppendBytes(CmdBytes, bytes);
}

void Sato::DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) {
  std::vector<uint8_t> content = platform::ReadWholeFile(platform::FileSystemPath(imageFile));
  if (content.empty()) throw AutomationError(errors::SubscriptOutOfRange);
  ByteArray bytes(std::move(content));
  DrawBmpBytes(bytes, x, y);
}

void Sato::DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) {
  clsBase64 decoder;
  ByteArray bytes = decoder.Base64Decode(std::move(imageBase64));
  DrawBmpBytes(bytes, x, y);
}

void Sato::DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) {
  ByteArray bytes = Module2::PictureToBytes(pic);
  DrawBmpBytes(bytes, x, y);
}

String Sato::ToHexString(const String& text) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::string bytes = platform::Ansi().FromUnicode(text);
  String hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    // Always two digits: a single digit for a byte below 0x10 would shift
    // every digit after it and write a wrong EPC.
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 15]);
  }
  return hex;
}

void Sato::OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
                  String& section) {
  const String hex = ToHexString(data);
  const size_t at = CmdBytes.Size();
  Append(sbpl::Text(sbpl::Rfid, {u"e:h,epc:", hex, u";"}));
  if (!tagAt_) tagAt_ = at;
  tagEpc_ = ToUtf8(hex);
}

}  // namespace morvel
