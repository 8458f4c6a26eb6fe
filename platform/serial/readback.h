// What a driver made of the line settings it was given. Drivers take a record they cannot honour
// without complaint and quietly keep what they can (a CH340 has no mark or space parity, many
// adapters no 5 data bits or 1.5 stop bits), so the record is read back and compared.
#pragma once
struct termios2;  // <asm/termbits.h>, in the .cpp files only

// 3 % either way is what a UART's clock divider may round to and the far end still decodes.
inline constexpr unsigned kBaudTolerancePercent = 3;

// 0 when `got` keeps everything `asked` set; otherwise the owncause code of the first setting
// the driver refused or changed: data bits, parity, stop bits, flow control, then the baud rate.
int RefusedSetting(const termios2& asked, const termios2& got);
