// The units around a program's body: both started while it runs, both finished after it, also
// when it throws; a failed start runs nothing.
#include "relay/units.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "i18n/translation.h"
#include "runtime/exception.h"
#include "serialkit/serialkit.h"

TEST(RunWithUnits, TheBodyRunsBetweenStartAndFinishAndGivesTheResult) {
  int calls = 0;
  const int rc = RunWithUnits(
      [&] {
        ++calls;
        EXPECT_NE(GlobalTranslator(), nullptr);
        EXPECT_TRUE(SerialKitStarted());
        return 7;
      },
      [](std::exception_ptr error) { ADD_FAILURE() << ExceptionMessage(error); });
  EXPECT_EQ(rc, 7);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(GlobalTranslator(), nullptr);
  EXPECT_FALSE(SerialKitStarted());
}

TEST(RunWithUnits, AnExceptionFromTheBodyIsHandedOverAndTheUnitsStillFinish) {
  std::string handled;
  const int rc = RunWithUnits([]() -> int { throw std::runtime_error("body failed"); },
                              [&](std::exception_ptr error) { handled = ExceptionMessage(error); });
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(handled, "body failed");
  EXPECT_EQ(GlobalTranslator(), nullptr);
  EXPECT_FALSE(SerialKitStarted());
  // Finished cleanly: they start again.
  EXPECT_EQ(RunWithUnits([] { return SerialKitStarted() ? 0 : 5; }, [](std::exception_ptr) {}), 0);
}

TEST(RunWithUnits, AFailedStartRunsNothingAndLeavesWhatOthersStarted) {
  InitializeTranslationUnit();  // started elsewhere: a second start fails
  bool ran = false;
  std::string handled;
  const int rc = RunWithUnits(
      [&] {
        ran = true;
        return 0;
      },
      [&](std::exception_ptr error) { handled = ExceptionMessage(error); });
  EXPECT_EQ(rc, 1);
  EXPECT_FALSE(ran);
  EXPECT_NE(handled.find("already started"), std::string::npos) << handled;
  EXPECT_NE(GlobalTranslator(), nullptr);
  EXPECT_FALSE(SerialKitStarted());
  FinalizeTranslationUnit();
}
