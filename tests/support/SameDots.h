// Whether two pictures of dots are the same size with the same dots black.
#pragma once

#include "render/Page.h"

namespace morvel::testing {

inline bool SameDots(const core::Bitmap& a, const core::Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Black(x, y) != b.Black(x, y)) return false;
  return true;
}

}  // namespace morvel::testing
