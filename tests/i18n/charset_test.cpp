// Catalogues written in a character set other than UTF-8, through the translator: sources and
// translations both decoded, the search order rebuilt, and only texts that cannot be decoded
// failing as a catalogue that is not UTF-8 always did.
#include "platform/text/charset.h"

#include <gtest/gtest.h>

#include "i18n/cataloguecharset.h"
#include "i18n/translator.h"
#include "platform/text/utf8.h"
#include "runtime/exception.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;

namespace {
std::unique_ptr<i18n::TTranslator> TranslatorAt(const TTempDir& dir) {
  return std::make_unique<i18n::TTranslator>((dir.Path() / "comrelay").string(), nullptr);
}

// Chinese sources whose GBK byte order differs from their UTF-8 order, so that a catalogue
// searched in the old order would miss some.
const std::vector<std::pair<std::u16string, std::string>> kChinese = {
    {u"串口", "serial port"}, {u"端口", "port"},        {u"打开", "open"},        {u"关闭", "close"},
    {u"发送", "send"},        {u"接收", "receive"},     {u"清空", "clear"},       {u"暂停", "pause"},
    {u"波特率", "baud rate"}, {u"数据位", "data bits"}, {u"停止位", "stop bits"}, {u"校验", "parity"},
};
}  // namespace

TEST(OtherCharsets, SourcesAndTranslationsAreDecodedAndSearchedInTheirNewOrder) {
  for (const std::string charset : {"GBK", "GB18030"}) {
    SCOPED_TRACE(charset);
    TTempDir dir;
    TScopedLanguage lang("zh_CN");
    std::vector<TPoEntry> entries;
    for (const auto& [source, english] : kChinese) {
      const std::string utf8 = WideToUtf8(source);
      entries.push_back({std::nullopt, utf8, std::nullopt, {english + " / " + utf8}});
    }
    entries.push_back({std::nullopt, "Port is not open", std::nullopt, {"端口未打开"}});
    entries.push_back({std::nullopt, "%d byte", "%d bytes", {"%d 字节", "%d 字节们"}});
    const std::string mo =
        MakePoCatalogue(CataloguePath(dir.Path() / "locale", "zh_CN", "default"), entries, charset);
    auto catalogue =
        i18n::TMoCatalogue::Open(reinterpret_cast<const unsigned char*>(mo.data()), mo.size(), 0);
    ASSERT_TRUE(catalogue);
    ASSERT_EQ(i18n::DeclaredCharset(*catalogue), charset);

    auto translator = TranslatorAt(dir);
    for (const auto& [source, english] : kChinese) {
      const std::u16string answer = translator->TranslateText(source);
      EXPECT_EQ(WideToUtf8(answer), english + " / " + WideToUtf8(source));
    }
    EXPECT_EQ(translator->TranslateText(u"Port is not open"), u"端口未打开");
    EXPECT_EQ(translator->TranslateText(u"%d byte"), u"%d 字节");
    EXPECT_EQ(translator->TranslateText(u"串"), u"串");
  }
}

TEST(OtherCharsets, OnlyATextThatCannotBeDecodedFails) {
  TTempDir dir;
  TScopedLanguage lang("zh_TW");
  const fs::path path = CataloguePath(dir.Path() / "locale", "zh_TW", "default");
  std::string mo = MakePoCatalogue(path,
                                   {{std::nullopt, "bad", std::nullopt, {"QQ"}},
                                    {std::nullopt, "good", std::nullopt, {"連接埠"}},
                                    {std::nullopt, "tail", std::nullopt, {"RR"}}},
                                   "BIG5");
  mo.replace(mo.find("QQ"), 2, "\x81\x20");  // no character of Big5
  mo.replace(mo.find("RR"), 2, "A\xA4");     // a character cut off
  WriteBytes(path, mo);
  auto translator = TranslatorAt(dir);
  EXPECT_EQ(translator->TranslateText(u"good"), u"連接埠");
  for (const std::u16string text : {u"bad", u"tail"}) {
    EXPECT_EQ(MessageOf([&] { translator->TranslateText(text); }),
              "Error: Could not translate " + WideToUtf8(text) +
                  ". Probably because the mo file doesn't contain utf-8 encoded translations.");
  }
}

TEST(OtherCharsets, UndeclaredUnknownOrAsciiSetsAreReadAsUtf8) {
  for (const std::string charset : {"", "XNONE", "ASCII", "utf8"}) {
    SCOPED_TRACE(charset);
    TTempDir dir;
    TScopedLanguage lang("de");
    const fs::path path = CataloguePath(dir.Path() / "locale", "de", "default");
    std::string mo = MakePoCatalogue(path, {{std::nullopt, "Port", std::nullopt, {"Anschluß"}}});
    const std::size_t at = mo.find("charset=UTF-8");
    ASSERT_NE(at, std::string::npos);
    std::string declared = charset.empty() ? "nocharset" : "charset=" + charset;
    declared.resize(13, ' ');  // the same length, so no offset moves
    mo.replace(at, 13, declared);
    auto catalogue =
        i18n::TMoCatalogue::Open(reinterpret_cast<const unsigned char*>(mo.data()), mo.size(), 0);
    ASSERT_TRUE(catalogue);
    EXPECT_FALSE(i18n::CatalogueInUtf8(*catalogue));
    WriteBytes(path, mo);
    EXPECT_EQ(TranslatorAt(dir)->TranslateText(u"Port"), u"Anschluß");
  }
}

TEST(CharsetDecoder, WholeCharactersOnlyAndZeroBytesKept) {
  TCharsetDecoder gbk("GBK");
  ASSERT_TRUE(gbk.Valid());
  EXPECT_EQ(gbk.ToUtf8(std::string("\xB4\xAE\xBF\xDA\0\xB6\xCB", 7)).value_or("<none>"),
            std::string("串口\0\xE7\xAB\xAF", 10));
  EXPECT_FALSE(gbk.ToUtf8("\xB4\xAE\xBF"));              // cut off
  EXPECT_EQ(gbk.ToUtf8("ok").value_or("<none>"), "ok");  // no state left from the failure
  EXPECT_FALSE(gbk.ToUtf8("\x81\x20"));
  EXPECT_EQ(gbk.ToUtf8("").value_or("<none>"), "");
  EXPECT_FALSE(TCharsetDecoder("X-NO-SUCH-SET").Valid());
  EXPECT_FALSE(TCharsetDecoder("X-NO-SUCH-SET").ToUtf8("a"));
  // A text that grows more than fourfold needs no such set, but a long one must come whole.
  TCharsetDecoder latin("ISO-8859-1");
  const std::string high(5000, '\xE9');
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "é";
  EXPECT_EQ(latin.ToUtf8(high).value_or("<none>"), expected);
  EXPECT_TRUE(IsUtf8CharsetName("utf-8"));
  EXPECT_FALSE(IsUtf8CharsetName("UTF-16"));
}
