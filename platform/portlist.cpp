#include "platform/portlist.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <memory>

namespace {
struct TDirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

bool Fail(TPlatformError* error, int code, const std::string& subject) {
  if (error) *error = TPlatformError::FromErrno(code, subject);
  return false;
}
}  // namespace

TDirectoryStep OpenDirectory(const std::string& dir, int& error) {
  DIR* opened = ::opendir(dir.c_str());
  if (!opened) {
    error = errno;
    return {};
  }
  // Shared because the step is a copyable function; a shared_ptr would call its deleter on null.
  std::shared_ptr<DIR> stream(opened, TDirCloser{});
  return [stream](std::string& name) {
    errno = 0;
    const dirent* entry = ::readdir(stream.get());
    if (!entry) return errno ? -errno : 0;
    name = entry->d_name;
    return 1;
  };
}

bool EnumerateSerialPorts(const std::string& ttyClassDir, std::vector<std::string>& names,
                          TPlatformError* error, const TDirectoryOpener& open) {
  int failure = 0;
  const TDirectoryStep next = open(ttyClassDir, failure);
  if (!next) return Fail(error, failure, ttyClassDir);
  std::vector<std::string> found;
  std::string name;
  int step;
  // A read that fails part-way is a failure: the names so far are not the list.
  while ((step = next(name)) > 0) {
    if (name == "." || name == "..") continue;
    const std::string entry = ttyClassDir + "/" + name;
    struct stat st;
    if (::stat((entry + "/device").c_str(), &st) != 0) {
      // A tty without a device, or one that went away while we looked.
      if (errno == ENOENT || errno == ENOTDIR) continue;
      return Fail(error, errno, entry);
    }
    std::ifstream type(entry + "/type");
    int uartType = -1;
    if (type && (type >> uartType) && uartType == 0) continue;
    found.push_back(name);
  }
  if (step < 0) return Fail(error, -step, ttyClassDir);
  names = std::move(found);
  return true;
}
