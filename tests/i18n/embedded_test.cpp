// The embedded catalogue index: header chains written into stand-in executables, and a real
// test program copied, given catalogues at its end and patched after the marker.
#include <gtest/gtest.h>

#include <cstdlib>

#include "i18n/catalogueindex.h"
#include "platform/text/codepage.h"
#include "tests/support/catalogues.h"

using namespace i18ntest;
using i18n::TEmbeddedCatalogueIndex;

namespace {
struct TChainEntry {
  std::string Name;
  std::uint64_t Offset;
  std::uint64_t Size;
};

// Appends headers for the entries and a terminating one; returns the first header's offset.
std::uint64_t AppendChain(std::string& file, const std::vector<TChainEntry>& entries) {
  const std::uint64_t first = file.size();
  for (const TChainEntry& entry : entries) {
    AppendLittle64(file, file.size() + 24 + entry.Name.size());
    AppendLittle64(file, entry.Offset);
    AppendLittle64(file, entry.Size);
    file += entry.Name;
  }
  file += std::string(24, '\0');
  return first;
}

struct TStandIn {
  TTempDir Dir;
  fs::path Exe;
  std::uint64_t First = 0;
  TEmbeddedCatalogueIndex Index;

  explicit TStandIn(const std::vector<TChainEntry>& entries,
                    const std::function<void(std::string&)>& damage = {}) {
    Exe = Dir.Path() / "bin" / "comrelay";
    std::string file(500, 'x');
    First = AppendChain(file, entries);
    if (damage) damage(file);
    WriteBytes(Exe, file);
    Index.ScanFile(Exe.string(), First);
  }
  std::string ExeDir() const { return (Dir.Path() / "bin").string() + "/"; }
};

struct TLocated {
  std::string RealPath;
  std::uint64_t Offset = 99;
  std::uint64_t Size = 99;
};

TLocated Locate(const TEmbeddedCatalogueIndex& index, const std::string& path) {
  TLocated located;
  index.LocateFile(path, located.RealPath, located.Offset, located.Size);
  return located;
}

void ExpectUnchanged(const TEmbeddedCatalogueIndex& index, const std::string& path) {
  const TLocated located = Locate(index, path);
  EXPECT_EQ(located.RealPath, path);
  EXPECT_EQ(located.Offset, 0u);
  EXPECT_EQ(located.Size, 0u);
}
}  // namespace

TEST(EmbeddedIndex, ProgramCarriesTheMarkerWithNothingEmbedded) {
  const std::string marker = i18n::EmbeddedMarkerBytes();
  ASSERT_EQ(marker.size(), 44u);
  EXPECT_EQ(marker.substr(0, 36), std::string("6637DB2E-62E1-4A60-") + "AC19-C23867046A89");
  EXPECT_EQ(marker.substr(36), std::string(8, '\0'));
  EXPECT_EQ(i18n::EmbeddedChainStart(), 0u);

  TEmbeddedCatalogueIndex index;
  index.ScanExecutable("/nonexistent/comrelay");
  EXPECT_EQ(index.Count(), 0u);
  EXPECT_EQ(index.ExecutableDirectory(), "");
  EXPECT_FALSE(index.ContainsFile("locale/de/LC_MESSAGES/default.mo"));
  EXPECT_FALSE(index.ContainsFile(""));
  ExpectUnchanged(index, "/nonexistent/locale/de/LC_MESSAGES/default.mo");
}

