#!/usr/bin/env python3
"""The local demo game site: the pages the launcher opens, a few pages that exercise
pop-ups, frames and slow loads, and a record of every request for the tests.

  python3 site/server.py [--port 18080] [--slow /game/game.php=3000] [--log FILE]
                         [--popup /UCClient/giftcode.php=/popup-target.html] [--check]
                         [--hold-file FILE]

A port another program holds gets one line on standard error and exit status 3;
--check only tells whether the port is free.

GET /__requests answers the recorded requests as JSON (method, path, headers), oldest
first; POST /__requests/clear forgets them. Neither is recorded itself. Any page takes
?delay=MS to answer that much later. With --hold-file, a request for a path listed
in that file (one a line) is answered only once the path is no longer listed there, so a
test decides when a page arrives (at most two minutes later: then it answers anyway)."""
import argparse
import errno
import html
import json
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PAGES = {
    "/": ("Tessaril", "Welcome to the Tessaril game site."),
    "/UCClient/login.php": ("Tessaril - Đăng nhập", "Please log in to play."),
    "/game/game.php": ("Tessaril - Vào game", "The game is starting."),
    "/UCClient/shop.php": ("Tessaril - WebShop", "Items for sale."),
    "/UCClient/giftcode.php": ("Tessaril - GiftCode", "Enter your gift code."),
    "/UCClient/napthe.php": ("Tessaril - Nạp thẻ", "Top up your account with a card."),
}

EXTRA_PAGES = {
    "/popup.html": ("Tessaril - Pop-up", "This page opens the shop in a new window.",
                    "<script>window.open('/UCClient/shop.php');</script>"),
    "/frames.html": ("Tessaril - Frames", "This page holds a frame.",
                     '<iframe src="/UCClient/giftcode.php"></iframe>'),
    "/popup-target.html": ("Tessaril - Opened by a pop-up", "A page asked for a new window showing this.", ""),
}


def render(title, text, extra=""):
    return (f"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>{html.escape(title)}</title>"
            f"<link rel=\"icon\" href=\"/favicon.ico\"></head>"
            f"<body><h1>{html.escape(title)}</h1><p>{html.escape(text)}</p>{extra}</body></html>")


class Site:
    def __init__(self, slow, popups, log, hold_file=None):
        self.slow = slow
        self.hold_file = hold_file
        self.popups = popups
        self.log = log
        self.requests = []
        self.lock = threading.Lock()

    def record(self, handler):
        entry = {"method": handler.command, "path": handler.path,
                 "headers": [[k, v] for k, v in handler.headers.items()]}
        with self.lock:
            self.requests.append(entry)
        if self.log:
            with open(self.log, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def held(self, path):
        try:
            with open(self.hold_file, encoding="utf-8") as f:
                return path in (line.strip() for line in f)
        except (OSError, TypeError):
            return False

    def wait_while_held(self, path):
        deadline = time.monotonic() + 120
        while self.held(path) and time.monotonic() < deadline:
            time.sleep(0.02)


def make_handler(site):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, fmt, *args):  # the record is the log
            pass

        def send_body(self, status, body, content_type):
            data = body.encode("utf-8")
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(data)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            if url.path == "/__requests":
                with site.lock:
                    body = json.dumps(site.requests, ensure_ascii=False)
                return self.send_body(200, body, "application/json; charset=utf-8")
            site.record(self)
            query = urllib.parse.parse_qs(url.query)
            delay_ms = int(query.get("delay", [site.slow.get(url.path, 0)])[0])
            if delay_ms > 0:
                time.sleep(delay_ms / 1000.0)
            site.wait_while_held(url.path)
            if url.path in PAGES:
                title, text = PAGES[url.path]
                extra = ""
                if url.path in site.popups:
                    extra = f"<script>window.open('{site.popups[url.path]}');</script>"
                return self.send_body(200, render(title, text, extra), "text/html; charset=utf-8")
            if url.path in EXTRA_PAGES:
                return self.send_body(200, render(*EXTRA_PAGES[url.path]), "text/html; charset=utf-8")
            self.send_body(404, render("Tessaril - Not found", f"No page at {url.path}."), "text/html; charset=utf-8")

        do_HEAD = do_GET

        def do_POST(self):
            length = int(self.headers.get("Content-Length", 0) or 0)
            body = self.rfile.read(length) if length else b""
            if self.path == "/__requests/clear":
                with site.lock:
                    site.requests.clear()
                return self.send_body(200, "[]", "application/json")
            site.record(self)
            self.send_body(200, render("Tessaril - Posted", f"Received {len(body)} bytes."), "text/html; charset=utf-8")

    return Handler


def busy_port_message(host, port):
    """One line: which port is taken and how to give the launcher and the site another."""
    with socket.socket() as probe:
        probe.bind((host, 0))
        free = probe.getsockname()[1]
    return (f"site: port {port} on {host} is taken by another program; choose another port with the "
            f"CMake option TESSARIL_SITE_ADDRESS, e.g. cmake --preset win32 "
            f"-DTESSARIL_SITE_ADDRESS=http://localhost:{free}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=18080)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--slow", action="append", default=[], metavar="PATH=MS",
                        help="answer PATH only after MS milliseconds")
    parser.add_argument("--popup", action="append", default=[], metavar="PATH=TARGET",
                        help="the page at PATH asks for a new window showing TARGET")
    parser.add_argument("--log", help="also append every recorded request to this file (JSON lines)")
    parser.add_argument("--hold-file", help="answer the paths listed in this file only once they are no longer listed")
    parser.add_argument("--check", action="store_true", help="only check that the port is free, then exit")
    args = parser.parse_args()
    slow = {}
    for item in args.slow:
        path, _, ms = item.partition("=")
        slow[path] = int(ms or 0)
    popups = dict(item.partition("=")[::2] for item in args.popup)
    try:
        server = ThreadingHTTPServer((args.host, args.port), make_handler(Site(slow, popups, args.log, args.hold_file)))
    except OSError as error:
        if error.errno != errno.EADDRINUSE:
            raise
        print(busy_port_message(args.host, args.port), file=sys.stderr, flush=True)
        return 3
    if args.check:
        server.server_close()
        return 0
    server.daemon_threads = True
    print(f"site ready on http://{args.host}:{args.port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
