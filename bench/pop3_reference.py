# SPDX-License-Identifier: GPL-3.0-or-later
"""The bare protocol loop the scan is measured against, with the commands
the scan sends: STAT, LIST, UIDL, then TOP n 25 for every message, one
after the other, QUIT.

Usage: pop3_reference.py HOST PORT USER PASSWORD [plain|pop3s|stls CAFILE]
Prints the seconds it took and the number of messages."""
import poplib
import ssl
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
mode = sys.argv[5] if len(sys.argv) > 5 else "plain"
context = ssl.create_default_context(cafile=sys.argv[6]) if mode != "plain" else None
start = time.perf_counter()
if mode == "pop3s":
    session = poplib.POP3_SSL(host, port, timeout=20, context=context)
else:
    session = poplib.POP3(host, port, timeout=20)
    if mode == "stls":
        session.stls(context)
session.user(user)
session.pass_(password)
count = session.stat()[0]
session.list()
session.uidl()
for n in range(1, count + 1):
    session.top(n, 25)
session.quit()
print(f"{time.perf_counter() - start:.6f} {count}")
