// One translation domain: the catalogue of one name and language below one directory, read
// into private memory on the first lookup and searched there.
#pragma once
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "i18n/catalogueindex.h"
#include "i18n/mocatalogue.h"
#include "platform/files/readonlyfile.h"

namespace i18n {

// The most bytes read for one catalogue (from its start to the end of its file).
inline constexpr std::uint64_t kCatalogueSizeLimit = 64u << 20;

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
  // Exception when a catalogue exists but cannot be opened, read or taken as a catalogue.
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
  // A private copy: whatever happens to the file later, only checked bytes are searched.
  std::vector<unsigned char> FBytes;
  std::optional<TMoCatalogue> FCatalogue;
  std::string FLanguage;
  bool FIsOpen = false;
  bool FMayOpen = true;
  const TEmbeddedCatalogueIndex* const FIndex;
};

}  // namespace i18n
