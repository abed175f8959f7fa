#!/usr/bin/env python3
"""Loopback HTTP(S) server for the real-transport tests and benchmark.

Binds 127.0.0.1 on ephemeral ports and prints one line
"http=PORT https=PORT" (https=0 without a certificate) on stdout, or writes
it to --port-file. It exits by itself after --lifetime seconds, or as soon as
its stdin reaches end of file (its port file is removed), so it never
outlives the test that started it.

Routes (any method unless noted):
  /, /echo...            JSON echo of the request line, headers and body
  /redirect              301 with a Location, never followed by the client
  /gzip                  gzip-encoded body, sent whatever the request asked
  /raw-headers           a hand-written head with odd header lines
  /raw-nocolon           a head with a line that has no colon
  /auth/basic            401 Basic challenge; verifies the Basic answer
  /auth/digest           401 Digest challenge; verifies the Digest answer
  /auth/both             offers Basic and Digest
  /auth/none             401 with an unknown scheme only
  /auth/drop             401 Basic challenge; hangs up on the answer
  /stall-head            reads the request and never answers
  /sink-stall            reads the request head only, never the body
  /stall-body            sends the head, then stalls
  /slow?n=N&ms=M         N pieces of 16 bytes, one every M milliseconds
  /drip-head?n=N&ms=M    a head padded with N bytes, sent one byte every M
                         milliseconds, then a short body
  /large?n=BYTES         BYTES bytes of a known pattern
  /_stats                JSON record of the requests seen so far
  /hostile/CASE/...      with --hostile: a misbehaving answer (see HOSTILE);
                         --hostile also opens a port that answers every
                         connection with garbage instead of a TLS handshake
  service routes         /api/finder/getfiles, /api/KeyValue/StartsWith,
                         /api/AAA/GetPlaybackSessions, /api/KeyValue (POST)
"""

import argparse
import gzip
import hashlib
import http.server
import json
import os
import re
import secrets
import shutil
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

USER = "alice"
PASSWORD = "s3cret"
REALM = "loopback"

STATS_LOCK = threading.Lock()
STATS = {"counts": {}, "auth": [], "writes": [], "accept_encoding": []}
NONCES = set()
FIXTURES = None
HOSTILE_ON = False

GETFILES_FIXTURES = {
    "tt0111161": "getfiles.movie-single.json",
    "tt4154796": "getfiles.movie-multi.json",
}
BUILTIN_FILE = [{
    "key": "k-tt0111161", "imDbID": "tt0111161", "fileName": "movie.mkv",
    "path": "/m/movie.mkv", "size": 1234, "durationSeconds": 8520,
    "entries": [{"uri": "u", "url": "http://x/u", "isActive": True}],
}]


OK_BODY = b'[{"key":"hostile"}]'
GZIP_BOMB = []  # built on first use: gzip of 40 MiB, about 40 KB


def ok_head(extra=b"", status=b"200 OK", version=b"HTTP/1.1"):
    return b"%s %s\r\n%sContent-Length: %d\r\n\r\n" % (version, status, extra, len(OK_BODY))


def gzip_bomb():
    if not GZIP_BOMB:
        GZIP_BOMB.append(gzip.compress(bytes(40 << 20), 9))
    body = GZIP_BOMB[0]
    return b"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body)


