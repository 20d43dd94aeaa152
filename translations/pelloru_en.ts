<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>accounts</name>
    <message>
        <source>kein Schlüsselbund ohne Anwendungsobjekt</source>
        <translation>no keyring without an application object</translation>
    </message>
    <message>
        <source>Schlüsselbund: %1</source>
        <translation>Keyring: %1</translation>
    </message>
    <message>
        <source>das Profil %1 war für andere beschreibbar (die Rechte sind jetzt 0600); bitte seinen Inhalt prüfen und Pelloru neu starten</source>
        <translation>the profile %1 was writable by others (its permissions are now 0600); please check its content and restart Pelloru</translation>
    </message>
    <message>
        <source>der Ordner des Profils %1 war für andere beschreibbar (die Rechte sind jetzt 0700); bitte das Profil prüfen und Pelloru neu starten</source>
        <translation>the folder of the profile %1 was writable by others (its permissions are now 0700); please check the profile and restart Pelloru</translation>
    </message>
    <message>
        <source>das Profil %1 oder sein Ordner gehört einem anderen Benutzer</source>
        <translation>the profile %1 or its folder belongs to another user</translation>
    </message>
    <message>
        <source>die Datei %1 ist für andere beschreibbar (Rechte %2)</source>
        <translation>the file %1 is writable by others (permissions %2)</translation>
    </message>
    <message>
        <source>die Datei %1 gehört einem anderen Benutzer</source>
        <translation>the file %1 belongs to another user</translation>
    </message>
    <message>
        <source>Für die Anmeldung mit OAuth 2.0 ist kein Anbieter bekannt (OAUTH)</source>
        <translation>No provider is known for signing in with OAuth 2.0 (OAUTH)</translation>
    </message>
    <message>
        <source>Keine Anmeldung mit OAuth 2.0 im Schlüsselbund%1; bitte neu anmelden (&quot;Im Browser anmelden&quot; oder --configure --account NAME --oauth)</source>
        <translation>No OAuth 2.0 sign-in in the keyring%1; please sign in again (&quot;Sign in with browser&quot; or --configure --account NAME --oauth)</translation>
    </message>
    <message>
        <source>Das Zugriffstoken ließ sich nicht erneuern: %1</source>
        <translation>The access token could not be renewed: %1</translation>
    </message>
    <message>
        <source>Das neue Erneuerungstoken ließ sich nicht im Schlüsselbund speichern (%1)</source>
        <translation>The new refresh token could not be stored in the keyring (%1)</translation>
    </message>
    <message>
        <source>der Anbieter hat kein Erneuerungstoken gegeben</source>
        <translation>the provider gave no refresh token</translation>
    </message>
    <message>
        <source>Der Befehl für das Zugriffstoken (TOKENCMD) wurde nicht ausgeführt: %1</source>
        <translation>The command for the access token (TOKENCMD) was not run: %1</translation>
    </message>
    <message>
        <source>Der Befehl für das Kennwort (PASSCMD) wurde nicht ausgeführt: %1</source>
        <translation>The command for the password (PASSCMD) was not run: %1</translation>
    </message>
    <message>
        <source>Der Befehl für das Zugriffstoken (TOKENCMD) ist gescheitert: %1</source>
        <translation>The command for the access token (TOKENCMD) failed: %1</translation>
    </message>
    <message>
        <source>Der Befehl für das Kennwort (PASSCMD) ist gescheitert: %1</source>
        <translation>The command for the password (PASSCMD) failed: %1</translation>
    </message>
    <message>
        <source>Das Kennwort ließ sich nicht aus dem Schlüsselbund lesen (%1)</source>
        <translation>The password could not be read from the keyring (%1)</translation>
    </message>
    <message>
        <source>Benutzername, Kennwort oder Zugriffstoken enthält einen Zeilenumbruch; nichts davon wurde gesendet</source>
        <translation>The user name, password or access token contains a line break; none of them was sent</translation>
    </message>
    <message>
        <source>abgebrochen</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>nicht innerhalb von %1 s beendet</source>
        <translation>did not finish within %1 s</translation>
    </message>
    <message>
        <source>durch Signal %1 beendet</source>
        <translation>ended by signal %1</translation>
    </message>
    <message>
        <source>Exit-Status %1</source>
        <translation>exit status %1</translation>
    </message>
    <message>
        <source>keine Zeile ausgegeben</source>
        <translation>printed no line</translation>
    </message>
    <message>
        <source>Das Profil ließ sich nicht schreiben: %1</source>
        <translation>The profile could not be written: %1</translation>
    </message>
    <message>
        <source>%1: kein Dokument</source>
        <translation>%1: no document</translation>
    </message>
    <message>
        <source>%1: das Dokument nennt keinen Server über TLS</source>
        <translation>%1: the document names no server over TLS</translation>
    </message>
    <message>
        <source>%1: eine Zahl von %2 bis %3</source>
        <translation>%1: a number from %2 to %3</translation>
    </message>
    <message>
        <source>%1: &quot;delete&quot; oder &quot;move&quot;</source>
        <translation>%1: &quot;delete&quot; or &quot;move&quot;</translation>
    </message>
    <message>
        <source>unbekannter Schlüssel %1</source>
        <translation>unknown key %1</translation>
    </message>
    <message>
        <source>%1: kein gültiger Servername</source>
        <translation>%1: not a valid server name</translation>
    </message>
    <message>
        <source>%1: keine Verbindung</source>
        <translation>%1: no connection</translation>
    </message>
    <message>
        <source>%1: TLS gescheitert (%2)</source>
        <translation>%1: TLS failed (%2)</translation>
    </message>
    <message>
        <source>%1: Anfrage nicht gesendet</source>
        <translation>%1: request not sent</translation>
    </message>
    <message>
        <source>%1: abgebrochen</source>
        <translation>%1: cancelled</translation>
    </message>
    <message>
        <source>%1: die Antwort ist länger als %2 KiB</source>
        <translation>%1: the answer is longer than %2 KiB</translation>
    </message>
    <message>
        <source>%1: keine vollständige Antwort</source>
        <translation>%1: no complete answer</translation>
    </message>
    <message>
        <source>keine OAuth-Client-ID (OAUTHCLIENT) für dieses Konto</source>
        <translation>no OAuth client ID (OAUTHCLIENT) for this account</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist keine HTTPS-Adresse</source>
        <translation>&quot;%1&quot; is not an HTTPS address</translation>
    </message>
    <message>
        <source>%1: keine JSON-Antwort (HTTP %2)</source>
        <translation>%1: no JSON answer (HTTP %2)</translation>
    </message>
    <message>
        <source>der Anbieter lehnt ab (%1)</source>
        <translation>the provider refuses (%1)</translation>
    </message>
    <message>
        <source>der Anbieter bietet keine Anmeldung mit Gerätecode</source>
        <translation>the provider offers no sign-in with a device code</translation>
    </message>
    <message>
        <source>der Code ist abgelaufen, ohne dass die Anmeldung bestätigt wurde</source>
        <translation>the code expired before the sign-in was confirmed</translation>
    </message>
    <message>
        <source>keine Anmeldung im Browser ohne Anwendungsobjekt</source>
        <translation>no sign-in in the browser without an application object</translation>
    </message>
    <message>
        <source>der Anbieter nennt keine HTTPS-Adresse für die Anmeldung</source>
        <translation>the provider names no HTTPS address for signing in</translation>
    </message>
    <message>
        <source>Pelloru hat die Anmeldung erhalten; dieses Fenster kann geschlossen werden.</source>
        <translation>Pelloru has received the sign-in; you may close this window.</translation>
    </message>
    <message>
        <source>auf 127.0.0.1 lässt sich nicht warten</source>
        <translation>cannot wait on 127.0.0.1</translation>
    </message>
    <message>
        <source>der Browser ließ sich nicht öffnen</source>
        <translation>the browser could not be opened</translation>
    </message>
    <message>
        <source>keine Anmeldung innerhalb von %1 Minuten</source>
        <translation>no sign-in within %1 minutes</translation>
    </message>
    <message>
        <source>der Anbieter hat die Anmeldung nicht erteilt (%1)</source>
        <translation>the provider did not grant the sign-in (%1)</translation>
    </message>
    <message>
        <source>kein Code</source>
        <translation>no code</translation>
    </message>
