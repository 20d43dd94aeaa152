#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A browser for the tests: opens the address it is given (trusting the CA
named by PELLORU_TEST_CA), follows the redirect back to the program, and
says on standard error what the program answered."""
import os
import ssl
import sys
import urllib.request

context = ssl.create_default_context(cafile=os.environ.get("PELLORU_TEST_CA"))
opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context))
with opener.open(sys.argv[1], timeout=20) as answer:
    sys.stderr.write(answer.read().decode("utf-8", "replace") + "\n")
