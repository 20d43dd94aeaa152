# SPDX-License-Identifier: GPL-3.0-or-later
"""A pipelined protocol loop of our own (RFC 2449): STAT, LIST, then the
TOP n 25 commands in a sliding window of 50, replies read in order, QUIT.
What a client that pipelines can reach, beside the scan.

Usage: pop3_pipelined.py HOST PORT USER PASSWORD [plain|pop3s|stls CAFILE]
Prints the seconds it took and the number of messages."""
import socket
import ssl
import sys
import time

WINDOW = 50
host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
mode = sys.argv[5] if len(sys.argv) > 5 else "plain"
context = ssl.create_default_context(cafile=sys.argv[6]) if mode != "plain" else None

start = time.perf_counter()
sock = socket.create_connection((host, port), timeout=20)
if mode == "pop3s":
    sock = context.wrap_socket(sock, server_hostname=host)
lines = sock.makefile("rb")


def status():
    line = lines.readline()
    if not line.startswith(b"+OK"):
        raise SystemExit(f"refused: {line!r}")
    return line


def multiline():
    while True:
        line = lines.readline()
        if line in (b".\r\n", b""):
            return


status()
if mode == "stls":
    sock.sendall(b"STLS\r\n")
    status()
    sock = context.wrap_socket(sock, server_hostname=host)
    lines = sock.makefile("rb")
sock.sendall(b"USER %s\r\nPASS %s\r\n" % (user.encode(), password.encode()))
status()
status()
sock.sendall(b"STAT\r\n")
count = int(status().split()[1])
sock.sendall(b"LIST\r\n")
status()
multiline()
sent = received = 0
while received < count:
    burst = b""
    while sent < count and sent - received < WINDOW:
        sent += 1
        burst += b"TOP %d 25\r\n" % sent
    if burst:
        sock.sendall(burst)
    status()
    multiline()
    received += 1
sock.sendall(b"QUIT\r\n")
status()
print(f"{time.perf_counter() - start:.6f} {count}")
