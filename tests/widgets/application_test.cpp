#include "widgets/application.h"

#include <QMessageBox>
#include <QTimer>
#include <thread>
#include <vector>

#include "platform/text/codepage.h"
#include "tests/widgets/widgettest.h"
#include "widgets/button.h"
#include "widgets/form.h"

namespace {
struct ShownBox {
  std::string title;
  std::string message;
};

// An application object whose exception boxes are recorded instead of shown.
class RecordingApplication {
 public:
  RecordingApplication() {
    app_.Initialize();
    app_.SetMessageBoxHook([this](const std::string& title, const std::string& message) {
      shown.push_back({title, message});
    });
  }
  TApplication& get() { return app_; }
  std::vector<ShownBox> shown;

 private:
  TApplication app_;
};
}  // namespace

TEST(Application, ShowsEscapedExceptionsWithTitleAndFullStop) {
  RecordingApplication app;
  EXPECT_EQ(Application(), &app.get());
  Guarded([] { throw Exception(Ansi("读取串口参数错误")); });
  Guarded([] { throw std::runtime_error("already stopped."); });
  ASSERT_EQ(app.shown.size(), 2u);
  // The test binary is widgets_tests: nothing to cut, nothing to lower.
  EXPECT_EQ(app.shown[0].title, "widgets_tests");
  EXPECT_EQ(app.shown[0].message, Ansi("读取串口参数错误."));
  EXPECT_EQ(app.shown[1].message, "already stopped.");
}

TEST(Application, HandlersThatThrowAreShownAndTheProgramGoesOn) {
  RecordingApplication app;
  TestWindow window;
  auto* button = new TButton(window.get());
  button->setGeometry(10, 10, 75, 25);
  button->show();
  int clicks = 0;
  button->OnClick = TNotifyEvent::FromCallable([&](TObject*) {
    ++clicks;
    throw Exception("click failed");
  });
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(app.shown.size(), 2u);
  EXPECT_EQ(app.shown[1].message, "click failed.");
}

TEST(Application, FormCreateFailureIsShownAndTheFormStillOpens) {
  RecordingApplication app;
  TForm form;
  form.OnCreate = TNotifyEvent::FromCallable([](TObject*) { throw Exception(Ansi("读取串口参数错误")); });
  bool closed = false;
  form.OnClose = TNotifyEvent::FromCallable([&](TObject* sender) {
    EXPECT_EQ(sender, static_cast<TObject*>(&form));
    closed = true;
  });
  form.DoCreate();
  ASSERT_EQ(app.shown.size(), 1u);
  EXPECT_EQ(app.shown[0].message, Ansi("读取串口参数错误."));
  form.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(closed);
}

TEST(Application, ExceptionsFromOtherThreadsAreShownByTheUiThread) {
  RecordingApplication app;
  std::thread worker([] { Guarded([] { throw Exception("from a worker"); }); });
  worker.join();
  EXPECT_TRUE(app.shown.empty());  // not shown off the UI thread
  QTRY_COMPARE_WITH_TIMEOUT(app.shown.size(), 1u, 5000);
  EXPECT_EQ(app.shown[0].message, "from a worker.");
}

TEST(Application, RealBoxHasAnErrorIconTitleAndMessage) {
  TApplication app;
  app.Initialize();
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  // The box is modal; look at it from the loop it runs, then close it.
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->accept();
  });
  app.ShowException(Ansi("无法操作"));
  EXPECT_EQ(title, "widgets_tests");
  EXPECT_EQ(text, QString::fromUtf8("无法操作."));
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(Application, RestoresThePreviousDisplayAndAllowsOneObjectOnly) {
  std::vector<std::string> outer;
  TExceptionDisplay before =
      SetExceptionDisplay([&](const std::string& message) { outer.push_back(message); });
  {
    RecordingApplication app;
    EXPECT_THROW(TApplication second, Exception);
    Guarded([] { throw Exception("inside"); });
    EXPECT_EQ(app.shown.size(), 1u);
  }
  EXPECT_EQ(Application(), nullptr);
  Guarded([] { throw Exception("outside"); });
  EXPECT_EQ(outer, std::vector<std::string>{"outside"});
  SetExceptionDisplay(before);
}

TEST(Application, RunShowsTheMainFormAndEndsWhenAskedTo) {
  TApplication app;
  app.Initialize();
  QWidget form;
  app.SetMainForm(&form);
  QTimer::singleShot(0, [&] {
    EXPECT_TRUE(form.isVisible());
    app.Terminate();
  });
  EXPECT_EQ(app.Run(), 0);
}
