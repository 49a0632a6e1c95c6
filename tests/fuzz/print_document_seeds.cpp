// Writes the hostile pictures of the decoding tests (and an ordinary one
// of each kind), and PDFs of nested forms and an embedded font in small
// measure (the page-bound tests' shapes, which the fuzzer's own timeout
// and memory bound would stop at full size), into a folder, as seeds for
// print_document_fuzz:
//   print_document_seeds SEEDS && print_document_fuzz CORPUS SEEDS ../shared/doc-samples
#include <cstdio>
#include <fstream>
#include <string>

#include "print/PictureFiles.h"
#include "support/PdfPages.h"

int main(int argc, char** argv) {
  using namespace morvel::testing;
  if (argc != 2) {
    std::fprintf(stderr, "usage: print_document_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  int written = 0;
  const auto save = [&](const std::string& name, const std::string& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out << bytes;
    written += out.good() ? 1 : 0;
  };
  for (const Hostile& h : HostilePictures()) save(h.Name, h.File);
  save("Png", PngFile({37, 23, PNG_COLOR_TYPE_RGBA, 8, true, false, 300}));
  save("Jpeg", JpegFile({37, 23, JCS_RGB, JCS_YCbCr, true, 1, 203}));
  save("Gif", GifFile({}));
  save("Bmp", BmpFile({}));
  save("PdfNestedForms", PdfPages(2, "/F Do", {"q /F Do Q q /F Do Q", "q /F Do Q q /F Do Q", "0 g 10 10 5 5 re f"}));
  save("PdfTrueTypeFont", PdfWithEmbeddedFont("/Length1 64", std::string(64, '\0')));
  std::printf("%d seeds in %s\n", written, folder.c_str());
  return written > 0 ? 0 : 1;
}
