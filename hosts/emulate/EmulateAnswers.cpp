// The scanner that finds a language's status queries in a job's stream, as
// its status table names them, and the stages of a job.
#include <algorithm>
#include <cctype>

#include "hosts/emulate/Emulator.h"

namespace morvel::emulate {

void QueryScanner::Feed(std::string_view chunk, std::string& job, std::vector<Query>& queries) {
  std::string data = held_;
  data.append(chunk);
  held_.clear();
  size_t i = 0;
  // How much of `word` the data at i holds: its size when whole.
  auto matching = [&](std::string_view word) {
    size_t k = 0;
    auto same = [&](char a, char b) {
      return status_.AnyCase
                 ? std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b))
                 : a == b;
    };
    while (k < word.size() && i + k < data.size() && same(data[i + k], word[k])) ++k;
    return k;
  };
  while (i < data.size()) {
    bool partial = false;
    if (!status_.JobStart.empty()) {
      for (auto [marker, inside] : {std::pair{status_.JobStart, true}, std::pair{status_.JobEnd, false}}) {
        const size_t k = matching(marker);
        if (k == marker.size())
          insideJob_ = inside;
        else if (k > 0 && i + k == data.size())
          partial = true;
      }
    }
    if (!insideJob_ && !partial) {
      Query found = nullptr;
      for (const lang::StatusQuery& q : status_.Queries) {
        const size_t k = matching(q.Command);
        if (k == q.Command.size())
          found = &q;
        else if (k > 0 && i + k == data.size())
          partial = true;
        if (found) break;
      }
      if (found) {
        queries.push_back(found);
        i += found->Command.size();
        continue;
      }
    }
    if (partial) {
      held_ = data.substr(i);
      return;
    }
    job.push_back(data[i]);
    ++i;
  }
}

void QueryScanner::Finish(std::string& job) {
  job += held_;
  held_.clear();
}

size_t AnswerCuts::Next(std::string_view chunk) {
  if (language_ == Language::Zpl) return NextZpl(chunk);
  if (language_ == Language::Sbpl) return NextSbpl(chunk);
  return std::string_view::npos;
}

size_t AnswerCuts::NextSbpl(std::string_view chunk) {
  constexpr char Esc = '\x1B';
  for (size_t k = 0; k < chunk.size(); ++k) {
    const char c = chunk[k];
    switch (sbplAt_) {
      case SbplAt::Data: {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count_, chunk.size() - k));
        count_ -= n;
        k += n - 1;
        if (count_ == 0) sbplAt_ = SbplAt::Text;
        continue;
      }
      case SbplAt::Count:
        if (std::isdigit(static_cast<unsigned char>(c)) && digits_ < 10) {
          count_ = count_ * 10 + static_cast<uint64_t>(c - '0');
          ++digits_;
        } else {
          sbplAt_ = c == ',' && count_ > 0 ? SbplAt::Data : c == Esc ? SbplAt::Esc : SbplAt::Text;
        }
        continue;
      case SbplAt::Name: {
        const char name[] = {letter_, c};
        const std::string_view two(name, 2);
        sbplAt_ = c == Esc ? SbplAt::Esc : SbplAt::Text;
        if (two == "RU") {
          answers_ = true;
        } else if (two == "GM" || two == "GP" || two == "DN") {
          sbplAt_ = SbplAt::Count;
          count_ = 0;
          digits_ = 0;
        }
        continue;
      }
      case SbplAt::Esc:
        if (c == 'Z') {
          sbplAt_ = SbplAt::Text;
          const bool cut = answers_;
          answers_ = false;
          if (cut) return k + 1;
        } else if (c == 'R' || c == 'G' || c == 'D') {
          letter_ = c;
          sbplAt_ = SbplAt::Name;
        } else if (c != Esc) {
          sbplAt_ = SbplAt::Text;
        }
        continue;
      case SbplAt::Text:
        if (c == Esc) sbplAt_ = SbplAt::Esc;
        continue;
    }
  }
  return std::string_view::npos;
}

size_t AnswerCuts::NextZpl(std::string_view chunk) {
  for (size_t k = 0; k < chunk.size(); ++k) {
    const char c = chunk[k];
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    switch (at_) {
      case At::Text:
        if (c == caret_ || c == tilde_) prefix_ = c, at_ = At::Prefix;
        continue;
      case At::Prefix:
        letter_ = up;
        at_ = At::Letter;
        continue;
      case At::Caret:
      case At::Tilde:
        // The new prefix is the one byte after ^CC or ^CT, as the reader takes it.
        if (c != '\0' && c != '\r' && c != '\n' && c != ' ') (at_ == At::Caret ? caret_ : tilde_) = c;
        at_ = At::Text;
        continue;
      case At::Letter: break;
    }
    at_ = At::Text;
    const char letters[] = {letter_, up};
    const std::string_view name(letters, 2);
    if (name == "CC" || name == "CT") {
      at_ = name == "CC" ? At::Caret : At::Tilde;
    } else if (prefix_ != caret_) {
      if (c == caret_ || c == tilde_) prefix_ = c, at_ = At::Prefix;
    } else if (name == "XA") {
      inFormat_ = true;
      answers_ = false;
    } else if (name == "HV") {
      answers_ = inFormat_;
    } else if (name == "XZ") {
      const bool cut = inFormat_ && answers_;
      inFormat_ = answers_ = false;
      if (cut) return k + 1;
    } else if (c == caret_ || c == tilde_) {
      prefix_ = c, at_ = At::Prefix;
    }
  }
  return std::string_view::npos;
}

const char* NameOf(JobStage stage) {
  switch (stage) {
    case JobStage::Waiting: return "waiting";
    case JobStage::Printing: return "printing";
    case JobStage::Printed: return "printed";
    case JobStage::Cancelled: return "cancelled";
  }
  return "?";
}

}  // namespace morvel::emulate
