// The translator and its domains on catalogues made by msgfmt in temporary folders: the choice
// of language, where catalogues are looked for, line ends, failures and concurrent use.
#include "i18n/translator.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/locale/localeinfo.h"
#include "platform/text/codepage.h"
#include "runtime/exception.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;
using i18n::TTranslator;

namespace {
// A translator whose executable "lives" in `dir`, so its catalogues are below dir/locale.
std::unique_ptr<TTranslator> TranslatorIn(const TTempDir& dir,
                                          const i18n::TEmbeddedCatalogueIndex* index = nullptr) {
  return std::make_unique<TTranslator>((dir.Path() / "comrelay").string(), index);
}

fs::path LocaleRoot(const TTempDir& dir) { return dir.Path() / "locale"; }
}  // namespace

TEST(Language, ComesFromLangCutAtTheFirstDot) {
  TTempDir dir;
  {
    TScopedLanguage lang("de_DE.UTF-8");
    EXPECT_EQ(TranslatorIn(dir)->Language(), "de_DE");
  }
  {
    TScopedLanguage lang("pt_BR.ISO-8859-1.x");
    EXPECT_EQ(TranslatorIn(dir)->Language(), "pt_BR");
  }
  {
    TScopedLanguage lang("sv_SE");
    auto translator = TranslatorIn(dir);
    EXPECT_EQ(translator->Language(), "sv_SE");
    // A code given explicitly is used as it is.
    translator->SelectLanguage("fr_FR.UTF-8");
    EXPECT_EQ(translator->Language(), "fr_FR.UTF-8");
  }
}

TEST(Language, WithoutLangComesFromTheLocaleNames) {
  TTempDir dir;
  TScopedLanguage lang(std::nullopt);
  {
    TScopedEnv all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(i18n::DetectSystemLanguage(), "de_DE");
    EXPECT_EQ(TranslatorIn(dir)->Language(), "de_DE");
    TScopedEnv messages("LC_MESSAGES", "fr_CA");  // LC_ALL still wins
    EXPECT_EQ(i18n::DetectSystemLanguage(), "de_DE");
  }
  {
    TScopedEnv messages("LC_MESSAGES", "fr_CA@euro");
    EXPECT_EQ(i18n::DetectSystemLanguage(), "fr_CA");
  }
  {
    TScopedEnv empty("LANG", "");  // empty counts as unset
    TScopedEnv messages("LC_MESSAGES", "nl_BE.UTF-8");
    EXPECT_EQ(TranslatorIn(dir)->Language(), "nl_BE");
  }
}

TEST(Language, FallsBackToTheLocaleIdentifierTable) {
  TScopedLanguage lang(std::nullopt);
  {
    TScopedEnv all("LC_ALL", "el");  // no country: the identifier of Greek
    EXPECT_EQ(GetThreadLocale(), 1032u);
    EXPECT_EQ(i18n::DetectSystemLanguage(), "gr_GR");
  }
  {
    TScopedEnv all("LC_ALL", "ast_ES.UTF-8");  // three letters: not a two-letter name
    EXPECT_EQ(i18n::DetectSystemLanguage(), "C");
  }
  for (const char* neutral : {"C", "POSIX", "C.UTF-8"}) {
    TScopedEnv all("LC_ALL", neutral);
    EXPECT_EQ(i18n::DetectSystemLanguage(), "C") << neutral;
  }
  EXPECT_EQ(i18n::DetectSystemLanguage(), "C");  // nothing set at all

  const std::pair<LCID, const char*> table[] = {
      {1030, "da_DK"}, {1031, "de_DE"}, {1032, "gr_GR"}, {1033, "en_US"}, {1034, "es_ES"},
      {1035, "fi_FI"}, {1036, "fr_FR"}, {1039, "is_IS"}, {1040, "it_IT"}, {1042, "ko_KO"},
      {1043, "nl_NL"}, {1044, "no_NO"}, {1045, "pl_PL"}, {1046, "pt_BR"}, {1049, "ru_RU"},
      {1053, "sv_SE"}, {2057, "en_UK"}, {2060, "fr_BE"}, {2067, "nl_BE"}, {2068, "nn_NO"},
      {2070, "pt_PT"}, {2077, "fi_SE"}, {3082, "es_ES"}, {3084, "fr_CA"}, {4103, "de_LU"}};
  for (const auto& [id, name] : table) EXPECT_EQ(i18n::LanguageOfLocaleId(id), name) << id;
  for (LCID other : {0u, 0x7Fu, 1041u, 1055u, 2052u, 0xFFFFFFFFu})
    EXPECT_EQ(i18n::LanguageOfLocaleId(other), "C");
}

