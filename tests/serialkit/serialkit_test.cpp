// The serial kit's start-up and shut-down against a started translation unit.
#include "serialkit/serialkit.h"

#include <gtest/gtest.h>

#include <set>

#include "i18n/translation.h"
#include "platform/text/codepage.h"
#include "runtime/exception.h"
#include "runtime/resources.h"
#include "socket/socketerror.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;

namespace {
class SerialKitUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeTranslationUnit();
    GlobalTranslator()->BindDomainDirectory("default", (dir_.Path() / "locale").string());
  }
  void TearDown() override {
    FinalizeSerialKitUnit();
    FinalizeTranslationUnit();
  }
  TScopedLanguage lang_{"fr_FR.UTF-8"};
  TTempDir dir_;
};
}  // namespace

TEST_F(SerialKitUnit, RegistersItsDomainAndTranslatesItsErrorTexts) {
  MakeCatalogue(CataloguePath(dir_.Path() / "locale", "fr", "default"),
                {{"Port is not open", "Le port n'est pas ouvert"}, {"Invalid parity", "Parité invalide"}});
  InitializeSerialKitUnit();
  EXPECT_TRUE(SerialKitStarted());
  EXPECT_EQ(ResourceDomains(), (std::vector<std::string>{"default", "serialkit"}));
  EXPECT_EQ(SerialKitErrorText(0), u"Le port n'est pas ouvert");
  EXPECT_EQ(SerialKitErrorText(18), u"Parité invalide");
  std::set<std::u16string> sources;
  for (int i = 0; i < kSerialKitErrorCount; ++i) {
    sources.insert(SerialKitErrorSource(i));
    EXPECT_FALSE(SerialKitErrorText(i).empty()) << i;
    if (i != 0 && i != 18) {
      EXPECT_EQ(SerialKitErrorText(i), SerialKitErrorSource(i)) << i;
    }
  }
  EXPECT_EQ(sources.size(), std::size_t(kSerialKitErrorCount));  // 23 distinct texts
  EXPECT_EQ(SerialKitErrorText(-1), u"");
  EXPECT_EQ(SerialKitErrorText(kSerialKitErrorCount), u"");
  ASSERT_NE(SerialKitFont(), nullptr);
  EXPECT_FALSE(SerialKitFont()->Name.empty());

  FinalizeSerialKitUnit();
  EXPECT_FALSE(SerialKitStarted());
  EXPECT_EQ(SerialKitFont(), nullptr);
  EXPECT_EQ(SerialKitErrorText(0), u"");
  FinalizeSerialKitUnit();  // nothing left to free
}

TEST_F(SerialKitUnit, ItsDomainTranslatesResourceStringsDefaultLeavesAlone) {
  MakeCatalogue(CataloguePath(dir_.Path() / "locale", "fr", "default"),
                {{"No address specified", "Aucune adresse"}});
  InitializeSerialKitUnit();
  GlobalTranslator()->BindDomainDirectory("serialkit", (dir_.Path() / "locale").string());
  MakeCatalogue(CataloguePath(dir_.Path() / "locale", "fr", "serialkit"),
                {{"No address specified", "pas ici"}, {"Socket already open", "Socket déjà ouvert"}});
  const ResourceStringRecord address{&HInstance, SNoAddress};
  const ResourceStringRecord open{&HInstance, SSocketAlreadyOpen};
  EXPECT_EQ(LoadResourceString(&address), "Aucune adresse");
  EXPECT_EQ(LoadResourceString(&open), Ansi("Socket déjà ouvert"));
}

TEST(SerialKitOrder, NeedsTheTranslationUnitFirst) {
  EXPECT_THROW(InitializeSerialKitUnit(), Exception);
  EXPECT_FALSE(SerialKitStarted());
}

// A "default" catalogue written in GBK, as many Chinese catalogues are, with one of the kit's
// start-up texts in it: the kit starts and shows the text in Chinese.
TEST_F(SerialKitUnit, StartsWithACatalogueInGbk) {
  MakePoCatalogue(CataloguePath(dir_.Path() / "locale", "fr", "default"),
                  {{std::nullopt, "Port is not open", std::nullopt, {"串口未打开"}},
                   {std::nullopt, "Invalid parity", std::nullopt, {"校验位无效"}}},
                  "GBK");
  ASSERT_NE(ReadBytes(CataloguePath(dir_.Path() / "locale", "fr", "default")).find("charset=GBK"),
            std::string::npos);
  InitializeSerialKitUnit();
  ASSERT_TRUE(SerialKitStarted());
  EXPECT_EQ(SerialKitErrorText(0), u"串口未打开");
  EXPECT_EQ(SerialKitErrorText(18), u"校验位无效");
  EXPECT_EQ(SerialKitErrorText(1), SerialKitErrorSource(1));
}
