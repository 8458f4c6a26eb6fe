#include "platform/devices/serialinfo.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
  return value;
}

std::string LinkTargetName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}
}  // namespace

TSerialPortInfo DescribeSerialPort(const std::string& device, const std::string& devDir,
                                   const std::string& ttyClassDir) {
  TSerialPortInfo info;
  std::error_code ec;
  // The links are named by udev after the device's attributes, so several may name one port
  // (one per interface); the first in directory order is as good as any.
  for (const auto& entry : fs::directory_iterator(fs::path(devDir) / "serial" / "by-id", ec)) {
    if (LinkTargetName(entry.path()) == device) {
      info.byIdLink = entry.path().string();
      break;
    }
  }
  // The USB device is the nearest ancestor of the tty's device with a vendor id.
  fs::path dir = fs::canonical(fs::path(ttyClassDir) / device / "device", ec);
  for (int up = 0; !ec && up < 8 && dir.has_relative_path(); ++up, dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", ec)) {
      info.maker = ReadAttribute(dir / "manufacturer");
      info.product = ReadAttribute(dir / "product");
      info.serial = ReadAttribute(dir / "serial");
      break;
    }
  }
  return info;
}

std::string ResolveByIdLink(const std::string& link) {
  std::error_code ec;
  if (!fs::exists(link, ec)) return {};  // a dangling link is a device gone
  return LinkTargetName(link);
}