TEST(Language, LocaleInfoNeedsRoomForTheZero) {
  TScopedLanguage lang(std::nullopt);
  TScopedEnv all("LC_ALL", "de_AT.UTF-8");
  char buffer[5];
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, buffer, 5), 3);
  EXPECT_STREQ(buffer, "de");
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, buffer, 5), 3);
  EXPECT_STREQ(buffer, "AT");
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, buffer, 2), 0);
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, 0x1234, buffer, 5), 0);
}

TEST(Catalogues, TwoLetterFallbackAndTheFullNameFirst) {
  TTempDir dir;
  TScopedLanguage lang("de_DE.UTF-8");
  MakeCatalogue(CataloguePath(LocaleRoot(dir), "de", "default"), {{"Open", "Offen"}, {"Close", "Zu"}});
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(translator->TranslateText(u"Open"), u"Offen");
  EXPECT_EQ(translator->TranslateText(u"Missing"), u"Missing");

  MakeCatalogue(CataloguePath(LocaleRoot(dir), "de_DE", "default"), {{"Open", "Geöffnet"}});
  // The open catalogue stays until the language changes; then the full name wins.
  EXPECT_EQ(translator->TranslateText(u"Open"), u"Offen");
  translator->SelectLanguage("de_DE");
  EXPECT_EQ(translator->TranslateText(u"Open"), u"Geöffnet");
  EXPECT_EQ(translator->TranslateText(u"Close"), u"Close");
}

TEST(Catalogues, DomainWithoutCatalogueStopsLookingUntilItsLanguageChanges) {
  TTempDir dir;
  TScopedLanguage lang("fr_FR");
  auto translator = TranslatorIn(dir);
  i18n::TDomain& domain = translator->Domain("default");
  EXPECT_EQ(translator->TranslateText(u"Yes"), u"Yes");
  EXPECT_FALSE(domain.IsOpen());
  EXPECT_FALSE(domain.MayOpen());

  MakeCatalogue(CataloguePath(LocaleRoot(dir), "fr", "default"), {{"Yes", "Oui"}});
  EXPECT_EQ(translator->TranslateText(u"Yes"), u"Yes");  // not looked for again
  translator->SelectLanguage("fr_FR");
  EXPECT_TRUE(domain.MayOpen());
  EXPECT_EQ(translator->TranslateText(u"Yes"), u"Oui");
  EXPECT_TRUE(domain.IsOpen());
}

TEST(Catalogues, DomainNamesIgnoreLetterCaseAndGetTheirOwnCatalogue) {
  TTempDir dir;
  TScopedLanguage lang("it_IT");
  MakeCatalogue(CataloguePath(LocaleRoot(dir), "it", "default"), {{"Cancel", "Annulla"}});
  TTempDir other;
  // The catalogue's file is named after the domain as first given: file names keep their case.
  MakeCatalogue(CataloguePath(other.Path(), "it", "SerialKit"), {{"Cancel", "Annullare"}});
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(translator->DomainCount(), 1u);
  EXPECT_EQ(translator->TranslateInDomain("Default", u"Cancel"), u"Annulla");
  EXPECT_EQ(translator->TranslateInDomain("DEFAULT", u"Cancel"), u"Annulla");
  EXPECT_EQ(translator->DomainCount(), 1u);

  translator->BindDomainDirectory("SerialKit", other.Text());
  EXPECT_EQ(translator->Domain("serialkit").Name(), "SerialKit");
  EXPECT_EQ(translator->Domain("serialkit").Directory(), other.Text() + "/");
  EXPECT_EQ(translator->TranslateInDomain("serialkit", u"Cancel"), u"Annullare");
  translator->SelectDomain("serialkit");
  EXPECT_EQ(translator->TranslateText(u"Cancel"), u"Annullare");
  EXPECT_EQ(translator->DomainCount(), 2u);
}

