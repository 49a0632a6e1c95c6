// Picture objects and the process-wide table that maps handles to them.
#include "morvel/picture.h"

#include <mutex>
#include <unordered_map>

namespace morvel {
namespace {

struct HandleTable {
  std::mutex Lock;
  std::unordered_map<uint32_t, std::weak_ptr<Picture>> Living;
  uint32_t Next = 0x1000;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives every picture
  return *table;
}

}  // namespace

Picture::Picture(int width, int height, std::vector<uint8_t> rgba)
    : width_(width), height_(height), rgba_(std::move(rgba)) {}

Picture::~Picture() {
  if (handle_ == 0) return;
  auto& table = Table();
  std::lock_guard<std::mutex> lock(table.Lock);
  table.Living.erase(handle_);
}

std::shared_ptr<Picture> Picture::Create(int width, int height, std::vector<uint8_t> rgba) {
  auto picture = std::make_shared<Picture>(width, height, std::move(rgba));
  auto& table = Table();
  std::lock_guard<std::mutex> lock(table.Lock);
  do {
    picture->handle_ = table.Next++;
    if (table.Next == 0) table.Next = 0x1000;
  } while (table.Living.count(picture->handle_) != 0);
  table.Living[picture->handle_] = picture;
  return picture;
}

std::shared_ptr<Picture> Picture::FromHandle(uint32_t handle) {
  auto& table = Table();
  std::lock_guard<std::mutex> lock(table.Lock);
  auto it = table.Living.find(handle);
  return it == table.Living.end() ? nullptr : it->second.lock();
}

}  // namespace morvel
