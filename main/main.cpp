// The program: unit start-up in a fixed order, the one window, the loop, shut-down in reverse.
#include <memory>

#include "i18n/translation.h"
#include "main/consoleparts.h"
#include "main/formmain.h"
#include "runtime/exception.h"
#include "serialkit/serialkit.h"
#include "widgets/application.h"

int main(int argc, char** argv) {
  // The class library and the widget toolkit first.
  TApplication application(argc, argv);
  application.Initialize();
  try {
    InitializeTranslationUnit();
  } catch (...) {
    HandleException(std::current_exception());
    return 1;
  }
  int rc = 1;
  try {
    InitializeSerialKitUnit();
    auto form = std::make_unique<TFormMain>(MakeConsoleParts(SysfsPortSource()));
    application.SetMainForm(form.get());
    rc = application.Run();
  } catch (...) {
    HandleException(std::current_exception());
  }
  FinalizeSerialKitUnit();
  FinalizeTranslationUnit();
  return rc;
}
