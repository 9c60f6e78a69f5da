#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop needs: the programs
# (each answering --help and --version), the desktop entry, icon, AppStream metainfo and udev
# rule, the entry and metainfo accepted by their validators; then builds the Debian package and
# checks its dependencies and files. Run by the test suite: tools/check-install.sh BUILD-DIR
set -euo pipefail
build=$(cd "${1:?usage: check-install.sh BUILD-DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
id=com.karvoaudio.QuarneloEditor
for f in bin/quarnelo-editor bin/quarnelo-cli bin/quarnelo-pedal-sim \
         share/applications/$id.desktop share/icons/hicolor/scalable/apps/$id.svg \
         share/metainfo/$id.metainfo.xml lib/udev/rules.d/70-quarnelo-ftdi.rules; do
  [ -f "$root/$f" ] || fail "$f is not installed"
done
[ -x "$root/bin/quarnelo-editor" ] || fail "quarnelo-editor is not executable"

desktop-file-validate "$root/share/applications/$id.desktop" || fail "the desktop entry is not valid"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >/dev/null || fail "the metainfo is not valid"
entry="$root/share/applications/$id.desktop"
grep -qx 'Categories=AudioVideo;Audio;Music;' "$entry" || fail "the desktop entry's categories"
grep -qx "Icon=$id" "$entry" || fail "the desktop entry's icon"
grep -qx 'Exec=quarnelo-editor --simulate' "$entry" || fail "the Simulated pedal action"
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is no SVG"
rule="$root/lib/udev/rules.d/70-quarnelo-ftdi.rules"
grep -q 'ATTRS{idVendor}=="0403", TAG+="uaccess"' "$rule" || fail "the udev rule gives no uaccess"
grep -q 'ATTR{latency_timer}="1"' "$rule" || fail "the udev rule leaves the latency timer"

# Every program answers --help and --version, without a display.
for p in quarnelo-editor quarnelo-cli quarnelo-pedal-sim; do
  env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/$p" --help >"$work/help" 2>&1 || fail "$p --help failed"
  grep -qi 'usage' "$work/help" || fail "$p --help prints no usage"
  env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/$p" --version >"$work/version" 2>&1 || fail "$p --version failed"
  grep -q '1\.21' "$work/version" || fail "$p --version prints no version"
done
grep -q -- '--simulate' <(env -u DISPLAY "$root/bin/quarnelo-editor" --help) || fail "the editor's --help does not list --simulate"

# The Debian package.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/package/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6serialport6 libqt6network6 qt6-qpa-plugins fonts-liberation2; do
  grep -q "$d" <<<"$depends" || fail "the package does not depend on $d ($depends)"
done
contents=$(dpkg-deb -c "$deb") # whole, so no early exit of grep cuts the pipe
grep -q "usr/share/applications/$id.desktop" <<<"$contents" || fail "the package holds no desktop entry"
for f in usr/share/doc/quarnelo-editor/copyright usr/share/doc/quarnelo-editor/changelog.gz \
         usr/share/man/man1/quarnelo-editor.1.gz usr/share/man/man1/quarnelo-cli.1.gz \
         usr/share/man/man1/quarnelo-pedal-sim.1.gz; do
  grep -q "$f" <<<"$contents" || fail "the package holds no $f"
done
# Debian's own checks, the pedantic ones too: no error, no warning.
if command -v lintian >/dev/null; then
  findings=$(lintian --pedantic "$deb" 2>/dev/null | grep -E '^[EW]: ' || true)
  [ -z "$findings" ] || fail "lintian: $findings"
fi
echo "check-install: installed files, validators, --help/--version and the package are in order"
