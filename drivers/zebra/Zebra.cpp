// ZPL label commands and ZPL RFID encoding, written through the ZPL table.
#include "drivers/zebra/Zebra.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "drivers/Numbers.h"
#include "drivers/Units.h"
#include "lang/Status.h"
#include "lang/zpl/Writer.h"
#include "platform/services.h"

namespace morvel {
namespace {

namespace zpl = lang::zpl;

constexpr auto Px = Module1::PixelDotsText;
constexpr auto Pt = Module1::PointDotsText;
constexpr auto Mm = Module1::MillimetreDotsText;

// kBar / zBar as a double division: 0/0 overflows, x/0 divides by zero.
double BarRatio(const String& kBar, const String& zBar) {
  double wide = numbers::TextToDouble(kBar);
  double narrow = numbers::TextToDouble(zBar);
  if (narrow == 0) throw AutomationError(wide == 0 ? errors::Overflow : errors::DivisionByZero);
  double ratio = wide / narrow;
  if (!std::isfinite(ratio)) throw AutomationError(errors::Overflow);
  return ratio;
}

// The field the tag's echo is read into, at the top of the field numbers
// (0-9999), away from the ones callers number their own fields with.
constexpr const char16_t* EchoField = u"9999";

// The echo line's header: RFID: and the label's number on this port, so
// that a late echo of an earlier label (a paused printer going on) is never
// taken for this one's.
String EchoHeader(uint64_t label) { return u"RFID:" + FromUtf8(std::to_string(label)) + u":"; }

// Reads the tag back after the label's operations into the echo field, and
// sends that field back to the host for every label that leaves the
// printer, voided ones included (^HV with a = L, RFID Programming Guide
// 58978L-008, ^HV: "send one response ... for every label printed").
void PutEcho(String& label, const String& header, const String& format, const String& start, const String& length,
             const String& bank) {
  zpl::Put(label, zpl::RF, {u"R", format, start, length, bank});
  zpl::Put(label, zpl::FN, {EchoField});
  zpl::Put(label, zpl::FS);
  zpl::Put(label, zpl::FH, {u"_"});
  zpl::Put(label, zpl::HV, {EchoField, u"256", header, u"_0D_0A", u"L"});
  zpl::Put(label, zpl::FS);
}

}  // namespace

Zebra::Zebra() : PrnBase(drivers::ZebraBrand) {}

void Zebra::Collect(std::u16string_view piece) {
  CheckCollectedRoom(CmdPrint.size(), piece.size(), MaxCollectedText, "the label's command text (UTF-16 units)");
  CmdPrint += piece;
}

void Zebra::OpenPort(String& printerName) { channel_.Open(printerName); }

void Zebra::ClosePort() { channel_.Close(); }

void Zebra::PrintLabel(String& copies) {
  String label;
  label.reserve(CmdPrint.size() + copies.size() + 10);
  zpl::Put(label, zpl::XA);
  label += CmdPrint;
  const std::string unasked = tagWrite_ ? drivers::WhyUnasked(channel_) : std::string();
  const bool echoed = tagWrite_ && unasked.empty();
  if (echoed) {
    ++echoes_;
    PutEcho(label, EchoHeader(echoes_), tagWrite_->Format, tagWrite_->Start, tagWrite_->Length, tagWrite_->Bank);
  }
  zpl::Put(label, zpl::PQ, {copies});
  zpl::Put(label, zpl::XZ);
  // The printer's RFID odometers before the label, against its echoes after.
  const std::optional<lang::TagCounts> before = echoed ? watch_.Count(TagLink()) : std::nullopt;
  SendRaw(label);
  CmdPrint.clear();
  if (tagWrite_) AwaitTags(copies, unasked, before);
  tagWrite_.reset();
}

drivers::TagLink Zebra::TagLink() {
  const lang::StatusQuery& status = lang::zpl::HostStatusQuery();
  drivers::TagLink link;
  link.Read = [this](std::string& into, auto deadline) { return channel_.Read(into, deadline); };
  link.Send = [this](const std::string& bytes) { channel_.Write(bytes); };
  link.StatusQuery = std::string(status.Sent);
  link.StatusFrame = status.Frame;
  link.ReadWork = [&status](std::string_view answer) { return drivers::WorkOf(status.Read(answer)); };
  link.CountQueries = {std::string(lang::zpl::ValidTagsQuery), std::string(lang::zpl::VoidTagsQuery)};
  link.CountFrame = lang::zpl::QuotedFrame;
  link.ReadCount = lang::zpl::ReadQuotedCount;
  return link;
}

void Zebra::AwaitTags(const String& copies, const std::string& unasked, const std::optional<lang::TagCounts>& before) {
  const int count = drivers::CopiesOf(copies);
  const bool echoed = unasked.empty();
  std::vector<TagResult> got;
  if (!echoed) {
    got = watch_.Unanswerable(count, unasked);
  } else {
    const drivers::TagLink link = TagLink();
    drivers::TagExpectation expect;
    expect.Prefix = ToUtf8(EchoHeader(echoes_));
    expect.Expected = ToUtf8(u"00" + tagWrite_->Data);
    expect.Copies = count;
    got = watch_.Await(link, expect, drivers::TagWaitsFromEnv());
    if (before)
      if (const std::optional<lang::TagCounts> after = watch_.Count(link))
        if (const std::string odd = drivers::CompareCounts(*before, *after, got); !odd.empty())
          platform::Logger().Record("Zebra: RFID " + odd);
  }
  for (TagResult& r : got) {
    const std::string line = "Zebra: RFID " + Describe(r) + (r.Reason.empty() ? "" : " (" + r.Reason + ")");
    // A tag written, or a printer that cannot answer, is noted; what the
    // printer failed at, or never said, is recorded as a failure.
    if (r.State == TagResult::Outcome::Written || !echoed)
      platform::Logger().Note(line);
    else
      platform::Logger().Record(line);
    results_.push_back(std::move(r));
  }
}

std::vector<TagResult> Zebra::TakeTagResults() { return std::exchange(results_, {}); }

void Zebra::SendRaw(const String& text) {
  if (!channel_.IsOpen()) return;
  channel_.Write(platform::Ansi().FromUnicode(text));
}

void Zebra::SendCmd(String& cmd) { Collect(cmd); }

void Zebra::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                      String& direction) {
  String piece;
  piece.reserve(64);
  zpl::Put(piece, zpl::JM, {u"A"});
  zpl::Put(piece, zpl::PW, {Mm(numbers::TextToInteger(wide))});
  zpl::Put(piece, zpl::PR, {speed, u"2", u"A"});
  zpl::Put(piece, zpl::SD, {numbers::FormatInteger(numbers::ToInteger(numbers::TextToInteger(nd) * 2.0))});
  zpl::Put(piece, zpl::LH, {Mm(numbers::TextToSingle(sp)), Mm(numbers::TextToSingle(cz))});
  zpl::Put(piece, zpl::PO, {direction == u"0" ? u"N" : u"I"});
  Collect(piece);
}

