#include "platform/text/qtext.h"

#include <algorithm>
#include <bit>
#include <cerrno>

#include "platform/text/iconvhandle.h"

TDecodedBytes DecodeAnsiBytes(std::string_view bytes, std::size_t maxUnits) {
  TDecodedBytes out;
  // glibc's converter says where a sequence is invalid or incomplete, which Qt's does not. One
  // per thread: a converter keeps state while it works.
  thread_local TIconv decoder(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE",
                              "GB18030");
  // Every byte gives at most one UTF-16 unit or one stray byte.
  const std::size_t cap = std::min(bytes.size(), maxUnits);
  out.text.resize(qsizetype(cap));
  // Bytes below 0x80 before any other byte are characters of their own (only after a lead byte
  // can one be a second byte): time stamps and most traffic text need no converter.
  std::size_t ascii = 0;
  char16_t* const units16 = reinterpret_cast<char16_t*>(out.text.data());
  for (; ascii < cap && static_cast<unsigned char>(bytes[ascii]) < 0x80; ++ascii)
    units16[ascii] = char16_t(bytes[ascii]);
  char* in = const_cast<char*>(bytes.data()) + ascii;
  std::size_t inLeft = bytes.size() - ascii;
  char* const base = reinterpret_cast<char*>(out.text.data());
  char* outAt = base + 2 * ascii;
  auto units = [&] { return std::size_t(outAt - base) / 2; };
  decoder.Restart();
  while (inLeft > 0) {
    const std::size_t room = cap - units() - out.stray.size();
    if (room == 0) break;
    std::size_t outLeft = room * 2;
    const std::size_t r =
        decoder.Valid() ? iconv(decoder.Handle(), &in, &inLeft, &outAt, &outLeft) : std::size_t(-1);
    if (r != std::size_t(-1)) break;
    const int error = decoder.Valid() ? errno : EILSEQ;
    const std::size_t left = cap - units() - out.stray.size();
    if (error == E2BIG || left == 0) break;
    // An invalid sequence: its first byte forms no character, what follows may. A cut
    // character at the end (EINVAL): none of its bytes do.
    const std::size_t n = error == EINVAL ? std::min(inLeft, left) : 1;
    for (std::size_t k = 0; k < n; ++k) out.stray.push_back({qsizetype(units()), std::uint8_t(in[k])});
    in += n;
    inLeft -= n;
  }
  out.text.truncate(qsizetype(units()));
  out.used = bytes.size() - inLeft;
  return out;
}
