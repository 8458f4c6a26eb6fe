// The program's units around its body: started in their fixed order, finished in reverse. The
// window's program and the service's both run this way.
#pragma once
#include <exception>
#include <functional>

// Starts the translation layer, then the serial kit; runs `body`; finishes the serial kit, then
// the translation layer. An exception from a start or from `body` goes to `onException` and the
// result is 1 (a failed translation layer starts nothing else); otherwise it is `body`'s.
int RunWithUnits(const std::function<int()>& body,
                 const std::function<void(std::exception_ptr)>& onException);
