#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A delay line between two network namespaces, for benchmarks that need round trips.

The kernel here has no netem, so latency is made in user space: every IP packet read from the TUN
device in one namespace is written to the TUN device in the other one a fixed time later, in both
directions. The devices must already exist (ip tuntap add ... mode tun); this program attaches to
them by name and makes nothing else.

    delay_line.py DELAY_MS NETNS:DEVICE NETNS:DEVICE

DELAY_MS is one way: 25 gives a round trip of 50 ms. It runs until SIGTERM or SIGINT, then prints
what it forwarded and how late it was at worst, on standard error.
"""

import collections
import ctypes
import fcntl
import os
import select
import signal
import struct
import sys
import time

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
CLONE_NEWNET = 0x40000000
# An IP packet is at most 64 KiB, whatever the MTU of the devices.
MAX_PACKET = 65536
# Packets read from one device in a row before due packets are sent again: a burst on one side
# must not hold back the other direction, nor make packets of this one late.
READ_BATCH = 64
# A packet sent later than this after its time is counted as late in the summary.
LATE_SECONDS = 0.001

libc = ctypes.CDLL(None, use_errno=True)


def enter_netns(fd):
    if libc.setns(fd, CLONE_NEWNET) != 0:
        err = ctypes.get_errno()
        raise OSError(err, "setns: " + os.strerror(err))


def open_tun(netns, device):
    """Attaches to DEVICE inside NETNS; the descriptor keeps working after we leave."""
    home = os.open("/proc/self/ns/net", os.O_RDONLY)
    target = os.open(os.path.join("/var/run/netns", netns), os.O_RDONLY)
    try:
        enter_netns(target)
        fd = os.open("/dev/net/tun", os.O_RDWR | os.O_NONBLOCK)
        fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", device.encode(), IFF_TUN | IFF_NO_PI))
        return fd
    finally:
        enter_netns(home)
        os.close(target)
        os.close(home)


class Direction:
    """Packets read from one device, waiting for their time to be written to the other.

    The delay is the same for every packet, so the times come in order: a FIFO keeps them sorted
    and the packets in the order they came.
    """

    def __init__(self, source, sink, delay):
        self.source, self.sink, self.delay = source, sink, delay
        self.waiting = collections.deque()
        self.forwarded = self.dropped = self.late = 0
        self.worst_late = 0.0
        self.most_waiting = 0

    def read(self, now):
        for _ in range(READ_BATCH):
            try:
                packet = os.read(self.source, MAX_PACKET)
            except BlockingIOError:
                break
            self.waiting.append((now + self.delay, packet))
        self.most_waiting = max(self.most_waiting, len(self.waiting))

    def send_due(self, now):
        """Writes every packet whose time has come; returns when the next one is due, or None."""
        while self.waiting and self.waiting[0][0] <= now:
            due, packet = self.waiting.popleft()
            lateness = now - due
            self.worst_late = max(self.worst_late, lateness)
            self.late += lateness > LATE_SECONDS
            try:
                os.write(self.sink, packet)
                self.forwarded += 1
            except OSError:
                # A device whose queue is full drops the packet, as a router would: TCP resends.
                self.dropped += 1
        return self.waiting[0][0] if self.waiting else None

    def summary(self, name):
        return (f"{name}: {self.forwarded} packets forwarded, {self.dropped} dropped, "
                f"{self.late} more than {LATE_SECONDS * 1000:g} ms late "
                f"(worst {self.worst_late * 1000:.1f} ms), at most {self.most_waiting} waiting")


class Stop(Exception):
    """Raised by the signal handler: select would otherwise be resumed after the signal."""


def stop(*_):
    raise Stop


def run(directions):
    while True:
        now = time.monotonic()
        next_due = [d for d in (x.send_due(now) for x in directions.values()) if d is not None]
        timeout = max(0.0, min(next_due) - time.monotonic()) if next_due else None
        readable, _, _ = select.select(list(directions), [], [], timeout)
        now = time.monotonic()
        for fd in readable:
            directions[fd].read(now)


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: delay_line.py DELAY_MS NETNS:DEVICE NETNS:DEVICE")
    delay = float(sys.argv[1]) / 1000
    ends = [arg.split(":", 1) for arg in sys.argv[2:]]
    a, b = (open_tun(netns, device) for netns, device in ends)
    directions = {a: Direction(a, b, delay), b: Direction(b, a, delay)}
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        run(directions)
    except Stop:
        pass
    for (netns, _), fd in zip(ends, (a, b)):
        print(directions[fd].summary(f"from {netns}"), file=sys.stderr)


if __name__ == "__main__":
    main()
