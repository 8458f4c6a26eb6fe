// The service's program: options, the units started as the window's program starts them, the
// relay, and the signals that print its counters or stop it.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/process/signals.h"
#include "relay/consolelanguage.h"
#include "relay/units.h"
#include "runtime/exception.h"
#include "service/options.h"
#include "service/relayservice.h"

int main(int argc, char** argv) {
  // At once: a signal sent as the program starts would otherwise end it before it can stop.
  HoldSignals(ServiceSignals);
  const service::TParsed parsed = service::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (parsed.outcome) {
    case service::TOutcome::Error:
      std::fprintf(stderr, "%s\n", parsed.error.c_str());
      return 2;
    case service::TOutcome::Help:
      std::fputs(service::HelpText().c_str(), stdout);
      return 0;
    case service::TOutcome::Version:
      std::fputs(service::VersionText().c_str(), stdout);
      return 0;
    case service::TOutcome::Run:
      break;
  }
  // Before any thread starts, so that none of them ever takes these signals.
  TSignalChannel incoming(ServiceSignals);
  if (!incoming.Valid()) {
    std::fprintf(stderr, "comrelay: cannot watch incoming\n");
    return 1;
  }
  // A reader of the log lines that goes away ends the lines, not the relay.
  IgnoreBrokenPipe();
  QCoreApplication application(argc, argv);
  return RunWithUnits(
      [&] {
        SetConsoleLanguage(parsed.options.language, DefaultLocaleDir());
        service::TRelayService relay(parsed.options, stdout);
        QSocketNotifier notifier(incoming.Descriptor(), QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
          Guarded([&] {
            while (const int signal = incoming.Next()) {
              if (signal == SignalUser1)
                relay.PrintCounters();
              else
                relay.Stop([] { QCoreApplication::exit(0); });
            }
          });
        });
        relay.Start();
        return application.exec();
      },
      HandleException);
}
