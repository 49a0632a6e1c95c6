// Recording fakes of the platform ports.
#include "platform/fakes/fakes.h"

#include <algorithm>

namespace morvel::platform {

TextExtent FakeTextMeasure::Measure(const FontSpec& font, std::u16string_view text, int pixelsPerInch) {
  Calls.push_back(Call{font, String(text), pixelsPerInch});
  double em = font.Points * pixelsPerInch / 72.0;
  double perChar = font.Bold ? em : em / 2;
  size_t lines = 1, longest = 0, current = 0;
  for (char16_t c : text) {
    if (c == u'\n') {
      ++lines;
      longest = std::max(longest, current);
      current = 0;
    } else if (c != u'\r') {
      ++current;
    }
  }
  longest = std::max(longest, current);
  return TextExtent{perChar * static_cast<double>(longest), 1.2 * em * static_cast<double>(lines)};
}

std::string FakeCodePage::FromUnicode(std::u16string_view text) {
  ++Conversions;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
  return out;
}

String FakeCodePage::ToUnicode(std::string_view bytes) {
  ++Conversions;
  String out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) out.push_back(b);
  return out;
}

PictureRef RecordingPictures::Decode(const uint8_t* data, size_t size) {
  ++Decodes;
  return system_->Decode(data, size);
}

std::vector<uint8_t> RecordingPictures::SaveBmp(const Picture& picture) {
  ++Saves;
  return system_->SaveBmp(picture);
}

std::string RecordingSpooler::Document::Bytes() const {
  std::string all;
  for (const auto& w : Writes) all.append(w.begin(), w.end());
  return all;
}

Spooler::Handle RecordingSpooler::OpenPrinter(std::u16string_view printerName) {
  Calls.push_back("OpenPrinter");
  if (!KnownPrinters.empty() &&
      std::find(KnownPrinters.begin(), KnownPrinters.end(), String(printerName)) == KnownPrinters.end())
    return NullHandle;
  Handle h = next_++;
  open_[h] = Open{String(printerName), -1};
  return h;
}

bool RecordingSpooler::StartDoc(Handle printer, std::u16string_view documentName) {
  Calls.push_back("StartDoc");
  auto it = open_.find(printer);
  if (it == open_.end() || it->second.Document >= 0) return false;
  Documents.push_back(Document{it->second.Name, String(documentName), {}, false, {}});
  it->second.Document = static_cast<int>(Documents.size()) - 1;
  return true;
}

bool RecordingSpooler::StartDocOfType(Handle printer, std::u16string_view documentName, std::string_view mimeType) {
  if (!StartDoc(printer, documentName)) return false;
  Documents.back().Type = mimeType;
  return true;
}

bool RecordingSpooler::StartPage(Handle printer) {
  Calls.push_back("StartPage");
  return open_.count(printer) != 0;
}

bool RecordingSpooler::Write(Handle printer, const uint8_t* data, size_t size, size_t& written) {
  Calls.push_back("Write");
  written = 0;
  auto it = open_.find(printer);
  if (it == open_.end() || it->second.Document < 0) return false;
  Documents[it->second.Document].Writes.emplace_back(data, data + size);
  written = size;
  return true;
}

bool RecordingSpooler::EndPage(Handle printer) {
  Calls.push_back("EndPage");
  return open_.count(printer) != 0;
}

bool RecordingSpooler::EndDoc(Handle printer) {
  Calls.push_back("EndDoc");
  auto it = open_.find(printer);
  if (it == open_.end() || it->second.Document < 0) return false;
  Documents[it->second.Document].Ended = true;
  it->second.Document = -1;
  return true;
}

bool RecordingSpooler::ClosePrinter(Handle printer) {
  Calls.push_back("ClosePrinter");
  return open_.erase(printer) != 0;
}

}  // namespace morvel::platform
