// Bytes through a relay under test, from one far end to the other: written at the serial far end
// (a pseudo-terminal's master) and read at the TCP server, or the other way round.
#pragma once
#include <string>

#include "tests/support/loopback.h"
#include "tests/support/pty.h"

// Writes `bytes` at one end and answers what reached the other, once as many bytes came or a
// minute passed. The UI thread's events are delivered meanwhile, so the relay may run in it.
std::string SerialToServer(TPseudoTerminal& pty, loopback::TServer& server, const std::string& bytes);
std::string ServerToSerial(loopback::TServer& server, TPseudoTerminal& pty, const std::string& bytes);
