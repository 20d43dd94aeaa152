#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the package's Debian changelog from the project's NEWS file: one
entry per "Pelloru VERSION (YYYY-MM-DD)" heading, its "*" items as they
are.

Usage: news_to_changelog.py NEWS MAINTAINER OUTPUT"""
import datetime
import re
import sys

news, maintainer, output = sys.argv[1], sys.argv[2], sys.argv[3]
entries = []
for line in open(news, encoding="utf-8"):
    heading = re.match(r"^Pelloru (\S+) \((\d{4})-(\d{2})-(\d{2})\)\s*$", line)
    if heading:
        day = datetime.date(int(heading[2]), int(heading[3]), int(heading[4]))
        entries.append((heading[1], day, []))
    elif entries and line.strip():
        entries[-1][2].append(line.rstrip())
if not entries:
    sys.exit("NEWS has no entry")
with open(output, "w", encoding="utf-8") as out:
    for version, day, items in entries:
        out.write(f"pelloru ({version}) unstable; urgency=medium\n\n")
        out.write("\n".join(items) + "\n\n")
        out.write(f" -- {maintainer}  {day.strftime('%a, %d %b %Y')} 12:00:00 +0000\n\n")
