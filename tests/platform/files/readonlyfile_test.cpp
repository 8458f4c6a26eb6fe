// The platform pieces the translation layer stands on: read-only files and their mappings, the
// executable's path, and strict UTF-8.
#include "platform/files/readonlyfile.h"

#include <gtest/gtest.h>

#include "platform/text/utf8.h"
#include "runtime/lasterror.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;

TEST(ReadOnlyFile, ReadsMapsAndReportsWhyNot) {
  TTempDir dir;
  WriteBytes(dir.Path() / "data", "0123456789");
  TReadOnlyFile file = TReadOnlyFile::Open((dir.Path() / "data").string());
  ASSERT_TRUE(file.Valid());
  EXPECT_EQ(file.Size(), 10);
  char buffer[4] = {};
  EXPECT_TRUE(file.ReadAt(6, buffer, 4));
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_FALSE(file.ReadAt(7, buffer, 4));
  EXPECT_EQ(GetLastError(), 38u);
  EXPECT_FALSE(file.ReadAt(~std::uint64_t(0), buffer, 1));

  TFileMapping mapping = TFileMapping::Create(file);
  ASSERT_TRUE(mapping.Valid());
  TMappedView view = TMappedView::Map(mapping);
  ASSERT_TRUE(view.Valid());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.Data()), view.Size()), "0123456789");
  TMappedView moved = std::move(view);
  EXPECT_FALSE(view.Valid());
  EXPECT_TRUE(moved.Valid());

  EXPECT_FALSE(TReadOnlyFile::Open((dir.Path() / "missing").string()).Valid());
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(FileErrorText(2), "The system cannot find the file specified.");
  EXPECT_FALSE(TReadOnlyFile::Open((dir.Path() / "missing" / "deeper").string()).Valid());
  EXPECT_FALSE(TReadOnlyFile::Open(dir.Text()).Valid());  // a directory is no file
  EXPECT_EQ(GetLastError(), 5u);
  EXPECT_FALSE(FileExists(dir.Text()));
  EXPECT_TRUE(FileExists((dir.Path() / "data").string()));

  WriteBytes(dir.Path() / "empty", "");
  TReadOnlyFile empty = TReadOnlyFile::Open((dir.Path() / "empty").string());
  ASSERT_TRUE(empty.Valid());
  EXPECT_FALSE(TFileMapping::Create(empty).Valid());
  EXPECT_EQ(GetLastError(), 1006u);
  EXPECT_FALSE(TMappedView::Map(TFileMapping()).Valid());
  EXPECT_EQ(FileErrorText(123456), "");
}

TEST(ReadOnlyFile, ExecutablePathIsThisProgram) {
  const std::string path = GetExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.ends_with("/platform_tests")) << path;
  EXPECT_TRUE(FileExists(path));
}

TEST(Utf8, RoundTripsEveryPlaneAndRejectsMalformedBytes) {
  const std::u16string text = u"a\u00E4\u4E2D\U0001F600\uFFFF";
  std::u16string back;
  ASSERT_TRUE(Utf8ToWide(WideToUtf8(text), back));
  EXPECT_EQ(back, text);
  EXPECT_EQ(WideToUtf8(u"\u4E2D"), "\xE4\xB8\xAD");
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");  // lone surrogate
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");

  for (const char* bad : {"\xFF", "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xF8\x88\x80\x80\x80", "\xE4\xB8", "ok\x80", "\xE4\x41\xAD"}) {
    back = u"junk";
    EXPECT_FALSE(Utf8ToWide(bad, back)) << bad;
    EXPECT_TRUE(back.empty());
  }
  ASSERT_TRUE(Utf8ToWide(std::string("a\0b", 3), back));
  EXPECT_EQ(back, std::u16string(u"a\0b", 3));
  ASSERT_TRUE(Utf8ToWide("\xF4\x8F\xBF\xBF", back));  // U+10FFFF, the last one
  EXPECT_EQ(back, u"\U0010FFFF");
}
