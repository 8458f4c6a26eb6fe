// The translator: the current language, the domains by name and the way texts are turned into
// catalogue keys and answers back into texts.
#pragma once
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/catalogueindex.h"
#include "i18n/domain.h"
#include "platform/locale/localeinfo.h"

namespace i18n {

class TTranslator {
 public:
  // Catalogues live below the directory of `executablePath` + "locale"; `index` (may be null)
  // names the ones appended to the executable. The language comes from LANG or the system.
  TTranslator(const std::string& executablePath, const TEmbeddedCatalogueIndex* index);
  TTranslator(const TTranslator&) = delete;
  TTranslator& operator=(const TTranslator&) = delete;
  ~TTranslator();

  // Empty: LANG (cut at its first "."), or the system's language when LANG is empty or unset.
  // Every domain switches to the language and will look for its catalogue again.
  void SelectLanguage(const std::string& code);
  void BindDomainDirectory(const std::string& domain, const std::string& directory);
  void SelectDomain(const std::string& domain);

  // Throws Exception with the catalogue's failure, or when a non-empty text comes back empty.
  std::u16string TranslateInDomain(const std::string& domain, std::u16string_view text);
  std::u16string TranslateText(std::u16string_view text);

  std::string Language() const;
  std::string CurrentDomain() const;
  const std::string& LocaleDirectory() const { return FLocaleDirectory; }
  // The domain of that name (letter case ignored), created on first use.
  TDomain& Domain(const std::string& name);
  std::size_t DomainCount() const;

 private:
  std::string FLanguage;
  std::string FCurrentDomain;
  std::string FLocaleDirectory;
  std::vector<std::unique_ptr<TDomain>> FDomains;
  // Guards the list and the two texts above; domains are never removed, so a found domain stays.
  mutable std::shared_mutex FDomainsLock;
  const TEmbeddedCatalogueIndex* const FIndex;
};

// The catalogue key of a text: UTF-8 with every carriage return removed.
std::string CatalogueKey(std::u16string_view text);
// A carriage return before every line feed that lacks one.
std::string WithCarriageReturns(std::string_view bytes);

// The system's language as "ll_CC", from the locale's two-letter names or else the table.
std::string DetectSystemLanguage();
// The table of locale identifiers: "C" for any identifier it does not list.
std::string LanguageOfLocaleId(LCID id);

}  // namespace i18n
