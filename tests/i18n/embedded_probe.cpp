// A small program for the embedded-catalogue tests: it starts the translation unit as the
// console does, then answers the commands on its command line, one line each.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "i18n/translation.h"
#include "runtime/exception.h"
#include "runtime/resources.h"
// The socket component's messages are the string-table entries the tests ask for.
#include "socket/socketerror.h"

int main(int argc, char** argv) {
  try {
    InitializeTranslationUnit();
    std::printf("start %llu\nentries %zu\n", static_cast<unsigned long long>(i18n::EmbeddedChainStart()),
                CatalogueIndex()->Count());
    for (int i = 1; i + 1 < argc; i += 2) {
      const std::string command = argv[i];
      const std::string argument = argv[i + 1];
      if (command == "locate") {
        std::string realPath;
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
        CatalogueIndex()->LocateFile(argument, realPath, offset, size);
        std::printf("locate %s %llu %llu\n", realPath.c_str(), static_cast<unsigned long long>(offset),
                    static_cast<unsigned long long>(size));
      } else if (command == "resource") {
        const ResourceStringRecord record{&HInstance, std::atoi(argument.c_str())};
        std::printf("resource %s\n", LoadResourceString(&record).c_str());
      } else if (command == "register") {
        RegisterResourceDomain(argument);
        std::printf("register %s\n", argument.c_str());
      }
    }
    FinalizeTranslationUnit();
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
