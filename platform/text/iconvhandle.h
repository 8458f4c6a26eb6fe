// One converter of the C library (iconv) as an owned handle: opened once, closed once, and put
// back to its initial state before each text so that nothing of a failed text carries over.
#pragma once
#include <iconv.h>

class TIconv {
 public:
  // Not Valid() when the C library has no converter between the two sets.
  TIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~TIconv() {
    if (Valid()) iconv_close(cd_);
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;

  bool Valid() const { return cd_ != iconv_t(-1); }
  iconv_t Handle() const { return cd_; }
  void Restart() {
    if (Valid()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }

 private:
  iconv_t cd_;
};
