// The unit's start-up and shut-down and the resource strings that pass through it: the loader
// slot, the resource domains in their order, and the socket messages from a "default" catalogue.
#include <gtest/gtest.h>

#include <thread>

#include "i18n/resourcetext.h"
#include "i18n/translation.h"
#include "platform/text/codepage.h"
#include "runtime/exception.h"
#include "runtime/resources.h"
#include "socket/socketerror.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;

namespace {
ResourceStringRecord Record(UINT id) { return {&HInstance, std::intptr_t(id)}; }
ResourceStringRecord TextRecord(const char* text) {
  return {&HInstance, reinterpret_cast<std::intptr_t>(text)};
}

std::string Load(UINT id) {
  const ResourceStringRecord record = Record(id);
  return LoadResourceString(&record);
}

// The unit started with catalogues below a temporary folder instead of beside the test program.
class TranslationUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeTranslationUnit();
    GlobalTranslator()->BindDomainDirectory("default", Root().string());
  }
  void TearDown() override { FinalizeTranslationUnit(); }

  fs::path Root() const { return dir_.Path() / "locale"; }
  void UseSerialKitDomain() {
    RegisterResourceDomain("serialkit");
    GlobalTranslator()->BindDomainDirectory("serialkit", Root().string());
  }

  TScopedLanguage lang_{"de_DE.UTF-8"};
  TTempDir dir_;
};
}  // namespace

TEST(TranslationUnitLifecycle, LoaderIsRestoredAfterShutDown) {
  TScopedLanguage lang("de_DE.UTF-8");
  const std::string before = Load(SNoAddress);
  EXPECT_EQ(before, "No address specified");
  EXPECT_EQ(GlobalTranslator(), nullptr);
  EXPECT_EQ(TranslateResourceText(u"a\nb"), u"a\nb");
  EXPECT_EQ(DefaultTranslate(u"a\nb"), u"a\nb");
  EXPECT_THROW(RegisterResourceDomain("serialkit"), Exception);

  InitializeTranslationUnit();
  EXPECT_THROW(InitializeTranslationUnit(), Exception);
  EXPECT_TRUE(PlatformIsNT());
  EXPECT_FALSE(ExecutablePath().empty());
  EXPECT_EQ(GlobalTranslator()->Language(), "de_DE");
  EXPECT_EQ(GlobalTranslator()->LocaleDirectory(),
            ExecutablePath().substr(0, ExecutablePath().rfind('/') + 1) + "locale");
  EXPECT_EQ(ResourceDomains(), std::vector<std::string>{"default"});
  EXPECT_EQ(CatalogueIndex()->Count(), 0u);
  // The slot now holds the translating loader.
  const TResourceLoader current = ExchangeResourceLoader(&DefaultLoadResourceString);
  EXPECT_EQ(current, &LoadTranslatedResourceString);
  ExchangeResourceLoader(current);
  const ResourceStringRecord bare = TextRecord("one\ntwo");
  EXPECT_EQ(LoadResourceString(&bare), "one\r\ntwo");

  FinalizeTranslationUnit();
  EXPECT_EQ(GlobalTranslator(), nullptr);
  EXPECT_EQ(CatalogueIndex(), nullptr);
  EXPECT_EQ(ExecutablePath(), "");
  EXPECT_EQ(Load(SNoAddress), before);
  EXPECT_EQ(LoadResourceString(&bare), "one\ntwo");
  const TResourceLoader after = ExchangeResourceLoader(&DefaultLoadResourceString);
  EXPECT_EQ(after, &DefaultLoadResourceString);
  FinalizeTranslationUnit();  // a second shut-down changes nothing
  EXPECT_EQ(Load(SNoAddress), before);
}

