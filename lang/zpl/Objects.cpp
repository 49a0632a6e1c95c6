// ZPL shapes, graphics and objects: boxes, circles, ellipses and diagonals,
// ^GF graphic fields, graphics, pictures and fonts downloaded to the printer
// (~DG ~DY ~DB ~DU ~DS ~DT) and the commands that recall, move, load, save
// and delete what is stored (^XG ^IM ^IL ^IS ^ID).
#include <algorithm>

#include "lang/zpl/Graphics.h"
#include "lang/zpl/Reader.h"

namespace morvel::lang::zpl {

using detail::Whole;

void Reader::ShapeCommand(const Call& c) {
  const Args& args = c.Args;
  Shape s;
  if (c.Of == &GB) {
    // Width and height grow to the thickness; a zero side is a line.
    s.Thickness = Clamp(Arg(args, 2).value_or(1), 1, 32000);
    s.Width = std::max(s.Thickness, Clamp(Arg(args, 0).value_or(s.Thickness), 0, 32000));
    s.Height = std::max(s.Thickness, Clamp(Arg(args, 1).value_or(s.Thickness), 0, 32000));
    s.White = Letter(args, 3, 'B') == 'W';
    s.Rounding = Clamp(Arg(args, 4).value_or(0), 0, 8);
  } else if (c.Of == &GC) {
    s.What = Shape::Ellipse;
    s.Width = s.Height = Clamp(Arg(args, 0).value_or(3), 3, 4095);
    s.Thickness = Clamp(Arg(args, 1).value_or(1), 1, 4095);
    s.White = Letter(args, 2, 'B') == 'W';
  } else if (c.Of == &GE) {
    s.What = Shape::Ellipse;
    s.Thickness = Clamp(Arg(args, 2).value_or(1), 1, 4095);
    s.Width = Clamp(Arg(args, 0).value_or(s.Thickness), 3, 4095);
    s.Height = Clamp(Arg(args, 1).value_or(s.Thickness), 3, 4095);
    s.White = Letter(args, 3, 'B') == 'W';
  } else {
    s.What = Shape::Diagonal;
    s.Thickness = Clamp(Arg(args, 2).value_or(1), 1, 32000);
    s.Width = std::max(s.Thickness, Clamp(Arg(args, 0).value_or(s.Thickness), 3, 32000));
    s.Height = std::max(s.Thickness, Clamp(Arg(args, 1).value_or(s.Thickness), 3, 32000));
    s.White = Letter(args, 3, 'B') == 'W';
    const char o = Letter(args, 4, 'R');
    s.LeansRight = o != 'L' && o != '\\';
  }
  field_.Figure = s;
  field_.Kind = FieldKind::Shape;
  Begin(c.At);
}

size_t Reader::Graphic(size_t p, size_t at) {
  // ^GFa,b,c,d,data: binary data is exactly b bytes, whatever they hold.
  size_t k = p + 3;
  Args head;
  size_t start = k;
  while (head.size() < 4 && k < b_.size()) {
    if (b_[k] == printer_.Delimiter) {
      head.push_back(b_.substr(start, k - start));
      start = k + 1;
    } else if (b_[k] == printer_.Caret || (b_[k] == printer_.Tilde && KnownControl(k))) {
      break;
    }
    ++k;
  }
  if (head.size() < 4) {
    Warn(at, "^GF without its four parameters; nothing drawn");
    return ParamsEnd(p + 3);
  }
  const char format = Letter(head, 0, 'A');
  const auto bytes = Arg(head, 1), total = Arg(head, 2), perRow = Arg(head, 3);
  size_t end;
  std::string_view data;
  if (format == 'B' || format == 'C') {
    const size_t n = static_cast<size_t>(std::max(0L, bytes.value_or(0)));
    if (start + n > b_.size())
      throw MalformedJob(at, "^GF announces " + std::to_string(n) + " bytes beyond the job's end");
    data = b_.substr(start, n);
    end = start + n;
  } else {
    end = ParamsEnd(start);
    data = b_.substr(start, end - start);
  }
  if (!label_.Built) {
    Warn(at, "^GF outside a label; ignored");
    return end;
  }
  std::string why;
  auto dots = DecodeGraphic(format, data, total.value_or(0), perRow.value_or(0), &why);
  if (!dots) {
    Warn(at, "^GF " + why + "; nothing drawn");
    return end;
  }
  if (!Afford(*dots, at, "^GF")) return end;
  field_.Dots = std::move(*dots);
  field_.Kind = FieldKind::Graphic;
  Begin(at);
  return end;
}

size_t Reader::Download(size_t p, size_t at, const std::string& name) {
  // ~DGd:o.x,t,w,data  ~DYd:f,b,x,t,w,data  ~DU/~DB/~DS/~DT: fonts.
  const size_t paramsFrom = p + 3;
  const int commas = name == "DG" ? 2 : name == "DY" ? 5 : name == "DU" ? 2 : name == "DB" ? 0 : 1;
  Args head;
  size_t k = paramsFrom, start = paramsFrom;
  while (static_cast<int>(head.size()) < commas && k < b_.size() && b_[k] != printer_.Caret &&
         b_[k] != printer_.Tilde) {
    if (b_[k] == printer_.Delimiter) {
      head.push_back(b_.substr(start, k - start));
      start = k + 1;
    }
    ++k;
  }
  if (name == "DG" && head.size() == 2) return DownloadGraphic(start, at, head);
  if (name == "DY" && head.size() == 5) return DownloadObject(start, at, head);
  // Fonts: their data runs to the next command; nothing of them is drawn.
  size_t end = ParamsEnd(paramsFrom);
  Note("font downloaded (~" + name + "): the preview draws its stand-in");
  return end;
}

// ~DG: a graphic in ASCII hexadecimal, stored under its name.
size_t Reader::DownloadGraphic(size_t start, size_t at, const Args& head) {
  size_t end = ParamsEnd(start);
  std::string why;
  const long total = Arg(head, 1).value_or(0), perRow = [&] {
    // The row count is the third parameter, before the data.
    size_t c = b_.find(printer_.Delimiter, start);
    return c != std::string_view::npos && c < end ? Whole(b_.substr(start, c - start)).value_or(0) : 0L;
  }();
  size_t dataFrom = b_.find(printer_.Delimiter, start);
  if (dataFrom == std::string_view::npos || dataFrom >= end) {
    Warn(at, "~DG without its data; nothing stored");
    return end;
  }
  auto dots = DecodeGraphic('A', b_.substr(dataFrom + 1, end - dataFrom - 1), total, perRow, &why);
  if (dots)
    Store(ObjectName(head[0], ".GRF"), std::move(*dots), at, "~DG");
  else
    Warn(at, "~DG " + why + "; nothing stored");
  return end;
}

// ~DY: a graphic, a picture or another file, stored under its name.
size_t Reader::DownloadObject(size_t start, size_t at, const Args& head) {
  const char format = Letter(head, 1, 'A');
  const char ext = Letter(head, 2, 'G');
  const long total = Arg(head, 3).value_or(0), perRow = Arg(head, 4).value_or(0);
  size_t end;
  std::string_view data;
  if (format == 'B' || format == 'C') {
    const size_t n = static_cast<size_t>(std::max(0L, total));
    if (start + n > b_.size())
      throw MalformedJob(at, "~DY announces " + std::to_string(n) + " bytes beyond the job's end");
    data = b_.substr(start, n);
    end = start + n;
  } else {
    end = ParamsEnd(start);
    data = b_.substr(start, end - start);
  }
  const std::string object = ObjectName(head[0], ext == 'P' ? ".PNG" : ".GRF");
  std::string why;
  if (ext == 'G' || ext == 'B') {
    auto dots = DecodeGraphic(format, data, total, perRow, &why);
    if (dots)
      Store(ObjectName(head[0], ".GRF"), std::move(*dots), at, "~DY");
    else
      Warn(at, "~DY " + why + "; nothing stored");
  } else if (ext == 'P') {
    std::string raw = format == 'A' ? HexBytes(data) : std::string(data);
    if (auto z = Base64Payload(data, &why); z) raw = *z;
    auto dots = detail::DecodePicture(raw, &why);
    if (dots)
      Store(ObjectName(head[0], ".GRF"), std::move(*dots), at, "~DY");
    else
      Warn(at, "~DY picture: " + why + "; nothing stored");
  } else {
    Note("font or file " + object + " downloaded (~DY): kept by the printer, not drawn");
  }
  return end;
}

void Reader::RecallGraphic(const Call& c) {
  auto found = printer_.Graphics.find(ObjectName(Text(c.Args, 0), ".GRF"));
  if (found == printer_.Graphics.end())
    return Warn(c.At, "^XG of " + Text(c.Args, 0) + ": no such graphic stored; nothing drawn");
  const int mx = Clamp(Arg(c.Args, 1).value_or(1), 1, 10), my = Clamp(Arg(c.Args, 2).value_or(1), 1, 10);
  const long long dots = static_cast<long long>(found->second.Width()) * mx * found->second.Height() * my;
  if (dots > Bounds::GraphicDots)
    return Warn(c.At, "^XG of " + Text(c.Args, 0) + " magnified to " + std::to_string(dots) +
                          " dots is more than a graphic may be (" + std::to_string(Bounds::GraphicDots) +
                          " dots); nothing drawn");
  if (!Afford(dots, c.At, "^XG of " + Text(c.Args, 0))) return;
  field_.Dots = Magnify(found->second, mx, my);
  field_.Kind = FieldKind::Graphic;
  Begin(c.At);
}

void Reader::ImageMove(const Call& c) {
  auto found = printer_.Graphics.find(ObjectName(c.Params, ".GRF"));
  if (found == printer_.Graphics.end())
    return Warn(c.At, "^IM of " + std::string(detail::Trim(c.Params)) + ": no such image stored; nothing drawn");
  if (!Afford(found->second, c.At, "^IM of " + found->first)) return;
  field_.Dots = found->second;
  field_.Kind = FieldKind::Graphic;
  Begin(c.At);
}

// ^IL: a label stored by ^IS comes back field by field; a stored graphic
// comes as a raster at the label's top left.
void Reader::ImageLoad(const Call& c) {
  auto found = printer_.Images.find(ObjectName(c.Params, ".GRF"));
  if (found != printer_.Images.end()) {
    if (!Afford(detail::RasterDots(found->second), c.At, "^IL of " + found->first)) return;
    for (const Field& f : found->second) label_.Built->Fields.push_back(f);
    return;
  }
  auto graphic = printer_.Graphics.find(ObjectName(c.Params, ".GRF"));
  if (graphic == printer_.Graphics.end())
    return Warn(c.At, "^IL of " + std::string(detail::Trim(c.Params)) + ": no such image stored; nothing drawn");
  if (!Afford(graphic->second, c.At, "^IL of " + graphic->first)) return;
  GraphicField r;
  r.Dots = graphic->second;
  label_.Built->Fields.push_back(std::move(r));
}

void Reader::ImageSave(const Call& c) { label_.StoreImageAs = ObjectName(Text(c.Args, 0), ".GRF"); }

void Reader::ObjectDelete(const Call& c) {
  const std::string n = ObjectName(c.Params, ".GRF");
  printer_.Graphics.erase(n);
  printer_.Images.erase(n);
}

bool Reader::Afford(const core::Bitmap& dots, size_t at, const std::string& what) {
  return Afford(static_cast<long long>(dots.Width()) * dots.Height(), at, what);
}

// A raster joins the label only while the label's rasters stay within
// their bound: copies of one stored graphic cost as much as many graphics.
bool Reader::Afford(long long dots, size_t at, const std::string& what) {
  if (label_.RasterDots + dots > Bounds::LabelRasterDots) {
    Warn(at, what + " would take the label's rasters past " + std::to_string(Bounds::LabelRasterDots) +
                 " dots; nothing drawn");
    return false;
  }
  label_.RasterDots += dots;
  return true;
}

long long Reader::StoredDotsBut(const std::string& name) const {
  long long dots = 0;
  for (const auto& [stored, graphic] : printer_.Graphics)
    if (stored != name) dots += static_cast<long long>(graphic.Width()) * graphic.Height();
  for (const auto& [stored, fields] : printer_.Images)
    if (stored != name) dots += detail::RasterDots(fields);
  return dots;
}

void Reader::Store(const std::string& name, core::Bitmap&& dots, size_t at, const std::string& what) {
  if (StoredDotsBut(name) + static_cast<long long>(dots.Width()) * dots.Height() > Bounds::StoredDots)
    return Warn(at, what + " " + name + " would take the job's stored graphics past " +
                        std::to_string(Bounds::StoredDots) + " dots; not stored");
  printer_.Graphics[name] = std::move(dots);
}

}  // namespace morvel::lang::zpl
