#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A token introspection endpoint (RFC 7662) for the tests' Dovecot: the
token "gueltig" is active for the user pelloru, every other one is not.
Listens on a free loopback port, prints it, and serves until standard input
closes.

With a certificate and its key as arguments it is also an OAuth 2.0
provider over HTTPS on a second port (printed after the first): /authorize
(code flow, PKCE with S256 required), /token (authorization_code,
refresh_token with a new refresh token each time, device_code) and /device
(RFC 8628). The tokens it gives are active for pelloru until they expire or
are revoked. Over plain HTTP, for the test: /approve?user_code=, /revoke
(the access tokens; with all=1 also the refresh tokens), /revoke-after?n=
(the access tokens, once n log-ons have used them),
/expires?seconds= (for the tokens given next) and /stats."""
import base64
import hashlib
import json
import os
import secrets
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CLIENT = "pelloru-test"
lock = threading.Lock()
state = {"access": {}, "refresh": set(), "codes": {}, "devices": {}, "expires": 3600, "revoke_after": 0,
         "stats": {"authorize": 0, "code": 0, "refresh": 0, "device": 0, "inactive": 0}}


def issue():
    access, refresh = secrets.token_urlsafe(24), secrets.token_urlsafe(24)
    state["access"][access] = time.time() + state["expires"]
    state["refresh"].add(refresh)
    return {"access_token": access, "token_type": "Bearer", "expires_in": state["expires"],
            "refresh_token": refresh}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def send(self, status, body, headers=()):
        data = json.dumps(body).encode() if not isinstance(body, bytes) else body
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def introspection(self, token):
        with lock:
            active = token == "gueltig" or state["access"].get(token, 0) > time.time()
            if not active:
                state["stats"]["inactive"] += 1
            elif state["revoke_after"] > 0:
                # A token withdrawn before its time, once it has been used.
                state["revoke_after"] -= 1
                if state["revoke_after"] == 0:
                    state["access"].clear()
        if active:
            self.send(200, {"active": "true", "username": "pelloru", "scope": "mail"})
        else:
            self.send(200, {"active": "false"})

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        return {k: v[0] for k, v in urllib.parse.parse_qs(self.rfile.read(length).decode()).items()}

    def do_POST(self):
        form = self.form()
        path = urllib.parse.urlparse(self.path).path
        if path == "/introspect":
            return self.introspection(form.get("token", ""))
        if form.get("client_id") != CLIENT:
            return self.send(401, {"error": "invalid_client"})
        with lock:
            if path == "/device":
                code = secrets.token_urlsafe(16)
                state["devices"][code] = {"user": "PELL-0RU1", "approved": False}
                return self.send(200, {"device_code": code, "user_code": "PELL-0RU1",
                                       "verification_uri": "https://localhost/geraet", "interval": 1,
                                       "expires_in": 60})
            grant = form.get("grant_type", "")
            if grant == "authorization_code":
                asked = state["codes"].pop(form.get("code", ""), None)
                verifier = form.get("code_verifier", "").encode()
                challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
                if not asked or asked["challenge"] != challenge or asked["redirect"] != form.get("redirect_uri"):
                    return self.send(400, {"error": "invalid_grant", "error_description": "PKCE or code"})
                state["stats"]["code"] += 1
                return self.send(200, issue())
            if grant == "refresh_token":
                old = form.get("refresh_token", "")
                if old not in state["refresh"]:
                    return self.send(400, {"error": "invalid_grant", "error_description": "expired"})
                state["refresh"].discard(old)
                state["stats"]["refresh"] += 1
                return self.send(200, issue())
            if grant == "urn:ietf:params:oauth:grant-type:device_code":
                device = state["devices"].get(form.get("device_code", ""))
                if not device:
                    return self.send(400, {"error": "expired_token"})
                if not device["approved"]:
                    return self.send(400, {"error": "authorization_pending"})
                del state["devices"][form["device_code"]]
                state["stats"]["device"] += 1
                return self.send(200, issue())
        self.send(400, {"error": "unsupported_grant_type"})

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        with lock:
            if url.path == "/authorize":
                redirect = query.get("redirect_uri", "")
                if (query.get("client_id") != CLIENT or query.get("code_challenge_method") != "S256"
                        or not query.get("code_challenge") or not redirect.startswith("http://127.0.0.1:")
                        or query.get("response_type") != "code"):
                    return self.send(400, {"error": "invalid_request"})
                code = secrets.token_urlsafe(16)
                state["codes"][code] = {"challenge": query["code_challenge"], "redirect": redirect}
                state["stats"]["authorize"] += 1
                target = redirect + "?" + urllib.parse.urlencode({"code": code, "state": query.get("state", "")})
                return self.send(302, b"", [("Location", target)])
            if url.path == "/approve":
                for device in state["devices"].values():
                    if device["user"] == query.get("user_code"):
                        device["approved"] = True
                return self.send(200, {})
            if url.path == "/revoke":
                state["access"].clear()
                if query.get("all"):
                    state["refresh"].clear()
                return self.send(200, {})
            if url.path == "/revoke-after":
                state["revoke_after"] = int(query.get("n", "1"))
                return self.send(200, {})
            if url.path == "/expires":
                state["expires"] = int(query.get("seconds", "3600"))
                return self.send(200, {})
            if url.path == "/stats":
                return self.send(200, state["stats"])
        token = query.get("token", "")
        auth = self.headers.get("Authorization", "")
        if not token and auth.startswith("Bearer "):
            token = auth[7:]
        self.introspection(token)

    def log_message(self, *args):
        pass


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


ports = [serve(ThreadingHTTPServer(("127.0.0.1", 0), Handler))]
if len(sys.argv) == 3:
    secure = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    ports.append(serve(secure))
os.write(1, (" ".join(map(str, ports)) + "\n").encode())  # one write, whole line
sys.stdin.read()
