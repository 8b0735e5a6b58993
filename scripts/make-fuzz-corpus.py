#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus: small nation files, whole and broken,
with the name and membership bytes that matter."""
import os
import sys

RECORD, NAME, MEMBER = 290, 4, 127


def record(name=b"", member=1, fill=0):
    data = bytearray((fill * 31 + k * 7) & 0xFF for k in range(RECORD))
    field = name[:51]
    data[NAME:NAME + 51] = field + bytes(51 - len(field))
    data[MEMBER] = member
    return bytes(data)


def seeds():
    yield "empty", b""
    yield "one-byte", b"\x02"
    yield "289", record(b"Short")[:289]
    yield "290", record(b"England", 2)
    yield "291", record(b"Long", 2) + b"\0"
    yield "zeros", bytes(RECORD * 2)
    yield "full-name", record(b"X" * 51, 2) + record(b"Y" * 51, 0, 1)
    yield "high-bytes", record(bytes(range(0x80, 0xB3)), 3) + record(bytes(range(0xCD, 0x100)), 255, 2)
    yield "undefined-1252", record(b"\x81\x8d\x8f\x90\x9d", 2)
    yield "cote", record("Côte d'Ivoire".encode("cp1252"), 1)
    yield "memberships", b"".join(record(b"Nation %d" % i, i, i) for i in range(8))
    yield "spaces", record(b"  Malta  ", 2) + record(b"", 2, 3)


if __name__ == "__main__":
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