TEST(LineEnds, KeysLoseCarriageReturnsAndAnswersGetThem) {
  TTempDir dir;
  TScopedLanguage lang("de");
  MakeCatalogue(CataloguePath(LocaleRoot(dir), "de", "default"),
                {{"a\nb", "x\ny\r\nz"}, {"\nlead\n", "\nvorn\r\n"}, {"one", "eins"}}, true);
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(translator->TranslateText(u"a\r\nb"), u"x\r\ny\r\nz");
  EXPECT_EQ(translator->TranslateText(u"a\nb"), u"x\r\ny\r\nz");
  EXPECT_EQ(translator->TranslateText(u"a\r\r\nb"), u"x\r\ny\r\nz");
  EXPECT_EQ(translator->TranslateText(u"\r\nlead\n"), u"\r\nvorn\r\n");
  EXPECT_EQ(translator->TranslateText(u"o\rne"), u"eins");
  // Untranslated texts are normalised too.
  EXPECT_EQ(translator->TranslateText(u"p\nq\rr\r\n"), u"p\r\nqr\r\n");
  EXPECT_EQ(translator->TranslateText(u"\n"), u"\r\n");
  // The header entry lives under the empty text.
  const std::u16string header = translator->TranslateText(u"");
  EXPECT_EQ(header.substr(0, 36), u"Project-Id-Version: comrelay tests\r\n");
}

TEST(LineEnds, TextOfOnlyCarriageReturnsFailsWithoutACatalogue) {
  TTempDir dir;
  TScopedLanguage lang("ja_JP");
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(translator->TranslateText(u""), u"");
  EXPECT_EQ(MessageOf([&] { translator->TranslateText(u"\r\r"); }),
            "Error: Could not translate \r\r. Probably because the mo file doesn't contain utf-8 encoded "
            "translations.");
  EXPECT_EQ(translator->TranslateText(u"\u4E2D\r"), u"\u4E2D");
}

TEST(Failures, TranslationThatIsNotUtf8IsReported) {
  TTempDir dir;
  TScopedLanguage lang("de");
  const fs::path path = CataloguePath(LocaleRoot(dir), "de", "default");
  std::string mo = MakeCatalogue(path, {{"bad", "zz"}, {"good", "gut"}});
  mo[mo.find("zz")] = '\xFF';
  WriteBytes(path, mo);
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(translator->TranslateText(u"good"), u"gut");
  EXPECT_EQ(MessageOf([&] { translator->TranslateText(u"bad"); }),
            "Error: Could not translate bad. Probably because the mo file doesn't contain utf-8 encoded "
            "translations.");
}

TEST(Failures, NotACatalogueIsReportedOnceAndNeverSearched) {
  TTempDir dir;
  TScopedLanguage lang("de_CH");
  const fs::path path = CataloguePath(LocaleRoot(dir), "de_CH", "default");
  std::string mo = MakeCatalogue(path, {{"Hello", "Grüezi"}});
  PutLittle32(mo, 0, 0x950412DF);
  WriteBytes(path, mo);
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(MessageOf([&] { translator->TranslateText(u"Hello"); }),
            "This file is not a valid GNU gettext mo file: " + path.string());
  i18n::TDomain& domain = translator->Domain("default");
  EXPECT_FALSE(domain.IsOpen());
  EXPECT_FALSE(domain.MayOpen());
  EXPECT_EQ(translator->TranslateText(u"Hello"), u"Hello");
  // A change of language looks again, and meets the same file.
  translator->SelectLanguage("de_CH");
  EXPECT_NE(MessageOf([&] { translator->TranslateText(u"Hello"); }), "<no exception>");
}

TEST(Failures, CorruptCataloguesAreRejectedNotRead) {
  TTempDir dir;
  const std::string good = MakeCatalogue(dir.Path() / "good.mo", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, true);
  std::vector<std::pair<std::string, std::string>> cases;
  cases.emplace_back("truncated header", good.substr(0, 12));
  cases.emplace_back("strings past the end", good.substr(0, good.size() - 3));
  std::string tables = good;
  PutLittle32(tables, 12, std::uint32_t(good.size() - 8));
  cases.emplace_back("table past the end", tables);
  std::string huge = good;
  PutLittle32(huge, 8, 0xFFFFFFFFu);
  cases.emplace_back("huge count", huge);
  std::string swappedHuge = ByteSwapped(good);
  PutLittle32(swappedHuge, 8, 0x00FFFFFFu);
  cases.emplace_back("huge count, other byte order", swappedHuge);

  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    TTempDir app;
    TScopedLanguage lang("de");
    const fs::path path = CataloguePath(LocaleRoot(app), "de", "default");
    WriteBytes(path, bytes);
    auto translator = TranslatorIn(app);
    EXPECT_EQ(MessageOf([&] { translator->TranslateText(u"b"); }),
              "This file is not a valid GNU gettext mo file: " + path.string());
    EXPECT_EQ(translator->TranslateText(u"b"), u"b");
  }
}

