#include "i18n/domain.h"

#include <mutex>

#include "i18n/cataloguecharset.h"
#include "runtime/exception.h"
#include "runtime/lasterror.h"

namespace i18n {
namespace {
// The bytes from `offset` to the end of the file. A file that changes while it is read gives
// bytes that are then checked like any others.
std::vector<unsigned char> ReadCatalogue(const TReadOnlyFile& file, const std::string& path,
                                         std::uint64_t offset) {
  const std::int64_t size = file.Size();
  if (size == 0) throw Exception("Cannot create memory map on file " + path);
  auto fail = [&path](const std::string& reason) {
    return Exception("Cannot map file " + path + " into memory. Reason: " + reason);
  };
  if (size < 0) throw fail(FileErrorText(GetLastError()));
  if (offset >= std::uint64_t(size)) return {};
  const std::uint64_t length = std::uint64_t(size) - offset;
  if (length > kCatalogueSizeLimit) {
    throw fail("The catalogue is larger than " + std::to_string(kCatalogueSizeLimit >> 20) + " MiB.");
  }
  std::vector<unsigned char> bytes(length);
  if (!file.ReadAt(offset, bytes.data(), bytes.size())) throw fail(FileErrorText(GetLastError()));
  return bytes;
}
}  // namespace

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
    FBytes = {};
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

  const TReadOnlyFile file = TReadOnlyFile::Open(realPath);
  if (!file.Valid()) throw Exception("Cannot open file " + realPath);
  std::vector<unsigned char> bytes = ReadCatalogue(file, realPath, FCatalogueOffset);

  // A file that is not a catalogue, or whose tables point outside it, is never searched: the
  // domain answers with the key until its language or directory changes.
  auto catalogue = TMoCatalogue::Open(bytes.data(), bytes.size(), 0);
  if (!catalogue) {
    FMayOpen = false;
    throw Exception("This file is not a valid GNU gettext mo file: " + realPath);
  }
  if (auto utf8 = CatalogueInUtf8(*catalogue)) {
    bytes = std::move(*utf8);
    catalogue = TMoCatalogue::Open(bytes.data(), bytes.size(), 0);
  }

  FBytes = std::move(bytes);  // the buffer moves with them: `catalogue` still points into it
  FCatalogue = catalogue;
  FIsOpen = true;
}

}  // namespace i18n
