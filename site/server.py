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
test decides when a page arrives (at most two minutes later: then it answers anyway).
--port 0 takes a free port; the ready line names the address.

Pages for what a browser does with requests (see README, "The demo site"): /login sets a
session cookie and sends the browser on to /account, which tells whether that cookie came
back; /logout ends the session; /headers shows the request's headers; /members is behind
HTTP Basic authentication (player / secret); /redirect?n=3 redirects three times before
its page, /redirect-loop redirects to itself for ever; /download?size=N answers N bytes
(default 1024) as an attachment. /interact is a page to try the browser's page handlers on:
buttons that call alert, confirm and prompt and show the answer in the page, a form of text
fields, a link, an image (/emblem.png) and a paragraph of text to find."""
import argparse
import base64
import errno
import html
import json
import secrets
import socket
import struct
import sys
import threading
import time
import urllib.parse
import zlib
from http.cookies import CookieError, SimpleCookie
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PAGES = {
    "/": ("Tessaril", "Welcome to the Tessaril game site."),
    "/UCClient/login.php": ("Tessaril - Đăng nhập", "Please log in to play."),
    "/game/game.php": ("Tessaril - Vào game", "The game is starting."),
    "/UCClient/shop.php": ("Tessaril - WebShop", "Items for sale."),
    "/UCClient/giftcode.php": ("Tessaril - GiftCode", "Enter your gift code."),
    "/UCClient/napthe.php": ("Tessaril - Nạp thẻ", "Top up your account with a card."),
}

MEMBERS_REALM = "Tessaril members"
MEMBERS_LOGIN = ("player", "secret")
DOWNLOAD_NAME = "tessaril-patch.bin"
DOWNLOAD_LIMIT = 1 << 30

EXTRA_PAGES = {
    "/popup.html": ("Tessaril - Pop-up", "This page opens the shop in a new window.",
                    "<script>window.open('/UCClient/shop.php');</script>"),
    "/frames.html": ("Tessaril - Frames", "This page holds a frame.",
                     '<iframe src="/UCClient/giftcode.php"></iframe>'),
    "/popup-target.html": ("Tessaril - Opened by a pop-up", "A page asked for a new window showing this.", ""),
}

# The page to try the browser's page handlers on: script dialogs whose answers the page
# shows, focusable fields, a link and an image for the context menu, text to find.
INTERACT_PAGE = ("Tessaril - Try the page", "Dialogs, fields, a link and an image to try the browser on.",
                 '<p><button id="ask-alert" type="button">Alert</button> '
                 '<button id="ask-confirm" type="button">Confirm</button> '
                 '<button id="ask-prompt" type="button">Prompt</button></p>'
                 '<p id="answer">No dialog yet.</p>'
                 '<form id="profile" action="/interact" method="get">'
                 '<p><label>Name <input id="name" name="name" type="text"></label></p>'
                 '<p><label>Server <input id="server" name="server" type="text" value="Tessaril 1"></label></p>'
                 '<p><label>Note <textarea id="note" name="note"></textarea></label></p>'
                 '<p><button id="save" type="submit">Save</button></p></form>'
                 '<p><a id="shop" href="/UCClient/shop.php">Open the shop</a></p>'
                 '<p><img id="emblem" src="/emblem.png" alt="The Tessaril emblem" width="64" height="64"></p>'
                 '<p id="lore">Under the northern mountains the old dragon of Tessaril sleeps on its gold; '
                 'whoever finds the dragon wakes it.</p>'
                 "<script>"
                 "function show(text) { document.getElementById('answer').textContent = text; }"
                 "document.getElementById('ask-alert').addEventListener('click', function () {"
                 " alert('Welcome to Tessaril.'); show('alert closed'); });"
                 "document.getElementById('ask-confirm').addEventListener('click', function () {"
                 " show('confirm answered ' + confirm('Enter the game now?')); });"
                 "document.getElementById('ask-prompt').addEventListener('click', function () {"
                 " var name = prompt('Your name in the game?', 'player');"
                 " show(name === null ? 'prompt cancelled' : 'prompt answered ' + name); });"
                 "</script>")


def png(width, height, pixel):
    """A truecolour PNG image: pixel(x, y) gives each pixel's (red, green, blue)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


