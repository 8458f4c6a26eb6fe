// Helpers for the translation tests: temporary folders, catalogues made by msgfmt, byte-swapped
// copies, and environment variables set for one test.
#pragma once
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace i18ntest {

namespace fs = std::filesystem;

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const fs::path& Path() const { return path_; }
  // The path as the translation layer takes it, without a trailing "/".
  std::string Text() const { return path_.string(); }

 private:
  fs::path path_;
};

using TEntries = std::vector<std::pair<std::string, std::string>>;

// Writes a .po file with the entries (and a UTF-8 header entry when asked), runs msgfmt on it
// and returns the catalogue's bytes; the test fails when msgfmt does.
std::string MakeCatalogue(const fs::path& mo, const TEntries& entries, bool header = false,
                          const std::string& msgfmtOptions = "");
// An entry of a .po file: with a context when `Context` is set, with plural forms when
// `Plural` is (then `Strings` holds each form, else its one translation).
struct TPoEntry {
  std::optional<std::string> Context;
  std::string Id;
  std::optional<std::string> Plural;
  std::vector<std::string> Strings;
};
// The entries (UTF-8 here) as a .po file in `charset`, with its header, made into a catalogue
// by msgconv and msgfmt; returns the catalogue's bytes.
std::string MakePoCatalogue(const fs::path& mo, const std::vector<TPoEntry>& entries,
                            const std::string& charset = "UTF-8");

// The same catalogue with every word byte-reversed (texts stay as they are).
std::string ByteSwapped(const std::string& mo);
// A well-formed catalogue without entries.
std::string EmptyCatalogue();

std::string ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::string& bytes);
void PutLittle32(std::string& bytes, std::size_t at, std::uint32_t value);
void AppendLittle64(std::string& bytes, std::uint64_t value);

// Where a domain's catalogue goes below a locale folder.
fs::path CataloguePath(const fs::path& root, const std::string& language, const std::string& domain);

// The message of the Exception that `f` throws, or "<no exception>".
std::string MessageOf(const std::function<void()>& f);

// Sets (or with nullopt unsets) an environment variable until destroyed.
class TScopedEnv {
 public:
  TScopedEnv(std::string name, const std::optional<std::string>& value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// LANG, LC_ALL and LC_MESSAGES cleared, then LANG set to `lang` (unless nullopt).
class TScopedLanguage {
 public:
  explicit TScopedLanguage(const std::optional<std::string>& lang);

 private:
  TScopedEnv all_;
  TScopedEnv messages_;
  TScopedEnv lang_;
};

}  // namespace i18ntest
