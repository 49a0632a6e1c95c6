// fontconfig picks and ranks the faces for a family; FreeType opens them.
#include "platform/linux/font_faces.h"

#include "platform/services.h"

namespace morvel::platform {

FontFaces::FontFaces(std::string user, size_t maxChains, bool scalableFirst)
    : user_(std::move(user)), maxChains_(maxChains), scalableFirst_(scalableFirst) {}

FontFaces::~FontFaces() {
  DropChains();
  for (auto& [key, face] : faces_)
    if (face != nullptr) FT_Done_Face(face);
  if (library_ != nullptr) FT_Done_FreeType(library_);
  if (config_ != nullptr) FcConfigDestroy(config_);
}

bool FontFaces::Start() {
  if (started_) return library_ != nullptr && config_ != nullptr;
  started_ = true;
  config_ = FcInitLoadConfigAndFonts();
  if (config_ == nullptr) {
    Logger().Record(user_ + ": fontconfig cannot load its configuration");
    return false;
  }
  if (FT_Init_FreeType(&library_) != 0) {
    library_ = nullptr;
    Logger().Record(user_ + ": FreeType cannot start");
    return false;
  }
  return true;
}

FontChain& FontFaces::ChainFor(const std::string& family, bool bold, bool italic) {
  auto key = std::make_tuple(family, bold, italic);
  auto it = chains_.find(key);
  if (it != chains_.end()) return it->second;
  if (chains_.size() >= maxChains_) DropChains();

  FontChain chain;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if (scalableFirst_) FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  chain.Set = FcFontSort(config_, pattern, FcTrue, nullptr, &result);
  FcPatternDestroy(pattern);
  if (chain.Set != nullptr) {
    for (int i = 0; i < chain.Set->nfont; ++i) {
      FcPattern* found = chain.Set->fonts[i];
      FcChar8* file = nullptr;
      if (FcPatternGetString(found, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) continue;
      FontFace member;
      member.File = reinterpret_cast<const char*>(file);
      FcPatternGetInteger(found, FC_INDEX, 0, &member.Index);
      FcCharSet* chars = nullptr;
      if (FcPatternGetCharSet(found, FC_CHARSET, 0, &chars) == FcResultMatch) member.Chars = chars;
      int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
      FcPatternGetInteger(found, FC_WEIGHT, 0, &weight);
      FcPatternGetInteger(found, FC_SLANT, 0, &slant);
      member.SyntheticBold = bold && weight < FC_WEIGHT_DEMIBOLD;
      member.SyntheticItalic = italic && slant == FC_SLANT_ROMAN;
      chain.Members.push_back(std::move(member));
    }
  }
  if (chain.Members.empty()) Logger().Record(user_ + ": fontconfig finds no font for '" + family + "'");
  return chains_.emplace(std::move(key), std::move(chain)).first->second;
}

void FontFaces::DropChains() {
  for (auto& [key, chain] : chains_)
    if (chain.Set != nullptr) FcFontSetDestroy(chain.Set);
  chains_.clear();
  ++generation_;
}

FT_Face FontFaces::Opened(FontFace& member) {
  if (member.Tried) return member.Face;
  member.Tried = true;
  auto key = std::make_pair(member.File, member.Index);
  auto it = faces_.find(key);
  if (it == faces_.end()) {
    FT_Face face = nullptr;
    if (FT_New_Face(library_, member.File.c_str(), member.Index, &face) != 0 || !FT_IS_SCALABLE(face)) {
      if (face != nullptr) FT_Done_Face(face);
      face = nullptr;
    }
    it = faces_.emplace(std::move(key), face).first;
  }
  member.Face = it->second;
  return member.Face;
}

}  // namespace morvel::platform
