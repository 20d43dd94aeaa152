#!/usr/bin/env python3
"""A token introspection endpoint (RFC 7662) for the tests' Dovecot: the
token "gueltig" is active for the user pelloru, every other one is not.
Listens on a free loopback port, prints it, and serves until standard input
closes."""
import json
import os
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer


class Handler(BaseHTTPRequestHandler):
    def answer(self, token):
        if token == "gueltig":
            body = {"active": "true", "username": "pelloru", "scope": "mail"}
        else:
            body = {"active": "false"}
        data = json.dumps(body).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = urllib.parse.parse_qs(self.rfile.read(length).decode())
        self.answer(form.get("token", [""])[0])

    def do_GET(self):
        query = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query)
        token = query.get("token", [""])[0]
        auth = self.headers.get("Authorization", "")
        if not token and auth.startswith("Bearer "):
            token = auth[7:]
        self.answer(token)

    def log_message(self, *args):
        pass


server = HTTPServer(("127.0.0.1", 0), Handler)
os.write(1, f"{server.server_address[1]}\n".encode())  # one write, whole line
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()
server.shutdown()
