#include "tests/support/catalogues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "runtime/bytes.h"
#include "runtime/exception.h"

namespace i18ntest {
namespace {
std::string PoString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::uint32_t GetLittle32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(at + std::size_t(i)));
  return v;
}

void SwapWord(std::string& bytes, std::size_t at) {
  PutLittle32(bytes, at, ByteSwap32(GetLittle32(bytes, at)));
}
}  // namespace

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "i18n";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  path_ = fs::temp_directory_path() / ("comrelay-" + name + "-" + std::to_string(std::random_device{}()) +
                                       "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string MakeCatalogue(const fs::path& mo, const TEntries& entries, bool header,
                          const std::string& msgfmtOptions) {
  fs::create_directories(mo.parent_path());
  fs::path po = mo;
  po.replace_extension(".po");
  {
    std::ofstream out(po, std::ios::binary);
    if (header) {
      out << "msgid \"\"\nmsgstr \"Project-Id-Version: comrelay tests\\n\"\n"
             "\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    }
    for (const auto& [id, str] : entries)
      out << "msgid " << PoString(id) << "\nmsgstr " << PoString(str) << "\n\n";
  }
  const std::string command = "msgfmt " + msgfmtOptions + " -o '" + mo.string() + "' '" + po.string() + "'";
  const int rc = std::system(command.c_str());
  EXPECT_EQ(rc, 0) << command;
  return ReadBytes(mo);
}

std::string MakePoCatalogue(const fs::path& mo, const std::vector<TPoEntry>& entries,
                            const std::string& charset) {
  fs::create_directories(mo.parent_path());
  fs::path po = mo;
  po.replace_extension(".utf8.po");
  {
    std::ofstream out(po, std::ios::binary);
    out << "msgid \"\"\nmsgstr \"Project-Id-Version: comrelay tests\\n\"\n"
           "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
           "\"Plural-Forms: nplurals=2; plural=(n != 1);\\n\"\n\n";
    for (const TPoEntry& entry : entries) {
      if (entry.Context) out << "msgctxt " << PoString(*entry.Context) << "\n";
      out << "msgid " << PoString(entry.Id) << "\n";
      if (entry.Plural) {
        out << "msgid_plural " << PoString(*entry.Plural) << "\n";
        for (std::size_t i = 0; i < entry.Strings.size(); ++i)
          out << "msgstr[" << i << "] " << PoString(entry.Strings[i]) << "\n";
      } else {
        out << "msgstr " << PoString(entry.Strings.at(0)) << "\n";
      }
      out << "\n";
    }
  }
  fs::path source = po;
  if (charset != "UTF-8") {
    source = mo;
    source.replace_extension(".po");
    const std::string convert = "msgconv -t " + charset + " -o '" + source.string() + "' '" + po.string() +
                                "' 2>/dev/null";  // quiet about sources that are not ASCII
    EXPECT_EQ(std::system(convert.c_str()), 0) << convert;
  }
  const std::string command = "msgfmt -o '" + mo.string() + "' '" + source.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadBytes(mo);
}

std::string ByteSwapped(const std::string& mo) {
  std::string out = mo;
  const std::uint32_t n = GetLittle32(mo, 8);
  const std::uint32_t sourceTable = GetLittle32(mo, 12);
  const std::uint32_t translationTable = GetLittle32(mo, 16);
  const std::uint32_t hashSize = GetLittle32(mo, 20);
  const std::uint32_t hashTable = GetLittle32(mo, 24);
  for (std::size_t at = 0; at < 28; at += 4) SwapWord(out, at);
  for (std::uint32_t i = 0; i < 2 * n; ++i) {
    SwapWord(out, sourceTable + 4 * i);
    SwapWord(out, translationTable + 4 * i);
  }
  for (std::uint32_t i = 0; i < hashSize; ++i) SwapWord(out, hashTable + 4 * i);
  return out;
}

std::string EmptyCatalogue() {
  std::string mo(28, '\0');
  PutLittle32(mo, 0, 0x950412DE);
  PutLittle32(mo, 12, 28);
  PutLittle32(mo, 16, 28);
  PutLittle32(mo, 24, 28);
  return mo;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

void PutLittle32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + std::size_t(i)) = char((value >> (8 * i)) & 0xFF);
}

void AppendLittle64(std::string& bytes, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes.push_back(char((value >> (8 * i)) & 0xFF));
}

fs::path CataloguePath(const fs::path& root, const std::string& language, const std::string& domain) {
  return root / language / "LC_MESSAGES" / (domain + ".mo");
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no exception>";
}

TScopedEnv::TScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

TScopedEnv::~TScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

TScopedLanguage::TScopedLanguage(const std::optional<std::string>& lang)
    : all_("LC_ALL", std::nullopt), messages_("LC_MESSAGES", std::nullopt), lang_("LANG", lang) {}

}  // namespace i18ntest
