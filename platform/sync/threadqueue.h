// Per-thread message queues with the Win32 meaning: PostThreadMessageA from any thread,
// PeekMessageA and MsgWaitForMultipleObjects on the owning thread. A queue exists from the
// creation of its TThread (so posting right after creation is accepted) until the thread's body
// returns; a message owns its block, and the blocks of messages never taken are freed.
#pragma once
#include "platform/sync/events.h"
#include "runtime/localmem.h"

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr DWORD QS_ALLINPUT = 0x04FF;

struct MSG {
  HWND hwnd = 0;  // thread messages are addressed to no window
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  TLocalBlock Block;  // owned by the message; lParam usually points into it
};

DWORD GetCurrentThreadId();

// False (ERROR_INVALID_THREAD_ID) when the thread has no queue or has ended; the block is then freed.
BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block = {});
// Looks at the calling thread's queue; window and range filters are not supported (pass 0).
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
// As WaitForMultipleObjects, plus index `count` when the calling thread's queue holds input.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask);

inline constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