# The emblem: a gold disc on dark blue, 64 x 64.
EMBLEM_PNG = png(64, 64, lambda x, y: (230, 180, 40) if (x - 31.5) ** 2 + (y - 31.5) ** 2 < 26 ** 2 else (20, 30, 70))


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
        self.sessions = {}  # session cookie value -> user name
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

        def send_body(self, status, body, content_type, headers=()):
            data = body if isinstance(body, bytes) else body.encode("utf-8")
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(data)

        def send_page(self, status, title, text, extra="", headers=()):
            self.send_body(status, render(title, text, extra), "text/html; charset=utf-8", headers)

        def redirect(self, location, headers=(), status=302):
            self.send_page(status, "Tessaril - Moved", f"This page moved to {location}.",
                           headers=[("Location", location), *headers])

        def session(self):
            """The session cookie's value this request brought, or None."""
            cookies = SimpleCookie()
            try:
                cookies.load(self.headers.get("Cookie", ""))
            except CookieError:
                return None
            return cookies["session"].value if "session" in cookies else None

        def log_in(self, user):
            if not user:
                return self.send_page(400, "Tessaril - Log in", "Log in needs a user name: /login?user=NAME.")
            token = secrets.token_hex(16)
            with site.lock:
                site.sessions[token] = user
            # 303: the browser goes on with a GET, also after a form's POST.
            self.redirect("/account", [("Set-Cookie", f"session={token}; HttpOnly; Path=/")], 303)

        def basic_login(self):
            kind, _, encoded = self.headers.get("Authorization", "").partition(" ")
            try:
                user, _, password = base64.b64decode(encoded, validate=True).decode("utf-8").partition(":")
            except (ValueError, UnicodeDecodeError):
                return None
            return user if kind.lower() == "basic" and (user, password) == MEMBERS_LOGIN else None

        def send_download(self, query):
            try:
                size = int(query.get("size", ["1024"])[0])
            except ValueError:
                size = -1
            if not 0 <= size <= DOWNLOAD_LIMIT:
                return self.send_page(400, "Tessaril - Download", f"size must be 0 to {DOWNLOAD_LIMIT} bytes.")
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Disposition", f'attachment; filename="{DOWNLOAD_NAME}"')
            self.send_header("Content-Length", str(size))
            self.end_headers()
            if self.command == "HEAD":
                return
            chunk = bytes(range(256)) * 256  # 64 KiB of a pattern a reader can check
            for start in range(0, size, len(chunk)):
                self.wfile.write(chunk[:min(len(chunk), size - start)])

        # The pages that exercise cookies, logins, redirects and downloads; False when the
        # path is none of them.
        def request_page(self, path, query):
            if path == "/login":
                self.log_in(query.get("user", [""])[0])
            elif path == "/logout":
                with site.lock:
                    site.sessions.pop(self.session(), None)
                self.redirect("/account", [("Set-Cookie", "session=; Max-Age=0; HttpOnly; Path=/")], 303)
            elif path == "/account":
                with site.lock:
                    user = site.sessions.get(self.session())
                text = (f"Signed in as {user}: the session cookie came back." if user else
                        "Not signed in: no session cookie came back.")
                self.send_page(200, "Tessaril - Account", text)
            elif path == "/headers":
                rows = "".join(f"<p>{html.escape(k)}: {html.escape(v)}</p>" for k, v in self.headers.items())
                self.send_page(200, "Tessaril - Request headers", "The site received these headers:", rows)
            elif path == "/members":
                user = self.basic_login()
                if user:
                    self.send_page(200, "Tessaril - Members", f"Welcome, {user}.")
                else:
                    self.send_page(401, "Tessaril - Members only", "This page needs a member's login.",
                                   headers=[("WWW-Authenticate", f'Basic realm="{MEMBERS_REALM}"')])
            elif path == "/redirect":
                try:
                    n = int(query.get("n", ["0"])[0])
                except ValueError:
                    n = 0
                if n > 0:
                    self.redirect(f"/redirect?n={n - 1}")
                else:
                    self.send_page(200, "Tessaril - Redirected", "The redirects ended here.")
            elif path == "/redirect-loop":
                self.redirect("/redirect-loop")
            elif path == "/download":
                self.send_download(query)
            elif path == "/interact":
                self.send_page(200, *INTERACT_PAGE)
            elif path == "/emblem.png":
                self.send_body(200, EMBLEM_PNG, "image/png")
            else:
                return False
            return True

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
            if self.request_page(url.path, query):
                return
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
            if self.path == "/login":  # a form: user=NAME
                return self.log_in(urllib.parse.parse_qs(body.decode("utf-8", "replace")).get("user", [""])[0])
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
    print(f"site ready on http://{args.host}:{server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
