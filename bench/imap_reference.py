# SPDX-License-Identifier: GPL-3.0-or-later
"""The minimal IMAP client the scan is measured against: LOGIN, EXAMINE,
one UID FETCH of every message's header and the first 16 KiB of its text,
LOGOUT, one command after the other.

Usage: imap_reference.py HOST PORT USER PASSWORD [imaps|imap CAFILE]
Prints the seconds it took and the number of messages."""
import imaplib
import ssl
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
mode = sys.argv[5] if len(sys.argv) > 5 else "imaps"
context = ssl.create_default_context(cafile=sys.argv[6]) if len(sys.argv) > 6 else None
start = time.perf_counter()
if mode == "imaps":
    session = imaplib.IMAP4_SSL(host, port, ssl_context=context, timeout=20)
else:
    session = imaplib.IMAP4(host, port, timeout=20)
    session.starttls(context)
session.login(user, password)
typ, data = session.select("INBOX", readonly=True)
count = int(data[0])
if count:
    session.uid("FETCH", "1:*", "(RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0.16384>)")
session.logout()
print(f"{time.perf_counter() - start:.6f} {count}")
