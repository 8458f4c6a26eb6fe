// One translation domain: the catalogue of one name and language below one directory, opened
// by memory mapping on the first lookup and searched in place.
#pragma once
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>

#include "i18n/catalogueindex.h"
#include "i18n/mocatalogue.h"
#include "platform/files/readonlyfile.h"

namespace i18n {

class TDomain {
 public:
  // `index` may be null: catalogues then come from the file system only.
  TDomain(std::string name, const TEmbeddedCatalogueIndex* index);
  TDomain(const TDomain&) = delete;
  TDomain& operator=(const TDomain&) = delete;
  ~TDomain();

  // A "/" is added when missing; the catalogue is closed and will be looked for again.
  void ChangeDirectory(const std::string& directory);
  void ChangeLanguage(const std::string& code);
  void CloseCatalogue();

  // The translation of the key (UTF-8 bytes), or the key itself when there is none. Throws
  // Exception when a catalogue exists but cannot be opened, mapped or read as a catalogue.
  std::string Lookup(const std::string& key);

  const std::string& Name() const { return FName; }
  std::string Directory() const;
  std::string Language() const;
  bool IsOpen() const;
  bool MayOpen() const;

 private:
  void OpenCatalogue();
  void CloseLocked();
  std::string CataloguePath(const std::string& language) const;
  bool CatalogueExists(const std::string& path) const;

  std::string FDirectory;
  const std::string FName;
  // Shared while searching, exclusive while opening or closing: a search never meets an
  // unmapped catalogue.
  mutable std::shared_mutex FLock;
  std::uint64_t FCatalogueOffset = 0;
  TReadOnlyFile FFileHandle;
  TFileMapping FMappingHandle;
  TMappedView FView;
  std::optional<TMoCatalogue> FCatalogue;
  std::string FLanguage;
  bool FIsOpen = false;
  bool FMayOpen = true;
  const TEmbeddedCatalogueIndex* const FIndex;
};

}  // namespace i18n
