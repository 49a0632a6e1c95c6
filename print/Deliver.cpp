// Sending a document's printer bytes through the system's spooler as one
// document, opened only once every label is made (a document that fails
// on any page sends nothing); and the printers of a brand that take no
// bytes (Dothan) through the brand's vendor library, a job a page, once
// every page is drawn and held one bit a dot.
#include "platform/services.h"
#include "platform/spooler.h"
#include "print/Print.h"
#include "print/Sources.h"
#include "print/Staging.h"
#include "render/Page.h"

namespace morvel::print {

namespace {

class SpoolerDocument {
 public:
  SpoolerDocument(const Target& target, const std::string& jobName) : target_(target), jobName_(jobName) {}
  ~SpoolerDocument() {
    if (handle_ != platform::Spooler::NullHandle) spooler_->ClosePrinter(handle_);
  }

  bool Write(std::string_view bytes) {
    if (handle_ == platform::Spooler::NullHandle) Open();
    size_t written = 0;
    return spooler_->Write(handle_, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), written) &&
           written == bytes.size();
  }

  // Ends the document of `report`'s labels, every byte written.
  void Finish(const Report& report) {
    if (handle_ == platform::Spooler::NullHandle) return;
    const bool ended = spooler_->EndPage(handle_) && spooler_->EndDoc(handle_);
    spooler_->ClosePrinter(handle_);
    handle_ = platform::Spooler::NullHandle;
    if (!ended) {
      Sent sent;
      sent.Of = report.Labels;
      sent.AsItIs = report.AsItIs;
      sent.Unconfirmed = true;
      throw DocumentError("the spooler did not finish the document for '" + target_.Name + "'", sent);
    }
  }

 private:
  void Open() {
    spooler_ = platform::Current().Spool;
    handle_ = spooler_->OpenPrinter(FromUtf8(target_.Name));
    if (handle_ == platform::Spooler::NullHandle)
      throw DocumentError("the spooler cannot open '" + target_.Name + "' (see the log)");
    if (!spooler_->StartDoc(handle_, FromUtf8(jobName_)) || !spooler_->StartPage(handle_))
      throw DocumentError("the spooler cannot start a document on '" + target_.Name + "' (see the log)");
  }

  const Target& target_;
  const std::string& jobName_;
  std::shared_ptr<platform::Spooler> spooler_;
  platform::Spooler::Handle handle_ = platform::Spooler::NullHandle;
};

// A page's dots, one bit a dot (the first dot of a row the high bit), as
// the pages are held until the last one is drawn.
void Pack(const core::Bitmap& dots, detail::Staging& staged) {
  const size_t rowBytes = (static_cast<size_t>(dots.Width()) + 7) / 8;
  std::string row(rowBytes, '\0');
  for (int y = 0; y < dots.Height(); ++y) {
    std::fill(row.begin(), row.end(), '\0');
    const uint8_t* dot = dots.Row(y);
    for (int x = 0; x < dots.Width(); ++x)
      if (dot[x])
        row[static_cast<size_t>(x) >> 3] = static_cast<char>(row[static_cast<size_t>(x) >> 3] | (0x80 >> (x & 7)));
    staged.Append(row);
  }
}

// Every page drawn and held, then each handed to the brand's vendor library
// as a job of its own; the library's refusal stops the rest.
Report PrintThroughLibrary(const Target& target, std::string_view document, const std::string& jobName,
                           const Options& options, const Progress& progress) {
  const drivers::BrandRow& brand = *target.Brand;
  detail::Staging staged;
  Report report = detail::DrawPages(
      document, target, options,
      [&](const core::Bitmap& dots, int copies) {
        Pack(dots, staged);
        staged.EndLabel(copies, dots.Width(), dots.Height());
      },
      progress);
  Sent sent;
  sent.Of = staged.LabelCount();
  uint64_t at = 0;
  std::string packed;
  for (const auto& page : staged.Labels()) {
    staged.Read(at, static_cast<size_t>(page.End - at), packed);
    at = page.End;
    bool done = false;
    try {
      done = brand.PrintPage(target.Name, jobName, {packed, page.Width, page.Height, target.Dpi, page.Copies});
    } catch (const std::runtime_error& e) {
      throw DocumentError(std::string(brand.Library) + " cannot be reached: " + e.what(), sent);
    }
    if (!done) throw DocumentError(std::string(brand.Library) + " did not print the page (see the log)", sent);
    sent.Whole += page.Copies;
  }
  return report;
}

}  // namespace

Target TargetFor(const std::string& printerName, const Request& request) {
  Target target = TargetNamed(printerName);
  if (request.WidthMm > 0) target.WidthMm = request.WidthMm;
  if (request.HeightMm > 0) target.HeightMm = request.HeightMm;
  return target;
}

Report PrintTo(const Target& target, std::string_view document, const std::string& jobName, const Options& options,
               const Progress& progress) {
  if (document.empty()) throw DocumentError("the document is empty");
  if (target.Brand != nullptr && target.Brand->PrintPage != nullptr)
    return PrintThroughLibrary(target, document, jobName, options, progress);
  SpoolerDocument out(target, jobName);
  Report report = Print(
      document, target, options, [&](std::string_view bytes) { return out.Write(bytes); }, progress);
  out.Finish(report);
  return report;
}

}  // namespace morvel::print
