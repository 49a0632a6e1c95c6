// Jobs with named fields: a label job in a printer's language whose
// ${name} placeholders take each label's values. Each value is written as
// the place it goes in takes it, so no value can become a command: a ^ or ~
// in ZPL field data goes in as a ^FH hexadecimal escape, a quote in a TSPL
// or EPL2 string is escaped as the language escapes it, and what a place
// cannot hold (a control character in SBPL data, a ^ among ZPL parameters)
// is refused with the field named. "$${" stands for a literal "${".
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Language.h"

namespace morvel::lang {

// A template that cannot be used; what() says where and why.
class TemplateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value its place cannot take, or a field the label lacks.
class FieldError : public std::runtime_error {
 public:
  FieldError(std::string field, const std::string& why)
      : std::runtime_error("field \"" + field + "\": " + why), Field(std::move(field)) {}
  std::string Field;
};

// Where a placeholder sits, as its language reads the template there.
struct SlotPlace {
  bool InText = false;  // in text data (ZPL ^FD, a TSPL or EPL2 string, SBPL data)
  char Indicator = 0;   // ZPL: the ^FH indicator of its field
  // What goes into the template before the byte at InsertAt, once however
  // many placeholders want it (ZPL: ^FH before a field's ^FD); empty: nothing.
  size_t InsertAt = 0;
  std::string Insert;
};

// A language's part: where a placeholder is, and how a value goes there.
struct TemplateRules {
  // The place of the placeholder at `at` in `job`; throws TemplateError for
  // a template the language cannot fill safely.
  void (*Place)(std::string_view job, size_t at, SlotPlace& place);
  // The value as the place takes it into `out`; false, and `why`, when the
  // place cannot hold it.
  bool (*Take)(const SlotPlace& place, std::string_view value, std::string& out, std::string& why);
};

struct Template {
  struct Slot {
    std::string Name;
    SlotPlace Place;
  };
  Language Lang = Language::Zpl;
  std::vector<std::string> Pieces;  // the literal bytes around the slots: one more than the slots
  std::vector<Slot> Slots;

  // The fields the template names, each once, in the order they first come.
  std::vector<std::string> Names() const;
};

// The job's placeholders found and placed; throws TemplateError (an
// unclosed "${", an empty name, a place the language refuses).
Template CompileTemplate(Language language, std::string_view job);

// One label's job: each slot takes its field's value (`value` gives it, or
// null for a field the label lacks); throws FieldError.
std::string FillTemplate(const Template& t, const std::function<const std::string*(std::string_view)>& value);

}  // namespace morvel::lang
