#!/usr/bin/env python3
"""A small HTTP(S) server for the downloader's tests.

    test_server.py PORT_FILE [CERT KEY]

Listens on a free port of localhost, writes the port to PORT_FILE and serves
until it is killed. With CERT and KEY it speaks HTTPS. With the environment
variable CARTSCOPE_TEST_WWW naming a folder, /Cartscope/NAME serves the file
NAME of that folder (404 when missing), and every request's path and query is
appended to requests.log there.

    /text            a version-file-like text with HTML entities
    /echo...         the request's path and query as the body
    /missing         404 with an HTML body
    /redirect        302 to /landing
    /landing         "landed"
    /referer         the Referer header the client sent, or "(none)"
    /cookie/set      sets the cookie session=42
    /cookie/get      the Cookie header the client sent, or "(none)"
    /gzip            gzip-encoded when the client accepts it
    /big?n=N         N bytes, byte i being i % 251
    POST /post       "POST:" and the request body

Control of the served folder (not logged in requests.log):
    /control/sign?key=KEY&file=NAME
                     signs the file NAME with the private key KEY.key of the
                     folder CARTSCOPE_TEST_SIGNING_KEYS (ECDSA with SHA-256,
                     DER, as openssl dgst -sha256 -sign writes it) into NAME.sig
    /control/sha256?file=NAME
                     the SHA-256 of the file NAME, 64 lower-case hexadecimal digits

Hostile servers (each also answers any path that begins with its name, so a
base URL such as http://host/silent makes every request of a run hostile):
    /silent          accepts the request and never answers
    /trickle         promises 100,000 bytes and sends one a second
    /loop            redirects to itself for ever
    /hops?n=N        N redirects, then "landed"
    /goto?to=URL     302 to URL
    /endless         200 without a length, bytes until the client gives up
    /huge?n=N        promises N bytes and sends zeros until the client gives up
"""
import gzip
import hashlib
import os
import subprocess
import http.server
import ssl
import sys
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def stream(self, status, headers, chunk, pause=0.0):
        """Sends headers, then `chunk` again and again until the client leaves."""
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.close_connection = True
        try:
            while True:
                self.wfile.write(chunk)
                self.wfile.flush()
                if pause:
                    time.sleep(pause)
        except OSError:
            pass

    def hostile(self, path, query):
        """Answers the hostile paths; False for any other path."""
        if path.startswith("/silent"):
            time.sleep(600)
        elif path.startswith("/trickle"):
            self.stream(200, [("Content-Length", "100000")], b"x", pause=1.0)
        elif path.startswith("/loop"):
            self.reply(302, b"", [("Location", path)])
        elif path.startswith("/hops"):
            n = int(query.get("n", ["0"])[0])
            if n > 0:
                self.reply(302, b"", [("Location", "/hops?n=%d" % (n - 1))])
            else:
                self.reply(200, b"landed")
        elif path.startswith("/goto"):
            self.reply(302, b"", [("Location", query["to"][0])])
        elif path.startswith("/endless"):
            self.stream(200, [("Connection", "close")], b"\xff" * 65536)
        elif path.startswith("/huge"):
            self.stream(200, [("Content-Length", query.get("n", ["0"])[0])], b"\0" * 65536)
        else:
            return False
        return True

    def control(self, www, path, query):
        """Answers the control paths; False for any other path."""
        if not path.startswith("/control/"):
            return False
        try:
            name = os.path.join(www, os.path.basename(query["file"][0]))
            if path == "/control/sign":
                keys = os.environ["CARTSCOPE_TEST_SIGNING_KEYS"]
                key = os.path.join(keys, os.path.basename(query["key"][0]) + ".key")
                subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, "-out", name + ".sig", name],
                               check=True, capture_output=True)
                self.reply(200, b"signed")
            elif path == "/control/sha256":
                with open(name, "rb") as f:
                    self.reply(200, hashlib.sha256(f.read()).hexdigest().encode())
            else:
                self.reply(404, b"unknown")
        except (KeyError, OSError, subprocess.CalledProcessError) as error:
            self.reply(500, str(error).encode())
        return True

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        www = os.environ.get("CARTSCOPE_TEST_WWW_UNIX")
        if www and self.control(www, path, urllib.parse.parse_qs(url.query)):
            return
        if www:
            with open(os.path.join(www, "requests.log"), "a") as log:
                log.write(self.path + "\n")
        if self.hostile(path, urllib.parse.parse_qs(url.query)):
            pass
        elif www and path.startswith("/Cartscope/"):
            name = urllib.parse.unquote(path[len("/Cartscope/"):])
            try:
                with open(os.path.join(www, name), "rb") as f:
                    self.reply(200, f.read())
            except OSError:
                self.reply(404, b"unknown")
        elif path == "/text":
            self.reply(200, b"1.2.3\r\nM&uuml;ller &amp; S&ouml;hne &amp;amp;\r\n",
                       [("Content-Type", "text/plain")])
        elif path.startswith("/echo"):
            self.reply(200, self.path.encode())
        elif path == "/missing":
            self.reply(404, b"<html><body>not here</body></html>", [("Content-Type", "text/html")])
        elif path == "/redirect":
            self.reply(302, b"", [("Location", "/landing")])
        elif path == "/landing":
            self.reply(200, b"landed")
        elif path == "/referer":
            self.reply(200, (self.headers.get("Referer") or "(none)").encode())
        elif path == "/cookie/set":
            self.reply(200, b"set", [("Set-Cookie", "session=42; Path=/")])
        elif path == "/cookie/get":
            self.reply(200, (self.headers.get("Cookie") or "(none)").encode())
        elif path == "/gzip":
            text = b"compressed text " * 64
            if "gzip" in (self.headers.get("Accept-Encoding") or ""):
                self.reply(200, gzip.compress(text), [("Content-Encoding", "gzip")])
            else:
                self.reply(200, b"not compressed")
        elif path == "/big":
            n = int(urllib.parse.parse_qs(url.query).get("n", ["0"])[0])
            self.reply(200, bytes(i % 251 for i in range(n)))
        else:
            self.reply(404, b"unknown")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length)
        self.reply(200, b"POST:" + body)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if len(sys.argv) == 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(sys.argv[1] + ".new", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(sys.argv[1] + ".new", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
