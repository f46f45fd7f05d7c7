#!/usr/bin/env python3
"""Prints the version resource of a Windows executable as Explorer would show it.

    wrestool -x --raw --type=16 Zarvel-Update.exe | scripts/read-version-resource.py

Reads the raw VS_VERSIONINFO block on stdin: the fixed file and product versions, then every
string of StringFileInfo and the Translation of VarFileInfo.
"""

import struct
import sys

FIXED_SIGNATURE = 0xFEEF04BD


def align4(offset):
    return (offset + 3) & ~3


def read_node(data, offset):
    """One node: (key, value bytes, value is text, children, end offset)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    cursor = offset + 6
    key_end = cursor
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[cursor:key_end].decode("utf-16-le")
    cursor = align4(key_end + 2)
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[cursor:cursor + value_size]
    cursor = align4(cursor + value_size)
    children = []
    while cursor < end:
        child = read_node(data, cursor)
        children.append(child)
        cursor = align4(child[4])
    return key, value, value_type == 1, children, end


def version_of(most, least):
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def main():
    data = sys.stdin.buffer.read()
    if len(data) < 6:
        print("no version resource", file=sys.stderr)
        return 1
    key, value, _, children, _ = read_node(data, 0)
    if key != "VS_VERSION_INFO":
        print(f"not a version resource: {key!r}", file=sys.stderr)
        return 1
    fields = struct.unpack_from("<13I", value)
    if fields[0] != FIXED_SIGNATURE:
        print("the fixed file information is missing", file=sys.stderr)
        return 1
    print(f"FileVersion (fixed)     {version_of(fields[2], fields[3])}")
    print(f"ProductVersion (fixed)  {version_of(fields[4], fields[5])}")
    for block, _, _, tables, _ in children:
        for table, table_value, _, entries, _ in tables:
            if block == "StringFileInfo":
                print(f"StringFileInfo {table}")
                for name, text, _, _, _ in entries:
                    print(f"  {name:<22}{text.decode('utf-16-le').rstrip(chr(0))}")
            elif block == "VarFileInfo":
                language, codepage = struct.unpack_from("<HH", table_value)
                print(f"VarFileInfo {table}: language 0x{language:04X}, code page {codepage}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
