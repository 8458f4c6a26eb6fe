// What the operator gets beyond the window's own layout: remembered settings, a port list that
// follows the devices, the log to a file or saved, find and pause, input XON/XOFF and the
// language, reached through a context menu on the log view and the group boxes, an options
// dialog and shortcuts. Attached to a window that outlives it.
#pragma once
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

#include "main/formmain.h"
#include "main/logfile.h"
#include "main/optionsdialog.h"
#include "main/portwatch.h"
#include "main/settingsstore.h"

class QMenu;
class TFindDialog;

struct TFeatureConfig {
  std::string settingsPath;  // empty: nothing is read or saved
  TPortTree ports;
  bool watchDevices = true;
  TLogFileLimits logLimits;
};

class TFormFeatures : public QObject {
 public:
  // Applies `settings` to the window (the language must already be in force).
  TFormFeatures(TFormMain& form, TFeatureConfig config, const TConsoleSettings& settings);
  ~TFormFeatures() override;

  // What the window shows now, with what it cannot show (the language chosen, the log file).
  TConsoleSettings CurrentSettings() const;
  bool SaveNow();

  // The log to a file from now on; false (and a red line) when it cannot start.
  bool StartFileLog(const std::string& path);
  void StopFileLog();
  bool FileLogging() const { return writer_ != nullptr; }
  // The lines in the view as copied; false (and a red line) when the file cannot be written.
  bool SaveLogAs(const std::string& path);

  void SetPaused(bool paused);
  void ShowFind();
  TFindDialog* FindDialog() const { return find_; }

  void ApplyOptions(const TConsoleOptions& options);
  TConsoleOptions Options() const;
  // Opens the dialog (modal) and applies what the operator chose.
  void EditOptions();

  // A fresh menu for the log view and the group boxes.
  std::unique_ptr<QMenu> BuildMenu(QWidget* parent);
  TPortListRefresher& Ports() { return *ports_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Apply(const TConsoleSettings& s);
  void LogLine(const SYSTEMTIME& utc, TColor color, const std::string& text, std::size_t hexFrom,
               std::size_t omitted);
  void FileLogFailed(unsigned generation, const std::string& reason);

  TFormMain& form_;
  const TFeatureConfig config_;
  TConsoleSettings loaded_;
  TConsoleLanguage language_;
  std::string logPath_;
  std::unique_ptr<TPortListRefresher> ports_;
  std::unique_ptr<TLogFileWriter> writer_;
  unsigned fileLogGeneration_ = 0;  // which writer a failure report is about
  TFindDialog* find_ = nullptr;
};