TEST(Failures, FilesThatCannotBeOpenedOrMappedAreTriedAgain) {
  TTempDir dir;
  TScopedLanguage lang("de");
  const fs::path path = CataloguePath(LocaleRoot(dir), "de", "default");
  WriteBytes(path, "");
  auto translator = TranslatorIn(dir);
  EXPECT_EQ(MessageOf([&] { translator->TranslateText(u"x"); }),
            "Cannot create memory map on file " + path.string());
  EXPECT_TRUE(translator->Domain("default").MayOpen());
  MakeCatalogue(path, {{"x", "y"}});
  EXPECT_EQ(translator->TranslateText(u"x"), u"y");

  // A FIFO exists but is no file to map; it must not hang the lookup either.
  TTempDir fifoDir;
  const fs::path fifo = CataloguePath(LocaleRoot(fifoDir), "de", "default");
  fs::create_directories(fifo.parent_path());
  ASSERT_EQ(std::system(("mkfifo '" + fifo.string() + "'").c_str()), 0);
  auto fifoTranslator = TranslatorIn(fifoDir);
  EXPECT_EQ(MessageOf([&] { fifoTranslator->TranslateText(u"x"); }), "Cannot open file " + fifo.string());
  EXPECT_EQ(MessageOf([&] { fifoTranslator->TranslateText(u"x"); }), "Cannot open file " + fifo.string());
}

TEST(Embedded, CatalogueInsideTheExecutableIsFoundThroughTheIndex) {
  TTempDir dir;
  TScopedLanguage lang("es_ES.UTF-8");
  const std::string mo = MakeCatalogue(dir.Path() / "es.mo", {{"Port", "Puerto"}, {"Open", "Abrir"}});
  // A stand-in executable: some bytes, the catalogue, then the chain.
  std::string exe(333, '\x90');
  const std::uint64_t catalogueAt = exe.size();
  exe += mo;
  const std::uint64_t first = exe.size();
  std::string name = "  locale\\ES\\LC_MESSAGES\\Default.mo";
  name += '\0';
  AppendLittle64(exe, first + 24 + name.size());
  AppendLittle64(exe, catalogueAt);
  AppendLittle64(exe, mo.size());
  exe += name;
  exe += std::string(24, '\0');
  const fs::path exePath = dir.Path() / "comrelay";
  WriteBytes(exePath, exe);

  i18n::TEmbeddedCatalogueIndex index;
  index.ScanFile(exePath.string(), first);
  ASSERT_EQ(index.Count(), 1u);
  auto translator = TranslatorIn(dir, &index);
  EXPECT_EQ(translator->TranslateText(u"Port"), u"Puerto");
  EXPECT_EQ(translator->TranslateText(u"Close"), u"Close");
}

TEST(Concurrency, OneDomainPerNameAndSearchesSurviveLanguageChanges) {
  TTempDir dir;
  TScopedLanguage lang("de");
  TEntries entries;
  for (int i = 0; i < 50; ++i) entries.emplace_back("text" + std::to_string(i), "Text" + std::to_string(i));
  MakeCatalogue(CataloguePath(LocaleRoot(dir), "de", "default"), entries);
  // Whichever spelling creates the domain names its file.
  MakeCatalogue(CataloguePath(LocaleRoot(dir), "de", "shared"), {{"text1", "geteilt"}});
  MakeCatalogue(CataloguePath(LocaleRoot(dir), "de", "SHARED"), {{"text1", "geteilt"}});
  auto translator = TranslatorIn(dir);

  std::atomic<int> wrong{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // Every thread creates the same domain under a different spelling.
      if (translator->TranslateInDomain(t % 2 ? "SHARED" : "shared", u"text1") != u"geteilt") ++wrong;
      for (int round = 0; round < 300; ++round) {
        const int i = (round + t) % 50;
        const std::u16string text = u"text" + std::u16string(1, char16_t(u'0' + i % 10));
        const std::u16string answer = translator->TranslateText(i < 10 ? text : u"missing");
        if (i < 10 ? answer != u"Text" + std::u16string(1, char16_t(u'0' + i % 10)) : answer != u"missing")
          ++wrong;
      }
    });
  }
  std::thread changer([&] {
    while (!stop) translator->SelectLanguage("de");  // closes every catalogue each time
  });
  for (auto& thread : threads) thread.join();
  stop = true;
  changer.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(translator->DomainCount(), 2u);
}
