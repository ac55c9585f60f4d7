#!/usr/bin/env python3
"""A loopback proxy that delays every chunk by a fixed time, for tests and
benchmarks of a check over a slow network.

    latency_proxy.py --to PORT [--delay MS] [--lifetime SECONDS]

prints the port it listens on (127.0.0.1) and forwards every connection to
127.0.0.1:PORT. Each chunk read in either direction is written on DELAY
milliseconds after it was read (default 25, so a round trip costs 2 x 25 ms),
in the order it was read. Bandwidth is not limited: chunks in flight overlap,
and a chunk is never held longer than its own delay. Importable:
Proxy(to_port, delay_ms).start() -> port, .stop(); .durations lists how long
each finished connection lasted (accept to both directions closed), seconds.
"""

import argparse
import collections
import socket
import sys
import threading
import time


class _Pipe:
    """One direction: a reader thread stamps chunks, a writer thread sends
    each when its time has come."""

    def __init__(self, src, dst, delay, done=None):
        self.src, self.dst, self.delay, self.done = src, dst, delay, done
        self.queue = collections.deque()
        self.cond = threading.Condition()
        self.eof = False

    def read_loop(self):
        try:
            while True:
                data = self.src.recv(65536)
                with self.cond:
                    self.queue.append((time.monotonic() + self.delay, data))
                    self.cond.notify()
                if not data:
                    return
        except OSError:
            with self.cond:
                self.queue.append((time.monotonic() + self.delay, b""))
                self.cond.notify()

    def write_loop(self):
        try:
            while True:
                with self.cond:
                    while not self.queue:
                        self.cond.wait()
                    due, data = self.queue.popleft()
                wait = due - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                if not data:
                    self.dst.shutdown(socket.SHUT_WR)
                    return
                self.dst.sendall(data)
        except OSError:
            pass
        finally:
            if self.done:
                self.done()

    def start(self):
        for fn in (self.read_loop, self.write_loop):
            threading.Thread(target=fn, daemon=True).start()


class Proxy:
    def __init__(self, to_port, delay_ms=25.0, host="127.0.0.1"):
        self.to = (host, to_port)
        self.delay = delay_ms / 1000.0
        self.srv = None
        self.durations = []
        self.lock = threading.Lock()

    def start(self):
        self.srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.srv.bind(("127.0.0.1", 0))
        self.srv.listen(16)
        threading.Thread(target=self._accept_loop, daemon=True).start()
        return self.srv.getsockname()[1]

    def stop(self):
        if self.srv:
            self.srv.close()

    def _accept_loop(self):
        while True:
            try:
                client, _ = self.srv.accept()
            except OSError:
                return
            try:
                server = socket.create_connection(self.to)
            except OSError:
                client.close()
                continue
            for s in (client, server):
                s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            done = self._finisher(time.monotonic(), client, server)
            _Pipe(client, server, self.delay, done).start()
            _Pipe(server, client, self.delay, done).start()

    def _finisher(self, began, client, server):
        left = [2]

        def done():
            with self.lock:
                left[0] -= 1
                if left[0]:
                    return
                self.durations.append(time.monotonic() - began)
            for s in (client, server):
                try:
                    s.close()
                except OSError:
                    pass
        return done


def main(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--to", type=int, required=True)
    p.add_argument("--delay", type=float, default=25.0)
    p.add_argument("--lifetime", type=float, default=3600.0)
    a = p.parse_args(argv)
    proxy = Proxy(a.to, a.delay)
    print(proxy.start(), flush=True)
    time.sleep(a.lifetime)
    proxy.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
