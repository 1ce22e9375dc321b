#!/bin/sh
# Seeds for the fuzz targets, made by the real tools:
#   fuzz/make_corpus.sh DIR  ->  DIR/adapter/*.zip (both archive targets), DIR/text (paths, dates)
set -eu
out=$(realpath -m "${1:?usage: make_corpus.sh DIR}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/adapter" "$out/text" "$work/img" "$work/doc/deep"
cd "$work"
printf 'hello, world\n' > doc.txt
head -c 70000 /dev/urandom > img/a.png
seq 1 5000 > doc/deep/n.txt
: > empty.txt
a=$out/adapter
zip -qr "$a/info.zip" . && zip -qr0 "$a/stored.zip" doc.txt img && zip -q -P pw "$a/trad.zip" doc.txt
7zz a -tzip "$a/seven.zip" . >/dev/null && 7zz a -tzip -mm=BZip2 "$a/bzip2.zip" doc >/dev/null
7zz a -tzip -pSecret -mem=AES256 "$a/aes.zip" doc.txt >/dev/null && bsdtar -a -cf "$a/tar.zip" img doc.txt
python3 - "$a" <<'PY'
import sys, zipfile
def make(name, entries):
    with zipfile.ZipFile(f"{sys.argv[1]}/{name}", "w") as z:
        for n, data in entries:
            z.writestr(n, data)
make("empty.zip", [])
make("odd.zip", [("img/", b""), ("IMG/b.png", b"b"), ("/abs/x", b"1"), ("a//b", b"4"), ("n" * 1100, b"5")])
PY
i=0
for t in 'data/pics.zip/img/a.png' 'data\pics.ZIP\img\a.png' 'pics.zip/' 'pics.zipped/a' 'a.zip/b.zip/c' \
    '05-Mar-2017 09:07:03' '31-feb-2024 23:59:59' '29-Feb-2000 00:00:00' '99-Xyz-9999 99:99:99'; do
    i=$((i + 1)) && printf '%s' "$t" > "$out/text/seed$i"
done
echo "corpus in $out"
