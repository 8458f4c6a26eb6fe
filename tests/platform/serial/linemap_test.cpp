// DCB to terminal mapping and the read path's byte rewriting: pure functions, no device.
#include "platform/serial/linemap.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>

#include "platform/serial/readfilter.h"

namespace {
DCB Base() {
  DCB dcb;
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Flags = dcbflag::fBinary | (DTR_CONTROL_ENABLE << dcbflag::fDtrControlShift) |
              (RTS_CONTROL_ENABLE << dcbflag::fRtsControlShift);
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

struct TMapped : TLineApply {
  termios2 attributes{};
};

TMapped Map(const DCB& dcb) {
  termios2 current{};
  // Everything a previous user may have left on: echo, canonical mode, CR/LF translation.
  current.c_iflag = ICRNL | IXANY | ISTRIP;
  current.c_oflag = OPOST | ONLCR;
  current.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
  current.c_cflag = B9600 | CS7 | PARENB | HUPCL;
  TMapped out;
  EXPECT_TRUE(MapDcbToTerminal(dcb, current, out.attributes, out));
  return out;
}
}  // namespace

TEST(LineMap, RawEightNoneOneWithAnyBaudRate) {
  for (DWORD baud : {9600u, 56000u, 128000u, 256000u, 12345u}) {
    DCB dcb = Base();
    dcb.BaudRate = baud;
    const termios2 t = Map(dcb).attributes;
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER)) << baud;
    EXPECT_EQ(t.c_ospeed, baud);
    EXPECT_EQ(t.c_ispeed, baud);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag, 0u);
    EXPECT_EQ(t.c_oflag, 0u);
    EXPECT_EQ(t.c_lflag, 0u);
  }
}

TEST(LineMap, FramingAndParity) {
  struct Case {
    BYTE parity;
    tcflag_t flags;
  } cases[] = {{NOPARITY, 0},
               {ODDPARITY, PARENB | PARODD},
               {EVENPARITY, PARENB},
               {MARKPARITY, PARENB | CMSPAR | PARODD},
               {SPACEPARITY, PARENB | CMSPAR}};
  for (auto c : cases) {
    DCB dcb = Base();
    dcb.Parity = c.parity;
    EXPECT_EQ(Map(dcb).attributes.c_cflag & (PARENB | PARODD | CMSPAR), c.flags) << int(c.parity);
  }
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (BYTE bits = 5; bits <= 8; ++bits) {
    DCB dcb = Base();
    dcb.ByteSize = bits;
    EXPECT_EQ(Map(dcb).attributes.c_cflag & CSIZE, sizes[bits - 5]);
  }
  for (BYTE stop : {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS}) {
    DCB dcb = Base();
    dcb.StopBits = stop;
    EXPECT_EQ((Map(dcb).attributes.c_cflag & CSTOPB) != 0, stop != ONESTOPBIT);
  }
}

TEST(LineMap, FlagsAndCharacters) {
  DCB dcb = Base();
  dcb.Flags |= dcbflag::fParity | dcbflag::fOutX | dcbflag::fInX | dcbflag::fErrorChar | dcbflag::fNull;
  dcb.XonChar = 'a';
  dcb.XoffChar = 'b';
  dcb.ErrorChar = '?';
  const TMapped a = Map(dcb);
  EXPECT_EQ(a.attributes.c_iflag, static_cast<tcflag_t>(INPCK | IXON | IXOFF | PARMRK));
  EXPECT_EQ(a.attributes.c_cc[VSTART], 'a');
  EXPECT_EQ(a.attributes.c_cc[VSTOP], 'b');
  EXPECT_TRUE(a.nullStrip);
  EXPECT_TRUE(a.errorChar);
  EXPECT_EQ(a.replacement, '?');

  DCB cts = Base();
  cts.Flags |= dcbflag::fOutxCtsFlow;
  EXPECT_TRUE(Map(cts).attributes.c_cflag & CRTSCTS);
  // RTS handshake alone must not stall output on an unwired CTS.
  DCB rtsHandshake = Base();
  rtsHandshake.Flags = dcbflag::fBinary | (RTS_CONTROL_HANDSHAKE << dcbflag::fRtsControlShift);
  EXPECT_FALSE(Map(rtsHandshake).attributes.c_cflag & CRTSCTS);
  EXPECT_TRUE(Map(rtsHandshake).rts);
  rtsHandshake.Flags |= dcbflag::fOutxCtsFlow;
  EXPECT_TRUE(Map(rtsHandshake).attributes.c_cflag & CRTSCTS);

  // Kept in the record only: no terminal flag follows them.
  DCB inert = Base();
  inert.Flags |= dcbflag::fDsrSensitivity | dcbflag::fOutxDsrFlow | dcbflag::fTXContinueOnXoff;
  inert.XonLim = 1;
  inert.XoffLim = 2;
  EXPECT_EQ(Map(inert).attributes.c_iflag, 0u);
  EXPECT_EQ(Map(inert).attributes.c_cflag, Map(Base()).attributes.c_cflag);
}

