#include "relay/units.h"

#include "i18n/translation.h"
#include "serialkit/serialkit.h"

int RunWithUnits(const std::function<int()>& body,
                 const std::function<void(std::exception_ptr)>& onException) {
  try {
    InitializeTranslationUnit();
  } catch (...) {
    onException(std::current_exception());
    return 1;
  }
  int rc = 1;
  try {
    InitializeSerialKitUnit();
    rc = body();
  } catch (...) {
    onException(std::current_exception());
    rc = 1;
  }
  FinalizeSerialKitUnit();
  FinalizeTranslationUnit();
  return rc;
}
