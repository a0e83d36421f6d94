#!/usr/bin/env python3
"""An emulated line between the clients on 127.0.0.1 and local servers: a TCP relay.

Each --relay LISTEN:TARGET listens on 127.0.0.1:LISTEN and carries every connection to
127.0.0.1:TARGET over one line shared by all of them, as a player's line to the hosts:
  - every byte travels half the round trip each way, so each request costs a round trip;
  - a new connection costs one more round trip (its handshake) before its first byte goes;
  - each direction carries --mbps megabits a second in all (the connections take turns,
    a piece of at most 16 KiB each), so transfers at once share the rate.
A close by either side reaches the other half a round trip later, in order after its bytes.

--log FILE gets one line per event, times in Unix seconds:
  OPEN ID LISTEN at T                     a client connected
  CLOSED ID by client|server at T SENT    the side closed (SENT: bytes of the answers so far)
  BUSY FROM TO                            the line towards the clients carried bytes from FROM
                                          to TO without a pause (written when the pause comes
                                          and at the end; pauses under 1 ms do not count)
Standard library only.
"""
import argparse
import asyncio
import collections
import itertools
import os
import signal
import sys
import time

PIECE = 16384
# What one connection may have waiting for its turn on the line before it reads more from its
# sender, as a router's queue; the bytes already on their way are bounded by the line itself.
QUEUED = 16 * PIECE
# How far ahead of the clock the line plans its pieces, so that the scheduler's own lateness
# leaves no pause on the line.
AHEAD = 0.03
GAP = 0.001


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1, encoding="utf-8") if path else None

    def write(self, line):
        if self.file:
            self.file.write(line + "\n")


class Flow:
    """One direction of one connection: its bytes waiting for their turn, and those on their
    way, delivered in order half a round trip after they left."""

    def __init__(self, writer, source):
        self.waiting = collections.deque()
        self.waiting_bytes = 0
        self.room = asyncio.Event()
        self.room.set()
        self.arrivals = asyncio.Queue()
        self.writer = writer
        self.source = source  # the sending side's writer, cut off when the receiver has gone

    async def deliver(self):
        gone = False
        while True:
            arrival, data = await self.arrivals.get()
            wait = arrival - time.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            if gone:
                continue
            try:
                self.writer.write(data)
                await self.writer.drain()
            except (ConnectionError, OSError):
                gone = True
                self.source.transport.abort()
        if gone:
            return
        try:
            if self.writer.can_write_eof():
                self.writer.write_eof()
            else:
                self.writer.close()
        except (ConnectionError, OSError):
            pass


class Direction:
    """One direction of the line: the flows with bytes waiting take turns, a piece each, at a
    rate shared by all."""

    def __init__(self, mbps, delay, log=None):
        self.seconds_per_byte = 8 / (mbps * 1e6)
        self.delay = delay
        self.free_at = 0.0
        self.log = log
        self.busy = None  # [from, to] of the run of bytes going now
        self.turns = collections.deque()  # flows with bytes waiting, in turn
        self.work = asyncio.Event()

    def offer(self, flow, data):
        if data is not None:
            flow.waiting_bytes += len(data)
            if flow.waiting_bytes >= QUEUED:
                flow.room.clear()
        flow.waiting.append(data)
        if flow not in self.turns:
            self.turns.append(flow)
        self.work.set()

    async def run(self):
        while True:
            if not self.turns:
                self.work.clear()
                await self.work.wait()
                continue
            flow = self.turns.popleft()
            data = flow.waiting.popleft()
            if flow.waiting:
                self.turns.append(flow)
            now = time.time()
            if data is None:  # the close, after the bytes before it
                flow.arrivals.put_nowait((max(now, self.free_at) + self.delay, None))
                continue
            flow.waiting_bytes -= len(data)
            if flow.waiting_bytes < QUEUED:
                flow.room.set()
            start = max(now, self.free_at)
            self.free_at = start + len(data) * self.seconds_per_byte
            self.mark(start)
            flow.arrivals.put_nowait((self.free_at + self.delay, data))
            if self.free_at - now > AHEAD:
                await asyncio.sleep(self.free_at - now - AHEAD)

    def mark(self, start):
        if not self.log:
            return
        if self.busy and start - self.busy[1] <= GAP:
            self.busy[1] = self.free_at
        else:
            self.flush()
            self.busy = [start, self.free_at]

    def flush(self):
        if self.log and self.busy:
            self.log.write(f"BUSY {self.busy[0]:.4f} {self.busy[1]:.4f}")
            self.busy = None


class Line:
    def __init__(self, rtt_ms, mbps, log):
        self.delay = rtt_ms / 2000.0
        self.log = log
        self.down = Direction(mbps, self.delay, log)  # towards the clients
        self.up = Direction(mbps, self.delay)
        self.ids = itertools.count(1)

    async def carry(self, reader, source, writer, direction, counted, on_close):
        """Carries one direction of one connection, then its close. A side that can no longer
        take bytes has gone: the other is cut off too (source: the reader's writer)."""
        flow = Flow(writer, source)
        delivery = asyncio.ensure_future(flow.deliver())
        while True:
            await flow.room.wait()
            try:
                data = await reader.read(PIECE)
            except (ConnectionError, OSError):
                data = b""
            if not data:
                break
            counted[0] += len(data)
            direction.offer(flow, data)
        on_close()
        direction.offer(flow, None)
        await delivery

    async def connection(self, client_reader, client_writer, listen, target):
        ident = next(self.ids)
        self.log.write(f"OPEN {ident} {listen} at {time.time():.4f}")
        sent = [0]
        received = [0]
        # The handshake: a round trip before the connection carries anything.
        await asyncio.sleep(2 * self.delay)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
        except OSError:
            self.log.write(f"CLOSED {ident} by server at {time.time():.4f} 0")
            client_writer.close()
            return

        def closed(side):
            return lambda: self.log.write(
                f"CLOSED {ident} by {side} at {time.time():.4f} {sent[0]}")

        await asyncio.gather(
            self.carry(client_reader, client_writer, server_writer, self.up, received,
                       closed("client")),
            self.carry(server_reader, server_writer, client_writer, self.down, sent,
                       closed("server")))
        for w in (client_writer, server_writer):
            w.close()


async def main_async(args):
    line = Line(args.rtt, args.mbps, Log(args.log))
    servers = []
    # Held here: the loop keeps only weak references to its tasks.
    directions = [asyncio.ensure_future(d.run()) for d in (line.down, line.up)]
    for relay in args.relay:
        listen, _, target = relay.partition(":")

        def handler(r, w, listen=int(listen), target=int(target)):
            return line.connection(r, w, listen, target)

        servers.append(await asyncio.start_server(handler, "127.0.0.1", int(listen),
                                                  reuse_address=True))
    if args.ready_file:
        tmp = args.ready_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(f"{os.getpid()}\n")
        os.replace(tmp, args.ready_file)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    line.down.flush()
    # The connections end with the process: tearing each down would only log its cancellation.
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--relay", action="append", required=True, metavar="LISTEN:TARGET")
    parser.add_argument("--rtt", type=float, required=True, help="round trip, milliseconds")
    parser.add_argument("--mbps", type=float, required=True, help="megabits a second")
    parser.add_argument("--log")
    parser.add_argument("--ready-file", help="written with the pid once every port listens")
    args = parser.parse_args()
    asyncio.run(main_async(args))


if __name__ == "__main__":
    sys.exit(main())
