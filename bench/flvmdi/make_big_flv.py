#!/usr/bin/env python3
"""Makes a long FLV file from a short one: the tags of INPUT (without its
onMetaData) repeated with their timestamps shifted, until OUTPUT holds at
least SIZE_MB megabytes (10^6 bytes).

usage: make_big_flv.py INPUT OUTPUT SIZE_MB
"""
import struct
import sys


def read_tags(data):
    pos = struct.unpack(">I", data[5:9])[0] + 4
    tags = []
    while pos + 11 <= len(data):
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        ts = int.from_bytes(data[pos + 4:pos + 7], "big") | data[pos + 7] << 24
        body = data[pos + 11:pos + 11 + size]
        if not (data[pos] & 0x1F == 18 and body[3:13] == b"onMetaData"):
            tags.append((data[pos], ts, data[pos + 8:pos + 11], body))
        pos += 15 + size
    return tags


def main():
    src, dst, size_mb = sys.argv[1], sys.argv[2], float(sys.argv[3])
    data = open(src, "rb").read()
    tags = read_tags(data)
    span = max(t[1] for t in tags) + 40  # one frame after the last tag
    target = int(size_mb * 1e6)
    with open(dst, "wb") as out:
        out.write(data[:9] + b"\0\0\0\0")
        written, shift = 13, 0
        while written < target:
            chunk = []
            for kind, ts, stream, body in tags:
                t = ts + shift
                head = bytes([kind]) + len(body).to_bytes(3, "big") + \
                    (t & 0xFFFFFF).to_bytes(3, "big") + bytes([t >> 24 & 0xFF]) + stream
                chunk += [head, body, (11 + len(body)).to_bytes(4, "big")]
            blob = b"".join(chunk)
            out.write(blob)
            written += len(blob)
            shift += span


if __name__ == "__main__":
    main()
