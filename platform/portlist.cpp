#include "platform/portlist.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

bool EnumerateSerialPorts(const std::string& ttyClassDir, std::vector<std::string>& names) {
  std::error_code ec;
  fs::directory_iterator it(ttyClassDir, ec);
  if (ec) return false;
  std::vector<std::string> found;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return false;
    const fs::path entry = it->path();
    if (!fs::exists(entry / "device", ec)) continue;
    std::ifstream type(entry / "type");
    int uartType = -1;
    if (type && (type >> uartType) && uartType == 0) continue;
    found.push_back(entry.filename().string());
  }
  names = std::move(found);
  return true;
}
