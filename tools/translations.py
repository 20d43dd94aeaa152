#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The English translation and its checks.

  translations.py update   reads the marked texts from src/ into
                           translations/pelloru_en.ts (lupdate), keeping
                           every translation made so far
  translations.py check    fails when a text shown to the user has no
                           finished English translation: a marked text
                           without one, a translation whose placeholders
                           differ from its source's, or a German text in
                           the code that is not marked at all

German is the source language; texts are marked with Tr / TrNoop (see
src/text/Translate.h), tr() in widgets, or QCoreApplication::translate.
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TS = os.path.join(ROOT, "translations", "pelloru_en.ts")
LUPDATE_OPTIONS = ["-tr-function-alias", "translate+=Tr,translate+=Ui,QT_TRANSLATE_NOOP+=TrNoop",
                   "-locations", "none", "-no-obsolete", "-source-language", "de", "-target-language", "en"]

# Words that tell a German text; a literal with one of them (or an umlaut)
# is meant for a reader.
GERMAN = set("""
der die das den dem des ein eine einen einem einer kein keine keinen keinem nicht ist sind war wird wurde
werden wurden mit und oder für von zu zur zum auf nach bei als ohne über unter sich noch schon nur auch
aus beim vom im ins hat haben kann lässt ließ sie er es wie wo wer bitte neu alle jede jeder jedes
Konto Konten Kennwort Postfach Zeile Zeilen Datei Muster Nachricht Sicherung Anmeldung
Fehler Fenster Einstellungen Absender Betreff Ordner abgebrochen gelöscht Prüfen Prüfung Löschen
Beenden Abbrechen Hilfe Regeln Ausnahmen Schlüsselbund Zugriffstoken Anbieter Benutzername Verbindung
Bearbeiten Kopieren Vorgabe Anmeldeverfahren Anzeigen Entfernen Benachrichtigen Benutzer Bereit Gescheitert
Gesichert Kontoname Probelauf Sichern Treffer Verbinde Verbunden Wartezeit Zertifikat nie Befehl selektierte
Datei Adresse Zeitüberschreitung Sperre gespeichert angemeldet Aufruf Anhang dann
""".lower().split())
UMLAUT = re.compile("[äöüÄÖÜß]")
WORD = re.compile(r"[A-Za-zäöüÄÖÜß]+")  # (a hyphen splits compounds)

# Literals that look German but stay as they are: file names that files
# and other programs rely on, and the note a preview makes of attachments
# (previews are kept in the cache, so rows of one list would disagree).
NOT_SHOWN = {
    "nie_loeschen.txt", "loesche_direkt.txt", "[Anhang: ",
}


def lupdate(target):
    tool = os.environ.get("LUPDATE", "/usr/lib/qt6/bin/lupdate")
    result = subprocess.run([tool, *LUPDATE_OPTIONS, os.path.join(ROOT, "src"), "-ts", target],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("lupdate failed:\n" + result.stdout + result.stderr)
    return result.stdout + result.stderr


def messages(path):
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            translation = message.find("translation")
            found[(name, message.findtext("source"))] = (
                translation.text or "", translation.get("type", ""))
    return found


def unescape(body):
    return re.sub(r'\\(x[0-9A-Fa-f]+|[0-7]{1,3}|.)', lambda m: {
        "n": "\n", "t": "\t", "r": "\r", '"': '"', "'": "'", "\\": "\\"}.get(
        m.group(1), "" if m.group(1)[0] in "x01234567" else m.group(1)), body)


LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')


def code_literals(text):
    """Runs of adjacent string literals (joined), outside comments, with their line."""
    text = re.sub(r"//[^\n]*|/\*.*?\*/", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    text = re.sub(r"^\s*#\s*include[^\n]*", "", text, flags=re.M)
    at = 0
    while True:
        match = LITERAL.search(text, at)
        if not match:
            return
        line = text.count("\n", 0, match.start()) + 1
        parts = [unescape(match.group(1))]
        at = match.end()
        while True:
            following = re.match(r'\s*"((?:[^"\\\n]|\\.)*)"', text[at:])
            if not following:
                break
            parts.append(unescape(following.group(1)))
            at += following.end()
        yield line, "".join(parts)


def looks_german(text):
    if text in NOT_SHOWN:
        return False
    if UMLAUT.search(text):
        return True
    words = [word.lower() for word in WORD.findall(text)]
    return any(word in GERMAN for word in words) and (" " in text.strip() or len(words) == 1)


def check():
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        fresh = os.path.join(folder, "pelloru_en.ts")
        with open(TS, "rb") as source, open(fresh, "wb") as copy:
            copy.write(source.read())
        lupdate(fresh)
        marked = messages(fresh)
    committed = messages(TS)
    for (context, source), (translation, kind) in sorted(marked.items()):
        where = f"[{context}] {source!r}"
        if (context, source) not in committed:
            problems.append(f"not in translations/pelloru_en.ts (run tools/translations.py update): {where}")
        elif not translation.strip() or kind in ("unfinished", "vanished", "obsolete"):
            problems.append(f"no English translation: {where}")
        else:
            wanted = sorted(re.findall(r"%[1-9]", source))
            if sorted(re.findall(r"%[1-9]", translation)) != wanted:
                problems.append(f"placeholders differ from the source's {wanted}: {where} -> {translation!r}")
    for key in sorted(set(committed) - set(marked)):
        problems.append(f"translated, but no longer in the code (run tools/translations.py update): {key}")
    texts = {source for _, source in marked}
    for folder, _, files in os.walk(os.path.join(ROOT, "src")):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as file:
                for line, literal in code_literals(file.read()):
                    if literal not in texts and looks_german(literal):
                        problems.append(f"{os.path.relpath(path, ROOT)}:{line}: German text not marked for "
                                        f"translation: {literal[:80]!r}")
    for problem in problems:
        print(problem)
    print(f"{len(marked)} texts, {len(problems)} problems")
    return 1 if problems else 0


def update():
    print(lupdate(TS), end="")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("update", "check"):
        sys.exit(__doc__)
    sys.exit(update() if sys.argv[1] == "update" else check())