# Raw answers of the hostile routes; each is written whole, then the
# connection is closed ("reset" aborts it in the middle of the body).
HOSTILE = {
    "bad-status": lambda: b"HTTP/1.1 2OO OK\r\nContent-Length: 2\r\n\r\n[]",
    "no-colon": lambda: ok_head(b"X-A: a\r\nno colon here\r\n") + OK_BODY,
    "nul-header": lambda: ok_head(b"X-Nul: a\0b\r\n") + OK_BODY,
    "long-header": lambda: ok_head(b"X-Long: " + b"a" * (1 << 20) + b"\r\n") + OK_BODY,
    "many-headers": lambda: ok_head(b"".join(b"X-%d: v\r\n" % i for i in range(10000))) + OK_BODY,
    "short-body": lambda: b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + OK_BODY,
    "bad-chunk": lambda: b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n[{\"ke\r\nzz\r\n",
    "reset": lambda: b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + OK_BODY,
    "gzip-bomb": gzip_bomb,
    "interim": lambda: (b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </x>\r\n\r\n"
                        + ok_head() + OK_BODY),
    "204-body": lambda: ok_head(status=b"204 No Content") + OK_BODY,
    "304-body": lambda: ok_head(status=b"304 Not Modified") + OK_BODY,
    "http10-close": lambda: b"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n" + OK_BODY,
}


def garbage_server(sock):
    while True:
        conn, _ = sock.accept()
        try:
            conn.sendall(b"this is not a TLS handshake\r\n" * 8)
        except OSError:
            pass
        conn.close()


def md5(text):
    return hashlib.md5(text.encode("utf-8")).hexdigest()


def parse_digest(value):
    params = {}
    for m in re.finditer(r'(\w+)=(?:"((?:[^"\\]|\\.)*)"|([^,\s]*))', value):
        params[m.group(1).lower()] = m.group(2) if m.group(2) is not None else m.group(3)
    return params


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "loopback/1"

    def log_message(self, *args):
        pass

    # -- helpers ---------------------------------------------------------

    def body_in(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n) if n > 0 else b""

    def answer(self, status, body=b"", headers=()):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body and self.command != "HEAD":
            self.wfile.write(body)

    def json_answer(self, obj, status=200):
        self.answer(status, json.dumps(obj), [("Content-Type", "application/json")])

    def fixture(self, name):
        if FIXTURES:
            path = os.path.join(FIXTURES, name)
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    return f.read()
        return None

    # -- dispatch --------------------------------------------------------

    def do_any(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        parts = url.path.split("/")
        if HOSTILE_ON and len(parts) > 2 and parts[1] == "hostile" and parts[2] in HOSTILE:
            self.hostile(parts[2])
            return
        if url.path == "/sink-stall":
            time.sleep(30)  # never reads the request body
            return
        body = self.body_in()
        with STATS_LOCK:
            STATS["counts"][url.path] = STATS["counts"].get(url.path, 0) + 1
            STATS["auth"].append(self.headers.get("Authorization"))
            STATS["accept_encoding"].append(self.headers.get("Accept-Encoding"))
        route = ROUTES.get(url.path)
        if route is None and (url.path == "/" or url.path.startswith("/echo")):
            route = Handler.r_echo
        if route is None:
            self.answer(404, "no route")
            return
        route(self, url, query, body)

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_any

    def do_HEAD(self):
        self.do_any()

    def hostile(self, name):
        self.close_connection = True
        if name != "reset":
            # The answer's last bytes and the connection's end leave in one
            # segment: a client that keeps connections for later requests
            # must never find this one open after reading the answer.
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_CORK, 1)
        self.wfile.write(HOSTILE[name]())
        if name != "reset":
            self.connection.shutdown(socket.SHUT_WR)
        else:
            time.sleep(0.2)  # the head and a piece of the body arrive first
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()

    # -- routes ----------------------------------------------------------

    def r_echo(self, url, query, body):
        self.json_answer({
            "request_line": self.requestline,
            "method": self.command,
            "path": self.path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": body.decode("latin-1"),
        })

    def r_redirect(self, url, query, body):
        self.answer(301, "moved", [("Location", "/echo/target")])

    def r_gzip(self, url, query, body):
        text = ("gzip body line\n" * 64).encode()
        self.answer(200, gzip.compress(text), [("Content-Encoding", "gzip"),
                                               ("Content-Type", "text/plain")])

    def r_raw_headers(self, url, query, body):
        # ?plain=1 leaves out the name followed by a blank.
        spaced = b"" if query.get("plain") else b"X-Spaced :\t value with tail \r\n"
        head = (b"HTTP/1.1 200 OK\r\n"
                b"X-First: one\r\n"
                b"X-Empty:\r\n"
                b"X-Blank:   \r\n" + spaced +
                b"X-Last: last\r\n"
                b"Content-Length: 4\r\n\r\n")
        self.wfile.write(head + b"body")

    def r_raw_nocolon(self, url, query, body):
        self.wfile.write(b"HTTP/1.1 200 OK\r\nX-A: a\r\nno colon\r\nContent-Length: 2\r\n\r\nok")

    def challenge(self, schemes):
        headers = []
        if "basic" in schemes:
            headers.append(("WWW-Authenticate", 'Basic realm="%s"' % REALM))
        if "digest" in schemes:
            nonce = secrets.token_hex(16)
            with STATS_LOCK:
                NONCES.add(nonce)
            headers.append(("WWW-Authenticate",
                            'Digest realm="%s", qop="auth", nonce="%s", opaque="%s", algorithm=MD5'
                            % (REALM, nonce, secrets.token_hex(8))))
        if "other" in schemes:
            headers.append(("WWW-Authenticate", 'Bearer realm="%s"' % REALM))
        self.answer(401, "denied", headers)

    def check_auth(self, schemes):
        """Returns the scheme whose answer verified, or None."""
        auth = self.headers.get("Authorization") or ""
        if auth.startswith("Basic ") and "basic" in schemes:
            import base64
            try:
                user, _, pw = base64.b64decode(auth[6:]).decode().partition(":")
            except Exception:
                return None
            return "Basic" if (user, pw) == (USER, PASSWORD) else None
        if auth.startswith("Digest ") and "digest" in schemes:
            p = parse_digest(auth[7:])
            with STATS_LOCK:
                known = p.get("nonce") in NONCES
            if not known or p.get("username") != USER or p.get("realm") != REALM:
                return None
            if p.get("uri") != self.path:
                return None
            ha1 = md5("%s:%s:%s" % (USER, REALM, PASSWORD))
            ha2 = md5("%s:%s" % (self.command, p.get("uri")))
            if p.get("qop") == "auth":
                expect = md5(":".join([ha1, p["nonce"], p.get("nc", ""), p.get("cnonce", ""),
                                       "auth", ha2]))
            else:
                expect = md5("%s:%s:%s" % (ha1, p["nonce"], ha2))
            return "Digest" if p.get("response") == expect else None
        return None

    def auth_route(self, schemes, body):
        scheme = self.check_auth(schemes)
        if scheme is None:
            self.challenge(schemes)
            return
        self.answer(200, "welcome " + scheme, [("X-Auth-Scheme", scheme),
                                               ("X-Body-Len", str(len(body)))])

    def r_auth_basic(self, url, query, body):
        self.auth_route({"basic"}, body)

    def r_auth_digest(self, url, query, body):
        self.auth_route({"digest"}, body)

    def r_auth_both(self, url, query, body):
        self.auth_route({"basic", "digest"}, body)

    def r_auth_drop(self, url, query, body):
        # A Basic challenge; the answer with credentials gets no response.
        if self.headers.get("Authorization"):
            self.close_connection = True
            return
        self.challenge({"basic"})

    def r_auth_none(self, url, query, body):
        self.challenge({"other"})

    def r_stall_head(self, url, query, body):
        time.sleep(30)

    def r_stall_body(self, url, query, body):
        self.send_response(200)
        self.send_header("Content-Length", "100")
        self.end_headers()
        self.wfile.write(b"partial")
        self.wfile.flush()
        time.sleep(30)

    def r_slow(self, url, query, body):
        n = int(query.get("n", ["10"])[0])
        ms = int(query.get("ms", ["100"])[0])
        self.send_response(200)
        self.send_header("Content-Length", str(16 * n))
        self.end_headers()
        for i in range(n):
            self.wfile.write(b"%015d\n" % i)
            self.wfile.flush()
            if i + 1 < n:
                time.sleep(ms / 1000.0)

    def r_drip_head(self, url, query, body):
        n = int(query.get("n", ["100"])[0])
        ms = int(query.get("ms", ["100"])[0])
        head = b"HTTP/1.1 200 OK\r\nX-Pad: %s\r\nConnection: close\r\nContent-Length: 2\r\n\r\n" % (b"p" * n)
        for i in range(len(head)):
            self.wfile.write(head[i:i + 1])
            self.wfile.flush()
            time.sleep(ms / 1000.0)
        self.wfile.write(b"[]")
        self.close_connection = True

    def r_large(self, url, query, body):
        n = int(query.get("n", ["1048576"])[0])
        pattern = bytes(range(256))
        data = (pattern * (n // 256 + 1))[:n]
        self.answer(200, data, [("Content-Type", "application/octet-stream")])

    def r_stats(self, url, query, body):
        with STATS_LOCK:
            self.json_answer(STATS)

    # -- service routes --------------------------------------------------

    def r_getfiles(self, url, query, body):
        if self.command != "GET":
            self.answer(405, "")
            return
        imdb = query.get("id", [""])[0]
        name = GETFILES_FIXTURES.get(imdb)
        if name is None:
            self.json_answer([], 404)
            return
        data = self.fixture(name)
        if data is None:
            data = json.dumps(BUILTIN_FILE).encode()
        self.answer(200, data, [("Content-Type", "application/json")])

    def r_startswith(self, url, query, body):
        prefix = query.get("k", [""])[0]
        if not prefix:
            self.answer(500, "error")
            return
        key = prefix.rstrip("_") + "_1_2_5400"
        row = {"key": key, "value": "0.25"}
        for i, part in enumerate(key.split("_")[:10]):
            row["p%d" % i] = part
        self.json_answer([row])

    def r_sessions(self, url, query, body):
        if self.command != "POST":
            self.answer(405, "")
            return
        ids = body.decode("utf-8")
        self.json_answer([{"id": ids, "created": "2024-01-02T03:04:05Z", "value": "10"}])

    def r_keyvalue(self, url, query, body):
        if self.command != "POST":
            self.answer(405, "")
            return
        with STATS_LOCK:
            STATS["writes"].append({"path": self.path, "body": body.decode("latin-1"),
                                    "content_type": self.headers.get("Content-Type")})
        self.answer(200, "true", [("Content-Type", "application/json")])


ROUTES = {
    "/redirect": Handler.r_redirect,
    "/gzip": Handler.r_gzip,
    "/raw-headers": Handler.r_raw_headers,
    "/raw-nocolon": Handler.r_raw_nocolon,
    "/auth/basic": Handler.r_auth_basic,
    "/auth/digest": Handler.r_auth_digest,
    "/auth/both": Handler.r_auth_both,
    "/auth/drop": Handler.r_auth_drop,
    "/auth/none": Handler.r_auth_none,
    "/stall-head": Handler.r_stall_head,
    "/stall-body": Handler.r_stall_body,
    "/slow": Handler.r_slow,
    "/drip-head": Handler.r_drip_head,
    "/large": Handler.r_large,
    "/_stats": Handler.r_stats,
    "/api/finder/getfiles": Handler.r_getfiles,
    "/api/KeyValue/StartsWith": Handler.r_startswith,
    "/api/AAA/GetPlaybackSessions": Handler.r_sessions,
    "/api/KeyValue": Handler.r_keyvalue,
}


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def handle_error(self, request, client_address):
        pass  # clients that hang up early are expected here


def main():
    global FIXTURES, HOSTILE_ON
    ap = argparse.ArgumentParser()
    ap.add_argument("--lifetime", type=float, default=120.0)
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--fixtures")
    ap.add_argument("--self-signed", action="store_true",
                    help="serve HTTPS with a new self-signed certificate for 127.0.0.1")
    ap.add_argument("--port-file",
                    help="write the ports line here instead of to stdout, and leave once the file is removed")
    ap.add_argument("--hostile", action="store_true")
    args = ap.parse_args()
    FIXTURES = args.fixtures
    HOSTILE_ON = args.hostile

    plain = Server(("127.0.0.1", 0), Handler)
    servers = [plain]
    https_port = 0
    tls_dir = None
    if args.self_signed:
        tls_dir = tempfile.mkdtemp(prefix="mvfiles-tls-")
        args.cert = os.path.join(tls_dir, "cert.pem")
        args.key = os.path.join(tls_dir, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", args.key, "-out", args.cert],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if args.cert and args.key:
        secure = Server(("127.0.0.1", 0), Handler)
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        if tls_dir:
            shutil.rmtree(tls_dir, ignore_errors=True)
        secure.socket = ctx.wrap_socket(secure.socket, server_side=True)
        servers.append(secure)
        https_port = secure.server_address[1]
    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()
    garbage_port = 0
    if HOSTILE_ON:
        garbage = socket.create_server(("127.0.0.1", 0))
        garbage_port = garbage.getsockname()[1]
        threading.Thread(target=garbage_server, args=(garbage,), daemon=True).start()

    ports = "http=%d https=%d garbage=%d\n" % (plain.server_address[1], https_port, garbage_port)
    if args.port_file:
        # For a client that cannot read this process's output (a Windows
        # test under Wine): the ports go to a file, and removing it stops us.
        with open(args.port_file + ".tmp", "w") as f:
            f.write(ports)
        os.rename(args.port_file + ".tmp", args.port_file)
        deadline = time.time() + args.lifetime
        while os.path.exists(args.port_file) and time.time() < deadline:
            time.sleep(0.05)
        for s in servers:
            s.socket.close()
        if os.path.exists(args.port_file):  # out of time: leave no stale ports behind
            os.remove(args.port_file)
        open(args.port_file + ".gone", "w").close()
        os._exit(0)
    sys.stdout.write(ports)
    sys.stdout.flush()

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        except Exception:
            pass
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    time.sleep(args.lifetime)
    os._exit(0)


if __name__ == "__main__":
    main()
