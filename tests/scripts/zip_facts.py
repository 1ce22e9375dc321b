#!/usr/bin/env python3
"""zip_facts.py ARCHIVE [PASSWORD]: what python3's zipfile finds, as a Lua chunk returning
{comment, entries = {...}}; raw is the SHA-1 of an entry's stored bytes, data is absent for AES."""
import hashlib
import struct
import sys
import time
import zipfile


def lua(value):
    if value is None or isinstance(value, (bool, int)):
        return "nil" if value is None else str(value).lower()
    value = value.encode("utf-8") if isinstance(value, str) else value
    return '"' + "".join(chr(b) if 32 <= b < 127 and b not in (34, 92) else "\\%03d" % b
                         for b in value) + '"'


def stored_bytes(f, info):
    f.seek(info.header_offset + 26)
    f.seek(sum(struct.unpack("<HH", f.read(4))), 1)
    return f.read(info.compress_size)


def aes_strength(info):
    extra = info.extra
    while len(extra) >= 4:
        tag, size = struct.unpack("<HH", extra[:4])
        if tag == 0x9901 and size >= 7:
            return extra[8]
        extra = extra[4 + size:]


def main():
    path = sys.argv[1]
    password = sys.argv[2].encode() if len(sys.argv) > 2 else None
    archive = zipfile.ZipFile(path)
    print("return {comment = %s, entries = {" % lua(archive.comment))
    with open(path, "rb") as f:
        for info in archive.infolist():
            strength = aes_strength(info)
            try:
                data = None if strength else archive.read(info, pwd=password)
            except (RuntimeError, zipfile.BadZipFile, NotImplementedError):
                data = None
            fields = {"name": info.filename, "utf8": bool(info.flag_bits & 0x800),
                      "size": info.file_size, "csize": info.compress_size, "crc": info.CRC,
                      "method": info.compress_type, "encrypted": bool(info.flag_bits & 0x1),
                      "aes": strength, "comment": info.comment, "data": data,
                      "time": time.strftime("%d-%b-%Y %H:%M:%S", info.date_time + (0, 1, -1)),
                      "raw": hashlib.sha1(stored_bytes(f, info)).hexdigest()}
            print("  {" + ", ".join("%s = %s" % (k, lua(v)) for k, v in fields.items()) + "},")
    print("}}")


main()
