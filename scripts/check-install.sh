#!/usr/bin/env bash
# Installs a build tree into a temporary prefix and checks what the desktop needs: the
# programs, the desktop file (valid, naming the installed program and icon) and the icon.
#   scripts/check-install.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: check-install.sh BUILD_DIR}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
fail() { echo "check-install: $*" >&2; exit 1; }
for f in bin/ravir-viewer bin/ravir libexec/ravir/ravir-decode; do
  [ -x "$prefix/$f" ] || fail "$f missing or not executable"
done
# The map module the viewer loads on first use, in the installation's private library folder.
find "$prefix" -path '*/lib*/ravir/libravir_map.so' -type f | grep -q . \
  || fail "map module libravir_map.so missing"
desktop="$prefix/share/applications/io.github.ravir.Viewer.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/ravir-viewer.svg"
[ -f "$desktop" ] || fail "desktop file missing"
[ -f "$icon" ] || fail "icon missing"
grep -q '^Exec=ravir-viewer %[fFuU]$' "$desktop" || fail "Exec does not take a file"
grep -q '^Icon=ravir-viewer$' "$desktop" || fail "Icon is not ravir-viewer"
grep -q '^StartupWMClass=ravir-viewer$' "$desktop" || fail "window class is not ravir-viewer"
grep -q '^MimeType=.*inode/directory' "$desktop" || fail "folders are not accepted"
grep -q '<svg' "$icon" || fail "icon is no SVG"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop file"
fi
"$prefix/bin/ravir" --help > /dev/null || fail "installed ravir does not run"
# A usage error that only ravir-decode gives: the installed ravir finds it in its private folder.
set +e
"$prefix/bin/ravir" still 2> "$prefix/still.err"
code=$?
set -e
[ "$code" = 2 ] && grep -q '^usage: ravir still' "$prefix/still.err" ||
  fail "installed ravir does not run the installed ravir-decode (exit code $code: $(cat "$prefix/still.err"))"
echo "check-install: ok ($prefix)"
