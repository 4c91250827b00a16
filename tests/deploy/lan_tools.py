#!/usr/bin/env python3
"""Helpers of the deploy suites, each run as a process of its own.

  lan_tools.py syslog SOCKET FILE
      The system log: receives messages on the Unix datagram socket SOCKET
      (the suites give it to the server as /dev/log) and appends each to
      FILE as one line. Runs until it is ended.
  lan_tools.py idle HOST PORT COUNT
      A client that opens COUNT TCP connections to HOST:PORT and sends
      nothing on them. Prints "connected N" once all are established (or
      "failed N: ERROR" at the first that is not), then holds them until it
      is ended.
"""
import os
import signal
import socket
import sys


def serve_syslog(path, out):
    receiver = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    receiver.bind(path + ".new")
    # The name appears only once the socket is bound: whoever waits for it
    # can send at once.
    os.rename(path + ".new", path)
    with open(out, "ab", buffering=0) as log:
        while True:
            message = receiver.recv(65536)
            log.write(message.rstrip(b"\0\n").replace(b"\n", b" ") + b"\n")


def hold_idle(host, port, count):
    held = []
    for n in range(count):
        try:
            held.append(socket.create_connection((host, port), timeout=10))
        except OSError as error:
            print(f"failed {n}: {error}", flush=True)
            break
    else:
        print(f"connected {count}", flush=True)
    signal.pause()


def main(argv):
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if len(argv) == 4 and argv[1] == "syslog":
        serve_syslog(argv[2], argv[3])
    elif len(argv) == 5 and argv[1] == "idle":
        hold_idle(argv[2], int(argv[3]), int(argv[4]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
