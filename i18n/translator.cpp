#include "i18n/translator.h"

#include <cstdlib>
#include <mutex>

#include "platform/text/codepage.h"
#include "platform/text/textcase.h"
#include "platform/text/utf8.h"
#include "runtime/exception.h"

namespace i18n {
namespace {
std::string UntranslatableMessage(std::u16string_view text) {
  std::string message =
      "Error: Could not translate %s. Probably because the mo file doesn't contain utf-8 encoded "
      "translations.";
  message.replace(message.find("%s"), 2, WideToAnsi(text));
  return message;
}
}  // namespace

TTranslator::TTranslator(const std::string& executablePath, const TEmbeddedCatalogueIndex* index)
    : FCurrentDomain("default"), FLocaleDirectory(DirectoryOf(executablePath) + "locale"), FIndex(index) {
  SelectLanguage({});
  BindDomainDirectory("default", FLocaleDirectory);
  SelectDomain("default");
}

// Exclusively: no domain is being found or created while they go. Lookups still under way in a
// domain are kept out by the translation unit's lock, which shut-down takes first.
TTranslator::~TTranslator() {
  std::unique_lock lock(FDomainsLock);
  FDomains.clear();
}

void TTranslator::SelectLanguage(const std::string& code) {
  std::string language = code;
  if (language.empty()) {
    const char* lang = std::getenv("LANG");
    language = (lang != nullptr && *lang != '\0') ? std::string(lang) : DetectSystemLanguage();
    const std::size_t dot = language.find('.');
    if (dot != std::string::npos) language.resize(dot);
  }
  std::unique_lock lock(FDomainsLock);
  FLanguage = language;
  for (const auto& domain : FDomains) domain->ChangeLanguage(FLanguage);
}

TDomain& TTranslator::Domain(const std::string& name) {
  {
    std::shared_lock lock(FDomainsLock);
    for (const auto& domain : FDomains) {
      if (SameTextIgnoreCase(domain->Name(), name)) return *domain;
    }
  }
  std::unique_lock lock(FDomainsLock);
  // Another thread may have created it while no lock was held.
  for (const auto& domain : FDomains) {
    if (SameTextIgnoreCase(domain->Name(), name)) return *domain;
  }
  auto domain = std::make_unique<TDomain>(name, FIndex);
  domain->ChangeDirectory(FLocaleDirectory);
  domain->ChangeLanguage(FLanguage);
  FDomains.push_back(std::move(domain));
  return *FDomains.back();
}

std::size_t TTranslator::DomainCount() const {
  std::shared_lock lock(FDomainsLock);
  return FDomains.size();
}

void TTranslator::BindDomainDirectory(const std::string& domain, const std::string& directory) {
  Domain(domain).ChangeDirectory(directory);
}

void TTranslator::SelectDomain(const std::string& domain) {
  std::unique_lock lock(FDomainsLock);
  FCurrentDomain = domain;
}

std::string TTranslator::Language() const {
  std::shared_lock lock(FDomainsLock);
  return FLanguage;
}

std::string TTranslator::CurrentDomain() const {
  std::shared_lock lock(FDomainsLock);
  return FCurrentDomain;
}

std::u16string TTranslator::TranslateInDomain(const std::string& domain, std::u16string_view text) {
  TDomain& target = Domain(domain);
  const std::string found = target.Lookup(CatalogueKey(text));
  std::u16string answer;
  Utf8ToWide(WithCarriageReturns(found), answer);
  if (!text.empty() && answer.empty()) throw Exception(UntranslatableMessage(text));
  return answer;
}

std::u16string TTranslator::TranslateText(std::u16string_view text) {
  return TranslateInDomain(CurrentDomain(), text);
}

std::string CatalogueKey(std::u16string_view text) {
  std::string key = WideToUtf8(text);
  std::erase(key, '\r');
  return key;
}

std::string WithCarriageReturns(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) out.push_back('\r');
    out.push_back(bytes[i]);
  }
  return out;
}

std::string DetectSystemLanguage() {
  char language[5];
  char country[5];
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, int(sizeof language)) == 3 &&
      GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, int(sizeof country)) == 3) {
    return std::string(language) + "_" + country;
  }
  return LanguageOfLocaleId(GetThreadLocale());
}

std::string LanguageOfLocaleId(LCID id) {
  switch (id) {
    case 1030:
      return "da_DK";
    case 1031:
      return "de_DE";
    case 1032:
      return "gr_GR";
    case 1033:
      return "en_US";
    case 1034:
      return "es_ES";
    case 1035:
      return "fi_FI";
    case 1036:
      return "fr_FR";
    case 1039:
      return "is_IS";
    case 1040:
      return "it_IT";
    case 1042:
      return "ko_KO";
    case 1043:
      return "nl_NL";
    case 1044:
      return "no_NO";
    case 1045:
      return "pl_PL";
    case 1046:
      return "pt_BR";
    case 1049:
      return "ru_RU";
    case 1053:
      return "sv_SE";
    case 2057:
      return "en_UK";
    case 2060:
      return "fr_BE";
    case 2067:
      return "nl_BE";
    case 2068:
      return "nn_NO";
    case 2070:
      return "pt_PT";
    case 2077:
      return "fi_SE";
    case 3082:
      return "es_ES";
    case 3084:
      return "fr_CA";
    case 4103:
      return "de_LU";
    default:
      return "C";
  }
}

}  // namespace i18n
