#include "main/consoleparts.h"

#include "platform/portlist.h"
#include "relay/realends.h"
#include "relay/systemtexts.h"

TPortSource SysfsPortSource(std::string ttyClassDir) {
  return [dir = std::move(ttyClassDir)](std::vector<std::string>& names) {
    return EnumerateSerialPorts(dir, names);
  };
}

TPortSource FixedPortSource(std::vector<std::string> fixed) {
  return [fixed = std::move(fixed)](std::vector<std::string>& names) {
    names = fixed;
    return true;
  };
}

TFormMainParts MakeConsoleParts(TPortSource ports) {
  return TFormMainParts{MakeSerialPortEnd(), MakeTcpClientEnd(), std::move(ports),
                        [](int code) { return ConsoleErrorText(code); }};
}
