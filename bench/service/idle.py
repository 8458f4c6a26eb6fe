#!/usr/bin/env python3
"""Resident memory and wake-ups of an idle service instance.

Starts `comrelay --headless` on a fresh pseudo-terminal against a TCP server on 127.0.0.1,
waits until the port is open and the connection is up, lets it settle, then reads VmRSS and
the context switches of every thread over the sampling time. The goal is under 15 MiB and
under 1 wake-up a second.

    bench/service/idle.py build/default/main/comrelay [seconds]
"""
import os
import pty
import socket
import subprocess
import sys
import time


def switches(pid):
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{tid}/status") as f:
            for line in f:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
    return total


def status(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split()[1:]
    return None


def main():
    program = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    master, slave = pty.openpty()
    device = os.ttyname(slave)
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    port = server.getsockname()[1]
    relay = subprocess.Popen([program, "--headless", "--device", device, "--server", f"127.0.0.1:{port}"],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        client, _ = server.accept()
        time.sleep(2.0)  # start-up settles
        before = switches(relay.pid)
        time.sleep(seconds)
        after = switches(relay.pid)
        rss_kib = int(status(relay.pid, "VmRSS")[0])
        threads = int(status(relay.pid, "Threads")[0])
        print(f"VmRSS {rss_kib / 1024:.1f} MiB, threads {threads}, "
              f"wake-ups {after - before} in {seconds:.0f} s ({(after - before) / seconds:.2f}/s)")
        client.close()
    finally:
        relay.terminate()
        relay.wait(10)
        os.close(master)
        os.close(slave)


if __name__ == "__main__":
    main()
