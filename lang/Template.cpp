// Jobs with named fields, compiled once and filled for each label.
#include "lang/Template.h"

#include <algorithm>
#include <map>

#include "lang/Languages.h"

namespace morvel::lang {

std::vector<std::string> Template::Names() const {
  std::vector<std::string> names;
  for (const Slot& s : Slots)
    if (std::find(names.begin(), names.end(), s.Name) == names.end()) names.push_back(s.Name);
  return names;
}

Template CompileTemplate(Language language, std::string_view job) {
  const TemplateRules* rules = RowOf(language).Template;
  if (rules == nullptr) throw TemplateError(std::string(TitleOf(language)) + " jobs cannot be templates");
  Template t;
  t.Lang = language;
  // The placeholders and the literal text between them, as written; "$${"
  // is a literal "${".
  struct Found {
    size_t At, End;
    std::string Name;
  };
  std::vector<Found> found;
  std::vector<std::pair<size_t, size_t>> literalDollars;  // the "$$" of "$${": one "$" dropped
  for (size_t at = job.find("${"); at != std::string_view::npos; at = job.find("${", at + 2)) {
    if (at > 0 && job[at - 1] == '$') {
      literalDollars.push_back({at - 1, at});
      continue;
    }
    const size_t close = job.find('}', at + 2);
    if (close == std::string_view::npos)
      throw TemplateError("the placeholder at byte " + std::to_string(at + 1) + " has no closing }");
    const std::string_view name = job.substr(at + 2, close - at - 2);
    const bool bad = name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
                       return static_cast<unsigned char>(c) < 0x20 || c == '{' || c == '$';
                     });
    if (bad)
      throw TemplateError("the placeholder at byte " + std::to_string(at + 1) +
                          " has no name of letters, digits "
                          "and spaces: \"${" +
                          std::string(name) + "}\"");
    found.push_back({at, close + 1, std::string(name)});
    at = close - 1;
  }
  // Where the language wants something put before the slots' places (one
  // insertion a place, however many slots want it).
  std::map<size_t, std::string> inserts;
  for (const Found& f : found) {
    Template::Slot slot{f.Name, {}};
    rules->Place(job, f.At, slot.Place);
    if (!slot.Place.Insert.empty()) inserts.emplace(slot.Place.InsertAt, slot.Place.Insert);
    t.Slots.push_back(std::move(slot));
  }
  // The pieces: the job's bytes between the placeholders, with the inserts
  // and the literal "${" put back together.
  auto literal = [&](size_t from, size_t to) {
    std::string piece;
    for (size_t k = from; k < to; ++k) {
      if (auto it = inserts.find(k); it != inserts.end()) piece += it->second;
      const bool dropped =
          std::any_of(literalDollars.begin(), literalDollars.end(), [&](const auto& d) { return d.first == k; });
      if (!dropped) piece += job[k];
    }
    return piece;
  };
  size_t from = 0;
  for (const Found& f : found) {
    t.Pieces.push_back(literal(from, f.At));
    from = f.End;
  }
  t.Pieces.push_back(literal(from, job.size()));
  return t;
}

std::string FillTemplate(const Template& t, const std::function<const std::string*(std::string_view)>& value) {
  const TemplateRules* rules = RowOf(t.Lang).Template;
  std::string out = t.Pieces.front();
  for (size_t k = 0; k < t.Slots.size(); ++k) {
    const Template::Slot& slot = t.Slots[k];
    const std::string* v = value(slot.Name);
    if (v == nullptr) throw FieldError(slot.Name, "the label has no such field");
    std::string why;
    if (!rules->Take(slot.Place, *v, out, why)) throw FieldError(slot.Name, why);
    out += t.Pieces[k + 1];
  }
  return out;
}

}  // namespace morvel::lang
