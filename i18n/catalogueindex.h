// The index of message catalogues appended to the executable file, found through the marker
// that the program carries. Filled once at start-up, then only read (from any thread).
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "i18n/embeddedchain.h"

namespace i18n {

// The program carries a 36-character marker text; the 8 bytes after it are the little-endian
// offset of the first header, zero as built. A tool that appends catalogues patches them. The
// text is spelled out in one place only, so that it occurs once in the executable file.
inline constexpr std::size_t kEmbeddedMarkerTextLength = 36;
inline constexpr std::size_t kEmbeddedMarkerSize = kEmbeddedMarkerTextLength + 8;

// The folder of `path` with its trailing slash; empty for a bare name.
std::string DirectoryOf(const std::string& path);

// The first header's offset as this running program carries it.
std::uint64_t EmbeddedChainStart();
// The marker bytes exactly as the program carries them (44 bytes).
std::string EmbeddedMarkerBytes();

class TEmbeddedCatalogueIndex {
 public:
  TEmbeddedCatalogueIndex() = default;
  TEmbeddedCatalogueIndex(const TEmbeddedCatalogueIndex&) = delete;
  TEmbeddedCatalogueIndex& operator=(const TEmbeddedCatalogueIndex&) = delete;

  // Reads the chain that the program's marker points to in `executablePath`; nothing when it
  // points nowhere.
  void ScanExecutable(const std::string& executablePath);
  // The same with the first header's offset given; a failure ends the scan quietly and keeps
  // what was read before it.
  void ScanFile(const std::string& executablePath, std::uint64_t firstHeader);

  bool ContainsFile(const std::string& path) const;
  void LocateFile(const std::string& path, std::string& realPath, std::uint64_t& offset,
                  std::uint64_t& size) const;

  std::size_t Count() const { return FFiles.size(); }
  const std::string& ExecutableDirectory() const { return FExecutableDirectory; }

 private:
  // What is left of `path` after the executable's directory; `stripped` tells whether it was.
  std::string Relative(const std::string& path, bool& stripped) const;
  const TEmbeddedFileInfo* Find(const std::string& name) const;
  bool Add(std::string name, const TEmbeddedFileInfo& info);

  std::string FExecutablePath;
  std::string FExecutableDirectory;
  // Sorted without regard to letter case; names are unique in that sense.
  std::vector<std::pair<std::string, TEmbeddedFileInfo>> FFiles;
};

}  // namespace i18n
