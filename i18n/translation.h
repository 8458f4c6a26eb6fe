// The translation unit: start-up and shut-down, the global translator and the resource-string
// interception. The program's entry calls InitializeTranslationUnit after the widget toolkit
// has started and before any unit that registers a resource domain (the serial kit), and
// FinalizeTranslationUnit in the reverse place.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "i18n/catalogueindex.h"
#include "i18n/translator.h"

// Runs once, on the main thread, before the program starts threads of its own. Throws
// Exception when called while the unit is already up.
void InitializeTranslationUnit();
// Closes every catalogue and restores the resource-string loader. Safe when not started.
void FinalizeTranslationUnit();

// Null before start-up and after shut-down.
i18n::TTranslator* GlobalTranslator();
const i18n::TEmbeddedCatalogueIndex* CatalogueIndex();
const std::string& ExecutablePath();
// The platform is of the NT family: resource strings are read as wide text.
bool PlatformIsNT();

// TranslateText / TranslateInDomain of the global translator; before start-up and after
// shut-down the text comes back as it is.
std::u16string DefaultTranslate(std::u16string_view text);
std::u16string DefaultTranslateInDomain(const std::string& domain, std::u16string_view text);

// Appends a domain to those searched for resource strings (no test for duplicates). Throws
// Exception before start-up: the registration would otherwise be lost.
void RegisterResourceDomain(const std::string& domain);
// The resource domains in search order (a copy).
std::vector<std::string> ResourceDomains();
// The first domain's answer that differs from the text wins; before start-up and after
// shut-down the text comes back unchanged.
std::u16string TranslateResourceText(std::u16string_view text);
