#!/usr/bin/env bash
# Makes the Debian package of a built tree (cpack into a temporary folder) and checks it the way
# a user's system sees it: the control fields, the exact list of files, both programs run from
# the extracted package with the system's libraries, the desktop file, the metainfo, the icons,
# the manual pages (one section per command) and the bash completion, and lintian.
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=${1:?usage: package_test.sh BUILD_DIR VERSION}
version=${2:?usage: package_test.sh BUILD_DIR VERSION}
fail() { echo "package_test: $*" >&2; exit 1; }
for tool in cpack dpkg-deb desktop-file-validate appstreamcli lintian man python3; do
  command -v "$tool" > /dev/null || fail "$tool is not installed (scripts/setup installs it)"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" > "$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb=$tmp/out/ravir_${version}_${arch}.deb
[ -f "$deb" ] || fail "no ravir_${version}_${arch}.deb made: $(ls "$tmp/out")"

# Control fields: the version of the build, the libraries found by dpkg-shlibdeps, and no
# dependency on the ffmpeg or mpv programs (only `make-sample-card` runs ffmpeg).
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ravir ] || fail "package name is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "package version $(field Version), build $version"
[ "$(field Architecture)" = "$arch" ] || fail "architecture $(field Architecture)"
depends=$(field Depends)
for lib in libqt6core6 libqt6widgets6 libmpv2 libavformat libxlsxwriter libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
if grep -Eq '(^|, )(ffmpeg|ffprobe|mpv)( |,|$)' <<<"$depends"; then
  fail "Depends names a program that nothing runs: $depends"
fi
[[ $(field Suggests) == *ffmpeg* ]] || fail "ffmpeg is not suggested"

# The files, exactly.
root=$tmp/root
dpkg -x "$deb" "$root"
id=io.github.ravir.Viewer
expected=(
  usr/bin/ravir usr/bin/ravir-viewer
  usr/share/applications/$id.desktop
  usr/share/metainfo/$id.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/ravir-viewer.svg
  usr/share/icons/hicolor/48x48/apps/ravir-viewer.png
  usr/share/icons/hicolor/128x128/apps/ravir-viewer.png
  usr/share/icons/hicolor/256x256/apps/ravir-viewer.png
  usr/share/man/man1/ravir.1.gz usr/share/man/man1/ravir-viewer.1.gz
  usr/share/bash-completion/completions/ravir
  usr/share/doc/ravir/copyright usr/share/doc/ravir/changelog.gz
)
expected+=(usr/libexec/ravir/ravir-decode usr/lib/ravir/libravir_map.so)
programs=(ravir ravir-viewer)
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$root" && find . -type f -printf '%P\n' | sort) ||
  fail "the package's files differ from the list above (< expected, > packaged)"

# The programs, from the extracted package with the system's libraries only.
for program in "${programs[@]}"; do
  out=$(env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --version) ||
    fail "$program --version failed"
  [ "$out" = "$program $version" ] || fail "$program --version says '$out', not '$program $version'"
done

# ravir hands still and report to its helper in the private folder (a usage error only the helper
# gives).
set +e
env -u LD_LIBRARY_PATH "$root/usr/bin/ravir" still 2> "$tmp/still.err"
code=$?
set -e
[ "$code" = 2 ] && grep -q '^usage: ravir still' "$tmp/still.err" ||
  fail "the packaged ravir does not run the packaged ravir-decode (exit $code: $(cat "$tmp/still.err"))"

# Desktop file and metainfo: valid, and naming each other, the program and the icon.
desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $id.desktop"
appstreamcli validate --no-net "$metainfo" > "$tmp/appstream.log" 2>&1 ||
  { cat "$tmp/appstream.log" >&2; fail "appstreamcli rejects the metainfo"; }
grep -q '^Exec=ravir-viewer ' "$desktop" || fail "the desktop file does not start ravir-viewer"
grep -q '^Icon=ravir-viewer$' "$desktop" || fail "the desktop file's icon is not ravir-viewer"
python3 - "$metainfo" "$id" "$version" <<'EOF' || fail "the metainfo does not match the package"
import sys
import xml.etree.ElementTree as ET
component = ET.parse(sys.argv[1]).getroot()
_, _, id_, version = sys.argv
assert component.findtext("id") == id_, component.findtext("id")
assert component.findtext("launchable[@type='desktop-id']") == id_ + ".desktop"
assert [r.get("version") for r in component.iter("release")][0] == version
assert component.find("content_rating[@type='oars-1.1']") is not None
assert component.findtext("screenshots/screenshot/image").startswith("https://")
EOF
# Each PNG icon has the size its folder names.
python3 - "$root/usr/share/icons/hicolor" <<'EOF' || fail "an icon's size differs from its folder"
import struct, sys
for size in (48, 128, 256):
    with open(f"{sys.argv[1]}/{size}x{size}/apps/ravir-viewer.png", "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", size
    assert struct.unpack(">II", head[16:24]) == (size, size), (size, struct.unpack(">II", head[16:24]))
EOF

# Manual pages: gzip, render without warnings, and the page of a program with commands has a
# section for each command its help lists.
for program in "${programs[@]}"; do
  page=$root/usr/share/man/man1/$program.1.gz
  gzip -t "$page" || fail "$program.1.gz is not gzip"
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" \
    > /dev/null 2> "$tmp/man.log" || fail "man cannot render $program.1"
  [ ! -s "$tmp/man.log" ] || { cat "$tmp/man.log" >&2; fail "man warns about $program.1"; }
  zcat "$page" | grep -q "^\.TH ${program^^} 1 .*$program $version" ||
    fail "$program.1 does not carry version $version"
done
commands=$(LC_ALL=C.UTF-8 "$root/usr/bin/ravir" --help |
           sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
[ -n "$commands" ] || fail "ravir --help lists no commands"
LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/usr/share/man/man1/ravir.1.gz" > "$tmp/ravir.txt"
for command in $commands; do
  usage=$(LC_ALL=C.UTF-8 "$root/usr/bin/ravir" help "$command" | head -n 1)
  grep -qxF "   ${usage#ravir }" "$tmp/ravir.txt" ||
    fail "ravir.1 has no section '${usage#ravir }'"
done

# Completion: the commands, a command's options and an option's values.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _ravir
           printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/ravir" "$@"
}
offered=$(complete_words ravir "")
for command in $commands help; do
  grep -qx "$command" <<<"$offered" || fail "completion does not offer '$command'"
done
[ "$(complete_words ravir csv --enc)" = "--encoding" ] || fail "completion misses csv --encoding"
[ "$(complete_words ravir csv --encoding "" | sort | tr '\n' ' ')" = "cp932 locale utf-8 " ] ||
  fail "completion of csv --encoding: $(complete_words ravir csv --encoding "")"
[ "$(complete_words ravir telemetry --format g)" = "gpx" ] || fail "completion misses --format gpx"
[ "$(complete_words ravir help te)" = "telemetry" ] || fail "completion of help misses commands"

# lintian: no error (warnings are shown; none is left today).
lintian --fail-on error "$deb" > "$tmp/lintian.log" 2>&1 ||
  { cat "$tmp/lintian.log" >&2; fail "lintian reports errors"; }
grep '^[EW]: ' "$tmp/lintian.log" >&2 || true
echo "package_test: ok ($(basename "$deb"))"
