#!/usr/bin/env python3
"""Writes the reply-stream seeds of the session and loader fuzz targets: a healthy
conversation in the targets' input format (a control byte >= 0x20 before each reply)."""
import os
import sys

OK = 0x20  # a control byte that delivers the whole reply


def reply(*parts):
    out = bytearray()
    for p in parts:
        out += bytes([OK]) + bytes(p)
    return out


def session_seed():
    s = bytearray()
    s += reply([0xF9], [0xD5, 0x41])  # probe echo, presence
    for _ in range(3):
        s += reply([0xD5], [0x2A])  # identify: full ESC
    s += reply([0xD8])
    for i in range(31):
        s += reply([i % 3])  # parameter block, one byte a read
    s += reply([0xD7], b"ESC0120")
    for command in (0xDE, 0xDB, 0xD9):
        s += reply([command], [0x80])
        for _ in range(30):
            s += reply([0, 0, 0, 0])
        s += reply([0, 0])  # check value of an all-zero curve
    return s


def loader_seed():
    s = bytearray()
    s += reply([0xD7], b"ESC0120")
    s += bytes([2])  # "Start update?" answered OK
    for _ in range(4):
        s += reply([0xD6], [0x55])
    for length in (6, 130, 3):
        s += reply([0] * length, [0x11])
    return s


def main(folder):
    with open(os.path.join(folder, "session_replies_fuzz", "full_read"), "wb") as f:
        f.write(session_seed())
    with open(os.path.join(folder, "loader_replies_fuzz", "three_records"), "wb") as f:
        f.write(loader_seed())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus"))
