#!/bin/bash
# The layering check rejects upward includes and Widgets in core folders, and passes clean trees.
set -u
script=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

expect() { # expect EXIT_CODE PATTERN: runs the check on $tree/src
    local want=$1 pattern=$2 out rc
    out=$(python3 "$script" "$tree/src" 2>&1)
    rc=$?
    if [ "$rc" != "$want" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "FAIL: wanted exit $want and /$pattern/, got exit $rc:"
        echo "$out"
        failures=$((failures + 1))
    fi
}

mkdir -p "$tree/src/platform" "$tree/src/download" "$tree/src/ui/main" "$tree/src/cli"
printf '#include "platform/files/Files.h"\n#include <string>\n' >"$tree/src/platform/Files.cpp"
printf '#include "platform/files/Files.h"\n#include "download/Run.h"\n' >"$tree/src/download/Run.cpp"
printf '#include "download/Run.h"\n#include <QWidget>\n' >"$tree/src/ui/main/frmMain.cpp"
printf '#include "download/Run.h"\n#include "ui/main/frmMain.h"\n' >"$tree/src/cli/main.cpp"
expect 0 '^$'

# An upward include is named with its file and line.
printf '#include "platform/files/Files.h"\n#include "ui/main/frmMain.h"\n' >"$tree/src/download/Run.cpp"
expect 1 "src/download/Run.cpp:2: layer 'download' includes 'ui/main/frmMain.h'"
printf '#include "platform/files/Files.h"\n' >"$tree/src/download/Run.cpp"

# A top that is lower than another top may not include it.
mkdir -p "$tree/src/entry"
printf '#include "cli/main.h"\n' >"$tree/src/entry/clsVAMenu.cpp"
expect 1 "src/entry/clsVAMenu.cpp:1: layer 'entry' includes 'cli/main.h'"
rm "$tree/src/entry/clsVAMenu.cpp"

# Qt Widgets outside the windows.
printf '\n\n#include <QMessageBox>\n' >"$tree/src/platform/Box.cpp"
expect 1 "src/platform/Box.cpp:3: Qt Widgets header in layer 'platform'"
printf '#include <QtWidgets/QLabel>\n' >"$tree/src/platform/Box.cpp"
expect 1 "src/platform/Box.cpp:1: Qt Widgets header"
rm "$tree/src/platform/Box.cpp"

# The real tree is clean.
out=$(python3 "$script" 2>&1) || { echo "FAIL: the source tree breaks its layers:"; echo "$out"; failures=$((failures + 1)); }

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "check-layers: all cases passed"
