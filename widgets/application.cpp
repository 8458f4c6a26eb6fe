#include "widgets/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/text/qtext.h"
#include "widgets/exceptiontext.h"
#include "widgets/font.h"

namespace {
TApplication* g_application = nullptr;

// The last guard: an exception that a handler let out of a Qt event is shown, not propagated
// into Qt, whose event loop cannot unwind.
class TGuardedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      HandleException(std::current_exception());
      return false;
    }
  }
};
}  // namespace

TApplication* Application() { return g_application; }

TApplication::TApplication(int& argc, char** argv) {
  if (g_application) throw Exception("only one application object may exist");
  if (!QCoreApplication::instance()) ownedApp_ = std::make_unique<TGuardedApplication>(argc, argv);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw Exception("the application object needs a widget application");
  }
  g_application = this;
}

TApplication::TApplication() {
  if (g_application) throw Exception("only one application object may exist");
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw Exception("the application object needs a widget application");
  }
  g_application = this;
}

TApplication::~TApplication() {
  if (displayInstalled_) SetExceptionDisplay(std::move(previousDisplay_));
  g_application = nullptr;
}

void TApplication::Initialize() {
  QApplication::setStyle(QStringLiteral("Fusion"));
  QApplication::setFont(ConsoleFont());
  if (!displayInstalled_) {
    previousDisplay_ = SetExceptionDisplay([this](const std::string& message) { ShowException(message); });
    displayInstalled_ = true;
  }
}

int TApplication::Run() {
  if (mainForm_) mainForm_->show();
  return QApplication::exec();
}

void TApplication::Terminate() { QCoreApplication::quit(); }

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

std::string TApplication::Title() const {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) path = QCoreApplication::arguments().value(0);
  return QStringToAnsi(ApplicationTitleFromPath(path));
}

void TApplication::ShowException(const std::string& message) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  if (QThread::currentThread() != app->thread()) {
    // A box may only be shown by the UI thread; it shows this one when it next looks at its queue.
    QMetaObject::invokeMethod(
        app,
        [message] {
          if (TApplication* application = Application()) application->ShowException(message);
        },
        Qt::QueuedConnection);
    return;
  }
  const std::string title = Title();
  const std::string text = ExceptionBoxMessage(message);
  if (TMessageBoxHook hook = hook_) {
    hook(title, text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, AnsiToQString(title), AnsiToQString(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

TMessageBoxHook TApplication::SetMessageBoxHook(TMessageBoxHook hook) {
  std::swap(hook_, hook);
  return hook;
}
