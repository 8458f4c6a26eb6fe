// The catalogue reader on catalogues made by msgfmt: the search by halving for every size from
// 0 to 100, both byte orders, and catalogues that lie about their own size.
#include "i18n/mocatalogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "tests/support/catalogues.h"

using i18n::TMoCatalogue;
using namespace i18ntest;

namespace {
std::string Key(int i) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "k%03d", i);
  return buffer;
}

TEntries NumberedEntries(int n) {
  TEntries entries;
  for (int i = 0; i < n; ++i) entries.emplace_back(Key(i), "t" + std::to_string(i));
  return entries;
}

std::optional<TMoCatalogue> OpenBytes(const std::string& bytes, std::uint64_t offset = 0) {
  return TMoCatalogue::Open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), offset);
}

unsigned Limit(int n) { return unsigned(std::floor(std::log2(double(n)))) + 1; }
}  // namespace

TEST(MoCatalogue, FindsEveryTextAndMissesAllOthersForEverySizeUpTo100) {
  TTempDir dir;
  for (int n = 1; n <= 100; ++n) {
    SCOPED_TRACE("N = " + std::to_string(n));
    const std::string bytes =
        MakeCatalogue(dir.Path() / ("n" + std::to_string(n) + ".mo"), NumberedEntries(n));
    auto mo = OpenBytes(bytes);
    ASSERT_TRUE(mo);
    ASSERT_EQ(mo->Count(), unsigned(n));
    for (int i = 0; i < n; ++i) {
      unsigned comparisons = 0;
      auto found = mo->Find(Key(i), &comparisons);
      ASSERT_TRUE(found) << Key(i);
      EXPECT_EQ(*found, "t" + std::to_string(i));
      EXPECT_LE(comparisons, Limit(n)) << Key(i);
    }
    // Before the first (a proper prefix and a smaller byte), between every pair, after the last.
    std::vector<std::string> misses = {"", "k", "k00", "a", Key(n - 1) + "x", "l", "k999"};
    for (int i = 0; i < n; ++i) misses.push_back(Key(i) + "a");
    for (const std::string& miss : misses) {
      unsigned comparisons = 0;
      EXPECT_FALSE(mo->Find(miss, &comparisons)) << miss;
      EXPECT_LE(comparisons, Limit(n)) << miss;
    }
  }
}

TEST(MoCatalogue, EmptyCatalogueAnswersNothing) {
  auto mo = OpenBytes(EmptyCatalogue());
  ASSERT_TRUE(mo);
  EXPECT_EQ(mo->Count(), 0u);
  EXPECT_FALSE(mo->Find(""));
  EXPECT_FALSE(mo->Find("k000"));
}

TEST(MoCatalogue, BothByteOrdersGiveTheSameAnswers) {
  TTempDir dir;
  const TEntries entries = {{"apple", "Apfel"}, {"pear", "Birne"}, {"plum", "Pflaume"}, {"\xC3\xA4", "ae"}};
  const std::string little = MakeCatalogue(dir.Path() / "little.mo", entries, true);
  const std::string big = MakeCatalogue(dir.Path() / "big.mo", entries, true, "--endianness=big");
  const std::string swapped = ByteSwapped(little);
  ASSERT_NE(little, swapped);
  for (const std::string* bytes : {&little, &big, &swapped}) {
    auto mo = OpenBytes(*bytes);
    ASSERT_TRUE(mo);
    EXPECT_EQ(mo->Swapped(), bytes != &little);
    for (const auto& [id, str] : entries) EXPECT_EQ(mo->Find(id).value_or("<none>"), str);
    EXPECT_FALSE(mo->Find("banana"));
    // The customary header sits under the empty text.
    EXPECT_TRUE(mo->Find("").value_or("").starts_with("Project-Id-Version: comrelay tests\n"));
  }
}

TEST(MoCatalogue, TextsKeepTheirZeroBytesAndNeedNoTerminator) {
  std::string mo = EmptyCatalogue();
  // One entry whose source is "a\0b" and translation "xy", both unterminated at the file's end.
  PutLittle32(mo, 8, 1);
  PutLittle32(mo, 12, 28);
  PutLittle32(mo, 16, 36);
  mo.resize(44);
  PutLittle32(mo, 28, 3);
  PutLittle32(mo, 32, 44);
  PutLittle32(mo, 36, 2);
  PutLittle32(mo, 40, 47);
  mo += std::string("a\0b", 3) + "xy";
  auto catalogue = OpenBytes(mo);
  ASSERT_TRUE(catalogue);
  EXPECT_EQ(catalogue->Find(std::string("a\0b", 3)).value_or("<none>"), "xy");
  // "a" is that entry's singular, as GNU gettext finds it: the answer is the first form.
  EXPECT_EQ(catalogue->Find("a").value_or("<none>"), "xy");
  EXPECT_FALSE(catalogue->Find("a\x01"));
  mo.pop_back();  // the translation now runs one byte past the end
  EXPECT_FALSE(OpenBytes(mo));
}

TEST(MoCatalogue, RejectsWhatIsNotACatalogueOrDoesNotFit) {
  TTempDir dir;
  const std::string good = MakeCatalogue(dir.Path() / "good.mo", NumberedEntries(5), true);
  ASSERT_TRUE(OpenBytes(good));

  std::string badMagic = good;
  PutLittle32(badMagic, 0, 0x12345678);
  EXPECT_FALSE(OpenBytes(badMagic));

  // Any cut before the last text ends leaves a header, a table or a text outside the file; only
  // the last text's terminating zero may go.
  for (std::size_t length = 0; length + 1 < good.size(); ++length)
    EXPECT_FALSE(OpenBytes(good.substr(0, length))) << length;
  EXPECT_TRUE(OpenBytes(good.substr(0, good.size() - 1)));

  for (std::uint32_t count : {0x1000u, 0x20000000u, 0xFFFFFFFFu}) {
    std::string huge = good;
    PutLittle32(huge, 8, count);
    EXPECT_FALSE(OpenBytes(huge)) << count;
  }
  std::string farTable = good;
  PutLittle32(farTable, 16, 0xFFFFFFF0u);
  EXPECT_FALSE(OpenBytes(farTable));

  // msgfmt puts the source table right after its 28-byte header; entry 2 is made to point past
  // the end, then to be too long.
  const std::uint32_t sourceTable = 28;
  std::string farText = good;
  PutLittle32(farText, sourceTable + 8 * 2 + 4, std::uint32_t(good.size()));
  EXPECT_FALSE(OpenBytes(farText));
  std::string longText = good;
  PutLittle32(longText, sourceTable + 8 * 2, 0xFFFFFFFFu);
  EXPECT_FALSE(OpenBytes(longText));
}

TEST(MoCatalogue, ReadsACatalogueThatStartsInsideALargerFile) {
  TTempDir dir;
  const std::string mo = MakeCatalogue(dir.Path() / "inner.mo", {{"one", "eins"}, {"two", "zwei"}});
  const std::string file = std::string(1001, '\x7F') + mo;
  auto catalogue = OpenBytes(file, 1001);
  ASSERT_TRUE(catalogue);
  EXPECT_EQ(catalogue->Find("two").value_or("<none>"), "zwei");
  EXPECT_FALSE(OpenBytes(file, 1000));
  EXPECT_FALSE(OpenBytes(file, file.size()));
  EXPECT_FALSE(OpenBytes(file, file.size() + 5));
  EXPECT_FALSE(OpenBytes(file, ~std::uint64_t(0)));
}
