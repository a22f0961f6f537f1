#!/usr/bin/env bash
# Checks what `cmake --install` produces from a finished build: validates the desktop entry and
# the AppStream metainfo, installs into a temporary DESTDIR and runs the installed executable there
# and again after moving the whole tree under another prefix. The index PDF must carry the fonts
# that were installed with the executable, so fontconfig is given no fonts of its own.
# Usage: scripts/check-install.sh [build folder]   (default: build/ in the repository)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

fail() {
    echo "check-install: $*" >&2
    exit 1
}

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
id=org.tessavo.Tessavo

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -m 0700 "$work/runtime"
mkdir "$work/home" "$work/pdfs" "$work/elsewhere"

DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
usr="$work/stage/usr"
for f in bin/tessavo share/tessavo/fonts/DejaVuSans.ttf share/tessavo/fonts/DejaVuSans-Bold.ttf \
         "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
         "share/icons/hicolor/scalable/apps/$id.svg" share/doc/tessavo/copyright \
         share/doc/tessavo/changelog.gz share/man/man1/tessavo.1.gz; do
    [ -f "$usr/$f" ] || fail "not installed: $f"
done

desktop-file-validate "$usr/share/applications/$id.desktop"
if ! report="$(appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" 2>&1)"; then
    echo "$report" >&2
    fail "the metainfo does not validate"
fi
grep -q "^Exec=tessavo " "$usr/share/applications/$id.desktop" || fail "Exec does not start tessavo"
grep -q "^Icon=$id$" "$usr/share/applications/$id.desktop" || fail "Icon is not $id"
# Offered for PDFs; never a handler for folders, or it would become the default one where no file
# manager claims them.
grep -q "^MimeType=application/pdf;$" "$usr/share/applications/$id.desktop" ||
    fail "MimeType is not application/pdf alone"
metainfo="$usr/share/metainfo/$id.metainfo.xml"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
if readelf -d "$usr/bin/tessavo" | grep -E 'R(UN)?PATH' | grep -qF "$root"; then
    fail "the installed executable still looks for libraries in the source tree"
fi

python3 - "$work/pdfs" <<'PY'
import sys

def pdf(text):
    stream = b"BT /F1 14 Tf 72 760 Td (" + text.encode() + b") Tj ET"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R"
        b" /Resources << /Font << /F1 5 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)

folder = sys.argv[1]
with open(folder + "/Invitation to tender.pdf", "wb") as f:
    f.write(pdf("Invitation to tender: instructions to bidders"))
with open(folder + "/Price schedule.pdf", "wb") as f:
    f.write(pdf("Price schedule and bill of quantities"))
PY

# No system fonts: the index can only have DejaVu Sans from the installed fonts folder.
printf '<?xml version="1.0"?>\n<fontconfig><cachedir>%s</cachedir></fontconfig>\n' \
    "$work/fontcache" >"$work/fonts.conf"

run_installed() { # <prefix> <label>
    local exe="$1/bin/tessavo" out="$work/export-$2"
    local -a env=(HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/home/data"
                  XDG_CONFIG_HOME="$work/home/config" QT_QPA_PLATFORM=offscreen
                  FONTCONFIG_FILE="$work/fonts.conf")
    local got
    got="$(cd / && env "${env[@]}" "$exe" --version)" || fail "$2: --version failed"
    [ "$got" = "Tessavo $version" ] || fail "$2: --version printed '$got', expected 'Tessavo $version'"
    local status=0
    (cd "$work/elsewhere" && env "${env[@]}" "$exe" --batch --import "$work/pdfs" --export "$out" \
        >"$work/batch-$2.out" 2>"$work/batch-$2.err") || status=$?
    if [ "$status" -ne 0 ]; then
        cat "$work/batch-$2.err" >&2
        fail "$2: --batch exited $status"
    fi
    local bundle
    bundle="$(sed -n 1p "$work/batch-$2.out")"
    [ -f "$bundle/index.pdf" ] || fail "$2: no index.pdf in '$bundle'"
    pdffonts "$bundle/index.pdf" | grep -q DejaVuSans ||
        fail "$2: the index PDF has no DejaVu Sans: the installed fonts were not found"
    echo "check-install: $2 tree runs (--version, --batch, fonts found)"
}

run_installed "$usr" "installed"
mkdir -p "$work/moved/opt"
mv "$usr" "$work/moved/opt/tessavo"
run_installed "$work/moved/opt/tessavo" "moved"

# The Debian package: no lintian error or warning, the dependencies the program needs at run time,
# and no copies of the fonts; unpacked, it finds the system's DejaVu files instead.
if command -v cpack >/dev/null && command -v lintian >/dev/null; then
    (cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null) || fail "cpack failed"
    deb="$(ls "$work"/deb/tessavo_*.deb)"
    lint="$(lintian --fail-on none --suppress-tags-from-file /dev/null "$deb" 2>&1 || true)"
    if grep -E '^[EW]: ' <<<"$lint"; then
        fail "lintian reports errors or warnings for $(basename "$deb")"
    fi
    fields="$(dpkg-deb -f "$deb" Depends Recommends)"
    grep -q "libqt6sql6-sqlite" <<<"$fields" || fail "the package does not depend on the SQLite driver"
    grep -q "^Recommends:.*tesseract-ocr-eng" <<<"$fields" || fail "tesseract-ocr-eng is not recommended"
    if dpkg-deb -c "$deb" | grep -q '\.ttf$'; then
        fail "the package ships font files of its own"
    fi
    dpkg-deb -x "$deb" "$work/unpacked"
    run_installed "$work/unpacked/usr" "packaged"
fi
