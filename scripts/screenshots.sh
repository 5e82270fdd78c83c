#!/bin/bash
# Builds LiveUpdate and renders its windows to docs/screenshots (no display needed).
# usage: scripts/screenshots.sh   (BUILD_DIR selects the build folder, default build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/scripts/setup.sh" "$build"

out=$here/docs/screenshots
mkdir -p "$out"
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
export PELVAR_ROOT=$sandbox/root PELVAR_APP_FOLDER=$sandbox/app QT_QPA_PLATFORM=offscreen
mkdir -p "$PELVAR_ROOT" "$PELVAR_APP_FOLDER"

# An installed shop edition, so that the window has something to show.
"$build/bin/liveupdate" reg set 'Software\Pelvar\POS' PatchVer 9.1.2
"$build/bin/liveupdate" reg set 'Software\Pelvar\POS' LastUpdated '12/4/2026 4:15:02 PM'

# The product folder that the wizard reads from the edition's system file.
mkdir -p "$PELVAR_ROOT/var/lib/Orken/Pelvar9" "$sandbox/product"
printf 'PELVARAPPPATH=%s\r\n' "$sandbox/product" >"$PELVAR_ROOT/var/lib/Orken/Pelvar9/PelvarPOSSystem.DAT"

"$build/bin/pelvar-screenshot" "$out/main-idle.png"
"$build/bin/pelvar-screenshot" "$out/main-downloading.png" --downloading
"$build/bin/pelvar-screenshot" "$out/wizard.png" --wizard POS
echo "screenshots: written to $out"
