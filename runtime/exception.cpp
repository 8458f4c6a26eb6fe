#include "runtime/exception.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_displayLock;
TExceptionDisplay& Display() {
  static TExceptionDisplay display;
  return display;
}
}  // namespace

std::string ExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

TExceptionDisplay SetExceptionDisplay(TExceptionDisplay display) {
  std::lock_guard lock(g_displayLock);
  std::swap(Display(), display);
  return display;
}

void HandleException(std::exception_ptr error) noexcept {
  try {
    std::string message = ExceptionMessage(error);
    TExceptionDisplay display;
    {
      std::lock_guard lock(g_displayLock);
      display = Display();
    }
    if (display) {
      display(message);
    } else {
      std::fprintf(stderr, "%s\n", message.c_str());
    }
  } catch (...) {
    std::fputs("exception while showing an exception\n", stderr);
  }
}
