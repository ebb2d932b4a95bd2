#!/usr/bin/env python3
"""A small OAuth 2 identity provider for the sign-in tests, on 127.0.0.1 only.

    identity-provider.py INFO_FILE

Writes PORT, PID and the endpoint addresses to INFO_FILE once it listens, then serves until it is
sent SIGTERM. Everything is kept in memory.

Endpoints (the authorization-code flow with PKCE, RFC 6749 and RFC 7636):
  GET  /authorize   consents at once, as the user named by login_hint (default "oauth"), and
                    redirects to redirect_uri with code and state; the redirect must go to
                    http://127.0.0.1:<port>/ and code_challenge_method must be S256
  POST /token       grant_type=authorization_code (code, redirect_uri, client_id, code_verifier)
                    or grant_type=refresh_token (refresh_token, client_id); a client registered
                    with a secret must send it as client_secret. Errors as RFC 6749 5.2 JSON.
  POST /introspect  token=...: {"active": true, "username": ...} while the access token is
                    valid (RFC 7662; Dovecot's oauth2 passdb asks here)
Test controls:
  POST /control/access-lifetime  seconds=N   lifetime of access tokens issued from now on
  POST /control/expire-access                every access token issued so far stops being valid
  POST /control/revoke                       every refresh (and access) token is revoked
  POST /control/token-delay      seconds=N   the token endpoint answers N seconds late (0: at once)
  GET  /control/log                          one JSON object per line for each request answered:
                                             {"path", "grant_type", "status"}
"""

import base64
import hashlib
import http.server
import json
import os
import secrets
import signal
import sys
import threading
import time
import urllib.parse

CLIENTS = {
    # client_id: client secret (None: a public client, as desktop programs are)
    "pelmora-test": None,
    "pelmora-confidential": "pelmora-secret",
}
DEFAULT_USER = "oauth"


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.codes = {}      # code -> (client_id, redirect_uri, challenge, user)
        self.refresh = {}    # refresh token -> (client_id, user)
        self.access = {}     # access token -> (user, expiry)
        self.access_lifetime = 3600
        self.token_delay = 0.0
        self.log = []


STATE = State()


