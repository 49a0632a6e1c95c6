// PDFs of many pages written by hand, for the cases that need a document
// long or slow to draw: each page of 4 x 6 in draws one content stream,
// which may draw nested form objects.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace morvel::testing {

// A PDF of `objects`, numbered from 1 (the first is the catalogue), with
// its cross-reference table.
inline std::string PdfOfObjects(const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t o : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
    out += line;
  }
  return out + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
}

// A PDF stream object of `data` with `dictionary`'s entries and its length.
inline std::string PdfStream(const std::string& dictionary, const std::string& data) {
  return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A one-page PDF whose text is set in a TrueType font embedded as
// `fontFile`, a stream with `fontDictionary`'s entries (its filter, its
// Length1).
inline std::string PdfWithEmbeddedFont(const std::string& fontDictionary, const std::string& fontFile) {
  return PdfOfObjects({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 432] /Contents 4 0 R "
                       "/Resources << /Font << /F1 5 0 R >> >> >>",
                       PdfStream("", "BT /F1 24 Tf 20 200 Td (Hello) Tj ET"),
                       "<< /Type /Font /Subtype /TrueType /BaseFont /Big /FirstChar 32 /LastChar 32 /Widths [500] "
                       "/FontDescriptor 6 0 R >>",
                       "<< /Type /FontDescriptor /FontName /Big /Flags 32 /FontBBox [0 0 1000 1000] /ItalicAngle 0 "
                       "/Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 7 0 R >>",
                       PdfStream(fontDictionary, fontFile)});
}

// A PDF of `pages` pages of 4 x 6 in, each drawing the content stream
// `content`, with `forms` as form objects 4, 5, ... (form k may draw form
// k + 1 as /F); written with its cross-reference table.
inline std::string PdfPages(int pages, const std::string& content, const std::vector<std::string>& forms = {}) {
  const auto stream = PdfStream;
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "", stream("", content)};
  for (size_t k = 0; k < forms.size(); ++k) {
    const std::string next = k + 1 < forms.size() ? "/XObject << /F " + std::to_string(5 + k) + " 0 R >>" : "";
    objects.push_back(
        stream("/Type /XObject /Subtype /Form /BBox [0 0 288 432] /Resources << " + next + " >>", forms[k]));
  }
  const std::string resources = forms.empty() ? "<< >>" : "<< /XObject << /F 4 0 R >> >>";
  std::string kids;
  for (int p = 0; p < pages; ++p) {
    kids += std::to_string(objects.size() + 1) + " 0 R ";
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 432] /Contents 3 0 R /Resources " + resources +
                      " >>");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  return PdfOfObjects(objects);
}

}  // namespace morvel::testing
