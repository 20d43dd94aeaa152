# SPDX-License-Identifier: GPL-3.0-or-later
"""A TCP proxy on 127.0.0.1 that delays every chunk by a fixed time in each
direction (the kernel here has no netem), for measuring a scan as if the
server were far away. With --strip it drops a capability line from what the
server sends, to make a server look as if it could not pipeline.

Usage: delay_proxy.py TARGET_PORT DELAY_MS [--strip PIPELINING]
Prints the port it listens on, then serves until it is killed."""
import argparse
import asyncio
import sys
import time


async def forward(reader, writer, delay, strip):
    queue = asyncio.Queue()

    async def take():
        pending = b""
        while True:
            data = await reader.read(65536)
            if not data:
                if pending:
                    await queue.put((time.monotonic() + delay, pending))
                await queue.put((time.monotonic() + delay, None))
                return
            if strip is not None:
                pending += data
                lines = pending.split(b"\n")
                pending = lines.pop()
                data = b"".join(line + b"\n" for line in lines if line.rstrip(b"\r") != strip)
                if not data:
                    continue
            await queue.put((time.monotonic() + delay, data))

    async def give():
        while True:
            due, data = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                try:
                    writer.write_eof()
                except OSError:
                    pass
                return
            writer.write(data)
            await writer.drain()

    try:
        await asyncio.gather(take(), give())
    except (ConnectionError, OSError):
        pass
    finally:
        writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("target", type=int)
    parser.add_argument("delay_ms", type=float)
    parser.add_argument("--strip", default=None)
    args = parser.parse_args()
    delay = args.delay_ms / 1000.0
    strip = args.strip.encode() if args.strip else None

    async def serve(client_reader, client_writer):
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.target)
        await asyncio.gather(forward(client_reader, server_writer, delay, None),
                             forward(server_reader, client_writer, delay, strip))

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
