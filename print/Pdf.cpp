// PDF pages through poppler's GLib interface onto cairo, fonts as the file
// embeds them; in the drawing process of PdfPages.h. Drawn with cairo's anti-aliasing: each dot's grey is the
// share of it that ink covers, so the threshold that follows puts an edge
// on the dot boundary nearest to it, and shapes that abut (a bar drawn a
// module at a time) leave no hairline gap, as sampling dots' centres does.
#include <poppler.h>

#include <memory>

#include "print/Sources.h"

namespace morvel::print::detail {
namespace {

struct GObjectDeleter {
  void operator()(void* object) const { g_object_unref(object); }
};
template <class T>
using Owned = std::unique_ptr<T, GObjectDeleter>;

class PdfDocument : public Source {
 public:
  explicit PdfDocument(std::string_view bytes) {
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GError* error = nullptr;
    document_.reset(poppler_document_new_from_bytes(data, nullptr, &error));
    g_bytes_unref(data);
    if (!document_) {
      std::string cause =
          error && error->domain == POPPLER_ERROR && error->code == POPPLER_ERROR_ENCRYPTED
              ? "the PDF is encrypted (a password is needed to open it)"
              : std::string("not a PDF that can be read (") + (error ? error->message : "damaged") + ")";
      if (error) g_error_free(error);
      throw DocumentError(cause);
    }
    count_ = poppler_document_get_n_pages(document_.get());
    if (count_ < 1) throw DocumentError("the PDF has no pages");
  }

  int Count() override { return count_; }

  PageSize Size(int index) override {
    PageSize size;
    poppler_page_get_size(Page(index), &size.Width, &size.Height);
    return size;
  }

  void Draw(int index, cairo_t* page) override { poppler_page_render_for_printing(Page(index), page); }

 private:
  PopplerPage* Page(int index) {
    if (index != pageIndex_) {
      page_.reset(poppler_document_get_page(document_.get(), index));
      if (!page_) throw DocumentError("page " + std::to_string(index + 1) + " cannot be read");
      pageIndex_ = index;
    }
    return page_.get();
  }

  Owned<PopplerDocument> document_;
  Owned<PopplerPage> page_;
  int pageIndex_ = -1;
  int count_ = 0;
};

}  // namespace

std::unique_ptr<Source> InProcessPdfSource(std::string_view bytes) { return std::make_unique<PdfDocument>(bytes); }

}  // namespace morvel::print::detail
