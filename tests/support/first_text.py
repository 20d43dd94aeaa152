# SPDX-License-Identifier: GPL-3.0-or-later
"""The reference a preview is compared with: the first text part of a
message as Python's email library decodes it (text/plain before text/html
in alternatives, the first inline text part elsewhere), HTML reduced to its
text by html.parser. Prints it as UTF-8; nothing when there is no text.

Usage: first_text.py FILE... (each text followed by a NUL byte)"""
import email
import email.policy
import html.parser
import sys


class Text(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.words, self.hidden = [], 0

    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style", "head", "title"):
            self.hidden += 1

    def handle_endtag(self, tag):
        if tag in ("script", "style", "head", "title") and self.hidden:
            self.hidden -= 1

    def handle_data(self, data):
        if not self.hidden:
            self.words.append(data)


def decoded(part):
    payload = part.get_payload(decode=True) or b""
    charset = part.get_content_charset() or "utf-8"
    try:
        text = payload.decode(charset, errors="replace")
    except LookupError:
        text = payload.decode("windows-1252", errors="replace")
    if part.get_content_subtype() == "html":
        parser = Text()
        parser.feed(text)
        text = " ".join(parser.words)
    return text


def first_text(part, depth=0):
    if depth > 12:
        return ""
    if part.is_multipart():
        parts = list(part.iter_parts()) if hasattr(part, "iter_parts") else part.get_payload()
        if part.get_content_subtype() == "alternative":
            for wanted in ("plain", "html"):
                for sub in parts:
                    if sub.get_content_type() == "text/" + wanted:
                        text = first_text(sub, depth + 1)
                        if text.strip():
                            return text
        for sub in parts:
            text = first_text(sub, depth + 1)
            if text.strip():
                return text
        return ""
    if part.get_content_type() == "message/rfc822":
        inner = part.get_payload()
        if isinstance(inner, list) and inner:
            return first_text(inner[0], depth + 1)
        return ""
    if part.get_content_maintype() != "text" or part.get_content_subtype() not in ("plain", "html"):
        return ""
    if part.get_content_disposition() == "attachment":
        return ""
    return decoded(part)


for path in sys.argv[1:]:
    try:
        message = email.message_from_bytes(open(path, "rb").read(), policy=email.policy.compat32)
        text = first_text(message)
    except Exception:  # a message the library cannot read gives no reference
        text = ""
    sys.stdout.buffer.write(text.encode("utf-8", errors="replace") + b"\0")
