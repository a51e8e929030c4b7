#!/usr/bin/env python3
"""A TCP proxy on loopback that delays every chunk by DELAY_MS in each direction.

  delay_proxy.py LISTEN_PORT TARGET_PORT DELAY_MS

Each chunk is sent on at its own arrival time + DELAY_MS: the delays overlap, so the link
keeps its bandwidth and only gains latency (this kernel has no netem). Order is kept.
Prints "ready" once it listens; ends on SIGTERM.
"""
import asyncio
import os
import signal
import sys

CHUNK = 256 * 1024


async def forward(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.create_task(send())
    try:
        while True:
            data = await reader.read(CHUNK)
            if not data:
                break
            queue.put_nowait((loop.time() + delay, data))
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((loop.time() + delay, None))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def serve(listen_port, target_port, delay):
    async def client(reader, writer):
        try:
            up_reader, up_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            writer.close()
            return
        await asyncio.gather(forward(reader, up_writer, delay),
                             forward(up_reader, writer, delay))
        up_writer.close()
        writer.close()

    server = await asyncio.start_server(client, "127.0.0.1", listen_port)
    # Ends at once: connections still open have nothing left worth flushing.
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, lambda: os._exit(0))
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    asyncio.run(serve(int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]) / 1000.0))


if __name__ == "__main__":
    main()
