// Pausing the log view and finding text in it.
#include <gtest/gtest.h>

#include "widgets/logview.h"

namespace {
QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TEST(LogViewPause, LinesArrivingWhilePausedAreHeldAndShownInOrderOnResume) {
  TLogView view;
  view.AppendLine(0, "one");
  view.SetPaused(true);
  view.AppendLine(0xFF, "two");
  view.AppendLine(0, "three");
  EXPECT_EQ(view.LineCount(), 1u);
  EXPECT_EQ(view.HeldCount(), 2u);
  // Clearing while paused empties the window; what was held back was never shown and stays.
  view.ClearLines();
  EXPECT_EQ(view.LineCount(), 0u);
  view.SetPaused(false);
  ASSERT_EQ(view.LineCount(), 2u);
  EXPECT_EQ(view.HeldCount(), 0u);
  EXPECT_EQ(view.LineText(0), Q("two"));
  EXPECT_EQ(view.LineColor(0), 0xFFu);
  EXPECT_EQ(view.LineText(1), Q("three"));
}

TEST(LogViewPause, HeldLinesStayWithinTheViewsBoundNewestKept) {
  TLogView view;
  view.AppendLine(0, "shown");
  view.SetPaused(true);
  const std::size_t extra = 10;
  for (std::size_t i = 0; i < TLogView::MaxLines + extra; ++i)
    view.AppendLine(0, "held " + std::to_string(i));
  // The shown line goes first, then the oldest held ones.
  EXPECT_EQ(view.LineCount(), 0u);
  EXPECT_EQ(view.HeldCount(), TLogView::MaxLines);
  view.SetPaused(false);
  ASSERT_EQ(view.LineCount(), TLogView::MaxLines);
  EXPECT_EQ(view.LineText(0), Q("held ") + QString::number(extra));
  EXPECT_EQ(view.LineText(TLogView::MaxLines - 1),
            Q("held ") + QString::number(TLogView::MaxLines + extra - 1));
}

TEST(LogViewFind, NextAndPreviousWalkEveryMatchAndWrap) {
  TLogView view;
  view.AppendLine(0, "alpha beta");
  view.AppendLine(0, "gamma");
  view.AppendLine(0, "beta BETA");
  ASSERT_TRUE(view.Find(Q("beta"), false));
  EXPECT_EQ(view.MatchLine(), 0);
  EXPECT_EQ(view.MatchStart(), 6);
  EXPECT_EQ(view.MatchLength(), 4);
  ASSERT_TRUE(view.Find(Q("beta"), false));
  EXPECT_EQ(view.MatchLine(), 2);
  EXPECT_EQ(view.MatchStart(), 0);
  ASSERT_TRUE(view.Find(Q("beta"), false));  // case ignored: the second one on the same line
  EXPECT_EQ(view.MatchLine(), 2);
  EXPECT_EQ(view.MatchStart(), 5);
  ASSERT_TRUE(view.Find(Q("beta"), false));  // wraps to the oldest
  EXPECT_EQ(view.MatchLine(), 0);
  ASSERT_TRUE(view.Find(Q("beta"), true));  // and back the other way
  EXPECT_EQ(view.MatchLine(), 2);
  EXPECT_EQ(view.MatchStart(), 5);
  ASSERT_TRUE(view.Find(Q("beta"), true));
  EXPECT_EQ(view.MatchStart(), 0);

  // Case-sensitive skips BETA.
  view.ClearMatch();
  ASSERT_TRUE(view.Find(Q("BETA"), true, Qt::CaseSensitive));
  EXPECT_EQ(view.MatchLine(), 2);
  ASSERT_TRUE(view.Find(Q("BETA"), true, Qt::CaseSensitive));
  EXPECT_EQ(view.MatchLine(), 2);
  EXPECT_EQ(view.MatchStart(), 5);

  EXPECT_FALSE(view.Find(Q("delta"), false));
  EXPECT_EQ(view.MatchLine(), -1);
  EXPECT_FALSE(view.Find(QString(), false));
}

TEST(LogViewFind, TheMatchFollowsItsLineAsOldLinesGoAndEndsWithIt) {
  TLogView view;
  view.AppendLine(0, "needle");
  for (int i = 0; i < 5; ++i) view.AppendLine(0, "hay");
  ASSERT_TRUE(view.Find(Q("hay"), true));
  EXPECT_EQ(view.MatchLine(), 5);
  // Finds the marked bytes' digits too: the search is in the text as shown.
  view.AppendLine(0, std::string("a\x01z", 3));
  ASSERT_TRUE(view.Find(Q("a01z"), false));
  EXPECT_EQ(view.MatchLine(), 6);
  // And the digits of a block kept as bytes, from the text before them on.
  view.AppendLine(0, std::string("in(3):\x0A\x41\x01", 9), 6);
  ASSERT_TRUE(view.Find(Q("):0a 41 01 "), false));
  EXPECT_EQ(view.MatchLine(), 7);
  EXPECT_EQ(view.MatchStart(), 4);
  view.ClearLines();
  EXPECT_EQ(view.MatchLine(), -1);
}
