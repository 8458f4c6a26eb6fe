// A real window on the offscreen platform, with doubles for both ends.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "main/formmain.h"
#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "relay/texts.h"
#include "tests/main/doubles.h"

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { Create({"ttyUSB0"}); }

  void Create(std::vector<std::string> ports, bool portsReadable = true) {
    form.reset();
    auto comm = std::make_unique<doubles::TSerialDouble>();
    auto tcp = std::make_unique<doubles::TTcpDouble>();
    serial = comm.get();
    net = tcp.get();
    TFormMainParts parts{
        std::move(comm), std::move(tcp),
        [ports, portsReadable](std::vector<std::string>& out) {
          out = ports;
          return portsReadable;
        },
        [](int code) { return code == 10061 ? std::string("Connection refused.\r\n") : std::string(); }};
    form = std::make_unique<TFormMain>(std::move(parts));
  }

  std::size_t Lines() { return form->VwRichEdit->LineCount(); }
  // The line's text without its 14-character time stamp.
  QString Body(std::size_t i) { return form->VwRichEdit->LineText(i).mid(14); }
  QString LastBody() { return Body(Lines() - 1); }
  TColor LastColor() { return form->VwRichEdit->LineColor(Lines() - 1); }
  static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

  void OpenPort() {
    form->VwBtnOpenCloseClick(nullptr);
    ASSERT_TRUE(form->SerialOpen());
  }
  void Connect() {
    form->VwBtnConnectClick(nullptr);
    net->CompleteConnect();
    ASSERT_TRUE(net->Active());
  }

  std::unique_ptr<TFormMain> form;
  doubles::TSerialDouble* serial = nullptr;
  doubles::TTcpDouble* net = nullptr;
};
