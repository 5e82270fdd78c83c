#!/bin/bash
# The Debian package as an admin gets it: built by CPack, listed, extracted, and its programs run
# from the extracted tree in a sandbox root.
# usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb=$build/liveupdate_${version}_${arch}.deb
work=$(mktemp -d)
window=""
cleanup() {
    [ -n "$window" ] && kill "$window" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -f "$deb"
cmake --build "$build" --target package >"$work/build.log" 2>&1 || {
    cat "$work/build.log"
    fail "the package target failed"
}
[ -f "$deb" ] || fail "no $deb"

# Every installed file in its place.
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
for f in usr/bin/liveupdate usr/bin/PelvarLU usr/bin/PelvarPU \
    "usr/lib/$multiarch/libPelvarLiveUpdate.so.1" \
    usr/share/applications/pelvar-liveupdate.desktop \
    usr/share/applications/pelvar-update-pos.desktop \
    usr/share/applications/pelvar-update-ho.desktop \
    usr/share/icons/hicolor/scalable/apps/liveupdate.svg \
    usr/share/man/man1/liveupdate.1.gz usr/share/bash-completion/completions/liveupdate \
    usr/share/doc/liveupdate/copyright usr/share/doc/liveupdate/changelog.gz; do
    grep -qx "\./$f" "$work/files" || fail "$f is not in the package"
done
grep -q "cron | cron-daemon" <<<"$(dpkg-deb -f "$deb" Depends)" || fail "no cron dependency"
grep -q "libqt6widgets6" <<<"$(dpkg-deb -f "$deb" Depends)" || fail "no library dependencies"
grep -q "tdsodbc" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "ODBC drivers not recommended"

# Debian's own checks: errors fail (the warnings that stay are listed in the README).
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$work/lintian.out" 2>&1 || fail "lintian: $(cat "$work/lintian.out")"
fi

dpkg-deb -x "$deb" "$work/x"
bin=$work/x/usr/bin
lib=$work/x/usr/lib/$multiarch
# The programs find the library by its soname in the system's library folder; none points
# back into the build tree.
readelf -d "$bin/PelvarLU" | grep -q 'NEEDED.*\[libPelvarLiveUpdate.so.1\]' || fail "PelvarLU soname"
if readelf -d "$bin/PelvarLU" "$bin/PelvarPU" "$bin/liveupdate" | grep -E 'R(UN)?PATH'; then
    fail "a program carries a library search path"
fi
export LD_LIBRARY_PATH=$lib QT_QPA_PLATFORM=offscreen
unset PELVAR_ROOT PELVAR_APP_FOLDER

[ "$("$bin/liveupdate" --version)" = "liveupdate $version" ] || fail "--version"
sandbox=$work/root
"$bin/liveupdate" --root "$sandbox" reg set 'Software\Pelvar\POS' PatchVer 9.0.1.05
"$bin/liveupdate" --root "$sandbox" reg list 'Software\Pelvar\POS' | grep -qx 'PatchVer=9.0.1.05' || fail "reg list"

# Installed, settings go to etc/pelvar/liveupdate below the root; the folder is set-group-ID
# (postinst) and a location file is readable by the group only.
mkdir -p "$sandbox/etc/pelvar/liveupdate"
chmod 2770 "$sandbox/etc/pelvar/liveupdate"
"$bin/liveupdate" --root "$sandbox" locations add --edition POS --name Shop --type ftp \
    --address ftp://127.0.0.1/p --user u --password secret >/dev/null
[ "$(stat -c %a "$sandbox/etc/pelvar/liveupdate/Shop.ini")" = 640 ] || fail "location file mode"
grep -qx 'Download File=Shop.ini' <(tr -d '\r' <"$sandbox/etc/pelvar/liveupdate/POSDownloadSettings.config") ||
    fail "settings file not in the installed component folder"

# The unattended download runs (and stops: the location does not answer) from there.
set +e
PELVAR_ROOT=$sandbox "$bin/PelvarLU" Scheduled,POS >"$work/scheduled.out" 2>&1
scheduled=$?
set -e
[ $scheduled -le 1 ] || fail "PelvarLU Scheduled,POS exit $scheduled: $(cat "$work/scheduled.out")"

# The window opens offscreen with the extracted library and Qt's platform plugin loaded.
PELVAR_ROOT=$sandbox "$bin/PelvarLU" >"$work/window.out" 2>&1 &
window=$!
loaded=0
for _ in $(seq 300); do
    maps=$(cat "/proc/$window/maps" 2>/dev/null) || break
    if grep -q "$lib/libPelvarLiveUpdate.so" <<<"$maps" && grep -q libqoffscreen <<<"$maps"; then
        loaded=1
        break
    fi
    sleep 0.1
done
[ $loaded = 1 ] || fail "PelvarLU window did not start: $(cat "$work/window.out")"
kill -0 "$window" || fail "PelvarLU ended: $(cat "$work/window.out")"
echo "package: $deb passes"
