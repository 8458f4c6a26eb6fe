// Closing a descriptor once and forgetting it.
#pragma once

// Closes `fd` when it is open and sets it to -1. Never retried: Linux releases the descriptor even
// when close reports EINTR, and a retry could close one another thread has just opened.
void CloseDescriptor(int& fd);
