"""The bare protocol loop the scan is measured against: STAT, then TOP n 25
and LIST n for every message, QUIT. Prints the seconds it took."""
import poplib
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
start = time.perf_counter()
session = poplib.POP3(host, port, timeout=20)
session.user(user)
session.pass_(password)
count = session.stat()[0]
for n in range(1, count + 1):
    session.top(n, 25)
    session.list(n)
session.quit()
print(f"{time.perf_counter() - start:.6f} {count}")
