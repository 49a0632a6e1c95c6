#include "lang/Reading.h"

namespace morvel::lang {

namespace {

const ReadingRow* const Rows[] = {
#define MORVEL_READING_ROW(id, folder) &folder::ReadingHalf,
    MORVEL_LANGUAGES(MORVEL_READING_ROW)
#undef MORVEL_READING_ROW
};

}  // namespace

const ReadingRow& ReadingOf(Language language) {
  for (const ReadingRow* row : Rows)
    if (row->Id == language) return *row;
  return *Rows[0];  // every language has its row (the tests check)
}

Job ReadJob(std::string_view bytes, Language language, int dpi) { return ReadingOf(language).Read(bytes, dpi, {}, {}); }

}  // namespace morvel::lang
