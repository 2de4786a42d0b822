"""Writes the zip reader tests' archives into the folder given as the only argument:
zipfile's own archives, archives with traditional encryption (which zipfile cannot
write), and damaged copies whose directories lie."""
import os
import struct
import sys
import zipfile
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

STORED = b"stored text\n" * 10
DEFLATED = b"".join(b"line %d\n" % i for i in range(20000))
WHEN = (2020, 5, 17, 13, 45, 30)


def info(name, method, when=WHEN):
    i = zipfile.ZipInfo(name, date_time=when)
    i.compress_type = method
    return i


def write(name, entries):
    path = os.path.join(out, name)
    with zipfile.ZipFile(path, "w") as z:
        for entry, data in entries:
            z.writestr(entry, data)
    with open(path, "rb") as f:
        return bytearray(f.read())


def save(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


# Every kind of entry zipfile writes: a folder, stored, deflated, empty, a Unicode name.
write("plain.zip", [
    (info("folder/", zipfile.ZIP_STORED), b""),
    (info("folder/stored.txt", zipfile.ZIP_STORED), STORED),
    (info("deflated.txt", zipfile.ZIP_DEFLATED, (2021, 1, 2, 3, 4, 6)), DEFLATED),
    (info("empty.txt", zipfile.ZIP_DEFLATED), b""),
    (info("\u00dcn\u00efc\u00f8d\u00e9 \u2603.txt", zipfile.ZIP_STORED), b"snow"),
])

# Names that would leave the folder a program extracts into.
write("escaping.zip", [(info(n, zipfile.ZIP_STORED), b"x") for n in
                       ("../evil.txt", "/absolute.txt", "ok.txt", "a/../../b.txt")])

# 64 MiB of zeros deflate to about 64 KiB: read in pieces it must stay in pieces.
write("bomb.zip", [(info("zeros.bin", zipfile.ZIP_DEFLATED), bytes(64 << 20))])

# Directories that lie: the directory past the end; the deflated entry claiming fewer
# bytes than it holds, and one claiming 4 GB; a local header past the end.
plain = write("deflated.zip", [(info("deflated.txt", zipfile.ZIP_DEFLATED), DEFLATED)])
end = plain.rfind(b"PK\x05\x06")
entry = plain.find(b"PK\x01\x02")
lie = bytearray(plain)
struct.pack_into("<I", lie, end + 16, len(plain) + 1000)
save("directory_past_end.zip", lie)
lie = bytearray(plain)
struct.pack_into("<I", lie, entry + 24, 1000)
save("fewer_bytes_claimed.zip", lie)
lie = bytearray(plain)
struct.pack_into("<I", lie, entry + 24, 0xFFFFFFF0)
save("four_gigabytes_claimed.zip", lie)
lie = bytearray(plain)
struct.pack_into("<I", lie, entry + 42, len(plain) + 1000)
save("local_header_past_end.zip", lie)


class Keys:
    """The traditional PKWARE cipher's three keys."""

    def __init__(self, password):
        self.k = [305419896, 591751049, 878082192]
        for c in password:
            self.update(c)

    @staticmethod
    def crc(value, c):
        return zlib.crc32(bytes([c]), value ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

    def update(self, c):
        k = self.k
        k[0] = self.crc(k[0], c)
        k[1] = ((k[1] + (k[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k[2] = self.crc(k[2], k[1] >> 24)

    def encrypt(self, data):
        result = bytearray()
        for c in data:
            t = (self.k[2] | 2) & 0xFFFF
            result.append(c ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(c)
        return bytes(result)


def encrypted(name, entries, password):
    body, directory = bytearray(), bytearray()
    time, date = 13 << 11 | 45 << 5 | 15, 40 << 9 | 5 << 5 | 17
    for entry_name, data, method in entries:
        crc = zlib.crc32(data)
        packed = data
        if method == 8:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = packer.compress(data) + packer.flush()
        payload = Keys(password).encrypt(bytes(range(11)) + bytes([crc >> 24]) + packed)
        raw = entry_name.encode()
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 1, method, time, date, crc, len(payload),
                            len(data), len(raw), 0) + raw + payload
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 1, method, time, date, crc,
                                 len(payload), len(data), len(raw), 0, 0, 0, 0, 0, offset) + raw
    n = len(entries)
    save(name, body + directory + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, n, n, len(directory), len(body), 0))


encrypted("encrypted.zip", [("secret.txt", STORED, 0), ("deflated.txt", DEFLATED, 8)],
          "p\u00e4ssword".encode())
