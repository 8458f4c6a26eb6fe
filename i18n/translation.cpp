#include "i18n/translation.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "i18n/resourcetext.h"
#include "platform/files/readonlyfile.h"
#include "runtime/exception.h"

namespace {
// Held shared by every use of the objects below from any thread, and exclusively while they are
// made and destroyed: a lookup on another thread during shut-down either ends before the
// objects go or finds them gone. Constant-initialised, so it exists before any file's start-up.
constinit std::shared_mutex g_unitLock;
// Constant-initialised: nothing here depends on the order in which files are initialised.
std::unique_ptr<std::string> g_executablePath;
std::unique_ptr<i18n::TEmbeddedCatalogueIndex> g_catalogueIndex;
std::unique_ptr<std::vector<std::string>> g_resourceDomains;
std::unique_ptr<std::shared_mutex> g_resourceDomainsLockOwner;
// Read by any thread that loads a resource string, so it is the one atomic reference.
std::atomic<std::shared_mutex*> g_resourceDomainsLock{nullptr};
std::unique_ptr<i18n::TTranslator> g_translator;
// Read by whatever thread loads a resource string.
std::atomic<bool> g_platformIsNT{false};
std::unique_ptr<THook> g_loaderHook;

const std::string kNoPath;
}  // namespace

void InitializeTranslationUnit() {
  std::unique_lock unit(g_unitLock);
  if (g_loaderHook || g_translator) throw Exception("The translation unit is already started");
  g_executablePath = std::make_unique<std::string>(GetExecutablePath());

  g_catalogueIndex = std::make_unique<i18n::TEmbeddedCatalogueIndex>();
  g_catalogueIndex->ScanExecutable(*g_executablePath);

  g_resourceDomains = std::make_unique<std::vector<std::string>>();
  g_resourceDomains->push_back("default");

  g_resourceDomainsLockOwner = std::make_unique<std::shared_mutex>();
  g_resourceDomainsLock.store(g_resourceDomainsLockOwner.get());

  g_translator = std::make_unique<i18n::TTranslator>(*g_executablePath, g_catalogueIndex.get());

  // Linux stands in for the NT family: resource strings are wide.
  g_platformIsNT.store(true, std::memory_order_relaxed);

  g_loaderHook = std::make_unique<THook>(&LoadTranslatedResourceString);
}

void FinalizeTranslationUnit() {
  std::unique_lock unit(g_unitLock);
  // Each reference is cleared before its object goes.
  { auto translator = std::move(g_translator); }
  g_resourceDomainsLock.store(nullptr);
  { auto lock = std::move(g_resourceDomainsLockOwner); }
  { auto domains = std::move(g_resourceDomains); }
  { auto hook = std::move(g_loaderHook); }
  { auto index = std::move(g_catalogueIndex); }
  { auto path = std::move(g_executablePath); }
}

i18n::TTranslator* GlobalTranslator() {
  std::shared_lock unit(g_unitLock);
  return g_translator.get();
}

const i18n::TEmbeddedCatalogueIndex* CatalogueIndex() {
  std::shared_lock unit(g_unitLock);
  return g_catalogueIndex.get();
}

const std::string& ExecutablePath() {
  std::shared_lock unit(g_unitLock);
  return g_executablePath ? *g_executablePath : kNoPath;
}

bool PlatformIsNT() { return g_platformIsNT.load(std::memory_order_relaxed); }

namespace {
// With the unit lock held (shared or not).
std::u16string TranslateLocked(const std::string* domain, std::u16string_view text) {
  i18n::TTranslator* translator = g_translator.get();
  if (translator == nullptr) return std::u16string(text);
  return domain != nullptr ? translator->TranslateInDomain(*domain, text) : translator->TranslateText(text);
}
}  // namespace

std::u16string DefaultTranslate(std::u16string_view text) {
  std::shared_lock unit(g_unitLock);
  return TranslateLocked(nullptr, text);
}

std::u16string DefaultTranslateInDomain(const std::string& domain, std::u16string_view text) {
  std::shared_lock unit(g_unitLock);
  return TranslateLocked(&domain, text);
}

void RegisterResourceDomain(const std::string& domain) {
  std::shared_lock unit(g_unitLock);
  std::shared_mutex* lock = g_resourceDomainsLock.load();
  if (lock == nullptr)
    throw Exception("Cannot register the resource domain " + domain + ": translation is not started");
  std::unique_lock guard(*lock);
  g_resourceDomains->push_back(domain);
}

std::vector<std::string> ResourceDomains() {
  std::shared_lock unit(g_unitLock);
  std::shared_mutex* lock = g_resourceDomainsLock.load();
  if (lock == nullptr) return {};
  std::shared_lock guard(*lock);
  return *g_resourceDomains;
}

std::u16string TranslateResourceText(std::u16string_view text) {
  std::shared_lock unit(g_unitLock);
  std::shared_mutex* lock = g_resourceDomainsLock.load();
  if (lock == nullptr) return std::u16string(text);
  std::shared_lock guard(*lock);
  std::u16string result(text);
  for (const std::string& domain : *g_resourceDomains) {
    result = TranslateLocked(&domain, text);
    if (result != text) break;
  }
  return result;
}