</context>
<context>
    <name>app</name>
    <message>
        <source>pelloru: Das Fensterprogramm fehlt (gesucht:%1).</source>
        <translation>pelloru: The window program is missing (looked for:%1).</translation>
    </message>
    <message>
        <source>Info über Pelloru</source>
        <translation>About Pelloru</translation>
    </message>
    <message>
        <source>Prüft POP3- und IMAP-Postfächer und löscht,
was die eigenen Muster treffen.
Jede gelöschte Mail wird vorher gesichert.</source>
        <translation>Checks POP3 and IMAP mailboxes and removes
what your own patterns match.
Every removed mail is backed up first.</translation>
    </message>
    <message>
        <source>Copyright © 2026 die Pelloru-Entwickler</source>
        <translation>Copyright © 2026 the Pelloru developers</translation>
    </message>
    <message>
        <source>Freie Software unter der GNU General Public License,
Version 3 oder (nach Wahl) jeder späteren Version
(GPL-3.0-or-later); ohne jede Gewährleistung.</source>
        <translation>Free software under the GNU General Public License,
version 3 or (at your option) any later version
(GPL-3.0-or-later); without any warranty.</translation>
    </message>
    <message>
        <source>Konten</source>
        <translation>Accounts</translation>
    </message>
    <message>
        <source>Hinzufügen</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Konto &quot;%1&quot; entfernen?</source>
        <translation>Remove account &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>Auf Mails prüfen.
Check</source>
        <translation>Check for mail.
Check</translation>
    </message>
    <message>
        <source>Prüft und zeigt, welche Mails welches Muster löschen würde; nichts wird gelöscht.
Probelauf</source>
        <translation>Checks and shows which mails which pattern would delete; nothing is deleted.
Dry run</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Bricht die Prüfung nach der Mail ab, die gerade gelesen wird.
Abbrechen</source>
        <translation>Stops the check after the mail being read.
Cancel</translation>
    </message>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Mail-Server Einstellungen.
Einstellungen</source>
        <translation>Mail server settings.
Settings</translation>
    </message>
    <message>
        <source>Regeln...</source>
        <translation>Rules...</translation>
    </message>
    <message>
        <source>Muster und Ausnahmen bearbeiten, mit ihren Treffern.
Regeln</source>
        <translation>Edit patterns and exceptions, with their matches.
Rules</translation>
    </message>
    <message>
        <source>&amp;Beenden</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Beendet das Programm.
Beenden</source>
        <translation>Quits the program.
Exit</translation>
    </message>
    <message>
        <source>Kopiert die ausgewählten Zeilen und überträgt sie in die Zwischenablage.
Kopieren</source>
        <translation>Copies the selected rows to the clipboard.
Copy</translation>
    </message>
    <message>
        <source>Löschen</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Löscht die ausgewählten Mails.
Löschen</source>
        <translation>Deletes the selected mails.
Delete</translation>
    </message>
    <message>
        <source>In Datei sichern</source>
        <translation>Save to file</translation>
    </message>
    <message>
        <source>Sichert die ausgewählten Mails vollständig in Dateien.
In Datei sichern</source>
        <translation>Saves the selected mails whole into files.
Save to file</translation>
    </message>
    <message>
        <source>Absender sperren</source>
        <translation>Block sender</translation>
    </message>
    <message>
        <source>Trägt den Absender der Zeile in die Musterdatei ein.
Absender sperren</source>
        <translation>Adds the row&apos;s sender to the pattern file.
Block sender</translation>
    </message>
    <message>
        <source>Betreff sperren</source>
        <translation>Block subject</translation>
    </message>
    <message>
        <source>Trägt den Betreff der Zeile in die Musterdatei ein.
Betreff sperren</source>
        <translation>Adds the row&apos;s subject to the pattern file.
Block subject</translation>
    </message>
    <message>
        <source>Absender erlauben</source>
        <translation>Allow sender</translation>
    </message>
    <message>
        <source>Trägt den Absender der Zeile in die Ausnahmeliste ein: seine Mails löscht kein Muster.
Absender erlauben</source>
        <translation>Adds the row&apos;s sender to the exception list: no pattern deletes its mails.
Allow sender</translation>
    </message>
    <message>
        <source>Inf&amp;o über Pelloru...</source>
        <translation>&amp;About Pelloru...</translation>
    </message>
    <message>
        <source>Zeigt Programm-Informationen, Versionsnummer und Copyright an.
Info</source>
        <translation>Shows program information, version number and copyright.
About</translation>
    </message>
    <message>
        <source>&amp;Datei</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>Zeilen speichern unter...</source>
        <translation>Save rows as...</translation>
    </message>
    <message>
        <source>Zeilen gespeichert in %1</source>
        <translation>Rows saved in %1</translation>
    </message>
    <message>
        <source>Die Datei %1 ließ sich nicht schreiben</source>
        <translation>The file %1 could not be written</translation>
    </message>
    <message>
        <source>%v von %m E-Mails</source>
        <translation>%v of %m emails</translation>
    </message>
    <message>
        <source>999999 von 999999 E-Mails</source>
        <translation>999999 of 999999 emails</translation>
    </message>
    <message>
        <source>Fenster zeigen</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>Pelloru: %1 E-Mails</source>
        <translation>Pelloru: %1 emails</translation>
    </message>
    <message>
        <source>Abgebrochen nach %1 von %2 E-Mails</source>
        <translation>Cancelled after %1 of %2 emails</translation>
    </message>
    <message>
        <source> - Verbindung fehlgeschlagen</source>
        <translation> - Connection failed</translation>
    </message>
    <message>
        <source>1 neue E-Mail</source>
        <translation>1 new email</translation>
    </message>
    <message>
        <source>%1 neue E-Mails</source>
        <translation>%1 new emails</translation>
    </message>
    <message>
        <source> für </source>
        <translation> for </translation>
    </message>
    <message>
        <source>Konto &quot;%1&quot; gescheitert%2</source>
        <translation>Account &quot;%1&quot; failed%2</translation>
    </message>
    <message>
        <source>Konto &quot;%1&quot; wird nicht geprüft</source>
        <translation>Account &quot;%1&quot; is not being checked</translation>
    </message>
    <message>
        <source>Konto &quot;%1&quot; wird wieder geprüft</source>
        <translation>Account &quot;%1&quot; is being checked again</translation>
    </message>
    <message>
        <source>Die Prüfung gelang wieder.</source>
        <translation>The check succeeded again.</translation>
    </message>
    <message>
        <source>Zeilen speichern unter</source>
        <translation>Save rows as</translation>
    </message>
    <message>
        <source>Tabelle mit Tabulatoren (*.tsv *.txt)</source>
        <translation>Tab-separated table (*.tsv *.txt)</translation>
    </message>
    <message>
        <source>Diese Zeile nennt keinen Absender.</source>
        <translation>This row names no sender.</translation>
    </message>
    <message>
        <source>Regel hinzufügen</source>
        <translation>Add rule</translation>
    </message>
    <message>
        <source>Diese Zeile kommt in die Ausnahmeliste %1:</source>
        <translation>This line goes into the exception list %1:</translation>
    </message>
    <message>
        <source>Diese Zeile kommt in die Musterdatei %1:</source>
        <translation>This line goes into the pattern file %1:</translation>
    </message>
    <message>
        <source>Diese Zeile träfe jede E-Mail; sie wird nicht eingetragen.</source>
        <translation>This line would match every email; it is not added.</translation>
    </message>
    <message>
        <source>Löschen selektierte</source>
        <translation>Delete selected</translation>
    </message>
    <message>
        <source>Regeln</source>
        <translation>Rules</translation>
    </message>
    <message>
        <source>Muster (löschen)</source>
        <translation>Patterns (delete)</translation>
    </message>
    <message>
        <source>Ausnahmen (nie löschen)</source>
        <translation>Exceptions (never delete)</translation>
    </message>
    <message>
        <source>Zeile hinzufügen</source>
        <translation>Add line</translation>
    </message>
    <message>
        <source>Zeile entfernen</source>
        <translation>Remove line</translation>
    </message>
    <message>
        <source>Musterdatei: %1
