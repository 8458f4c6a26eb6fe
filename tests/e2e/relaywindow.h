// The real window with the real components, a pseudo-terminal as its only port and a TCP
// server on 127.0.0.1, driven the way an operator drives it.
#pragma once
#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <random>

#include "main/consoleparts.h"
#include "main/formmain.h"
#include "relay/texts.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"
#include "tests/support/relayends.h"

class RelayWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    pty = std::make_unique<TPseudoTerminal>();
    server = std::make_unique<loopback::TServer>();
    form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({pty->Path()})));
    form->show();
  }
  void TearDown() override {
    form.reset();
    QCoreApplication::processEvents();
  }

  void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

  void OpenPort() {
    Click(form->VwBtnOpenClose);
    ASSERT_TRUE(form->SerialOpen());
  }
  void Connect() {
    form->VwNumEdit->SetValue(server->Port());
    Click(form->VwBtnConnect);
    ASSERT_TRUE(PumpUntil([&] { return server->AcceptPending() && form->ClientSocket->Active(); }));
  }

  // Moves `bytes` from the serial far end to the server (or back) and returns what arrived.
  std::string SerialToServer(const std::string& bytes) { return ::SerialToServer(*pty, *server, bytes); }
  std::string ServerToSerial(const std::string& bytes) { return ::ServerToSerial(*server, *pty, bytes); }

  static std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = char(gen() & 0xFF);
    for (std::size_t i = 0; i < n; i += 997) s[i] = '\0';  // zeros for sure
    return s;
  }

  std::size_t Lines() { return form->VwRichEdit->LineCount(); }
  QString Body(std::size_t i) { return form->VwRichEdit->LineText(i).mid(14); }
  QString LastBody() { return Body(Lines() - 1); }
  bool Logged(const char* utf8) {
    for (std::size_t i = 0; i < Lines(); ++i)
      if (Body(i) == QString::fromUtf8(utf8)) return true;
    return false;
  }
  static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

  std::unique_ptr<TPseudoTerminal> pty;
  std::unique_ptr<loopback::TServer> server;
  std::unique_ptr<TFormMain> form;
};
