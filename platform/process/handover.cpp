#include "platform/process/handover.h"

#include <unistd.h>

#include <climits>

std::string ExecutableDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, std::size_t(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void ExecSibling(const std::string& program, char** argv) {
  const std::string path = ExecutableDirectory() + "/" + program;
  execv(path.c_str(), argv);
}
