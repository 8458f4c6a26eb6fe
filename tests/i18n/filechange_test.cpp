// A catalogue whose file changes on disk while it is in use, and one too large to read: the
// lookups answer from what was read and checked at opening, never from the changed file.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "i18n/translator.h"
#include "runtime/exception.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;

namespace {
constexpr int kEntries = 200;

TEntries Numbered() {
  TEntries entries;
  for (int i = 0; i < kEntries; ++i)
    entries.emplace_back("Text " + std::to_string(i), "Übersetzung " + std::to_string(i));
  return entries;
}

// Every offset of the source table made to point 3 GB away, written over the file in place.
void CorruptOffsetsInPlace(const fs::path& path) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(file);
  const std::uint32_t sourceTable = 28;  // where msgfmt puts it
  for (int i = 0; i < kEntries; ++i) {
    std::string word(4, '\0');
    PutLittle32(word, 0, 0xC0000000u);
    file.seekp(sourceTable + 8 * i + 4);
    file.write(word.data(), 4);
  }
}

class ChangedOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = MakeCatalogue(path_, Numbered(), true);
    translator_ = std::make_unique<i18n::TTranslator>((dir_.Path() / "comrelay").string(), nullptr);
  }
  // Every entry and a miss, through the same domain.
  int Wrong() {
    int wrong = 0;
    for (int i = 0; i < kEntries; ++i) {
      const std::string n = std::to_string(i);
      if (translator_->Domain("default").Lookup("Text " + n) != "Übersetzung " + n) ++wrong;
    }
    if (translator_->Domain("default").Lookup("Text") != "Text") ++wrong;
    return wrong;
  }

  TScopedLanguage lang_{"de"};
  TTempDir dir_;
  fs::path path_ = CataloguePath(dir_.Path() / "locale", "de", "default");
  std::string original_;
  std::unique_ptr<i18n::TTranslator> translator_;
};
}  // namespace

TEST_F(ChangedOnDisk, RewrittenAtTheSameSizeWithOffsetsFarAway) {
  ASSERT_EQ(Wrong(), 0);
  CorruptOffsetsInPlace(path_);
  ASSERT_EQ(fs::file_size(path_), original_.size());
  EXPECT_EQ(Wrong(), 0);
  // Opened again, the changed file is checked and refused.
  translator_->SelectLanguage("de");
  EXPECT_EQ(MessageOf([&] { Wrong(); }), "This file is not a valid GNU gettext mo file: " + path_.string());
}

TEST_F(ChangedOnDisk, TruncatedInPlace) {
  ASSERT_EQ(Wrong(), 0);
  fs::resize_file(path_, 40);
  EXPECT_EQ(Wrong(), 0);
  fs::resize_file(path_, 0);
  EXPECT_EQ(Wrong(), 0);
  translator_->SelectLanguage("de");
  EXPECT_EQ(MessageOf([&] { Wrong(); }), "Cannot create memory map on file " + path_.string());
  WriteBytes(path_, original_);  // and a good file is taken up again
  EXPECT_EQ(Wrong(), 0);
}

// The file keeps changing while other threads look texts up and the catalogue is opened again
// and again: each opening meets whatever the file holds at that moment.
TEST_F(ChangedOnDisk, ChangingWhileLookupsAndReopeningsRun) {
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; !stop; ++round) {
        const std::string n = std::to_string((round * 7 + t) % kEntries);
        try {
          const std::string answer = translator_->Domain("default").Lookup("Text " + n);
          if (answer != "Übersetzung " + n && answer != "Text " + n) ++bad;
        } catch (const Exception&) {
          // a refused or unreadable file, reported; the next lookup tries again
        }
        if (round % 16 == 0) translator_->SelectLanguage("de");
      }
    });
  }
  for (int i = 0; i < 60; ++i) {
    WriteBytes(path_, original_);
    CorruptOffsetsInPlace(path_);
    fs::resize_file(path_, std::uintmax_t(i * 37 % original_.size()));
    std::fstream(path_, std::ios::in | std::ios::out | std::ios::binary).write(original_.data(), 28);
  }
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST_F(ChangedOnDisk, CatalogueTooLargeIsRefusedWithTheReason) {
  // Sparse: a valid start, then nothing but a hole up to past the limit.
  fs::resize_file(path_, i18n::kCatalogueSizeLimit + 1);
  EXPECT_EQ(MessageOf([&] { Wrong(); }), "Cannot map file " + path_.string() +
                                             " into memory. Reason: The catalogue is larger than 64 MiB.");
  EXPECT_TRUE(translator_->Domain("default").MayOpen());
  fs::resize_file(path_, original_.size());
  EXPECT_EQ(Wrong(), 0);
}