TEST(EmbeddedIndex, TwoHeadersGiveTwoEntriesFoundInEveryLetterCase) {
  TStandIn app(
      {{"locale\\de\\LC_MESSAGES\\default.mo", 10, 20}, {"locale/fr/LC_MESSAGES/serialkit.mo", 40, 50}});
  ASSERT_EQ(app.Index.Count(), 2u);
  EXPECT_EQ(app.Index.ExecutableDirectory(), app.ExeDir());

  EXPECT_TRUE(app.Index.ContainsFile("locale/de/LC_MESSAGES/default.mo"));
  EXPECT_TRUE(app.Index.ContainsFile("LOCALE/DE/lc_messages/Default.MO"));
  EXPECT_TRUE(app.Index.ContainsFile("locale\\fr\\LC_MESSAGES\\serialkit.mo"));
  EXPECT_TRUE(app.Index.ContainsFile(app.ExeDir() + "locale/De/LC_MESSAGES/default.mo"));
  EXPECT_FALSE(app.Index.ContainsFile("locale/de/LC_MESSAGES/serialkit.mo"));
  EXPECT_FALSE(app.Index.ContainsFile("locale/de/LC_MESSAGES/default.m"));

  TLocated de = Locate(app.Index, app.ExeDir() + "locale/DE/LC_MESSAGES/default.mo");
  EXPECT_EQ(de.RealPath, app.Exe.string());
  EXPECT_EQ(de.Offset, 10u);
  EXPECT_EQ(de.Size, 20u);
  TLocated fr = Locate(app.Index, app.ExeDir() + "locale/fr/LC_MESSAGES/serialkit.mo");
  EXPECT_EQ(fr.RealPath, app.Exe.string());
  EXPECT_EQ(fr.Offset, 40u);
  EXPECT_EQ(fr.Size, 50u);

  // Found by name alone, but only a path below the executable's directory is located.
  ExpectUnchanged(app.Index, "locale/de/LC_MESSAGES/default.mo");
  // The directory part is compared exactly: a difference in letter case is another directory.
  std::string otherCase = app.ExeDir();
  otherCase[otherCase.size() - 4] = 'B';  // ".../bin/" -> ".../Bin/"
  ASSERT_NE(otherCase, app.ExeDir());
  EXPECT_FALSE(app.Index.ContainsFile(otherCase + "locale/de/LC_MESSAGES/default.mo"));
  ExpectUnchanged(app.Index, otherCase + "locale/de/LC_MESSAGES/default.mo");
}

TEST(EmbeddedIndex, NamesAreTrimmedOfSpacesZerosAndControls) {
  TStandIn app({{std::string("  \t locale/it/LC_MESSAGES/default.mo\0\0\0 ", 40), 1, 2}});
  ASSERT_EQ(app.Index.Count(), 1u);
  EXPECT_TRUE(app.Index.ContainsFile("locale/it/LC_MESSAGES/default.mo"));
  EXPECT_EQ(Locate(app.Index, app.ExeDir() + "locale/it/LC_MESSAGES/default.mo").Offset, 1u);
}

TEST(EmbeddedIndex, FaultsEndTheScanKeepingWhatWasRead) {
  const std::vector<TChainEntry> three = {{"a.mo", 1, 1}, {"b.mo", 2, 2}, {"c.mo", 3, 3}};
  {
    SCOPED_TRACE("same name again");
    TStandIn app({{"a.mo", 1, 1}, {"A.MO", 2, 2}, {"c.mo", 3, 3}});
    EXPECT_EQ(app.Index.Count(), 1u);
    EXPECT_EQ(Locate(app.Index, app.ExeDir() + "a.mo").Offset, 1u);
    EXPECT_FALSE(app.Index.ContainsFile("c.mo"));
  }
  // The header positions of `three`: 500, 528, 556.
  auto setNext = [](std::string& file, std::size_t header, std::uint64_t next) {
    std::string bytes;
    AppendLittle64(bytes, next);
    file.replace(header, 8, bytes);
  };
  {
    SCOPED_TRACE("chain points past the end");
    TStandIn app(three, [&](std::string& file) { setNext(file, 528, file.size() + 100); });
    EXPECT_EQ(app.Index.Count(), 1u);
    EXPECT_TRUE(app.Index.ContainsFile("a.mo"));
  }
  {
    SCOPED_TRACE("file ends inside a name");
    TStandIn app(three, [&](std::string& file) { file.resize(560); });
    EXPECT_EQ(app.Index.Count(), 2u);
  }
  {
    SCOPED_TRACE("header points back to itself");
    TStandIn app(three, [&](std::string& file) { setNext(file, 528, 528); });
    EXPECT_EQ(app.Index.Count(), 1u);
  }
  {
    SCOPED_TRACE("header points back to an earlier one");
    TStandIn app(three, [&](std::string& file) { setNext(file, 556, 500); });
    EXPECT_EQ(app.Index.Count(), 2u);
  }
  {
    SCOPED_TRACE("first header past the end");
    TEmbeddedCatalogueIndex index;
    TTempDir dir;
    WriteBytes(dir.Path() / "exe", std::string(100, 'x'));
    index.ScanFile((dir.Path() / "exe").string(), 1000);
    EXPECT_EQ(index.Count(), 0u);
    index.ScanFile((dir.Path() / "missing").string(), 10);
    EXPECT_EQ(index.Count(), 0u);
  }
}

