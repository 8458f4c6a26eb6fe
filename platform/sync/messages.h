// Posted window messages on the UI thread. A TMessageWindow is a hidden window whose procedure
// is a method; PostMessageA may be called from any thread and delivers on the UI thread, in the
// order each thread posted. A message may own a heap block: the procedure may take it, and
// otherwise it is freed after delivery, or when the message is never delivered (the window is
// destroyed first, or the application ends).
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "runtime/localmem.h"
#include "runtime/wintypes.h"

inline constexpr UINT WM_USER = 0x0400;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
  TLocalBlock Block;  // owned by the message; LParam usually points into it
};

using TWindowProcedure = std::function<void(TMessage& message)>;

class TMessageWindow {
 public:
  // Must be created on the UI thread; the procedure runs there, behind the exception display.
  explicit TMessageWindow(TWindowProcedure procedure);
  ~TMessageWindow();
  TMessageWindow(const TMessageWindow&) = delete;
  TMessageWindow& operator=(const TMessageWindow&) = delete;

  HWND Handle() const { return handle_; }
  class Receiver;  // the Qt object the messages are delivered to

 private:
  HWND handle_;
  std::unique_ptr<Receiver> receiver_;
};

// False (last error ERROR_INVALID_WINDOW_HANDLE) when no such window exists; the block is then freed.
BOOL PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block = {});
// On the window's own thread with nothing posted to it still waiting, delivers at once (no
// wake-up of the loop, the order unchanged); posts otherwise.
BOOL DeliverOrPostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Messages one thread sends one window in a burst, held and then posted as one: the UI thread
// wakes once for all of them and delivers them one by one, in order, as if each had been posted.
// What is still held when the batch is destroyed is posted then.
class TPostBatch {
 public:
  explicit TPostBatch(HWND window) : window_(window) {}
  ~TPostBatch() { Post(); }
  TPostBatch(const TPostBatch&) = delete;
  TPostBatch& operator=(const TPostBatch&) = delete;

  void Hold(UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block = {});
  std::size_t Held() const { return held_.size(); }
  // As PostMessageA; nothing held is TRUE. Whatever happens, nothing is held afterwards.
  BOOL Post();

 private:
  const HWND window_;
  std::vector<TMessage> held_;
};

// Whether a window with that handle exists now.
bool IsWindow(HWND window);
// Delivers what is already posted to windows of the calling thread (for loops that must drain).
void ProcessPostedMessages();
