// The program: unit start-up in a fixed order, the one window, the loop, shut-down in reverse.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "main/consoleparts.h"
#include "main/formfeatures.h"
#include "main/formmain.h"
#include "platform/process/handover.h"
#include "platform/process/signals.h"
#include "relay/units.h"
#include "runtime/exception.h"
#include "widgets/application.h"

int main(int argc, char** argv) {
  // The relay without a window is a program of its own that loads no widgets: hand over to it
  // before anything of the window's is loaded. The build puts it beside this program, an
  // installation in its private folder.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--headless" || arg == "--help" || arg == "-h" || arg == "--version") {
      // Held across the exec, for the service to take once it watches them.
      HoldSignals(ServiceSignals);
      ExecSibling("comrelay-headless", {".", "../lib/comrelay"}, argv);
      std::fprintf(stderr, "comrelay: cannot start comrelay-headless: %s\n", std::strerror(errno));
      return 1;
    }
  }
  // The class library and the widget toolkit first.
  TApplication application(argc, argv);
  application.Initialize();
  return RunWithUnits(
      [&] {
        // The language first: the window is created in it.
        const std::string settingsPath = DefaultSettingsPath();
        const TConsoleSettings settings = LoadSettings(settingsPath);
        SetConsoleLanguage(settings.language, DefaultLocaleDir());
        TFeatureConfig config;
        config.settingsPath = settingsPath;
        auto form = std::make_unique<TFormMain>(MakeConsoleParts(TreePortSource(config.ports)));
        TFormFeatures features(*form, config, settings);
        application.SetMainForm(form.get());
        return application.Run();
      },
      HandleException);
}
