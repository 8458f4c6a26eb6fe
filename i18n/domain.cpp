#include "i18n/domain.h"

#include <mutex>

#include "platform/exception.h"
#include "platform/lasterror.h"

namespace i18n {

TDomain::TDomain(std::string name, const TEmbeddedCatalogueIndex* index)
    : FName(std::move(name)), FIndex(index) {}

TDomain::~TDomain() { CloseCatalogue(); }

void TDomain::ChangeDirectory(const std::string& directory) {
  std::unique_lock lock(FLock);
  FDirectory = directory;
  if (FDirectory.empty() || FDirectory.back() != '/') FDirectory += '/';
  CloseLocked();
}

void TDomain::ChangeLanguage(const std::string& code) {
  std::unique_lock lock(FLock);
  CloseLocked();
  FLanguage = code;
}

void TDomain::CloseCatalogue() {
  std::unique_lock lock(FLock);
  CloseLocked();
}

void TDomain::CloseLocked() {
  if (FIsOpen) {
    FCatalogue.reset();
    FView.Unmap();
    FMappingHandle.Close();
    FFileHandle.Close();
    FIsOpen = false;
  }
  FMayOpen = true;
}

std::string TDomain::Directory() const {
  std::shared_lock lock(FLock);
  return FDirectory;
}

std::string TDomain::Language() const {
  std::shared_lock lock(FLock);
  return FLanguage;
}

bool TDomain::IsOpen() const {
  std::shared_lock lock(FLock);
  return FIsOpen;
}

bool TDomain::MayOpen() const {
  std::shared_lock lock(FLock);
  return FMayOpen;
}

std::string TDomain::Lookup(const std::string& key) {
  for (;;) {
    {
      std::shared_lock lock(FLock);
      if (FIsOpen) {
        const auto found = FCatalogue->Find(key);
        return found ? std::string(*found) : key;
      }
      if (!FMayOpen) return key;
    }
    OpenCatalogue();
  }
}

std::string TDomain::CataloguePath(const std::string& language) const {
  return FDirectory + language + "/LC_MESSAGES/" + FName + ".mo";
}

bool TDomain::CatalogueExists(const std::string& path) const {
  return (FIndex != nullptr && FIndex->ContainsFile(path)) || FileExists(path);
}

void TDomain::OpenCatalogue() {
  std::unique_lock lock(FLock);
  if (FIsOpen || !FMayOpen) return;

  std::string path = CataloguePath(FLanguage);
  if (!CatalogueExists(path)) path = CataloguePath(FLanguage.substr(0, 2));
  if (!CatalogueExists(path)) {
    FMayOpen = false;
    return;
  }

  std::string realPath = path;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  if (FIndex != nullptr) FIndex->LocateFile(path, realPath, offset, size);
  FCatalogueOffset = offset;

  TReadOnlyFile file = TReadOnlyFile::Open(realPath);
  if (!file.Valid()) throw Exception("Cannot open file " + realPath);
  TFileMapping mapping = TFileMapping::Create(file);
  if (!mapping.Valid()) throw Exception("Cannot create memory map on file " + realPath);
  TMappedView view = TMappedView::Map(mapping);
  if (!view.Valid()) {
    throw Exception("Cannot map file " + realPath + " into memory. Reason: " + FileErrorText(GetLastError()));
  }

  // A file that is not a catalogue, or whose tables point outside it, is never searched: its
  // handles go at once (they are locals here) and the domain answers with the key until its
  // language or directory changes.
  auto catalogue = TMoCatalogue::Open(view.Data(), view.Size(), FCatalogueOffset);
  if (!catalogue) {
    FMayOpen = false;
    throw Exception("This file is not a valid GNU gettext mo file: " + realPath);
  }

  FFileHandle = std::move(file);
  FMappingHandle = mapping;
  FView = std::move(view);
  FCatalogue = catalogue;
  FIsOpen = true;
}

}  // namespace i18n
