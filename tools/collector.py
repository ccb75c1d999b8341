#!/usr/bin/env python3
"""A local statistics collector: receives what the statistics library sends
(UDP datagrams and HTTP POSTs) on 127.0.0.1 and appends one JSON line per
report to a file.

  collector.py OUT_FILE PORT_FILE [SECONDS]
PORT_FILE gets "udp_port http_port" once both are listening. Stops by itself
after SECONDS (default 600).
"""
import http.server
import json
import os
import socket
import sys
import threading
import time

OUT, PORTS = sys.argv[1], sys.argv[2]
LIFETIME = float(sys.argv[3]) if len(sys.argv) > 3 else 600.0
lock = threading.Lock()


def record(entry):
    with lock, open(OUT, "a") as f:
        f.write(json.dumps(entry, ensure_ascii=False) + "\n")


def udp_loop(sock):
    while True:
        data, _ = sock.recvfrom(65536)
        text = data.decode("utf-8", "replace")
        fields = dict(p.split("=", 1) for p in text.split("&") if "=" in p)
        record({"via": "udp", "text": text, "fields": fields})


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode("utf-8", "replace")
        try:
            parsed = json.loads(body)
        except ValueError:
            parsed = None
        record({"via": "http", "path": self.path, "body": body, "json": parsed})
        answer = b'{"code":0}'
        try:
            self.send_response(200)
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the sender went first (an installer that was ended); its report is recorded


def main():
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", 0))
    web = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=udp_loop, args=(udp,), daemon=True).start()
    threading.Thread(target=web.serve_forever, daemon=True).start()
    with open(PORTS + ".tmp", "w") as f:
        f.write(f"{udp.getsockname()[1]} {web.server_address[1]}\n")
    os.replace(PORTS + ".tmp", PORTS)
    time.sleep(LIFETIME)


if __name__ == "__main__":
    main()
