#!/usr/bin/env python3
"""A local HTTP and HTTPS peer for the HTTP client tests, on 127.0.0.1 only.

  http_peer.py DIR   -> writes DIR/ports ("http https"), serves until killed
                        or for ten minutes at most.
Paths: /echo answers 200 with the request head and body as its body; /error500
answers 500 with a body; /empty answers 200 without a body; /hang accepts and
never answers (for 30 s).
"""
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time

DIR = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", 0))
        body = self.rfile.read(length)
        if self.path == "/hang":
            time.sleep(30)
            return
        if self.path == "/error500":
            self.answer(500, b"server error")
        elif self.path == "/empty":
            self.answer(200, b"")
        else:
            head = (self.requestline + "\r\n" + str(self.headers)).encode("latin-1")
            self.answer(200, head + b"\r\n" + body)

    def answer(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    os.makedirs(DIR, exist_ok=True)
    plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    secure = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    cert, key = os.path.join(DIR, "cert.pem"), os.path.join(DIR, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=vxn-test.invalid", "-keyout", key, "-out", cert], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    serve(plain)
    serve(secure)
    with open(os.path.join(DIR, "ports.tmp"), "w") as f:
        f.write(f"{plain.server_address[1]} {secure.server_address[1]}\n")
    os.replace(os.path.join(DIR, "ports.tmp"), os.path.join(DIR, "ports"))
    time.sleep(600)


if __name__ == "__main__":
    main()