TEST_F(TranslationUnit, SocketMessagesComeBackTranslated) {
  MakeCatalogue(
      CataloguePath(Root(), "de", "default"),
      {{"Windows socket error: %s (%d), on API '%s'", "Windows-Socket-Fehler: %s (%d), bei API '%s'"},
       {"Asynchronous socket error %d", "Asynchroner Socket-Fehler %d"},
       {"No address specified", "Keine Adresse angegeben"},
       {"Can't create new socket", "Kann keinen neuen Socket anlegen"},
       {"Socket already open", "套接字已打开"},
       {"Can't change value while socket is active", "Wert nicht änderbar, solange der Socket aktiv ist"}},
      true);
  EXPECT_EQ(Load(SWindowsSocketError), "Windows-Socket-Fehler: %s (%d), bei API '%s'");
  EXPECT_EQ(Load(SASyncSocketError), "Asynchroner Socket-Fehler %d");
  EXPECT_EQ(Load(SNoAddress), "Keine Adresse angegeben");
  EXPECT_EQ(Load(SCannotCreateSocket), "Kann keinen neuen Socket anlegen");
  EXPECT_EQ(Load(SSocketAlreadyOpen), Ansi("套接字已打开"));
  EXPECT_EQ(Load(SCantChangeWhileActive), Ansi("Wert nicht änderbar, solange der Socket aktiv ist"));
  EXPECT_EQ(LoadResourceTextWide(nullptr), u"");
  // A missing entry is the empty text, and the catalogue answers that with its header.
  const ResourceStringRecord missing = Record(12345);
  EXPECT_EQ(LoadResourceString(&missing).substr(0, 36), "Project-Id-Version: comrelay tests\r\n");
  const ResourceStringRecord byAddress = TextRecord("No address specified");
  EXPECT_EQ(LoadResourceTextWide(&byAddress), u"Keine Adresse angegeben");
}

TEST_F(TranslationUnit, DefaultWinsOverSerialKitAndEachFillsItsOwnGaps) {
  UseSerialKitDomain();
  EXPECT_EQ(ResourceDomains(), (std::vector<std::string>{"default", "serialkit"}));
  MakeCatalogue(CataloguePath(Root(), "de", "default"), {{"No address specified", "aus default"}});
  MakeCatalogue(CataloguePath(Root(), "de", "serialkit"),
                {{"No address specified", "aus serialkit"}, {"Socket already open", "nur serialkit"}});
  EXPECT_EQ(Load(SNoAddress), "aus default");
  EXPECT_EQ(Load(SSocketAlreadyOpen), "nur serialkit");
  EXPECT_EQ(Load(SCannotCreateSocket), "Can't create new socket");
}

TEST_F(TranslationUnit, DuplicateRegistrationIsSearchedTwice) {
  RegisterResourceDomain("extra");
  RegisterResourceDomain("extra");
  EXPECT_EQ(ResourceDomains(), (std::vector<std::string>{"default", "extra", "extra"}));
  // The domain's catalogue is corrupt: each walk meets it in both places, once raising and once
  // (already rejected) answering with the text.
  const fs::path path = CataloguePath(Root(), "de", "extra");
  GlobalTranslator()->BindDomainDirectory("extra", Root().string());
  WriteBytes(path, "not a catalogue at all");
  EXPECT_THROW(Load(SNoAddress), Exception);
  EXPECT_EQ(Load(SNoAddress), "No address specified");
}

TEST_F(TranslationUnit, WithoutCataloguesOnlyLineEndsChange) {
  UseSerialKitDomain();
  EXPECT_EQ(Load(SNoAddress), "No address specified");
  EXPECT_EQ(TranslateResourceText(u"plain"), u"plain");
  EXPECT_EQ(TranslateResourceText(u"bare\nfeed"), u"bare\r\nfeed");
  EXPECT_EQ(TranslateResourceText(u"bare\rreturn"), u"barereturn");
  EXPECT_EQ(TranslateResourceText(u"pair\r\nkept"), u"pair\r\nkept");
  const ResourceStringRecord text = TextRecord("\xD6\xD0\n");  // GB18030 for U+4E2D, then a line feed
  EXPECT_EQ(LoadResourceString(&text), "\xD6\xD0\r\n");
}

