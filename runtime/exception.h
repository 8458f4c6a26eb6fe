// The general exception of the class library, and the one place where an exception that escapes
// a handler run by the event loop is shown.
#pragma once
#include <exception>
#include <functional>
#include <string>

// Messages are 8-bit texts in the system code page (GB18030).
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The text shown for any exception: its message for ours and std ones, a fixed text otherwise.
std::string ExceptionMessage(std::exception_ptr error);

using TExceptionDisplay = std::function<void(const std::string& message)>;
// Installs the application's display of escaped exceptions; returns the one before.
TExceptionDisplay SetExceptionDisplay(TExceptionDisplay display);
// Shows the exception through the installed display (stderr when none is installed). Never throws.
void HandleException(std::exception_ptr error) noexcept;

// Runs `f`, and hands anything it throws to HandleException: nothing escapes into the event loop.
template <class F>
void Guarded(F&& f) noexcept {
  try {
    std::forward<F>(f)();
  } catch (...) {
    HandleException(std::current_exception());
  }
}