def new_token(prefix):
    return prefix + secrets.token_urlsafe(24)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", content_type="application/json", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def reply_json(self, status, value, grant_type=""):
        with STATE.lock:
            STATE.log.append({"path": self.path.split("?")[0], "grant_type": grant_type, "status": status})
        self.reply(status, json.dumps(value).encode())

    def form(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length > 65536:
            return {}
        body = self.rfile.read(length).decode("utf-8", "replace")
        return {k: v[0] for k, v in urllib.parse.parse_qs(body, keep_blank_values=True).items()}

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query, keep_blank_values=True).items()}
        if url.path == "/authorize":
            self.authorize(query)
        elif url.path == "/control/log":
            with STATE.lock:
                text = "".join(json.dumps(entry) + "\n" for entry in STATE.log)
            self.reply(200, text.encode(), "text/plain")
        else:
            self.reply(404)

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        form = self.form()
        if path == "/token":
            self.token(form)
        elif path == "/introspect":
            self.introspect(form)
        elif path == "/control/access-lifetime":
            with STATE.lock:
                STATE.access_lifetime = int(form.get("seconds", "3600"))
            self.reply(204)
        elif path == "/control/token-delay":
            with STATE.lock:
                STATE.token_delay = float(form.get("seconds", "0"))
            self.reply(204)
        elif path == "/control/expire-access":
            with STATE.lock:
                STATE.access = {t: (u, 0) for t, (u, _) in STATE.access.items()}
            self.reply(204)
        elif path == "/control/revoke":
            with STATE.lock:
                STATE.refresh.clear()
                STATE.access.clear()
            self.reply(204)
        else:
            self.reply(404)

    def authorize(self, query):
        redirect = query.get("redirect_uri", "")
        target = urllib.parse.urlsplit(redirect)
        if target.scheme != "http" or target.hostname != "127.0.0.1" or not target.port:
            self.reply(400, b"redirect_uri must be http://127.0.0.1:<port>/", "text/plain")
            return
        params = {"state": query.get("state", "")}
        if query.get("client_id") not in CLIENTS:
            params["error"] = "unauthorized_client"
        elif query.get("response_type") != "code":
            params["error"] = "unsupported_response_type"
        elif query.get("code_challenge_method") != "S256" or len(query.get("code_challenge", "")) < 43:
            params["error"] = "invalid_request"
            params["error_description"] = "PKCE with S256 is required"
        else:
            code = new_token("code-")
            user = query.get("login_hint") or DEFAULT_USER
            with STATE.lock:
                STATE.codes[code] = (query["client_id"], redirect, query["code_challenge"], user)
            params["code"] = code
        separator = "&" if target.query else "?"
        location = redirect + separator + urllib.parse.urlencode(params)
        self.reply(302, b"", "text/plain", [("Location", location)])

    def token(self, form):
        with STATE.lock:
            delay = STATE.token_delay
        time.sleep(delay)
        grant = form.get("grant_type", "")
        client = form.get("client_id", "")
        if client not in CLIENTS:
            return self.reply_json(401, {"error": "invalid_client"}, grant)
        secret = CLIENTS[client]
        if secret is not None and form.get("client_secret") != secret:
            return self.reply_json(401, {"error": "invalid_client"}, grant)
        with STATE.lock:
            if grant == "authorization_code":
                entry = STATE.codes.pop(form.get("code", ""), None)
                if entry is None or entry[0] != client or entry[1] != form.get("redirect_uri"):
                    error = "invalid_grant"
                else:
                    digest = hashlib.sha256(form.get("code_verifier", "").encode()).digest()
                    challenge = base64.urlsafe_b64encode(digest).rstrip(b"=").decode()
                    error = None if challenge == entry[2] else "invalid_grant"
                if error:
                    STATE.log.append({"path": "/token", "grant_type": grant, "status": 400})
                    return self.reply(400, json.dumps({"error": error}).encode())
                user = entry[3]
                refresh = new_token("refresh-")
                STATE.refresh[refresh] = (client, user)
            elif grant == "refresh_token":
                refresh = form.get("refresh_token", "")
                entry = STATE.refresh.get(refresh)
                if entry is None or entry[0] != client:
                    STATE.log.append({"path": "/token", "grant_type": grant, "status": 400})
                    body = {"error": "invalid_grant",
                            "error_description": "The refresh token was revoked."}
                    return self.reply(400, json.dumps(body).encode())
                user = entry[1]
            else:
                STATE.log.append({"path": "/token", "grant_type": grant, "status": 400})
                return self.reply(400, json.dumps({"error": "unsupported_grant_type"}).encode())
            access = new_token("access-")
            lifetime = STATE.access_lifetime
            STATE.access[access] = (user, time.time() + lifetime)
            STATE.log.append({"path": "/token", "grant_type": grant, "status": 200})
        self.reply(200, json.dumps({
            "access_token": access, "token_type": "Bearer", "expires_in": lifetime,
            "refresh_token": refresh, "scope": form.get("scope", "pop"),
        }).encode())

    def introspect(self, form):
        with STATE.lock:
            entry = STATE.access.get(form.get("token", ""))
        if entry is None or entry[1] <= time.time():
            return self.reply_json(200, {"active": False})
        self.reply_json(200, {"active": True, "username": entry[0], "token_type": "Bearer"})


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    info = sys.argv[1]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    port = server.server_address[1]
    base = f"http://127.0.0.1:{port}"
    temporary = info + ".part"
    with open(temporary, "w") as out:
        out.write(f"STATUS=ready\nPID={os.getpid()}\nPORT={port}\n"
                  f"AUTHORIZATION_URL={base}/authorize\nTOKEN_URL={base}/token\n"
                  f"INTROSPECTION_URL={base}/introspect\nCONTROL_URL={base}/control\n"
                  f"PUBLIC_CLIENT=pelmora-test\nCONFIDENTIAL_CLIENT=pelmora-confidential\n"
                  f"CONFIDENTIAL_SECRET={CLIENTS['pelmora-confidential']}\nUSER={DEFAULT_USER}\n")
    os.replace(temporary, info)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
