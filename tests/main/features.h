// The window with its extras attached: settings in a scratch folder, no device watch.
#pragma once
#include <QTemporaryDir>

#include "main/formfeatures.h"
#include "tests/main/fixture.h"

class FeaturesTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    settingsPath = dir.filePath("config/comrelay.ini").toStdString();
  }
  void TearDown() override {
    features.reset();
    SetConsoleLanguage(TConsoleLanguage::Original, {});
  }

  void Attach(const TConsoleSettings& settings = {}, TLogFileLimits limits = {}) {
    features.reset();
    TFeatureConfig config;
    config.settingsPath = settingsPath;
    config.watchDevices = false;
    config.logLimits = limits;
    features = std::make_unique<TFormFeatures>(*form, config, settings);
  }

  QTemporaryDir dir;
  std::string settingsPath;
  std::unique_ptr<TFormFeatures> features;
};
