// Started by the end-to-end tests: the window begins a connect whose name lookup takes two
// minutes, and is closed while it runs. The process must end at once all the same.
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "main/consoleparts.h"
#include "main/formmain.h"
#include "platform/winsock/resolver.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"
#include "widgets/application.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TApplication application(argc, argv);
  application.Initialize();
  winsock::ExchangeHostResolver([](const std::string&) {
    std::this_thread::sleep_for(std::chrono::minutes(2));
    return winsock::THostAnswer{};
  });
  auto form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({})));
  form->show();
  form->VwEdit->SetText("slow.example");
  QTest::mouseClick(form->VwBtnConnect, Qt::LeftButton);
  if (!form->ClientSocket->Connecting()) return 2;
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  form->close();
  form.reset();
  return 0;
}
