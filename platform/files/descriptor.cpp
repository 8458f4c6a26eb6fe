#include "platform/files/descriptor.h"

#include <unistd.h>

void CloseDescriptor(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}
