// A batch's data: the bytes under its sources, and the opening of a data
// file by its name and its first bytes.
#include "hosts/batch/Data.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "hosts/batch/DataInput.h"

namespace morvel::batch {
namespace data {
namespace {

constexpr size_t Chunk = size_t{64} << 10;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// "csv", "tsv" or "json" by the name's extension; empty for any other.
std::string FormatByName(const std::string& path) {
  const std::string extension = Lower(std::filesystem::path(path).extension().string());
  if (extension == ".csv" || extension == ".tsv" || extension == ".json") return extension.substr(1);
  return {};
}

// JSON when the first byte that is not white space opens an array, CSV else.
std::string FormatByBytes(Bytes& bytes) {
  bytes.SkipByteOrderMark();
  for (size_t i = 0; i < Chunk; ++i) {
    const int c = bytes.Peek(i);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    return c == '[' ? "json" : "csv";
  }
  return "csv";
}

// The delimiter an option names; 0 for "auto".
char Delimiter(const std::string& option) {
  if (option == "," || option == ";" || option == "|" || option == "\t") return option[0];
  if (option == "tab") return '\t';
  if (option == "auto") return 0;
  throw DataError("the delimiter \"" + option + "\" is none of , ; tab | auto");
}

}  // namespace

void Bytes::SkipByteOrderMark() {
  if (Peek(0) == 0xEF && Peek(1) == 0xBB && Peek(2) == 0xBF) pos_ += 3;
}

bool Bytes::Fill(size_t count) {
  if (pos_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  while (end_ < count && !ended_) {
    if (buffer_.size() < end_ + Chunk) buffer_.resize(end_ + Chunk);
    std::streambuf* source = in_.rdbuf();
    const std::streamsize got =
        source == nullptr ? 0 : source->sgetn(buffer_.data() + end_, static_cast<std::streamsize>(Chunk));
    if (got <= 0) ended_ = true;
    if (got > 0) end_ += static_cast<size_t>(got);
  }
  return end_ >= count;
}

std::string Size(size_t bytes) {
  if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (size_t{1} << 10) && bytes % (size_t{1} << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

}  // namespace data

std::unique_ptr<RowSource> ReadCsv(std::istream& in, const DataOptions& options) {
  const char delimiter = data::Delimiter(options.Delimiter.empty() ? "," : options.Delimiter);
  const std::string name = options.Name.empty() ? "the data" : options.Name;
  return data::Csv(std::make_unique<data::Input>(in, nullptr, name), delimiter, options);
}

std::unique_ptr<RowSource> ReadJson(std::istream& in, const DataOptions& options) {
  const std::string name = options.Name.empty() ? "the data" : options.Name;
  return data::Json(std::make_unique<data::Input>(in, nullptr, name), options);
}

std::unique_ptr<RowSource> OpenData(const std::string& path, const DataOptions& options) {
  const std::string name = !options.Name.empty() ? options.Name : path == "-" ? "standard input" : path;
  std::string format = data::Lower(options.Format);
  if (!format.empty() && format != "csv" && format != "tsv" && format != "json")
    throw DataError("the data format \"" + options.Format + "\" is none of csv, tsv, json");
  std::unique_ptr<data::Input> input;
  if (path == "-") {
    input = std::make_unique<data::Input>(std::cin, nullptr, name);
  } else {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw DataError(name + ": a folder, not a data file");
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*file) throw DataError(name + ": cannot be opened (" + std::strerror(errno) + ")");
    std::istream& in = *file;
    input = std::make_unique<data::Input>(in, std::move(file), name);
  }
  std::string delimiter = options.Delimiter;
  if (format.empty()) format = data::FormatByName(path);
  if (format.empty()) {
    format = data::FormatByBytes(input->Data);
    if (delimiter.empty()) delimiter = "auto";
  }
  if (format == "json") return data::Json(std::move(input), options);
  if (delimiter.empty()) delimiter = format == "tsv" ? "\t" : ",";
  return data::Csv(std::move(input), data::Delimiter(delimiter), options);
}

}  // namespace morvel::batch
