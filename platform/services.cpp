// The process-wide set of platform adapters.
#include "platform/services.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace morvel::platform {
namespace {

// Readers take the current set without a lock: it is read on every unit
// conversion. A replaced set is kept alive, since a caller may still hold a
// reference to it; sets are replaced only at start-up and by tests.
std::atomic<Services*> installed{nullptr};

std::mutex& ReplaceLock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::unique_ptr<Services>>& Retired() {
  static auto* retired = new std::vector<std::unique_ptr<Services>>;
  return *retired;
}

Services* InstallDefault() {
  std::lock_guard<std::mutex> lock(ReplaceLock());
  Services* current = installed.load(std::memory_order_acquire);
  if (current == nullptr) {
    current = new Services(SystemServices());  // lives for the process
    installed.store(current, std::memory_order_release);
  }
  return current;
}

}  // namespace

const Services& Current() {
  Services* current = installed.load(std::memory_order_acquire);
  return current != nullptr ? *current : *InstallDefault();
}

Services Replace(Services services) {
  Services* previous = const_cast<Services*>(&Current());
  std::lock_guard<std::mutex> lock(ReplaceLock());
  Services copy = *previous;
  installed.store(new Services(std::move(services)), std::memory_order_release);
  Retired().emplace_back(previous);
  // Drop the adapters of retired sets beyond the last few, keeping the
  // objects themselves valid for any reference still held.
  if (Retired().size() > 16) *Retired()[Retired().size() - 17] = Services{};
  return copy;
}

namespace {
std::atomic<uint64_t> incidentCounts[3];
}  // namespace

namespace {
thread_local IncidentObserver* observer = nullptr;
}  // namespace

IncidentObserver::IncidentObserver() : previous_(observer) { observer = this; }
IncidentObserver::~IncidentObserver() { observer = previous_; }

void CountIncident(Incident incident, std::string_view printer, std::string_view reason) {
  incidentCounts[static_cast<int>(incident)].fetch_add(1, std::memory_order_relaxed);
  if (observer != nullptr) observer->Heard(incident, printer, reason);
}

IncidentCounts Incidents() {
  return {incidentCounts[0].load(std::memory_order_relaxed), incidentCounts[1].load(std::memory_order_relaxed),
          incidentCounts[2].load(std::memory_order_relaxed)};
}

void ShowMessage(std::string_view text) { Current().Messages->Show(ApplicationCaption(), text); }

}  // namespace morvel::platform
