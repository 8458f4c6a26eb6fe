// A pseudo-terminal whose slave side plays the serial port and whose master is the device end of
// the cable: the far end that tests and benchmarks write to and read from.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

class TPseudoTerminal {
 public:
  // A raw terminal with a non-blocking master; one slave descriptor is kept open, so the terminal
  // keeps its settings while the port is closed. Throws std::runtime_error when none can be had.
  TPseudoTerminal();
  ~TPseudoTerminal();
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

  // The slave's path, e.g. "/dev/pts/3": what a port name may be.
  const std::string& Path() const { return path_; }
  int MasterFd() const { return master_; }

  // Writes everything to the master (the bytes arrive at the port); while the terminal is full
  // the UI thread's events are delivered, so a port in this thread can take them.
  void Write(const std::string& bytes);
  // Writes what fits now; answers the count.
  std::size_t WriteSome(const char* data, std::size_t count);
  // Reads until `count` bytes came or `limit` passed.
  std::string Read(std::size_t count, std::chrono::milliseconds limit);
  // Reads whatever arrives until the line has been quiet for `quiet`.
  std::string ReadUntilQuiet(std::chrono::milliseconds quiet);
  // Whatever is waiting now, appended to `into`; false once the master sees a hang-up.
  bool ReadAvailable(std::string& into);
  // At most `max` bytes of what is waiting now.
  void ReadUpTo(std::string& into, std::size_t max);
  // Hangs the terminal up, as an unplugged device: the master and the kept slave close.
  void CloseMaster();
  // Sets the slave raw again (a port may have changed it).
  void MakeRaw();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// The physical limit of a pseudo-terminal, for benchmarks: `bytes` moved master -> slave
// (toSlave) or slave -> master, read and written raw in tight loops on two threads. Answers the
// seconds taken, 0 when not every byte arrived.
double RawPseudoTerminalTransfer(TPseudoTerminal& pty, std::size_t bytes, bool toSlave);
