// The read path's rewriting of received bytes: parity-error marks (PARMRK's 0xFF 0x00 x) give the
// byte x as it came, or the replacement character when one is asked for; a doubled 0xFF gives one
// 0xFF, and NUL bytes may be discarded. Sequences split across reads are carried over.
#pragma once
#include <cstddef>

class TReadFilter {
 public:
  void Configure(bool marks, bool dropNull, bool replace, char replacement);
  bool Active() const { return marks_ || dropNull_; }
  // Rewrites `in` into `out` (not overlapping); answers the bytes written: at most `count`,
  // plus one when a lone 0xFF was carried over (see Slack).
  std::size_t Apply(const char* in, std::size_t count, char* out);
  // How many more bytes than it takes the next Apply may write.
  std::size_t Slack() const { return state_ == 1 ? 1 : 0; }
  void Reset() { state_ = 0; }
  // Marked (errored) bytes seen so far; never reset, so a reader compares against its last look.
  unsigned long Errors() const { return errors_; }

 private:
  bool marks_ = false;
  bool dropNull_ = false;
  bool replace_ = false;
  char replacement_ = 0;
  unsigned long errors_ = 0;
  int state_ = 0;  // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
};
