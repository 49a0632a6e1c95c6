// The registry of finished-document hooks.
#include "platform/document_hooks.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

#include "platform/services.h"

namespace morvel::platform {
namespace {

struct Hooks {
  std::mutex Lock;
  std::vector<DocumentHook> List;
};

Hooks& Registry() {
  static auto* hooks = new Hooks;  // outlives every library that registers
  return *hooks;
}

}  // namespace

void AddDocumentHook(DocumentHook hook) {
  if (hook == nullptr) return;
  Hooks& h = Registry();
  std::lock_guard<std::mutex> lock(h.Lock);
  if (std::find(h.List.begin(), h.List.end(), hook) == h.List.end()) h.List.push_back(hook);
}

void RemoveDocumentHook(DocumentHook hook) {
  Hooks& h = Registry();
  std::lock_guard<std::mutex> lock(h.Lock);
  h.List.erase(std::remove(h.List.begin(), h.List.end(), hook), h.List.end());
}

void DocumentFinished(const FinishedDocument& document) {
  std::vector<DocumentHook> hooks;
  {
    Hooks& h = Registry();
    std::lock_guard<std::mutex> lock(h.Lock);
    hooks = h.List;
  }
  for (DocumentHook hook : hooks) {
    try {
      hook(document);
    } catch (const std::exception& e) {
      Logger().Record("printer '" + document.Printer + "': after '" + document.Path + "': " + e.what());
    } catch (...) {
      Logger().Record("printer '" + document.Printer + "': after '" + document.Path + "': a document hook failed");
    }
  }
}

}  // namespace morvel::platform
