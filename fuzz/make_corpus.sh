#!/bin/sh
# Writes the seed corpora of the fuzz targets, made by the real tools:
#   fuzz/make_corpus.sh DIR   ->  DIR/adapter/*.zip  DIR/archive_path/*  DIR/date/*
# (the archives seed both archive targets)
set -eu
out=$(realpath -m "${1:?usage: make_corpus.sh DIR}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/adapter" "$out/archive_path" "$out/date"

cd "$work"
mkdir -p tree/img tree/doc/deep
printf 'hello, world\n' > tree/doc.txt
head -c 70000 /dev/urandom > tree/img/a.png
seq 1 5000 > tree/doc/deep/n.txt
: > tree/empty.txt
(cd tree && zip -qr "$out/adapter/info.zip" . && zip -qr0 "$out/adapter/stored.zip" doc.txt img &&
 zip -q -P pw "$out/adapter/traditional.zip" doc.txt &&
 7zz a -tzip "$out/adapter/seven.zip" . >/dev/null &&
 7zz a -tzip -mm=BZip2 "$out/adapter/bzip2.zip" doc >/dev/null &&
 7zz a -tzip -pSecret -mem=AES256 "$out/adapter/aes.zip" doc.txt >/dev/null &&
 bsdtar -a -cf "$out/adapter/tar.zip" img doc.txt)
python3 - "$out/adapter" <<'PY'
import sys, zipfile
out = sys.argv[1]
def make(name, entries):
    with zipfile.ZipFile(f"{out}/{name}", "w") as zf:
        for n, data in entries:
            zf.writestr(zipfile.ZipInfo(n, (2017, 1, 5, 9, 7, 2)), data)
make("listing.zip", [("img/", b""), ("img/a.png", b"a" * 300), ("doc.txt", b"doc"), ("IMG/b.png", b"b")])
make("deep.zip", [("a/b/c.txt", b"deep")])
make("empty.zip", [])
make("odd.zip", [("/abs/x", b"1"), ("doc.txt", b"2"), ("DOC.TXT", b"3"), ("a//b", b"4"), ("n" * 1100, b"5")])
data = bytearray(open(f"{out}/listing.zip", "rb").read())
data[data.find(b"aaaa")] ^= 1  # a CRC that does not match
open(f"{out}/crc.zip", "wb").write(data)
PY

i=0
for p in 'data/pics.zip/img/a.png' 'data\pics.ZIP\img\a.png' 'pics.zip' 'pics.zip/' 'pics.zip//a' \
         'pics.zipped/a' 'old.zip.d/pics.zip/a' 'a.zip/b.zip/c' 'Pics.ZiP/Img/A.png' 'pics.zip\'; do
    i=$((i + 1))
    printf '%s' "$p" > "$out/archive_path/seed$i"
done
i=0
for d in '05-Mar-2017 09:07:03' '01-Jan-1978 12:00:00' '31-feb-2024 23:59:59' '29-Feb-2000 00:00:00' \
         '05-Mar-17 09:07:03' '05/Mar/2017 09:07:03' '-1-Jan-1970 -1:-1:-1' '99-Xyz-9999 99:99:99'; do
    i=$((i + 1))
    printf '%s' "$d" > "$out/date/seed$i"
done
echo "corpus in $out"