TEST(LineMap, ModemLineActions) {
  auto with = [](DWORD dtr, DWORD rts) {
    DCB dcb = Base();
    dcb.Flags = dcbflag::fBinary | (dtr << dcbflag::fDtrControlShift) | (rts << dcbflag::fRtsControlShift);
    return Map(dcb);
  };
  EXPECT_TRUE(with(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE).dtr);
  EXPECT_FALSE(with(DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE).dtr);
  EXPECT_TRUE(with(DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE).dtr);
  EXPECT_TRUE(with(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE).rts);
  EXPECT_FALSE(with(DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE).rts);
  const TMapped toggle = with(DTR_CONTROL_ENABLE, RTS_CONTROL_TOGGLE);
  EXPECT_TRUE(toggle.rts);
  EXPECT_TRUE(toggle.rs485);
  EXPECT_FALSE(with(DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE).rs485);
}

TEST(LineMap, RefusesWhatNoDeviceTakes) {
  termios2 current{}, attributes{};
  TLineApply out;
  DCB dcb = Base();
  dcb.BaudRate = 0;
  EXPECT_FALSE(MapDcbToTerminal(dcb, current, attributes, out));
  dcb = Base();
  dcb.ByteSize = 9;
  EXPECT_FALSE(MapDcbToTerminal(dcb, current, attributes, out));
  dcb = Base();
  dcb.ByteSize = 4;
  EXPECT_FALSE(MapDcbToTerminal(dcb, current, attributes, out));
  dcb = Base();
  dcb.Parity = 5;
  EXPECT_FALSE(MapDcbToTerminal(dcb, current, attributes, out));
  dcb = Base();
  dcb.StopBits = 3;
  EXPECT_FALSE(MapDcbToTerminal(dcb, current, attributes, out));
}

TEST(LineMap, FramingReadBackFromTheDevice) {
  for (BYTE parity = NOPARITY; parity <= SPACEPARITY; ++parity)
    for (BYTE stop : {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS}) {
      DCB dcb = Base();
      dcb.Parity = parity;
      dcb.StopBits = stop;
      dcb.ByteSize = 5;
      dcb.BaudRate = 128000;
      DCB back = dcb;
      back.Parity = back.ByteSize = 0;
      back.BaudRate = 0;
      ReadTerminalFraming(Map(dcb).attributes, back);
      EXPECT_EQ(back.Parity, parity);
      EXPECT_EQ(back.StopBits, stop);
      EXPECT_EQ(back.ByteSize, 5);
      EXPECT_EQ(back.BaudRate, 128000u);
    }
}

TEST(ReadFilter, ParityMarksBecomeTheReplacementAcrossReads) {
  TReadFilter f;
  f.Configure(true, false, true, '?');
  const std::string in(
      "a\xFF\x00x"
      "b\xFF\xFF"
      "c\xFF\x00\x00"
      "d",
      12);
  char out[32];
  std::string got;
  // Fed one byte at a time: every sequence is split.
  for (char c : in) got.append(out, f.Apply(&c, 1, out));
  EXPECT_EQ(got, std::string("a?b\xFF"
                             "c\0d",
                             7));
  EXPECT_EQ(f.Errors(), 1u);
}

TEST(ReadFilter, WithoutReplacementTheErroredByteComesThroughAsItCame) {
  // The terminal would have made it a NUL without the marks; here it stays itself, 0xFF too.
  TReadFilter f;
  f.Configure(true, false, false, '?');
  const std::string in(
      "a"
      "\xFF\x00x"     // errored x
      "\xFF\x00\xFF"  // errored 0xFF
      "\xFF\xFF"      // a plain 0xFF, doubled by the terminal
      "\xFF\x00\x00"  // a break
      "z",
      13);
  char out[32];
  EXPECT_EQ(std::string(out, f.Apply(in.data(), in.size(), out)), std::string("ax\xFF\xFF\0z", 6));
  EXPECT_EQ(f.Errors(), 2u);
}

TEST(ReadFilter, NullBytesDroppedOnlyWhenAsked) {
  TReadFilter f;
  const std::string in("a\0b\0", 4);
  char out[8];
  f.Configure(false, true, false, 0);
  EXPECT_EQ(std::string(out, f.Apply(in.data(), in.size(), out)), "ab");
  f.Configure(false, false, false, 0);
  EXPECT_FALSE(f.Active());
  EXPECT_EQ(std::string(out, f.Apply(in.data(), in.size(), out)), in);
}

TEST(ReadFilter, CarriedMarkNeedsOneMorePlace) {
  TReadFilter f;
  f.Configure(true, false, true, '?');
  char out[4];
  const char ff = '\xFF', x = 'x';
  EXPECT_EQ(f.Apply(&ff, 1, out), 0u);
  EXPECT_EQ(f.Slack(), 1u);
  // A lone 0xFF followed by a plain byte yields both.
  ASSERT_EQ(f.Apply(&x, 1, out), 2u);
  EXPECT_EQ(out[0], '\xFF');
  EXPECT_EQ(out[1], 'x');
  EXPECT_EQ(f.Slack(), 0u);
}
