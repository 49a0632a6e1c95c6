// Public members let nothing but AutomationError escape: every other
// failure becomes the automation error that stands for it.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <variant>

#include "morvel/types.h"

namespace morvel {

constexpr int InternalError = 51;

template <class F>
auto Guard(F&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const AutomationError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw AutomationError(errors::OutOfMemory);
  } catch (const std::length_error&) {
    throw AutomationError(errors::OutOfMemory);
  } catch (const std::bad_variant_access&) {
    throw AutomationError(errors::TypeMismatch);
  } catch (const std::exception& e) {
    throw AutomationError(InternalError, std::string("Internal error: ") + e.what());
  } catch (...) {
    throw AutomationError(InternalError, "Internal error");
  }
}

}  // namespace morvel
