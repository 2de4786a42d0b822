#!/usr/bin/env python3
"""The demo site's pages for cookies, logins, redirects, downloads and the page handlers,
asked one request at a time without following redirects, as a browser engine sees them."""
import base64
import http.client
import pathlib
import struct
import subprocess
import sys
import unittest
import urllib.parse
import zlib

ROOT = pathlib.Path(__file__).resolve().parents[2]


class SiteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = subprocess.Popen([sys.executable, ROOT / "site/server.py", "--port", "0"],
                                    stdout=subprocess.PIPE, text=True)
        cls.address = urllib.parse.urlsplit(cls.site.stdout.readline().split()[-1]).netloc

    @classmethod
    def tearDownClass(cls):
        cls.site.terminate()
        cls.site.wait()
        cls.site.stdout.close()

    def ask(self, path, method="GET", headers=None, body=None):
        connection = http.client.HTTPConnection(self.address, timeout=60)
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response.status, response.headers, data

    def test_each_page_answers_as_documented(self):
        basic = {"Authorization": "Basic " + base64.b64encode(b"player:secret").decode()}
        wrong = {"Authorization": "Basic " + base64.b64encode(b"player:wrong").decode()}
        form = {"Content-Type": "application/x-www-form-urlencoded"}
        # path, method, headers, body: status, header name, its value (part), body (part)
        rows = [
            ("/", "GET", None, None, 200, "Content-Type", "text/html", b"Welcome to the Tessaril"),
            ("/nowhere", "GET", None, None, 404, "Content-Type", "text/html", b"No page at /nowhere"),
            ("/login?user=player", "GET", None, None, 303, "Set-Cookie", "; HttpOnly; Path=/", b""),
            ("/login", "POST", form, "user=player", 303, "Location", "/account", b""),
            ("/login", "GET", None, None, 400, "Content-Type", "text/html", b"needs a user name"),
            ("/account", "GET", None, None, 200, "Content-Type", "text/html", b"Not signed in"),
            ("/account", "GET", {"Cookie": "session=forged"}, None, 200, "Content-Type", "text/html",
             b"Not signed in"),
            ("/headers", "GET", {"X-Launcher": "1.0"}, None, 200, "Content-Type", "text/html",
             b"<p>X-Launcher: 1.0</p>"),
            ("/members", "GET", None, None, 401, "WWW-Authenticate", 'Basic realm="Tessaril members"',
             b"needs a member"),
            ("/members", "GET", wrong, None, 401, "WWW-Authenticate", "Basic", b""),
            ("/members", "GET", basic, None, 200, "Content-Type", "text/html", b"Welcome, player."),
            ("/redirect?n=3", "GET", None, None, 302, "Location", "/redirect?n=2", b""),
            ("/redirect?n=1", "GET", None, None, 302, "Location", "/redirect?n=0", b""),
            ("/redirect?n=0", "GET", None, None, 200, "Content-Type", "text/html", b"The redirects ended here."),
            ("/redirect-loop", "GET", None, None, 302, "Location", "/redirect-loop", b""),
            ("/download?size=70000", "GET", None, None, 200, "Content-Disposition",
             'attachment; filename="tessaril-patch.bin"', bytes(range(256)) * 2),
            ("/download?size=-1", "GET", None, None, 400, "Content-Type", "text/html", b"size must be"),
            ("/interact", "GET", None, None, 200, "Content-Type", "text/html",
             b"<img id=\"emblem\" src=\"/emblem.png\""),
            ("/interact?name=player", "GET", None, None, 200, "Content-Type", "text/html",
             b"prompt('Your name in the game?', 'player')"),
            ("/emblem.png", "GET", None, None, 200, "Content-Type", "image/png", b"\x89PNG\r\n\x1a\n"),
        ]
        for path, method, headers, body, status, name, value, part in rows:
            with self.subTest(path=path, method=method, headers=headers):
                got_status, got_headers, data = self.ask(path, method, headers, body)
                self.assertEqual(got_status, status)
                self.assertIn(value, got_headers.get(name, ""))
                self.assertIn(part, data)
        data = self.ask("/download?size=70000")[2]
        self.assertEqual(data, (bytes(range(256)) * 274)[:70000])

    def test_the_emblem_is_a_whole_64_by_64_png(self):
        data = self.ask("/emblem.png")[2]
        chunks, at = {}, 8
        while at < len(data):
            length, kind = struct.unpack(">I4s", data[at:at + 8])
            body = data[at + 8:at + 8 + length]
            self.assertEqual(struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0], zlib.crc32(kind + body))
            chunks[kind] = body
            at += 12 + length
        self.assertEqual(struct.unpack(">II", chunks[b"IHDR"][:8]), (64, 64))
        self.assertEqual(len(zlib.decompress(chunks[b"IDAT"])), 64 * (1 + 64 * 3))
        self.assertIn(b"IEND", chunks)

    def test_the_session_cookie_signs_in_until_logout(self):
        _, headers, _ = self.ask("/login?user=player")
        cookie = headers["Set-Cookie"].split(";")[0]
        self.assertIn(b"Signed in as player", self.ask("/account", headers={"Cookie": cookie})[2])
        _, headers, _ = self.ask("/logout", headers={"Cookie": cookie})
        self.assertIn("Max-Age=0", headers["Set-Cookie"])
        self.assertIn(b"Not signed in", self.ask("/account", headers={"Cookie": cookie})[2])


if __name__ == "__main__":
    unittest.main()
