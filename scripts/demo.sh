#!/bin/bash
# Sets everything up, then runs LiveUpdate on a demo installation: both editions download their
# patches from loopback HTTP and FTP servers, verify them, apply them and show what changed.
# Everything lives in a temp folder; the servers started here are stopped by their PIDs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/scripts/setup.sh" "$build" >/dev/null
"$here/scripts/demo-run.sh" "$build/bin"
# The database steps and the final task: SQLite for the shop, PostgreSQL for head office.
"$here/scripts/demo-databases.sh" "$build/bin"
