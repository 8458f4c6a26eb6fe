// The console as a relay for the relay bench: the real window, offscreen, driven the way an
// operator drives it. It opens DEVICE, connects to 127.0.0.1:PORT, relays until the server
// closes the connection, and exits. Nothing here polls, so an idle relay is measured as it is.
// --ui-probe FILE times the UI thread while connected and leaves the figures in FILE.
//
//   comrelay-relay DEVICE PORT [--interval MS] [--display] [--hex] [--ui-probe FILE]
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/relay/uistallprobe.h"
#include "main/consoleparts.h"
#include "main/formmain.h"
#include "widgets/application.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: comrelay-relay DEVICE PORT [--interval MS] [--display] [--hex] [--ui-probe FILE]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string device = argv[1];
  const int port = std::atoi(argv[2]);
  int interval = 1;
  bool display = false, hex = false;
  std::string probeReport;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--interval") && i + 1 < argc)
      interval = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--display"))
      display = true;
    else if (!std::strcmp(argv[i], "--hex"))
      hex = true;
    else if (!std::strcmp(argv[i], "--ui-probe") && i + 1 < argc)
      probeReport = argv[++i];
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
  // The end is noticed from the socket's own events, chained after the window's handlers.
  UiStallProbe probe;
  bool wasConnected = false;
  const auto check = [&] {
    if (form->ClientSocket->Active()) {
      if (!wasConnected && !probeReport.empty()) probe.Start();
      wasConnected = true;
    } else if (wasConnected) {
      probe.Stop();
      qt.quit();
    }
  };
  auto& socket = *form->ClientSocket;
  const auto onConnect = socket.OnConnect, onDisconnect = socket.OnDisconnect;
  const auto onError = socket.OnError;
  socket.OnConnect =
      endpoint::TSocketNotifyEvent::FromCallable([&](TObject* sender, endpoint::TSocketEndpoint* s) {
        onConnect(sender, s);
        check();
      });
  socket.OnDisconnect =
      endpoint::TSocketNotifyEvent::FromCallable([&](TObject* sender, endpoint::TSocketEndpoint* s) {
        onDisconnect(sender, s);
        QTimer::singleShot(0, check);
      });
  socket.OnError = endpoint::TSocketErrorEvent::FromCallable(
      [&](TObject* sender, endpoint::TSocketEndpoint* s, endpoint::TErrorEvent event, int& code) {
        onError(sender, s, event, code);
        QTimer::singleShot(0, check);
      });
  QTimer::singleShot(10000, [&] {
    if (wasConnected) return;
    std::fprintf(stderr, "comrelay-relay: no connection to 127.0.0.1:%d\n", port);
    exitCode = 1;
    qt.quit();
  });
  QTest::mouseClick(form->VwBtnConnect, Qt::LeftButton);
  check();
  qt.exec();
  if (!probeReport.empty()) probe.WriteReport(probeReport);
  form->close();
  form.reset();
  return exitCode;
}
