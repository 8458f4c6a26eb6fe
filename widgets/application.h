// The application object: start-up of the toolkit, the message loop, and the display of
// exceptions that escape a handler (a message box with an error icon; the program goes on).
#pragma once
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "runtime/exception.h"
#include "runtime/object.h"

class QApplication;

// Receives (title, message) in GB18030 instead of a modal box being shown; for tests.
using TMessageBoxHook = std::function<void(const std::string& title, const std::string& message)>;

class TApplication : public TObject {
 public:
  // Uses the running QApplication, or creates one (whose notify guards every event) from
  // argc/argv. Only one TApplication lives at a time.
  TApplication(int& argc, char** argv);
  TApplication();  // needs a running QApplication
  ~TApplication() override;

  // Fusion style, the console font, and this object as the exception display.
  void Initialize();
  // The window whose closing ends Run; it is shown by Run.
  void SetMainForm(QWidget* form) { mainForm_ = form; }
  QWidget* MainForm() const { return mainForm_; }
  // Shows the main form and runs the message loop until it ends; returns the exit code.
  int Run();
  void Terminate();
  // Handles what is waiting in the queue and returns.
  void ProcessMessages();

  // GB18030 title from the executable's name.
  std::string Title() const;
  // Shows `message` (GB18030) the standard way: error icon, the title, a full stop added.
  void ShowException(const std::string& message);
  TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

 private:
  std::unique_ptr<QApplication> ownedApp_;
  QWidget* mainForm_ = nullptr;
  TMessageBoxHook hook_;
  bool displayInstalled_ = false;
  TExceptionDisplay previousDisplay_;
};

// The living application object, or nullptr.
TApplication* Application();
