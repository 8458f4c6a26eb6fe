// Lookups against the C library's dgettext on catalogues made by msgfmt: every entry of a
// generated catalogue (plain texts, plural forms, contexts, long texts) and texts it lacks, in
// UTF-8 and in the other character sets that catalogues are commonly written in.
#include <gtest/gtest.h>
#include <libintl.h>

#include <atomic>
#include <clocale>

#include "i18n/translator.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;

namespace {
constexpr char kContextSeparator = '\x04';  // how msgfmt joins a context to its text

// dgettext on catalogues below `root` in the language "de", through the C.UTF-8 locale (the
// one this machine is sure to have) and LANGUAGE; the answers come in UTF-8.
class TPeer {
 public:
  explicit TPeer(fs::path root) : root_(std::move(root)) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    saved_ = current != nullptr ? current : "C";
    utf8_ = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
  }
  ~TPeer() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool Ready() const { return utf8_; }

  std::string Translate(const std::string& domain, const std::string& key) const {
    bindtextdomain(domain.c_str(), root_.c_str());
    return dgettext(domain.c_str(), key.c_str());
  }

 private:
  fs::path root_;
  TScopedLanguage lang_{"C.UTF-8"};
  TScopedEnv language_{"LANGUAGE", "de"};
  std::string saved_;
  bool utf8_ = false;
};

// A domain name of its own per catalogue: the C library keeps what it has loaded.
std::string FreshDomain(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

struct TQuery {
  std::string Key;
  std::optional<std::string> Expected;  // the answer, or nothing for a text the catalogue lacks
};

// Compares our lookups with the peer's on every query, and checks that the peer did translate
// (so that agreement cannot come from two sides that both translate nothing).
void Compare(const fs::path& root, const std::string& domain, const std::vector<TQuery>& queries) {
  TPeer peer(root);
  ASSERT_TRUE(peer.Ready());
  i18n::TTranslator translator((root.parent_path() / "comrelay").string(), nullptr);
  translator.BindDomainDirectory(domain, root.string());
  translator.SelectLanguage("de");
  i18n::TDomain& ours = translator.Domain(domain);

  int translated = 0;
  int expectedTranslated = 0;
  for (const TQuery& query : queries) {
    SCOPED_TRACE(query.Key.substr(0, 60));
    const std::string theirs = peer.Translate(domain, query.Key);
    EXPECT_EQ(ours.Lookup(query.Key), theirs);
    EXPECT_EQ(theirs, query.Expected.value_or(query.Key));
    if (query.Expected) ++expectedTranslated;
    if (theirs != query.Key) ++translated;
  }
  ASSERT_TRUE(ours.IsOpen());
  EXPECT_GT(expectedTranslated, 0);
  EXPECT_EQ(translated, expectedTranslated);
}

std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}
}  // namespace

TEST(AgainstDgettext, EveryEntryOfAGeneratedCatalogueAndTheTextsItLacks) {
  TTempDir dir;
  const fs::path root = dir.Path() / "locale";
  const std::string domain = FreshDomain("generated");
  std::vector<TPoEntry> entries;
  std::vector<TQuery> queries;
  for (int i = 0; i < 620; ++i) {
    const std::string n = std::to_string(i);
    std::string id = "Message " + n + " of the relay";
    std::string str = "Meldung " + n + " der Weiterleitung";
    if (i % 50 == 7) {  // long texts, past any buffer of a few kilobytes
      id += Repeated(" and a long tail " + n, 300);
      str += Repeated(" und ein langes Ende " + n, 300);
    }
    if (i % 10 == 3) {
      id += "\nsecond line";
      str += "\nzweite Zeile";
    }
    if (i % 10 == 4) {
      id = "Grüße " + n + " – 端口";
      str = "Größe " + n + " – 串口";
    }
    entries.push_back({std::nullopt, id, std::nullopt, {str}});
    queries.push_back({id, str});
    if (i % 20 == 0) {
      queries.push_back({id + "!", std::nullopt});
      queries.push_back({id.substr(0, id.size() - 1), std::nullopt});
    }
  }
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    const std::string one = "%d port of group " + n;
    const std::string many = "%d ports of group " + n;
    entries.push_back(
        {std::nullopt, one, many, {"%d Anschluss der Gruppe " + n, "%d Anschlüsse der Gruppe " + n}});
    queries.push_back({one, "%d Anschluss der Gruppe " + n});
    queries.push_back({many, std::nullopt});  // the plural is no key of its own
  }
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    const std::string context = "menu " + n;
    const std::string id = "Open in context " + n;
    entries.push_back({context, id, std::nullopt, {"Öffnen im Kontext " + n}});
    queries.push_back({context + kContextSeparator + id, "Öffnen im Kontext " + n});
    queries.push_back({id, std::nullopt});
  }
  queries.push_back({"Not in the catalogue at all", std::nullopt});
  queries.push_back({"\xFF", std::nullopt});
  MakePoCatalogue(CataloguePath(root, "de", domain), entries);
  ASSERT_EQ(entries.size(), 700u);
  ASSERT_GT(queries.size(), 800u);
  Compare(root, domain, queries);
}

// Translations in each set, with ASCII sources: the peer converts to the locale's UTF-8 as it
// answers, we convert once when the catalogue is opened.
TEST(AgainstDgettext, CataloguesInOtherCharacterSets) {
  const std::vector<std::pair<std::string, std::string>> sets = {
      {"GBK", "串口已关闭，端口号"},
      {"GB18030", "端口€😀𠀀号"},
      {"BIG5", "連接埠已關閉，編號"},
      {"ISO-8859-1", "Fenêtre fermée, numéro"},
      {"ISO-8859-2", "Zażółć gęślą jaźń, port"},
      {"ISO-8859-7", "Η θύρα έκλεισε, αριθμός"},
  };
  for (const auto& [charset, word] : sets) {
    SCOPED_TRACE(charset);
    TTempDir dir;
    const fs::path root = dir.Path() / "locale";
    const std::string domain = FreshDomain("charset");
    std::vector<TPoEntry> entries;
    std::vector<TQuery> queries;
    for (int i = 0; i < 60; ++i) {
      const std::string n = std::to_string(i);
      entries.push_back({std::nullopt, "Port " + n + " closed", std::nullopt, {word + " " + n}});
      queries.push_back({"Port " + n + " closed", word + " " + n});
      queries.push_back({"Port " + n + " open", std::nullopt});
    }
    for (int i = 0; i < 8; ++i) {
      const std::string n = std::to_string(i);
      entries.push_back(
          {std::nullopt, "%d byte " + n, "%d bytes " + n, {word + " 1/" + n, word + " 2/" + n}});
      queries.push_back({"%d byte " + n, word + " 1/" + n});
      entries.push_back({"ctx" + n, "Close", std::nullopt, {word + " ctx" + n}});
      queries.push_back({"ctx" + n + kContextSeparator + "Close", word + " ctx" + n});
    }
    queries.push_back({"Close", std::nullopt});
    MakePoCatalogue(CataloguePath(root, "de", domain), entries, charset);
    Compare(root, domain, queries);
  }
}