// Text in a font the printer holds by name, through the GB18030 table, so
// every character of the host's text reaches it.
void Zebra::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  String piece;
  piece.reserve(64 + txt.size() + fontName.size());
  zpl::Put(piece, zpl::FO, {Px(x), Px(y), u"0"});
  zpl::Put(piece, zpl::CI, {u"26"});
  zpl::Put(piece, zpl::SE, {u"E:GB18030.DAT"});
  String h = Pt(height);
  zpl::PutFont(piece, u'@', {u"N", h, h, u"E:" + fontName});
  zpl::Put(piece, zpl::FD, {txt});
  zpl::Put(piece, zpl::FS);
  Collect(piece);
}

void Zebra::PrintBar(Single& x, Single& y, Single width, Single height) {
  String piece;
  piece.reserve(48);
  zpl::Put(piece, zpl::FO, {Px(x), Px(y)});
  zpl::Put(piece, zpl::GB, {Px(width), Px(height), u"1"});
  zpl::Put(piece, zpl::FS);
  Collect(piece);
}

void Zebra::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                      String& zBar, String& kBar) {
  String piece;
  piece.reserve(64 + code.size());
  if (codeType == u"128") {
    zpl::Put(piece, zpl::FO, {Px(x), Px(y)});
    zpl::Put(piece, zpl::BY, {u"2", numbers::FormatDouble(BarRatio(kBar, zBar))});
    zpl::Put(piece, zpl::BC, {u"N", Px(height), Readable == u"0" ? u"N" : u"Y", u"N"});
    zpl::Put(piece, zpl::FD, {code});
    zpl::Put(piece, zpl::FS);
  } else if (codeType == u"QRCODE") {
    zpl::Put(piece, zpl::FO, {Px(x), Px(y)});
    zpl::Put(piece, zpl::BQ, {u"N", u"2", numbers::FormatSingle(height)});
    zpl::Put(piece, zpl::FD, {u"QA", code});
    zpl::Put(piece, zpl::FS);
  } else {
    return;
  }
  Collect(piece);
}

void Zebra::InitRFID(String& labelType, String& backfeed, String& readPower, String& writePower, String& wire,
                     String& tryNum) {
  String piece;
  zpl::Put(piece, zpl::RS, {labelType, backfeed});
  zpl::Put(piece, zpl::RW, {readPower, writePower, wire});
  zpl::Put(piece, zpl::RR, {tryNum});
  Collect(piece);
}

void Zebra::OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
                   String& section) {
  String piece;
  zpl::Put(piece, zpl::RF, {operate, dataType, startAddress, dataLen, section});
  zpl::Put(piece, zpl::FD, {u"00" + data});
  zpl::Put(piece, zpl::FS);
  Collect(piece);
  // A write (W, or L to lock too; W when not given) is what the printer is
  // asked to echo back; the label's first one.
  const bool writes = operate.empty() || operate == u"W" || operate == u"w" || operate == u"L" || operate == u"l";
  if (writes && !tagWrite_) tagWrite_ = TagWrite{dataType, startAddress, dataLen, section, data};
}

}  // namespace morvel
