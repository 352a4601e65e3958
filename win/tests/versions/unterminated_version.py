#!/usr/bin/env python3
"""Writes a version resource (RT_VERSION's raw bytes) whose FileVersion
string has no terminating zero within the length its entry reports: the
length says 7 characters ("1.0.0.5"), the stored text goes on ("1.0.0.59").

    unterminated_version.py OUTPUT
"""
import struct
import sys


def pad(data):
    return data + b"\0" * (-len(data) % 4)


def block(key, value, value_length, text, children=b""):
    """One entry: header, key, value and children, each aligned to 4 bytes."""
    head = pad(struct.pack("<HHH", 0, value_length, 1 if text else 0) + (key + "\0").encode("utf-16-le"))
    body = head + pad(value) + children
    return struct.pack("<H", len(body)) + body[2:]


fixed = struct.pack("<13I", 0xFEEF04BD, 0x00010000, 0x00010000, 0x00000005, 0x00010000, 0x00000005,
                    0x3F, 0, 0x00040004, 2, 0, 0, 0)
string = block("FileVersion", "1.0.0.59\0".encode("utf-16-le"), 7, True)
table = block("040904B0", b"", 0, True, string)
strings = block("StringFileInfo", b"", 0, True, table)
translation = block("Translation", struct.pack("<HH", 0x0409, 1200), 4, False)
variables = block("VarFileInfo", b"", 0, True, translation)
info = block("VS_VERSION_INFO", fixed, len(fixed), False, strings + variables)
with open(sys.argv[1], "wb") as out:
    out.write(info)