TEST_F(TranslationUnit, CatalogueFailuresReachTheCodeThatAskedForTheString) {
  const fs::path path = CataloguePath(Root(), "de_DE", "default");
  WriteBytes(path, std::string(64, '\x01'));
  try {
    Load(SNoAddress);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "This file is not a valid GNU gettext mo file: " + path.string());
  }
  EXPECT_EQ(Load(SNoAddress), "No address specified");
  // The walk's lock was released on the way out: registering does not wait for ever.
  RegisterResourceDomain("after");
  EXPECT_EQ(ResourceDomains().back(), "after");
}

TEST_F(TranslationUnit, ResourceStringsLoadFromManyThreadsWhileADomainIsRegistered) {
  MakeCatalogue(CataloguePath(Root(), "de", "default"), {{"No address specified", "Keine Adresse"}});
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 400; ++i) {
        if (Load(SNoAddress) != "Keine Adresse") ++wrong;
        if (Load(SSocketAlreadyOpen) != "Socket already open") ++wrong;
      }
    });
  }
  for (int i = 0; i < 20; ++i) RegisterResourceDomain("late" + std::to_string(i));
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(ResourceDomains().size(), 21u);
}

TEST(StringTable, EntriesOfAnyLengthAreReadWhole) {
  static const std::u16string longText = [] {
    std::u16string text;
    for (int i = 0; i < 3000; ++i) text.push_back(char16_t(u'a' + i % 26));
    return text;
  }();
  static int calls = 0;
  calls = 0;
  // Copies as the platform's LoadStringW does: at most length - 1 characters and a zero.
  auto fake = [](HMODULE, UINT id, char16_t* buffer, int length) -> int {
    ++calls;
    const std::u16string& text = id == 1 ? longText : std::u16string(u"short");
    const int n = std::min<int>(int(text.size()), length - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return id == 2 ? 0 : n;
  };
  EXPECT_EQ(ReadStringTableEntryW(HInstance, 1, fake), longText);
  EXPECT_EQ(calls, 3);  // 1024, 2048, 4096
  EXPECT_EQ(ReadStringTableEntryW(HInstance, 3, fake), u"short");
  EXPECT_EQ(ReadStringTableEntryW(HInstance, 2, fake), u"");
  EXPECT_EQ(ReadStringTableEntryW(HInstance, SNoAddress), u"No address specified");
  EXPECT_EQ(ReadStringTableEntryW(HInstance, 4), u"");
}

// Texts translated, resource strings loaded and domains registered on other threads while the
// unit is started and shut down again and again: each answer is the translation or the text as
// it went in, and nothing is used after it went (run under ThreadSanitizer and AddressSanitizer).
TEST(TranslationUnitLifecycle, ShutDownWhileOtherThreadsTranslate) {
  TScopedLanguage lang("de_DE.UTF-8");
  TTempDir dir;
  const fs::path root = dir.Path() / "locale";
  MakeCatalogue(CataloguePath(root, "de", "default"),
                {{"No address specified", "Keine Adresse"}, {"Port", "Anschluss"}});
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::atomic<int> translated{0};
  auto either = [&](const auto& answer, const auto& original, const auto& translation) {
    if (answer == translation) {
      ++translated;
    } else if (answer != original) {
      ++wrong;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      while (!stop) {
        either(Load(SNoAddress), std::string("No address specified"), std::string("Keine Adresse"));
        either(DefaultTranslate(u"Port"), std::u16string(u"Port"), std::u16string(u"Anschluss"));
        either(TranslateResourceText(u"Port"), std::u16string(u"Port"), std::u16string(u"Anschluss"));
        either(DefaultTranslateInDomain("other" + std::to_string(t), u"Port"), std::u16string(u"Port"),
               std::u16string(u"Port"));
        try {
          RegisterResourceDomain("late");
        } catch (const Exception&) {
          // not started at this moment
        }
        (void)ResourceDomains();
      }
    });
  }
  for (int cycle = 0; cycle < 40; ++cycle) {
    InitializeTranslationUnit();
    GlobalTranslator()->BindDomainDirectory("default", root.string());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    FinalizeTranslationUnit();
  }
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(translated.load(), 0);
  EXPECT_EQ(GlobalTranslator(), nullptr);
  EXPECT_EQ(Load(SNoAddress), "No address specified");
}
