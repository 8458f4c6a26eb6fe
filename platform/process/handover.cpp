#include "platform/process/handover.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

std::string ExecutableDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, std::size_t(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FindSibling(const std::string& program, const std::vector<std::string>& folders) {
  const std::string home = ExecutableDirectory();
  if (home.empty()) return {};
  for (const auto& folder : folders) {
    const std::string path = folder == "." ? home + "/" + program : home + "/" + folder + "/" + program;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

void ExecSibling(const std::string& program, const std::vector<std::string>& folders, char** argv) {
  const std::string path = FindSibling(program, folders);
  if (path.empty()) {
    errno = ENOENT;
    return;
  }
  execv(path.c_str(), argv);
}
