# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes N messages of everyday mail into a folder, one file each, with
the kinds people receive: plain text in UTF-8 and ISO-8859-1, text with an
HTML alternative, HTML only, text with attachments (before or after it),
newsletters with related images, forwarded messages, and text in KOI8-R,
ISO-8859-2, Shift_JIS and GB2312.

Usage: everyday_mail.py N FOLDER"""
import os
import random
import sys
from email.mime.application import MIMEApplication
from email.mime.base import MIMEBase
from email.mime.image import MIMEImage
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

count, folder = int(sys.argv[1]), sys.argv[2]
os.makedirs(folder, exist_ok=True)
rng = random.Random(7)

GERMAN = ["Grüße aus Köln", "Das Angebot für Müller", "Über die Straße", "Schöne Woche"]
WORDS = ["Termin", "Projekt", "Rechnung", "Besprechung", "Bericht", "Anfrage", "Unterlagen", "Woche"]
TEXTS = {
    "koi8-r": "Привет, это письмо о встрече в понедельник",
    "iso-8859-2": "Dzień dobry, spotkanie w Łodzi jest jutro",
    "shift_jis": "こんにちは、明日の会議についてのお知らせです",
    "gb2312": "你好，这是关于明天会议的通知",
    "iso-8859-1": "Grüße aus Köln, das Treffen ist am Donnerstag",
    "utf-8": "Hallo zusammen, anbei die Zahlen für März",
}


def sentence(n):
    return " ".join(rng.choice(WORDS) for _ in range(n)) + "."


def body(lines):
    return "\n".join(sentence(8) for _ in range(lines)) + "\n"


def header(message, n):
    message["From"] = f"Absender {n} <sender{n}@example.org>"
    message["To"] = "pelloru@example.net"
    message["Subject"] = f"{rng.choice(GERMAN)} {n}"
    message["Message-ID"] = f"<everyday.{n}@example.org>"
    message["Date"] = "Mon, 7 Dec 2026 10:00:00 +0100"
    return message


def make(n):
    kind = n % 10
    first = f"Nachricht {n}: {sentence(6)}\n"
    if kind == 0:
        return MIMEText(first + body(30), "plain", "utf-8")
    if kind == 1:
        charset = rng.choice(list(TEXTS))
        return MIMEText(TEXTS[charset] + f" ({n})\n" + body(20), "plain", charset)
    if kind == 2:
        m = MIMEMultipart("alternative")
        m.attach(MIMEText(first + body(15), "plain", "utf-8"))
        m.attach(MIMEText(f"<html><body><p>{first}</p>" + "<p>x</p>" * 30 + "</body></html>", "html", "utf-8"))
        return m
    if kind == 3:
        return MIMEText("<html><head><style>p{margin:0}</style></head><body>"
                        f"<div><b>Nachricht {n}:</b> {sentence(6)}</div>"
                        "<table><tr><td>Zeile&nbsp;1</td><td>&euro; 12</td></tr></table>"
                        + "<p>" + sentence(10) + "</p>" * 20 + "</body></html>", "html", "windows-1252")
    if kind == 4:
        m = MIMEMultipart("mixed")
        m.attach(MIMEText(first + body(5), "plain", "iso-8859-1"))
        m.attach(MIMEApplication(os.urandom(3000), "pdf", Name=f"rechnung-{n}.pdf"))
        return m
    if kind == 5:
        m = MIMEMultipart("mixed")
        alternative = MIMEMultipart("alternative")
        alternative.attach(MIMEText(first + body(10), "plain", "utf-8"))
        alternative.attach(MIMEText(f"<p>{first}</p>", "html", "utf-8"))
        m.attach(alternative)
        m.attach(MIMEApplication(os.urandom(2000), "octet-stream", Name="daten.bin"))
        return m
    if kind == 6:
        m = MIMEMultipart("related")
        alternative = MIMEMultipart("alternative")
        alternative.attach(MIMEText(f"<html><body><h1>Newsletter {n}</h1><p>{first}</p>"
                                    "<img src='cid:logo'></body></html>", "html", "utf-8"))
        m.attach(alternative)
        image = MIMEImage(b"GIF89a" + os.urandom(500), "gif")
        image["Content-ID"] = "<logo>"
        m.attach(image)
        return m
    if kind == 7:
        m = MIMEMultipart("mixed")
        m.attach(MIMEText(first + "Siehe unten.\n", "plain", "utf-8"))
        inner = header(MIMEText("Weitergeleitet: " + body(3), "plain", "utf-8"), n + 100000)
        m.attach(MIMEMessage(inner))
        return m
    if kind == 8:
        charset = rng.choice(["koi8-r", "shift_jis", "gb2312", "iso-8859-2"])
        m = MIMEMultipart("alternative")
        m.attach(MIMEText(TEXTS[charset] + f" ({n})\n", "plain", charset))
        m.attach(MIMEText("<p>" + TEXTS[charset] + "</p>", "html", "utf-8"))
        return m
    m = MIMEMultipart("mixed")
    m.attach(MIMEApplication(os.urandom(1500), "zip", Name="archiv.zip"))
    m.attach(MIMEText(first + body(4), "plain", "utf-8"))
    return m


for n in range(1, count + 1):
    message = header(make(n), n)
    with open(os.path.join(folder, f"{n:05d}.eml"), "wb") as out:
        out.write(message.as_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))
