#include "platform/serial/readfilter.h"

void TReadFilter::Configure(bool marks, bool dropNull, bool replace, char replacement) {
  if (marks != marks_) state_ = 0;
  marks_ = marks;
  dropNull_ = dropNull;
  replace_ = replace;
  replacement_ = replacement;
}

std::size_t TReadFilter::Apply(const char* in, std::size_t count, char* out) {
  std::size_t n = 0;
  auto emit = [&](char c) {
    if (dropNull_ && c == 0) return;
    out[n++] = c;
  };
  for (std::size_t i = 0; i < count; ++i) {
    const char c = in[i];
    if (!marks_) {
      emit(c);
      continue;
    }
    switch (state_) {
      case 0:
        if (static_cast<unsigned char>(c) == 0xFF)
          state_ = 1;
        else
          emit(c);
        break;
      case 1:
        if (c == 0) {
          state_ = 2;
        } else {
          // 0xFF 0xFF is a real 0xFF; anything else after a lone 0xFF is passed as it came.
          emit('\xFF');
          if (static_cast<unsigned char>(c) != 0xFF) emit(c);
          state_ = 0;
        }
        break;
      default:
        // 0xFF 0x00 0x00 is a break, read as one NUL; 0xFF 0x00 x is x with a parity or framing error.
        if (c == 0) {
          emit('\0');
        } else {
          ++errors_;
          emit(replace_ ? replacement_ : c);
        }
        state_ = 0;
        break;
    }
  }
  return n;
}
