// Lines of text fields (within preview only): characters of UTF-8 and the
// lines of a field block.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "preview/Preview.h"
#include "render/Symbols.h"

namespace morvel::preview {

// Where the reader lets a block's word break (U+00AD, ZPL's \ before a
// letter or digit).
constexpr std::string_view SoftHyphen = "\u00AD";
std::string WithoutSoftHyphens(std::string s);

// UTF-8 split into characters.
std::vector<std::string> Characters(const std::string& utf8);

// A field block's lines in the look; `wrapped` tells the lines a paragraph
// goes on after (a justified block spreads those).
void WrapBlock(const std::string& text, const core::TextLook& look, const lang::TextField& t,
               std::vector<std::string>& lines, std::vector<bool>& wrapped);

}  // namespace morvel::preview
