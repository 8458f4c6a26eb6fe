#include "platform/serial/readback.h"

#include <asm/termbits.h>

#include "runtime/errorvalue.h"

int RefusedSetting(const termios2& asked, const termios2& got) {
  if ((asked.c_cflag & CSIZE) != (got.c_cflag & CSIZE)) return owncause::ByteSizeRefused;
  // Odd/mark bits mean nothing without parity.
  const tcflag_t parity = (asked.c_cflag & PARENB) ? (PARENB | PARODD | CMSPAR) : PARENB;
  if ((asked.c_cflag & parity) != (got.c_cflag & parity)) return owncause::ParityRefused;
  if ((asked.c_cflag & CSTOPB) != (got.c_cflag & CSTOPB)) return owncause::StopBitsRefused;
  if ((asked.c_cflag & CRTSCTS) != (got.c_cflag & CRTSCTS) ||
      (asked.c_iflag & (IXON | IXOFF)) != (got.c_iflag & (IXON | IXOFF)))
    return owncause::FlowRefused;
  // A driver that reports no speed says nothing about it.
  if (got.c_ospeed != 0) {
    const unsigned long long want = asked.c_ospeed, have = got.c_ospeed;
    const unsigned long long off = want > have ? want - have : have - want;
    if (off * 100 > want * kBaudTolerancePercent) return owncause::BaudRateRefused;
  }
  return 0;
}