Ausnahmen: %2
%3: %4</source>
        <translation>Pattern file: %1
Exceptions: %2
%3: %4</translation>
    </message>
    <message>
        <source>Konto</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>&quot;Treffer&quot;: so viele Zeilen der Liste trifft die Regel. Grau: seit 30 Tagen ohne Treffer.</source>
        <translation>&quot;Matches&quot;: how many rows of the list the rule matches. Grey: no match for 30 days.</translation>
    </message>
    <message>
        <source>Zeile</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>Hat seit 30 Tagen keine E-Mail getroffen</source>
        <translation>Has matched no email for 30 days</translation>
    </message>
    <message>
        <source>Die Zeile &quot;%1&quot; träfe jede E-Mail; bitte ändern oder entfernen.</source>
        <translation>The line &quot;%1&quot; would match every email; please change or remove it.</translation>
    </message>
    <message>
        <source>POP3 Server:</source>
        <translation>POP3 server:</translation>
    </message>
    <message>
        <source>Benutzername:</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>Kennwort:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Kennwort im Schlüsselbund speichern</source>
        <translation>Store the password in the keyring</translation>
    </message>
    <message>
        <source>Verbindung testen</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>Diesem Zertifikat für dieses Konto vertrauen</source>
        <translation>Trust this certificate for this account</translation>
    </message>
    <message>
        <source>(das stärkste)</source>
        <translation>(the strongest)</translation>
    </message>
    <message>
        <source>Anbieter, bei dem das Konto sich im Browser anmeldet</source>
        <translation>Provider with which the account signs in in the browser</translation>
    </message>
    <message>
        <source>Client-ID einer beim Anbieter registrierten Anwendung</source>
        <translation>Client ID of an application registered with the provider</translation>
    </message>
    <message>
        <source>SHA-256 des einen Zertifikats, dem das Konto vertraut</source>
        <translation>SHA-256 of the one certificate the account trusts</translation>
    </message>
    <message>
        <source>löschen</source>
        <translation>delete</translation>
    </message>
    <message>
        <source>in Spam-Ordner verschieben</source>
        <translation>move to the spam folder</translation>
    </message>
    <message>
        <source>Nur für IMAP-Konten (imap://, imaps://)</source>
        <translation>Only for IMAP accounts (imap://, imaps://)</translation>
    </message>
    <message>
        <source>der Ordner, den der Server als Spam (\Junk) kennzeichnet</source>
        <translation>the folder the server marks as spam (\Junk)</translation>
    </message>
    <message>
        <source>Bekannte Mails zwischenspeichern (nur Neues abrufen)</source>
        <translation>Cache known mails (fetch only what is new)</translation>
    </message>
    <message>
        <source>0: nur auf Knopfdruck prüfen</source>
        <translation>0: check only when asked</translation>
    </message>
    <message>
        <source>alle</source>
        <translation>every</translation>
    </message>
    <message>
        <source>prüfen (nur auf Knopfdruck)</source>
        <translation>check (only when asked)</translation>
    </message>
    <message>
        <source>Minute prüfen</source>
        <translation>minute</translation>
    </message>
    <message>
        <source>Minuten prüfen</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>Keine E-Mail-Adresse.</source>
        <translation>Not an email address.</translation>
    </message>
    <message>
        <source>Suche die Server der Domain ...</source>
        <translation>Looking for the domain&apos;s servers ...</translation>
    </message>
    <message>
        <source>Für diese Adresse ist kein Anbieter bekannt und die Domain nennt keine Server: bitte Server und Benutzername eintragen.</source>
        <translation>No provider is known for this address and the domain names no servers: please enter the server and user name.</translation>
    </message>
    <message>
        <source>Gefunden; vor dem Speichern änderbar.</source>
        <translation>Found; you can change it before saving.</translation>
    </message>
    <message>
        <source>Gefunden. Dieser Anbieter nimmt nur OAuth 2.0 an: bitte die Client-ID einer beim Anbieter registrierten Anwendung eintragen, dann &quot;Im Browser anmelden&quot;.</source>
        <translation>Found. This provider accepts OAuth 2.0 only: please enter the client ID of an application registered with the provider, then &quot;Sign in with browser&quot;.</translation>
    </message>
    <message>
        <source>Gefunden. Dieser Anbieter nimmt nur OAuth 2.0 an: bitte &quot;Im Browser anmelden&quot;.</source>
        <translation>Found. This provider accepts OAuth 2.0 only: please &quot;Sign in with browser&quot;.</translation>
    </message>
    <message>
        <source>Gescheitert: für &quot;%1&quot; ist kein Anbieter mit OAuth 2.0 bekannt</source>
        <translation>Failed: no provider with OAuth 2.0 is known for &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Warte auf die Anmeldung im Browser ...</source>
        <translation>Waiting for the sign-in in the browser ...</translation>
    </message>
    <message>
        <source>Angemeldet; &quot;Verbindung testen&quot; prüft es.</source>
        <translation>Signed in; &quot;Test connection&quot; checks it.</translation>
    </message>
    <message>
        <source>Das Kennwort wurde nicht gespeichert.</source>
        <translation>The password was not stored.</translation>
    </message>
    <message>
        <source>Bearbeiten</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Entfernen</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Gesichert in %1</source>
        <translation>Saved in %1</translation>
    </message>
    <message>
        <source>Probelauf</source>
        <translation>Dry run</translation>
    </message>
    <message>
        <source>&amp;Kopieren	Strg+C</source>
        <translation>&amp;Copy	Ctrl+C</translation>
    </message>
    <message>
        <source>&amp;Bearbeiten</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Bereit</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>
%1: gescheitert</source>
        <translation>
%1: failed</translation>
    </message>
    <message>
        <source>Anzeigen</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>Kopieren selektierte</source>
        <translation>Copy selected</translation>
    </message>
    <message>
        <source>Sichern selektierte</source>
        <translation>Save selected</translation>
    </message>
    <message>
        <source>Kopieren: </source>
        <translation>Copy: </translation>
    </message>
    <message>
        <source>Treffer</source>
        <translation>Matches</translation>
    </message>
    <message>
        <source>E-Mail-Adresse:</source>
        <translation>Email address:</translation>
    </message>
    <message>
        <source>Im Browser anmelden</source>
        <translation>Sign in with browser</translation>
    </message>
    <message>
        <source>Benutzer@Server</source>
        <translation>user@server</translation>
    </message>
    <message>
        <source>Kontoname:</source>
        <translation>Account name:</translation>
    </message>
    <message>
        <source>Anmeldeverfahren:</source>
        <translation>Sign-in method:</translation>
    </message>
    <message>
        <source>z. B. pass show mail/pop</source>
        <translation>e.g. pass show mail/pop</translation>
    </message>
    <message>
        <source>Kennwort-Befehl:</source>
        <translation>Password command:</translation>
    </message>
    <message>
        <source>Token-Befehl (OAuth 2.0):</source>
        <translation>Token command (OAuth 2.0):</translation>
    </message>
    <message>
        <source>OAuth-Anbieter:</source>
        <translation>OAuth provider:</translation>
    </message>
    <message>
        <source>OAuth-Client-ID:</source>
        <translation>OAuth client ID:</translation>
    </message>
    <message>
        <source>OAuth-Client-Secret:</source>
        <translation>OAuth client secret:</translation>
    </message>
    <message>
        <source>CA-Datei:</source>
        <translation>CA file:</translation>
    </message>
    <message>
        <source>Zertifikat:</source>
        <translation>Certificate:</translation>
    </message>
    <message>
        <source>20 (Vorgabe)</source>
        <translation>20 (default)</translation>
    </message>
    <message>
        <source>Wartezeit:</source>
        <translation>Timeout:</translation>
    </message>
    <message>
        <source>Musterdatei:</source>
        <translation>Pattern file:</translation>
    </message>
    <message>
        <source>Benachrichtigen</source>
        <translation>Notify</translation>
    </message>
    <message>
        <source>Treffer:</source>
        <translation>Matches:</translation>
    </message>
    <message>
        <source>Spam-Ordner:</source>
        <translation>Spam folder:</translation>
    </message>
    <message>
        <source>nie</source>
        <translation>never</translation>
    </message>
    <message>
        <source>Verbunden: </source>
        <translation>Connected: </translation>
    </message>
    <message>
        <source>Gescheitert: </source>
        <translation>Failed: </translation>
    </message>
    <message>
        <source>Verbinde ...</source>
        <translation>Connecting ...</translation>
    </message>
    <message>
        <source>UF</source>
        <translation>CAPS</translation>
    </message>
    <message>
        <source>NUM</source>
        <translation>NUM</translation>
    </message>
    <message>
        <source>RF</source>
        <translation>SCRL</translation>
    </message>
</context>
<context>
    <name>imap</name>
    <message>
        <source>eine Antwortzeile ist länger als %1 Bytes</source>
        <translation>a reply line is longer than %1 bytes</translation>
    </message>
    <message>
        <source>ein Literal von %1 Bytes ist größer als erlaubt</source>
        <translation>a literal of %1 bytes is larger than allowed</translation>
    </message>
    <message>
        <source>eine Antwort ohne Kennung</source>
        <translation>a reply without a tag</translation>
    </message>
    <message>
        <source>nach der Kennung fehlt das Leerzeichen</source>
        <translation>the space after the tag is missing</translation>
    </message>
    <message>
        <source>eine Antwort mit Kennung ohne OK, NO oder BAD</source>
        <translation>a tagged reply without OK, NO or BAD</translation>
    </message>
    <message>
        <source>ein CR ohne LF</source>
        <translation>a CR without LF</translation>
    </message>
    <message>
        <source>eine Liste endet mit der Zeile nicht</source>
        <translation>a list does not end with its line</translation>
    </message>
    <message>
        <source>mehr als %1 Einträge</source>
        <translation>more than %1 items</translation>
    </message>
    <message>
        <source>Listen tiefer als %1 Ebenen</source>
        <translation>lists nested deeper than %1 levels</translation>
    </message>
    <message>
        <source>eine Klammer, die keine Liste schließt</source>
        <translation>a bracket that closes no list</translation>
    </message>
    <message>
        <source>ein Abschnitt [ ] endet mit der Zeile nicht</source>
        <translation>a section [ ] does not end with its line</translation>
    </message>
    <message>
        <source>ein Steuerzeichen in einem Atom</source>
        <translation>a control character in an atom</translation>
    </message>
    <message>
        <source>ein leerer Eintrag</source>
        <translation>an empty item</translation>
    </message>
    <message>
        <source>eine Zeichenkette endet mit der Zeile nicht</source>
        <translation>a string does not end with its line</translation>
    </message>
    <message>
        <source>ein Literal ist zu groß</source>
        <translation>a literal is too large</translation>
    </message>
    <message>
        <source>ein Literal ohne Länge</source>
        <translation>a literal without a length</translation>
    </message>
    <message>
        <source>ein Literal ohne schließende Klammer</source>
        <translation>a literal without a closing brace</translation>
    </message>
    <message>
        <source>nach der Länge eines Literals fehlt das Zeilenende</source>
        <translation>the line end after a literal&apos;s length is missing</translation>
    </message>
    <message>
        <source>mehr Antworten, als ein Befehl ohne Daten bekommt</source>
        <translation>more replies than a command without data gets</translation>
    </message>
    <message>
        <source>mehr Antworten, als der Ordner Nachrichten hat (EXISTS)</source>
        <translation>more replies than the folder has messages (EXISTS)</translation>
    </message>
    <message>
        <source>mehr Antworten als Nachrichten abgefragt</source>
        <translation>more replies than messages asked for</translation>
    </message>
    <message>
        <source>Daten zu einer UID, die nicht (oder schon) abgefragt war</source>
        <translation>data for a UID that was not asked for (or already answered)</translation>
    </message>
    <message>
        <source>mehr Text, als abgefragt war</source>
        <translation>more text than was asked for</translation>
    </message>
    <message>
        <source>ein Kopf, größer als die Nachricht laut RFC822.SIZE</source>
        <translation>a header larger than the message by its RFC822.SIZE</translation>
    </message>
    <message>
        <source>mehr Antworten, als ein einzelner Abruf bekommt</source>
        <translation>more replies than a single fetch gets</translation>
    </message>
    <message>
        <source>eine Nachricht, nach der nicht gefragt war</source>
        <translation>a message that was not asked for</translation>
    </message>
    <message>
        <source>keine oder mehrdeutige Daten für UID %1</source>
        <translation>no or ambiguous data for UID %1</translation>
    </message>
    <message>
        <source>mehr Ordner, als ein Postfach hat</source>
        <translation>more folders than a mailbox has</translation>
    </message>
    <message>
        <source>LOGIN (Befehl)</source>
        <translation>LOGIN (command)</translation>
    </message>
    <message>
        <source>%1, dann %2</source>
        <translation>%1, then %2</translation>
    </message>
</context>
<context>
    <name>mailbox</name>
    <message>
        <source>Kein Spam-Ordner: der Server kennzeichnet keinen als \Junk, oder der eingestellte Name ist kein gültiges UTF-8; bitte einen in den Einstellungen angeben</source>
        <translation>No spam folder: the server marks none as \Junk, or the configured name is not valid UTF-8; please name one in the settings</translation>
    </message>
    <message>
        <source>Anmeldung mit %1, %2 (IMAP)</source>
        <translation>Signed in with %1, %2 (IMAP)</translation>
    </message>
    <message>
        <source>ohne TLS</source>
        <translation>without TLS</translation>
    </message>
    <message>
        <source>Das Anmeldeverfahren &quot;%1&quot; (AUTH) ist unbekannt oder braucht ein Zugriffstoken (TOKENCMD)</source>
        <translation>The sign-in method &quot;%1&quot; (AUTH) is unknown or needs an access token (TOKENCMD)</translation>
    </message>
    <message>
        <source>; %1 E-Mails im Postfach</source>
        <translation>; %1 emails in the mailbox</translation>
    </message>
    <message>
        <source>Anmeldung mit %1, %2</source>
        <translation>Signed in with %1, %2</translation>
    </message>
    <message>
        <source>; die Verbindung wurde ohne QUIT getrennt, nichts wurde gelöscht</source>
        <translation>; the connection was closed without QUIT, nothing was deleted</translation>
    </message>
    <message>
        <source>; die Verbindung wurde getrennt, kein weiterer Befehl ging an den Server</source>
        <translation>; the connection was closed, no further command went to the server</translation>
    </message>
    <message>
        <source>(keine Begründung)</source>
        <translation>(no reason given)</translation>
    </message>
    <message>
        <source> auf %1</source>
        <translation> to %1</translation>
    </message>
    <message>
        <source>Der Server hat die Verbindung mitten in der Antwort%1 getrennt</source>
        <translation>The server closed the connection in the middle of the reply%1</translation>
    </message>
    <message>
        <source>Zeitüberschreitung: keine vollständige Antwort des Servers%1 (die Antwort kam zu langsam, um in der erlaubten Zeit fertig zu werden)</source>
        <translation>Timeout: no complete reply from the server%1 (the reply came too slowly to finish in the time allowed)</translation>
    </message>
    <message>
        <source>Zeitüberschreitung: keine vollständige Antwort des Servers%1 innerhalb von %2 s</source>
        <translation>Timeout: no complete reply from the server%1 within %2 s</translation>
    </message>
    <message>
        <source>Der Server hat nicht bewiesen, dass er das Kennwort kennt (SCRAM ohne gültige Server-Signatur); womöglich gibt sich ein anderer als der Server aus</source>
        <translation>The server did not prove that it knows the password (SCRAM without a valid server signature); someone else may be posing as the server</translation>
    </message>
    <message>
        <source>abgebrochen</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>abgebrochen während %1</source>
        <translation>cancelled during %1</translation>
    </message>
    <message>
        <source>abgebrochen, der Server antwortete nicht</source>
        <translation>cancelled, the server did not answer</translation>
    </message>
    <message>
        <source>Vor %1 lagen Bytes an, die keine Antwort auf einen Befehl waren; der Befehl wurde nicht gesendet</source>
        <translation>Before %1 there were bytes waiting that answered no command; the command was not sent</translation>
    </message>
    <message>
        <source>Der Server schickte%1 Daten, nach denen nicht gefragt war%2</source>
        <translation>The server&apos;s answer%1 held data that was not asked for%2</translation>
    </message>
    <message>
        <source>Die Antwort des Servers%1 war weit größer, als die Nachrichtenliste (LIST) angab</source>
        <translation>The server&apos;s reply%1 was far larger than the message list (LIST) said</translation>
    </message>
    <message>
        <source>Vor dem QUIT lagen Bytes an, die keine Antwort auf einen Befehl waren%1</source>
        <translation>Before the QUIT there were bytes waiting that answered no command%1</translation>
    </message>
    <message>
        <source>Die Antwort des Servers%1 war unlesbar, abgeschnitten oder außer der Reihe%2</source>
        <translation>The server&apos;s reply%1 was unreadable, cut short or out of step%2</translation>
    </message>
    <message>
        <source> (zuletzt %1)</source>
        <translation> (last %1)</translation>
    </message>
    <message>
        <source>%1 hat die Verbindung abgelehnt (kein %2-Dienst an diesem Port)</source>
        <translation>%1 refused the connection (no %2 service on this port)</translation>
    </message>
    <message>
        <source>abgebrochen beim Verbindungsaufbau zu %1</source>
        <translation>cancelled while connecting to %1</translation>
    </message>
    <message>
        <source>Zeitüberschreitung: %1 nahm die Verbindung nicht innerhalb von %2 s an</source>
        <translation>Timeout: %1 did not accept the connection within %2 s</translation>
    </message>
    <message>
        <source>Keine Verbindung zu %1</source>
        <translation>No connection to %1</translation>
    </message>
    <message>
        <source>Keine Verbindung zu %1: %2</source>
        <translation>No connection to %1: %2</translation>
    </message>
    <message>
        <source>Der Server begrüßte nicht mit %1: %2</source>
        <translation>The server did not greet with %1: %2</translation>
    </message>
    <message>
        <source>die Entfernung</source>
        <translation>the removal</translation>
    </message>
    <message>
        <source>Der Server hat %1 mit %2 beendet, aber die Nachricht nicht als entfernt gemeldet (kein EXPUNGE); ob er sie entfernt hat, ist ungewiss; die Sicherung bleibt</source>
        <translation>The server ended %1 with %2 but did not report the message as removed (no EXPUNGE); whether it removed it is uncertain; the backup stays</translation>
    </message>
    <message>
        <source>Der Server hat %1 nicht beantwortet; ob er sie entfernt hat, ist ungewiss; die Sicherung bleibt</source>
        <translation>The server did not answer %1; whether it removed the message is uncertain; the backup stays</translation>
    </message>
    <message>
        <source>Der Name %1 ließ sich nicht auflösen (%2)</source>
        <translation>The name %1 could not be resolved (%2)</translation>
    </message>
    <message>
        <source>Zeitüberschreitung: %1 hat die TLS-Aushandlung nicht innerhalb von %2 s beantwortet</source>
        <translation>Timeout: %1 did not answer the TLS handshake within %2 s</translation>
    </message>
    <message>
        <source>Die TLS-Aushandlung mit %1 ist gescheitert: %2</source>
        <translation>The TLS handshake with %1 failed: %2</translation>
    </message>
    <message>
        <source>Das Zertifikat des Servers ist nicht das, dem dieses Konto vertraut (es hat sich geändert): %1</source>
        <translation>The server&apos;s certificate is not the one this account trusts (it has changed): %1</translation>
    </message>
    <message>
        <source>Das Zertifikat des Servers wurde abgelehnt: %1</source>
        <translation>The server&apos;s certificate was rejected: %1</translation>
    </message>
    <message>
        <source>Das Zertifikat des Servers wurde abgelehnt: %1; wer es als das des Servers kennt, kann ihm für das Konto vertrauen: pelloru --configure --account NAME --trust-fingerprint %2</source>
        <translation>The server&apos;s certificate was rejected: %1; whoever knows it to be the server&apos;s can trust it for the account: pelloru --configure --account NAME --trust-fingerprint %2</translation>
    </message>
    <message>
        <source>Der Server bietet kein STLS an oder lehnte es ab; das Kennwort wurde nicht gesendet</source>
        <translation>The server offers no STLS or refused it; the password was not sent</translation>
    </message>
    <message>
        <source>Der Server lehnte den Benutzernamen ab: %1</source>
        <translation>The server refused the user name: %1</translation>
    </message>
    <message>
        <source>Der Server lehnte die Anmeldung ab: %1</source>
        <translation>The server refused the sign-in: %1</translation>
    </message>
    <message>
        <source> (Verfahren %1)</source>
        <translation> (method %1)</translation>
    </message>
    <message>
        <source>; Begründung: %1</source>
        <translation>; reason: %1</translation>
    </message>
    <message>
        <source>Kein Anmeldeverfahren, das beide Seiten kennen und das hier erlaubt ist (ohne TLS kein Kennwort im Klartext; der Server bietet:%1)</source>
        <translation>No sign-in method that both sides know and that is allowed here (no plain-text password without TLS; the server offers:%1)</translation>
    </message>
    <message>
        <source> nichts</source>
        <translation> nothing</translation>
    </message>
    <message>
        <source>Benutzername, Kennwort oder Zugriffstoken enthält einen Zeilenumbruch; nichts davon wurde gesendet</source>
        <translation>The user name, password or access token contains a line break; none of them was sent</translation>
    </message>
    <message>
        <source>Der Server hat nicht bewiesen, dass er das Kennwort kennt (SCRAM ohne gültige Server-Signatur)</source>
        <translation>The server did not prove that it knows the password (SCRAM without a valid server signature)</translation>
    </message>
    <message>
        <source>Der Server lehnte das QUIT ab, das die Löschungen bestätigt: %1</source>
        <translation>The server refused the QUIT that confirms the deletions: %1</translation>
    </message>
    <message>
        <source>Der Server hat das QUIT, das die Löschungen bestätigt, nicht beantwortet%1; ob er gelöscht hat, ist ungewiss</source>
        <translation>The server did not answer the QUIT that confirms the deletions%1; whether it deleted is uncertain</translation>
    </message>
    <message>
        <source> (sondern %1)</source>
        <translation> (but %1)</translation>
    </message>
    <message>
        <source>Die abgerufene Nachricht ist nicht die geprüfte oder nicht vollständig; sie wurde nicht gelöscht</source>
        <translation>The retrieved message is not the one checked, or not complete; it was not deleted</translation>
    </message>
    <message>
        <source>Der Server hat die Verbindung getrennt</source>
        <translation>The server closed the connection</translation>
    </message>
    <message>
        <source>Der Server lieferte zu dieser Nachricht keine Daten%1 (womöglich hat ein anderes Programm sie eben entfernt)</source>
        <translation>The server delivered no data for this message%1 (another program may have just removed it)</translation>
    </message>
    <message>
        <source>, obwohl er den Abruf mit %1 beendete</source>
        <translation>, although it ended the fetch with %1</translation>
    </message>
    <message>
        <source>Die Antwort des Servers%1 war unverständlich: %2</source>
        <translation>The server&apos;s reply%1 was not understood: %2</translation>
    </message>
    <message>
        <source>Die Sicherungsdatei ließ sich nicht anlegen oder nicht vollständig schreiben</source>
        <translation>The backup file could not be created or not be written completely</translation>
    </message>
    <message>
        <source>Ein Befehl ließ sich nicht an den Server senden</source>
        <translation>A command could not be sent to the server</translation>
    </message>
    <message>
        <source>Der Server lehnte ab: %1</source>
        <translation>The server refused: %1</translation>
    </message>
    <message>
        <source>Der Server lehnte %1 ab: %2</source>
        <translation>The server refused %1: %2</translation>
    </message>
    <message>
        <source>Der Dialog mit dem Server scheiterte%1 (interner Code %2)</source>
        <translation>The dialogue with the server failed%1 (internal code %2)</translation>
    </message>
</context>
<context>
    <name>net</name>
    <message>
        <source>vertraut ist SHA-256 %1, gezeigt wurde %2</source>
        <translation>trusted is SHA-256 %1, shown was %2</translation>
    </message>
</context>
<context>
    <name>rows</name>
    <message>
        <source>Zwischenspeicher %1 lässt sich nicht öffnen; voller Abruf</source>
        <translation>Cache %1 cannot be opened; full fetch</translation>
    </message>
    <message>
        <source>kein Speicher</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>Zwischenspeicher %1 ist von einem anderen Prozess belegt; voller Abruf</source>
        <translation>Cache %1 is held by another process; full fetch</translation>
    </message>
    <message>
        <source>Zwischenspeicher %1 hat ein anderes Format (Version %2); er wird neu aufgebaut</source>
        <translation>Cache %1 has another format (version %2); it is rebuilt</translation>
    </message>
    <message>
        <source>Der Zwischenspeicher %1 ist unlesbar (%2); er wird neu aufgebaut</source>
        <translation>The cache %1 is unreadable (%2); it is rebuilt</translation>
    </message>
    <message>
        <source>Zwischenspeicher: %1 (%2); ohne ihn weiter</source>
        <translation>Cache: %1 (%2); going on without it</translation>
    </message>
    <message>
        <source>Der Zwischenspeicher %1 lässt sich nicht schreiben (%2); diese Prüfung läuft ohne ihn</source>
        <translation>The cache %1 cannot be written (%2); this check runs without it</translation>
    </message>
    <message>
        <source>Der Zwischenspeicher %1 lässt sich nicht lesen (%2); diese Prüfung läuft ohne ihn</source>
        <translation>The cache %1 cannot be read (%2); this check runs without it</translation>
    </message>
    <message>
        <source>Der Zwischenspeicher %1 ist beschädigt (%2); er wird neu aufgebaut, diese Prüfung holt die E-Mails vom Server</source>
        <translation>The cache %1 is damaged (%2); it is rebuilt, this check fetches the emails from the server</translation>
    </message>
    <message>
        <source>Zwischenspeicher: der Eintrag %1 passt nicht zu seiner Prüfsumme; vom Server geholt</source>
        <translation>Cache: the entry %1 does not match its checksum; fetched from the server</translation>
    </message>
    <message>
        <source>Der Zwischenspeicher %1 enthält beschädigte Einträge; sie werden vom Server neu geholt</source>
        <translation>The cache %1 holds damaged entries; they are fetched from the server again</translation>
    </message>
    <message>
        <source>Lesen gescheitert</source>
        <translation>reading failed</translation>
    </message>
    <message>
        <source>Schreiben gescheitert</source>
        <translation>writing failed</translation>
    </message>
    <message>
        <source>... und %1 weitere</source>
        <translation>... and %1 more</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>Email</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Größe</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Betreff</source>
        <translation>Subject</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Konto</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>würde gelöscht=</source>
        <translation>would delete=</translation>
    </message>
    <message>
        <source>gelöscht=</source>
        <translation>deleted=</translation>
    </message>
    <message>
        <source>verschoben=</source>
        <translation>moved=</translation>
    </message>
    <message>
        <source>behalten=</source>
        <translation>kept=</translation>
    </message>
    <message>
        <source>als gelöscht markiert (ohne UIDPLUS nicht entfernt)=</source>
        <translation>flagged as deleted (not removed without UIDPLUS)=</translation>
    </message>
    <message>
        <source>ungewiss: Server hat QUIT nicht beantwortet</source>
        <translation>uncertain: server did not answer QUIT</translation>
    </message>
    <message>
        <source>ungewiss: Server hat die Entfernung nicht bestätigt</source>
        <translation>uncertain: server did not confirm the removal</translation>
    </message>
    <message>
        <source>fehler beim löschen</source>
        <translation>error while deleting</translation>
    </message>
    <message>
        <source>fehler beim löschen: Sicherung ist nicht diese Nachricht</source>
        <translation>error while deleting: the backup is not this message</translation>
    </message>
    <message>
        <source>nicht eindeutig</source>
        <translation>not unique</translation>
    </message>
    <message>
        <source>nicht gefunden</source>
        <translation>not found</translation>
    </message>
    <message>
        <source>Gelöscht</source>
        <translation>Deleted</translation>
    </message>
</context>
<context>
    <name>rules</name>
    <message>
        <source>Die Datei %1 ließ sich nicht lesen</source>
        <translation>The file %1 could not be read</translation>
    </message>
    <message>
        <source>Neben %1 ließ sich keine Datei anlegen: %2</source>
        <translation>No file could be created next to %1: %2</translation>
    </message>
    <message>
        <source>Die Datei %1 ließ sich nicht schreiben (%2); sie ist unverändert</source>
        <translation>The file %1 could not be written (%2); it is unchanged</translation>
    </message>
    <message>
        <source>sie ist ein Ordner, keine gewöhnliche Datei</source>
        <translation>it is a folder, not a regular file</translation>
    </message>
    <message>
        <source>sie ist eine benannte Pipe (FIFO), keine gewöhnliche Datei</source>
        <translation>it is a named pipe (FIFO), not a regular file</translation>
    </message>
    <message>
        <source>sie ist ein Gerät, keine gewöhnliche Datei</source>
        <translation>it is a device, not a regular file</translation>
    </message>
    <message>
        <source>sie ist ein Socket, keine gewöhnliche Datei</source>
        <translation>it is a socket, not a regular file</translation>
    </message>
    <message>
        <source>sie ist keine gewöhnliche Datei</source>
        <translation>it is not a regular file</translation>
    </message>
    <message>
        <source>Die Regeldatei %1 wird nicht verwendet: %2</source>
        <translation>The rule file %1 is not used: %2</translation>
    </message>
    <message>
        <source>sie ist größer als %1 MiB</source>
        <translation>it is larger than %1 MiB</translation>
    </message>
    <message>
        <source>Die Regeldatei %1, Zeile %2, wird nicht verwendet: sie enthält ein NUL-Byte</source>
        <translation>The rule file %1, line %2, is not used: it contains a NUL byte</translation>
    </message>
</context>
<context>
    <name>runs</name>
    <message>
        <source>Konto &quot;%1&quot;: %2</source>
        <translation>Account &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>%1 von %2 E-Mails (%3)</source>
        <translation>%1 of %2 emails (%3)</translation>
    </message>
    <message>
        <source>Kein Konto &quot;%1&quot;; es gibt:%2</source>
        <translation>No account &quot;%1&quot;; there are:%2</translation>
    </message>
    <message>
        <source>Konto &quot;%1&quot;</source>
        <translation>Account &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Nichts gespeichert: &quot;%1&quot; ist kein SHA-256-Fingerabdruck (64 Hexadezimalziffern, Doppelpunkte erlaubt)</source>
        <translation>Nothing saved: &quot;%1&quot; is not a SHA-256 fingerprint (64 hexadecimal digits, colons allowed)</translation>
    </message>
    <message>
        <source>Nichts gespeichert: kein Konto &quot;%1&quot;</source>
        <translation>Nothing saved: no account &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Die Einstellungen wurden nicht gespeichert</source>
        <translation>The settings were not saved</translation>
    </message>
    <message>
        <source>Anmeldung im Browser: %1</source>
        <translation>Sign-in in the browser: %1</translation>
    </message>
    <message>
        <source>Nicht angemeldet: kein Konto &quot;%1&quot;</source>
        <translation>Not signed in: no account &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Nicht angemeldet: für das Konto ist kein Anbieter mit OAuth 2.0 bekannt (OAUTH)</source>
        <translation>Not signed in: no provider with OAuth 2.0 is known for the account (OAUTH)</translation>
    </message>
    <message>
        <source>Bitte %1 öffnen und den Code %2 eingeben; Pelloru wartet auf die Anmeldung.</source>
        <translation>Please open %1 and enter the code %2; Pelloru is waiting for the sign-in.</translation>
    </message>
    <message>
        <source>Nicht angemeldet: %1</source>
        <translation>Not signed in: %1</translation>
    </message>
    <message>
        <source>Angemeldet; das Erneuerungstoken liegt im Schlüsselbund.</source>
        <translation>Signed in; the refresh token is in the keyring.</translation>
    </message>
    <message>
        <source>Nichts gespeichert: für &quot;%1&quot; ist kein Anbieter bekannt und die Domain nennt keine Server%2; bitte Server, Benutzername und Kennwort angeben (--configure ohne --address)</source>
        <translation>Nothing saved: no provider is known for &quot;%1&quot; and the domain names no servers%2; please give the server, user name and password (--configure without --address)</translation>
    </message>
    <message>
        <source>POP3 Server: </source>
        <translation>POP3 server: </translation>
    </message>
    <message>
        <source>Benutzername: </source>
        <translation>User name: </translation>
    </message>
    <message>
        <source>Kennwort: </source>
        <translation>Password: </translation>
    </message>
    <message>
        <source>OAuth-Client-Secret (leer: keins): </source>
        <translation>OAuth client secret (empty: none): </translation>
    </message>
    <message>
        <source>Nichts gespeichert: Zeile &quot;%1&quot;: %2</source>
        <translation>Nothing saved: line &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>KEY=VALUE erwartet</source>
        <translation>KEY=VALUE expected</translation>
    </message>
    <message>
        <source>Die Einstellungen wurden nicht gespeichert: %1</source>
        <translation>The settings were not saved: %1</translation>
    </message>
    <message>
        <source>Der Server bietet kein IDLE an; das Konto wird nach der Zeit geprüft</source>
        <translation>The server offers no IDLE; the account is checked on the timer</translation>
    </message>
    <message>
        <source>Aufruf: pelloru [/b | --list | --configure [--keyring] [--address ADRESSE]
                | --configure --trust-fingerprint SHA256 | --configure --oauth
                | --help | --version]
                [--account NAME ...] [--dry-run] [--debug] [--no-cache] [-q]

  (ohne)       Fenster mit der Liste der Mails; &quot;Check&quot; prüft das Postfach.
  /b           ein Durchlauf ohne Rückfragen: Postfach prüfen, passende Mails
               löschen (mit Sicherung), Ende. Ohne Bildschirm ohne Fenster.
  --list       wie /b ohne Fenster; gibt die Zeilen als Text aus
               (UTF-8, Spalten durch Tabulator getrennt).
  --dry-run    mit --list oder /b: Probelauf, zeigt, welche Mails welches Muster
               löschen würde; nichts wird gelöscht oder gesichert.
  --debug      mit --list oder /b: das Gespräch mit dem Server auf der Standardfehlerausgabe
               (Kennwörter unkenntlich).
  -q           mit --list oder /b: keine Meldungen über Fehler; nur der Exit-Status.
  --no-cache   mit --list oder /b: alle Mails vom Server holen, nicht die schon
               bekannten aus dem Zwischenspeicher.
  --account NAME  mit --list oder /b: nur dieses Konto (mehrfach möglich);
               ohne: alle Konten. Mit --configure: dieses Konto anlegen oder
               ändern.
  --configure  liest Server, Benutzername und Kennwort (je eine Zeile), dann
               Zeilen SCHLÜSSEL=WERT (CAFILE=..., AUTH=...) von der
               Standardeingabe und speichert sie; mit --keyring das
               Kennwort im Schlüsselbund statt im Profil.
  --address ADRESSE  mit --configure --account NAME: Server und Benutzername
               aus der Tabelle der bekannten Anbieter (IMAP vor POP3); liest
               nur das Kennwort und Zeilen SCHLÜSSEL=WERT. Ein Anbieter, der nur
               OAuth 2.0 annimmt, liest kein Kennwort: die Anmeldung folgt (wie --oauth).
  --oauth      mit --configure --account NAME: das Konto mit OAuth 2.0 anmelden,
               im Browser ($BROWSER, sonst xdg-open; die Adresse steht auch auf
               der Standardfehlerausgabe), ohne Bildschirm mit einem Code, wo der
               Anbieter das bietet. Das Erneuerungstoken kommt in den Schlüsselbund.
  --trust-fingerprint SHA256  mit --configure --account NAME: diesem einen
               Zertifikat (SHA-256-Fingerabdruck, wie ihn die Fehlermeldung
               nennt) für das Konto vertrauen; liest nichts von der Eingabe.
  --help       diese Hilfe.  --version  die Versionsnummer.

Jeder Fehler von /b und --list steht als eine Zeile auf der Standardfehlerausgabe.
Mit mehreren Konten beginnt jede Zeile von --list mit dem Konto; der Exit-Status
ist der schlimmste der Konten.
Exit-Status von /b und --list: 0 Durchlauf erfolgt, 2 Verbindung oder Anmeldung
gescheitert, 3 Postfach nicht lesbar (STAT/LIST), 4 Verbindung abgebrochen
(POP3: nichts gelöscht; IMAP: nur was die Zeilen als verschoben oder gelöscht
zeigen), 5 eine passende Mail nicht gesichert oder nicht gelöscht, 6 durch
SIGINT/SIGTERM beendet (Markiertes gelöscht), 7 QUIT (IMAP: Verschieben)
unbestätigt (ob gelöscht wurde, ist ungewiss), 8 Konto wird gerade von
einem anderen Lauf geprüft (nach 30 s Warten nicht angemeldet). 64 unbekannte
Option.
--configure: 1 nicht gespeichert. Ohne Optionen und ohne Bildschirm: 69.
</source>
        <translation>Usage: pelloru [/b | --list | --configure [--keyring] [--address ADDRESS]
                | --configure --trust-fingerprint SHA256 | --configure --oauth
                | --help | --version]
                [--account NAME ...] [--dry-run] [--debug] [--no-cache] [-q]

  (none)       window with the list of mails; &quot;Check&quot; checks the mailbox.
  /b           one run without questions: check the mailbox, delete matching
               mails (with a backup), end. Without a display, without a window.
  --list       like /b without a window; prints the rows as text
               (UTF-8, columns separated by tabs).
  --dry-run    with --list or /b: trial run, shows which mails which pattern
               would delete; nothing is deleted or backed up.
  --debug      with --list or /b: the dialogue with the server on standard error
               (passwords masked).
  -q           with --list or /b: no messages about failures; only the exit status.
  --no-cache   with --list or /b: fetch all mails from the server, not the ones
               already known from the cache.
  --account NAME  with --list or /b: only this account (may be repeated);
               without: all accounts. With --configure: create or change this
               account.
  --configure  reads server, user name and password (one line each), then
               lines KEY=VALUE (CAFILE=..., AUTH=...) from standard input
               and saves them; with --keyring the password goes into the
               keyring instead of the profile.
  --address ADDRESS  with --configure --account NAME: server and user name
               from the table of known providers (IMAP before POP3); reads
               only the password and lines KEY=VALUE. A provider that accepts
               only OAuth 2.0 reads no password: the sign-in follows (as --oauth).
  --oauth      with --configure --account NAME: sign the account in with OAuth 2.0,
               in the browser ($BROWSER, else xdg-open; the address is also on
               standard error), without a display with a code where the
               provider offers one. The refresh token goes into the keyring.
  --trust-fingerprint SHA256  with --configure --account NAME: trust this one
               certificate (SHA-256 fingerprint, as the error message names it)
               for the account; reads nothing from input.
  --help       this help.  --version  the version number.

Every failure of /b and --list is one line on standard error.
With several accounts every row of --list begins with the account; the exit
status is the worst of the accounts.
Exit status of /b and --list: 0 run done, 2 connection or sign-in failed,
3 mailbox not readable (STAT/LIST), 4 connection broken off (POP3: nothing
deleted; IMAP: only what the rows show as moved or deleted), 5 a matching
mail not backed up or not deleted, 6 ended by SIGINT/SIGTERM (what was
marked is deleted), 7 QUIT (IMAP: the move) unconfirmed (whether anything
was deleted is uncertain), 8 account is being checked by another run (not
signed in after waiting 30 s). 64 unknown option.
--configure: 1 not saved. Without options and without a display: 69.
</translation>
    </message>
    <message>
        <source>pelloru: Das Fenster braucht einen Bildschirm (DISPLAY oder WAYLAND_DISPLAY).
Ohne Bildschirm: &quot;pelloru --list&quot; zeigt die E-Mails, &quot;pelloru /b&quot; prüft das Postfach einmal.
</source>
        <translation>pelloru: The window needs a display (DISPLAY or WAYLAND_DISPLAY).
Without a display: &quot;pelloru --list&quot; shows the emails, &quot;pelloru /b&quot; checks the mailbox once.
</translation>
    </message>
    <message>
        <source>OAuth-Client-ID: </source>
        <translation>OAuth client ID: </translation>
    </message>
</context>
<context>
    <name>scan</name>
    <message>
        <source>Fehler beim Lesen des Postfachs</source>
        <translation>Error reading the mailbox</translation>
    </message>
    <message>
        <source>Fehler beim löschen</source>
        <translation>Error while deleting</translation>
    </message>
    <message>
        <source>Ohne die ganze Ausnahmeliste wird in dieser Prüfung keine E-Mail nach Muster entfernt</source>
        <translation>Without the whole exception list, this check removes no email by pattern</translation>
    </message>
    <message>
        <source>Die Sperrdatei %1 ließ sich nicht anlegen; die Prüfung läuft ohne Sperre</source>
        <translation>The lock file %1 could not be created; the check runs without a lock</translation>
    </message>
    <message>
        <source>Sperre %1 nach %2 s noch belegt</source>
        <translation>Lock %1 still held after %2 s</translation>
    </message>
    <message>
        <source>Keine E-Mails vorhanden.</source>
        <translation>No emails present.</translation>
    </message>
    <message>
        <source>%1 E-Mails</source>
        <translation>%1 emails</translation>
    </message>
    <message>
        <source>%1 von %2 E-Mails</source>
        <translation>%1 of %2 emails</translation>
    </message>
    <message>
        <source>Die Sicherungsdatei ließ sich im Arbeitsordner nicht anlegen</source>
        <translation>The backup file could not be created in the working folder</translation>
    </message>
    <message>
        <source>Die Sicherung ließ sich nicht vollständig auf die Platte schreiben</source>
        <translation>The backup could not be written completely to disk</translation>
    </message>
    <message>
        <source>Nachricht %1: %2</source>
        <translation>Message %1: %2</translation>
    </message>
    <message>
        <source>Fehler beim Sichern</source>
        <translation>Error while saving</translation>
    </message>
    <message>
        <source>Konto wird gerade von einem anderen Lauf geprüft</source>
        <translation>Account is being checked by another run</translation>
    </message>
    <message>
        <source>Die Sicherung ließ sich zur Prüfung nicht lesen</source>
        <translation>The backup could not be read for checking</translation>
    </message>
    <message>
        <source>Die abgerufene Nachricht beginnt nicht wie die geprüfte (Kopf und erste Zeilen aus TOP); es ist nicht dieselbe Nachricht</source>
        <translation>The retrieved message does not begin like the one checked (header and first lines from TOP); it is not the same message</translation>
    </message>
    <message>
        <source>Die abgerufene Nachricht hat %1 Bytes, die Nachrichtenliste (LIST) nannte %2 Bytes; sie ist abgeschnitten oder nicht dieselbe</source>
        <translation>The retrieved message has %1 bytes, the message list (LIST) said %2 bytes; it is cut short or not the same</translation>
    </message>
    <message>
        <source>Die abgerufene Nachricht hat %1 Bytes, der Server kündigte %2 Bytes an; sie ist abgeschnitten oder nicht dieselbe</source>
        <translation>The retrieved message has %1 bytes, the server announced %2 bytes; it is cut short or not the same</translation>
    </message>
</context>
</TS>
