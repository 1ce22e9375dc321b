"""make_fixture.py KIND ARCHIVE PAYLOAD_DIR [STAMP...]: an archive written with
python's zipfile; each entry's data also goes to PAYLOAD_DIR/<entry name>."""
import os
import random
import struct
import sys
import zipfile
import zlib


def write(archive, entries, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(archive, "w", method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, (2017, 3, 5, 9, 7, 4))
            info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else method
            z.writestr(info, data)


def main():
    kind, archive, payloads = sys.argv[1:4]
    if kind == "times":
        # Each STAMP is one entry's "year,month,day,hour,minute,second".
        with zipfile.ZipFile(archive, "w") as z:
            for i, stamp in enumerate(sys.argv[4:]):
                z.writestr(zipfile.ZipInfo("t%d" % i, tuple(int(p) for p in stamp.split(","))), b"t")
        return
    if kind == "sizes":
        entries = [("e%d" % n, random.Random(n).randbytes(n)) for n in (0, 65536, 65537, 150000)]
        write(archive, entries)
    elif kind == "names":
        cp437 = "Gr\u00fc\u00dfe.txt"
        entries = [("README.TXT", b"upper"), ("dir/", b""), ("dir/a.txt", b"a in dir"),
                   ("other/A.TXT", b"A in other"), ("a.txt", b"a at the top"),
                   ("Gr__e.txt", b"cp437 name")]
        write(archive, entries)
        # zipfile writes non-ASCII names as flagged UTF-8; an old tool's CP437
        # name, unflagged, is patched in over a placeholder of its length.
        data = open(archive, "rb").read().replace(b"Gr__e.txt", cp437.encode("cp437"))
        open(archive, "wb").write(data)
        entries[-1] = (cp437, entries[-1][1])
    elif kind == "crc-ones":
        # Data followed by its CRC's complement has a CRC of all ones.
        data = b"every bit of the CRC is set"
        entries = [("ones.bin", data + struct.pack("<I", zlib.crc32(data) ^ 0xFFFFFFFF))]
        write(archive, entries, zipfile.ZIP_STORED)
    elif kind == "hollow":
        # Stored entries that hold no bytes while their headers declare some:
        # an empty one with a CRC, and one whose sizes were zeroed over data.
        entries = [("empty.bin", b""), ("hidden.bin", b"data behind a header of size 0")]
        write(archive, entries, zipfile.ZIP_STORED)
        data = bytearray(open(archive, "rb").read())
        with zipfile.ZipFile(archive) as z:
            local = [info.header_offset for info in z.infolist()]
        central = [i for i in range(len(data)) if data.startswith(b"PK\x01\x02", i)]
        # The CRC, then the two sizes: 14 bytes into a local header, 16 into a central one.
        for header, skip in ((local, 14), (central, 16)):
            struct.pack_into("<I", data, header[0] + skip, 0x12345678)
            struct.pack_into("<II", data, header[1] + skip + 4, 0, 0)
        open(archive, "wb").write(data)
    else:
        sys.exit("unknown kind " + kind)
    for name, data in entries:
        if not name.endswith("/"):
            path = os.path.join(payloads, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "wb").write(data)


main()
