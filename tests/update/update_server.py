#!/usr/bin/env python3
"""A small HTTP server for the update-check tests, on 127.0.0.1 and a free port.

Usage: update_server.py CONFIG.json
Prints the port on the first line of stdout. The configuration is read again on every request,
so a test may change it between checks. It maps paths to answers:
  {"/path": {"status": 200, "body": "text", "body_hex": "ff00", "mode": "normal",
             "location": "/other", "size": 52428800}}
Modes: normal; hang (accept, never answer); half (announce the body, send half of it, close);
stall (send half of the body, then keep the connection open without sending more);
big (stream `size` bytes); drip (one byte per second). Unknown paths answer 404.
GET /__requests lists the paths asked for so far, one a line.
"""
import json
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CONFIG = sys.argv[1]
requests = []
lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/__requests":
            with lock:
                body = "".join(p + "\n" for p in requests).encode()
            self.answer(200, body)
            return
        with lock:
            requests.append(self.path)
        with open(CONFIG, encoding="utf-8") as f:
            routes = json.load(f)
        route = routes.get(self.path)
        if route is None:
            self.answer(404, b"<html>not found</html>")
            return
        mode = route.get("mode", "normal")
        body = bytes.fromhex(route["body_hex"]) if "body_hex" in route else \
            route.get("body", "").encode("utf-8")
        status = route.get("status", 200)
        try:
            if mode == "hang":
                time.sleep(60)
            elif mode in ("half", "stall"):
                self.send_response(status)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                if mode == "stall":
                    time.sleep(60)
                self.close_connection = True
            elif mode == "big":
                size = route.get("size", 50 * 1024 * 1024)
                self.send_response(status)
                self.send_header("Content-Length", str(size))
                self.end_headers()
                chunk = (b"ZU590-MVS,x,9.9.9,http://a/\n" * 2400)[:65536]
                sent = 0
                while sent < size:
                    n = min(len(chunk), size - sent)
                    self.wfile.write(chunk[:n])
                    sent += n
            elif mode == "drip":
                self.send_response(status)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                for b in body:
                    self.wfile.write(bytes([b]))
                    self.wfile.flush()
                    time.sleep(1)
            else:
                extra = {"Location": route["location"]} if "location" in route else {}
                self.answer(status, body, extra)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def answer(self, status, body, extra=None):
        self.send_response(status)
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class Server(ThreadingHTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
