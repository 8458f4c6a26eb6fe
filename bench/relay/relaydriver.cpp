// The console as a relay for the relay bench: the real window, offscreen, driven the way an
// operator drives it. It opens DEVICE, connects to 127.0.0.1:PORT, relays until the server
// closes the connection, and exits.
//
//   comrelay-relay DEVICE PORT [--interval MS] [--display] [--hex]
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "main/consoleparts.h"
#include "main/formmain.h"
#include "widgets/application.h"

namespace {
int Usage() {
  std::fprintf(stderr, "usage: comrelay-relay DEVICE PORT [--interval MS] [--display] [--hex]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string device = argv[1];
  const int port = std::atoi(argv[2]);
  int interval = 1;
  bool display = false, hex = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--interval") && i + 1 < argc)
      interval = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--display"))
      display = true;
    else if (!std::strcmp(argv[i], "--hex"))
      hex = true;
    else
      return Usage();
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qt(argc, argv);
  TApplication application;
  application.Initialize();
  int exitCode = 0;
  application.SetMessageBoxHook([&](const std::string&, const std::string& message) {
    std::fprintf(stderr, "comrelay-relay: %s\n", message.c_str());
    exitCode = 1;
  });

  auto form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({device})));
  form->show();
  form->VwCheckBoxDisplay->SetChecked(display);
  form->VwCheckBoxHex->SetChecked(hex);
  if (interval != 50) {
    // Typing a new time-out reopens the port with it.
    form->VwSEditTimeOut->SetValue(interval);
    form->VwCbBoxPortChange(form->VwSEditTimeOut);
  } else {
    QTest::mouseClick(form->VwBtnOpenClose, Qt::LeftButton);
  }
  if (!form->SerialOpen()) {
    std::fprintf(stderr, "comrelay-relay: cannot open %s\n", device.c_str());
    return 1;
  }
  form->VwEdit->SetText("127.0.0.1");
  form->VwNumEdit->SetValue(port);
  QTest::mouseClick(form->VwBtnConnect, Qt::LeftButton);

  bool wasConnected = false;
  int ticks = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    ++ticks;
    if (form->ClientSocket->Active()) {
      wasConnected = true;
    } else if (wasConnected || ticks > 500) {
      if (!wasConnected) {
        std::fprintf(stderr, "comrelay-relay: no connection to 127.0.0.1:%d\n", port);
        exitCode = 1;
      }
      qt.quit();
    }
  });
  watch.start(20);
  qt.exec();
  form->close();
  form.reset();
  return exitCode;
}