#ifdef I18N_PROBE
namespace {
// The probe program's bytes, and where the 8 bytes after its marker text are.
std::string CopyProbe(std::size_t& patchAt) {
  std::string exe = ReadBytes(I18N_PROBE);
  const std::string text = i18n::EmbeddedMarkerBytes().substr(0, 36);
  const std::size_t at = exe.find(text);
  EXPECT_NE(at, std::string::npos);
  EXPECT_EQ(exe.find(text, at + 1), std::string::npos) << "the marker text must occur once";
  patchAt = at + 36;
  EXPECT_EQ(exe.substr(patchAt, 8), std::string(8, '\0'));
  return exe;
}

std::string RunProbe(const fs::path& probe, const std::string& env, const std::string& args) {
  fs::permissions(probe, fs::perms::owner_all, fs::perm_options::add);
  const fs::path out = probe.parent_path() / "probe.out";
  const std::string command = "env -u LC_ALL -u LC_MESSAGES " + env + " '" + probe.string() + "' " + args +
                              " > '" + out.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadBytes(out);
}
}  // namespace

TEST(EmbeddedProgram, PatchedCopyTranslatesFromItsOwnFile) {
  TTempDir dir;
  const std::string defaultMo =
      MakeCatalogue(dir.Path() / "d.mo", {{"No address specified", "Keine Adresse angegeben"}});
  const std::string kitMo =
      MakeCatalogue(dir.Path() / "k.mo", {{"Socket already open", "Socket schon offen"}});
  std::size_t patchAt = 0;
  std::string exe = CopyProbe(patchAt);
  ASSERT_NE(patchAt, 0u);
  while (exe.size() % 8) exe.push_back('\0');
  const std::uint64_t defaultAt = exe.size();
  exe += defaultMo;
  const std::uint64_t kitAt = exe.size();
  exe += kitMo;
  const std::uint64_t first =
      AppendChain(exe, {{"locale\\de\\LC_MESSAGES\\default.mo", defaultAt, defaultMo.size()},
                        {"locale\\de\\LC_MESSAGES\\serialkit.mo", kitAt, kitMo.size()}});
  std::string h1;
  AppendLittle64(h1, first);
  exe.replace(patchAt, 8, h1);
  const fs::path probe = dir.Path() / "app" / "comrelay";
  WriteBytes(probe, exe);

  const std::string dirText = (dir.Path() / "app").string() + "/";
  const std::string out = RunProbe(probe, "LANG=de_DE.UTF-8",
                                   "locate '" + dirText +
                                       "locale/de/LC_MESSAGES/default.mo' resource 65395 "
                                       "resource 65397 register serialkit resource 65397 resource 65396");
  EXPECT_EQ(out, "start " + std::to_string(first) + "\n" + "entries 2\n" + "locate " + probe.string() + " " +
                     std::to_string(defaultAt) + " " + std::to_string(defaultMo.size()) + "\n" +
                     "resource Keine Adresse angegeben\n" + "resource Socket already open\n" +
                     "register serialkit\n" + "resource Socket schon offen\n" +
                     "resource Can't create new socket\n");
}

TEST(EmbeddedProgram, UnpatchedCopyUsesCataloguesBesideIt) {
  TTempDir dir;
  std::size_t patchAt = 0;
  const fs::path probe = dir.Path() / "comrelay";
  WriteBytes(probe, CopyProbe(patchAt));
  MakeCatalogue(CataloguePath(dir.Path() / "locale", "zh", "default"),
                {{"Socket already open", "套接字已打开"}});
  const std::string out = RunProbe(probe, "LANG=zh_CN.GB18030", "resource 65397 resource 65395");
  EXPECT_EQ(out,
            "start 0\nentries 0\nresource " + Ansi("套接字已打开") + "\nresource No address specified\n");
  // Without LANG and without locale names the language is "C": nothing is translated.
  EXPECT_EQ(RunProbe(probe, "-u LANG", "resource 65397"),
            "start 0\nentries 0\nresource Socket already open\n");
}
#endif
