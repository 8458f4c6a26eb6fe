// A newcomer's first look: a virtual serial pair and a local echo server stand in for the device
// and the server; the console opens the port, connects, and traffic goes both ways; a screenshot
// of the window is saved, with its context menu and its options dialog beside it.
//
//   [DEMO_LANG=en] comrelay_demo [SCREENSHOT.png]
#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <cstdio>
#include <memory>
#include <string>

#include "main/consoleparts.h"
#include "main/formfeatures.h"
#include "main/formmain.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"
#include "widgets/application.h"

namespace {
void Settle(int ms) {
  PumpUntil([] { return false; }, std::chrono::milliseconds(ms));
}
}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TApplication application(argc, argv);
  application.Initialize();
  const std::string shot = argc > 1 ? argv[1] : "comrelay-demo.png";

  TPseudoTerminal device;
  loopback::TServer server;
  std::printf("device (virtual serial port): %s\nserver (echo): 127.0.0.1:%d\n", device.Path().c_str(),
              server.Port());

  // DEMO_LANG=en shows the window in English.
  const char* language = std::getenv("DEMO_LANG");
  if (language && std::string(language) == "en")
    SetConsoleLanguage(TConsoleLanguage::English, COMRELAY_LOCALE_DIR);
  auto form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({device.Path()})));
  TFeatureConfig config;  // nothing read or saved, no device watch
  config.watchDevices = false;
  TConsoleSettings settings;
  settings.language = ConsoleLanguage();
  TFormFeatures features(*form, config, settings);
  form->show();
  QTest::mouseClick(form->VwBtnOpenClose, Qt::LeftButton);
  form->VwNumEdit->SetValue(server.Port());
  QTest::mouseClick(form->VwBtnConnect, Qt::LeftButton);
  if (!PumpUntil([&] { return server.AcceptPending() && form->ClientSocket->Active(); })) {
    std::fprintf(stderr, "the console did not connect\n");
    return 1;
  }

  // The device speaks; the server echoes; the echo reaches the device.
  std::string atServer, atDevice;
  auto exchange = [&](const std::string& bytes) {
    device.Write(bytes);
    PumpUntil([&] {
      server.ReadAvailable(atServer);
      return atServer.size() >= bytes.size();
    });
    server.Send(atServer);
    atServer.clear();
    PumpUntil([&] {
      device.ReadAvailable(atDevice);
      return atDevice.size() >= bytes.size();
    });
    atDevice.clear();
    Settle(120);  // a pause longer than the time-out ends the block
  };
  exchange("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
  form->VwCheckBoxHex->SetChecked(false);
  exchange("PLC 7: temperature 21.5 C, pressure 1.013 bar\r\n");
  exchange(std::string("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8));

  Settle(200);
  form->VwRichEdit->Flush();
  QCoreApplication::processEvents();
  const bool saved = form->grab().save(QString::fromStdString(shot));
  std::printf("bytes to the server: %lld, to the device: %lld\n",
              static_cast<long long>(form->BytesToSocket()), static_cast<long long>(form->BytesToSerial()));
  std::printf("%s %s\n", saved ? "screenshot saved to" : "could not save", shot.c_str());

  // The functions beyond the layout: the context menu of the log view and the options dialog.
  const QString base = QString::fromStdString(shot).replace(QRegularExpression("\\.png$"), QString());
  const std::unique_ptr<QMenu> menu = features.BuildMenu(form->VwRichEdit);
  menu->popup(form->VwRichEdit->mapToGlobal(QPoint(40, 40)));
  Settle(100);
  const bool menuSaved = menu->grab().save(base + "-menu.png");
  menu->hide();
  TOptionsDialog options(form.get(), features.Options());
  options.show();
  Settle(100);
  const bool optionsSaved = options.grab().save(base + "-options.png");
  options.hide();
  std::printf("%s %s-menu.png and %s-options.png\n", menuSaved && optionsSaved ? "saved" : "could not save",
              base.toStdString().c_str(), base.toStdString().c_str());
  form->close();
  return saved && menuSaved && optionsSaved ? 0 : 1;
}
