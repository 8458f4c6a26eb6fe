// The class-library runtime: resource strings and their loader slot, the exception display.
#include <gtest/gtest.h>

#include "runtime/exception.h"
#include "runtime/resources.h"

namespace {
// A table of this program's own, added as a component adds its messages.
constexpr UINT kGreeting = 64001;
constexpr UINT kFarewell = 64002;
constexpr TStringTableEntry kEntries[] = {
    {kGreeting, u"Good morning"},
    {kFarewell, u"See you \u4E2D"},
};
const bool kAdded = AddStringTableEntries(HInstance, kEntries);
// Added later under a known id: the first text stays.
constexpr TStringTableEntry kRival[] = {{kGreeting, u"Rival"}};
const bool kRivalAdded = AddStringTableEntries(HInstance, kRival);
}  // namespace

TEST(ResourceStrings, UnpatchedLoaderRules) {
  ASSERT_TRUE(kAdded && kRivalAdded);
  EXPECT_EQ(LoadResourceString(nullptr), "");
  static const char text[] = "literal text";
  ResourceStringRecord byAddress{&HInstance, reinterpret_cast<std::intptr_t>(text)};
  EXPECT_EQ(LoadResourceString(&byAddress), "literal text");
  ResourceStringRecord byId{&HInstance, kGreeting};
  EXPECT_EQ(LoadResourceString(&byId), "Good morning");
  ResourceStringRecord missing{&HInstance, 12};
  EXPECT_EQ(LoadResourceString(&missing), "");
  // Another module's table is another table.
  const HMODULE other = HInstance + 1;
  ResourceStringRecord elsewhere{&other, kGreeting};
  EXPECT_EQ(LoadResourceString(&elsewhere), "");
}

TEST(ResourceStrings, EntriesCopyTruncatedAndTerminated) {
  char16_t buf[64];
  EXPECT_EQ(LoadStringW(HInstance, kGreeting, buf, 64), 12);
  EXPECT_EQ(std::u16string(buf), u"Good morning");
  EXPECT_EQ(LoadStringW(HInstance, kGreeting, buf, 3), 2);
  EXPECT_EQ(std::u16string(buf), u"Go");
  EXPECT_EQ(LoadStringW(HInstance, kGreeting, buf, 0), 0);
  // The 8-bit form is in the code page: U+4E2D is D6 D0.
  char narrow[64];
  EXPECT_EQ(LoadStringA(HInstance, kFarewell, narrow, 64), 10);
  EXPECT_EQ(std::string(narrow), "See you \xD6\xD0");
  EXPECT_EQ(LoadStringA(HInstance, 12, narrow, 64), 0);
  EXPECT_EQ(narrow[0], 0);
}

namespace {
std::string Shouting(const ResourceStringRecord*) { return "SWAPPED"; }
}  // namespace

TEST(ResourceStrings, LoaderSlotSwapsAndRestores) {
  ResourceStringRecord byId{&HInstance, kFarewell};
  TResourceLoader previous = ExchangeResourceLoader(&Shouting);
  EXPECT_EQ(previous, &DefaultLoadResourceString);
  EXPECT_EQ(LoadResourceString(&byId), "SWAPPED");
  EXPECT_EQ(ExchangeResourceLoader(previous), &Shouting);
  EXPECT_EQ(LoadResourceString(&byId), "See you \xD6\xD0");
}

TEST(Exceptions, GuardedShowsMessageAndSwallows) {
  std::string shown;
  auto previous = SetExceptionDisplay([&](const std::string& m) { shown = m; });
  Guarded([] { throw Exception("boom"); });
  EXPECT_EQ(shown, "boom");
  Guarded([] { throw 42; });
  EXPECT_EQ(shown, "Unknown exception");
  SetExceptionDisplay(previous);
}
