#include "i18n/catalogueindex.h"

#include <algorithm>

#include "platform/files/readonlyfile.h"
#include "platform/text/textcase.h"

// volatile: the 8 bytes are patched in the file after linking, so they must be read from
// memory every time; `used` keeps the linker from dropping the only reference.
extern "C"
    __attribute__((used)) volatile const unsigned char ComrelayEmbeddedMarker[i18n::kEmbeddedMarkerSize] = {
        '6', '6', '3', '7', 'D', 'B', '2', 'E', '-', '6', '2', 'E', '1', '-', '4',
        'A', '6', '0', '-', 'A', 'C', '1', '9', '-', 'C', '2', '3', '8', '6', '7',
        '0', '4', '6', 'A', '8', '9', 0,   0,   0,   0,   0,   0,   0,   0};

namespace i18n {
namespace {

std::string WithForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool NameBefore(const std::pair<std::string, TEmbeddedFileInfo>& entry, const std::string& name) {
  return CompareTextIgnoreCase(entry.first, name) < 0;
}
}  // namespace

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::uint64_t EmbeddedChainStart() {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i)
    v = (v << 8) | ComrelayEmbeddedMarker[kEmbeddedMarkerTextLength + std::size_t(i)];
  return v;
}

std::string EmbeddedMarkerBytes() {
  std::string bytes(kEmbeddedMarkerSize, '\0');
  for (std::size_t i = 0; i < kEmbeddedMarkerSize; ++i) bytes[i] = char(ComrelayEmbeddedMarker[i]);
  return bytes;
}

void TEmbeddedCatalogueIndex::ScanExecutable(const std::string& executablePath) {
  const std::uint64_t first = EmbeddedChainStart();
  if (first != 0) ScanFile(executablePath, first);
}

void TEmbeddedCatalogueIndex::ScanFile(const std::string& executablePath, std::uint64_t firstHeader) {
  if (firstHeader == 0) return;
  FExecutablePath = executablePath;
  FExecutableDirectory = DirectoryOf(executablePath);
  const TReadOnlyFile file = TReadOnlyFile::Open(executablePath);
  if (!file.Valid()) return;
  const std::int64_t size = file.Size();
  if (size < 0) return;
  ScanEmbeddedChain(
      std::uint64_t(size), firstHeader,
      [&file](std::uint64_t offset, void* buffer, std::size_t count) {
        return file.ReadAt(offset, buffer, count);
      },
      [this](std::string name, const TEmbeddedFileInfo& info) { return Add(std::move(name), info); });
}

bool TEmbeddedCatalogueIndex::Add(std::string name, const TEmbeddedFileInfo& info) {
  auto at = std::lower_bound(FFiles.begin(), FFiles.end(), name, NameBefore);
  if (at != FFiles.end() && SameTextIgnoreCase(at->first, name)) return false;
  FFiles.emplace(at, std::move(name), info);
  return true;
}

const TEmbeddedFileInfo* TEmbeddedCatalogueIndex::Find(const std::string& name) const {
  auto at = std::lower_bound(FFiles.begin(), FFiles.end(), name, NameBefore);
  if (at == FFiles.end() || !SameTextIgnoreCase(at->first, name)) return nullptr;
  return &at->second;
}

std::string TEmbeddedCatalogueIndex::Relative(const std::string& path, bool& stripped) const {
  stripped = !FExecutableDirectory.empty() && path.starts_with(FExecutableDirectory);
  return WithForwardSlashes(stripped ? path.substr(FExecutableDirectory.size()) : path);
}

bool TEmbeddedCatalogueIndex::ContainsFile(const std::string& path) const {
  if (FFiles.empty()) return false;
  bool stripped;
  return Find(Relative(path, stripped)) != nullptr;
}

void TEmbeddedCatalogueIndex::LocateFile(const std::string& path, std::string& realPath,
                                         std::uint64_t& offset, std::uint64_t& size) const {
  realPath = path;
  offset = 0;
  size = 0;
  if (FFiles.empty()) return;
  bool stripped;
  const std::string relative = Relative(path, stripped);
  if (!stripped) return;
  if (const TEmbeddedFileInfo* info = Find(relative)) {
    realPath = FExecutablePath;
    offset = info->FOffset;
    size = info->FSize;
  }
}

}  // namespace i18n
