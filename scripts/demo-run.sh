#!/bin/bash
# The demo itself, on already built executables: scripts/demo-run.sh BIN_DIR [KEEP_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1" && pwd)
demo=${2:-$(mktemp -d /tmp/liveupdate-demo-XXXXXX)}
mkdir -p "$demo"
root=$demo/root app=$demo/app downloads=$demo/downloads www=$demo/www ftp=$demo/ftp
mkdir -p "$root/var/lib" "$app" "$downloads" "$www/pos" "$www/ho" "$www/custom" "$ftp/pos" "$ftp/ho" "$demo/db"
lu() { "$bin/liveupdate" --root "$root" --app-folder "$app" "$@"; }

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.05; done; echo "server on $1 did not start" >&2; return 1; }

echo "== Demo installation in $demo"
http_port=$(free_port)
ftp_port=$(free_port)

# --- Patch archives and update-information files, as a publisher makes them.
make_patch() { # folder name
    local work; work=$(mktemp -d)
    printf 'Patch %s for the Pelvar 9 demo\r\n' "$2" >"$work/readme.txt"
    printf '[Files]\r\nreadme.txt=C:\\Pelvar9\r\n' >"$work/PackingList.ini"
    (cd "$work" && zip -q "$1/$2" readme.txt PackingList.ini)
    rm -rf "$work"
}
# An entry line: four publisher fields, then "archive:version:release:remark" scrambled.
entry() { printf 'PELVAR:9:%s:%s:' "$2" "$(date +%Y%m%d)"; printf '%s\r\n' "$1" | lu scramble; }
publish() { # file entries...
    local file=$1; shift
    { printf '// Pelvar 9 update information\r\n'; for e in "$@"; do entry "$e" "$(basename "$file")"; done; } >"$file"
}
make_patch "$www/pos" POS_9_0_1_02.zip
make_patch "$www/pos" POS_9_0_1_03.zip
make_patch "$ftp/pos" POS_9_0_1_04.zip
make_patch "$www/ho" HO_9_0_1_03.zip
make_patch "$ftp/ho" HO_9_0_1_04.zip
make_patch "$www/custom" POSSECAU_9_0_1_03.zip
publish "$www/pos/Pelvar9_POShttp.dat" "POS_9_0_1_02.zip:9.0.1:9.0.1.02:Earlier fix" "POS_9_0_1_03.zip:9.0.1:9.0.1.03:Receipt printing fix"
printf '// no further entries\r\n' >"$www/pos/Pelvar9_POShttp.P9Q"
publish "$ftp/pos/Pelvar9_POSftp.dat" "POS_9_0_1_04.zip:9.0.1:9.0.1.04:Stock report fix"
publish "$www/ho/Pelvar9_hohttp.dat" "HO_9_0_1_03.zip:9.0.1:9.0.1.03:Replication fix"
printf '// no further entries\r\n' >"$www/ho/Pelvar9_hohttp.P9Q"
publish "$ftp/ho/Pelvar9_HOftp.dat" "HO_9_0_1_04.zip:9.0.1:9.0.1.04:Price list fix"
publish "$www/custom/Pelvar9_POS_Custom.dat" "POSSECAU_9_0_1_03.zip:9.0.1:9.0.1.03:Security database update"
printf '// no further entries\r\n' >"$www/custom/Pelvar9_POS_Custom.P9Q"

# --- The component's folder: settings files and scrambled location files.
location() { # file product name type location folder port user password active
    printf '%s\r\n' "Product=$2" "Description=$3" "Download Type=$4" "Location=$5" "Folder Location =$6" \
        "Port=$7" "User Name =$8" "Password =$9" "ConnectToProxy=0" "Proxy Address=" "Proxy Port=" \
        "Active FTP=${10}" | lu scramble >"$app/$1"
}
location POShttp.ini "Point of Sale" POShttp HTTP "http://127.0.0.1:$http_port/pos" "" "" "" "" NO
location POSftp.ini "Point of Sale" POSftp FTP "ftp://127.0.0.1" "/pos" "$ftp_port" demo demo-pass NO
location hohttp.ini "Head Office" hohttp HTTP "http://127.0.0.1:$http_port/ho" "" "" "" "" NO
location HOftp.ini "Head Office" HOftp FTP "ftp://127.0.0.1" "/ho" "$ftp_port" demo demo-pass YES
printf 'Download path=%s\r\nDownload File=POShttp.ini\r\nDownload File=POSftp.ini\r\n' "$downloads" >"$app/POSDownloadSettings.config"
printf 'Download path=%s\r\nDownload File=hohttp.ini\r\nDownload File=HOftp.ini\r\n' "$downloads" >"$app/HODownloadSettings.config"

# --- The product's registry values and its security database.
for key in POS ENTERPRISE; do
    lu reg set "Software\\Pelvar\\$key" SERVERTYPE ACCESS
    lu reg set "Software\\Pelvar\\$key" PROVIDER Microsoft.Jet.OLEDB.4.0
    lu reg set "Software\\Pelvar\\$key" VASECDBPATH "$demo/db"
    lu reg set "Software\\Pelvar\\$key" VASECDBNAME Security.mdb
    lu reg set "Software\\Pelvar\\$key" VASECDBPASSWORD demo
    lu reg set "Software\\Pelvar\\$key" PatchVer 9.0.1.02
    lu reg set "Software\\Pelvar\\$key" PELVARAPPPATH "$root/drive_c/Pelvar9"
done
lu reg set 'Software\Pelvar\SetupType' SetupType Server
lu reg set 'Software\Pelvar\NodeInfo' NodeId 1
sqlite3 "$demo/db/Security.mdb" <<SQL
CREATE TABLE VaCompany (CompCode TEXT PRIMARY KEY, Nm TEXT);
INSERT INTO VaCompany VALUES ('C01', 'Demo Retail North'), ('C02', 'Demo Retail South');
CREATE TABLE VAPatchDtls (CompCd TEXT, CompanyNm TEXT, NodeId TEXT, PatchVersion TEXT, OtherRmks TEXT);
CREATE TABLE AuthorisedPOSPatches (ReleaseNo TEXT, ApprovedStatus TEXT);
INSERT INTO AuthorisedPOSPatches VALUES ('9.0.1.03', '1'), ('9.0.1.04', '1');
CREATE TABLE CustomPatchLocationDtls (ActiveFlag INTEGER, DownLoadType TEXT, LocationAddress TEXT,
    CustmPatchName TEXT, PortNo TEXT, UserName TEXT, Password TEXT, ActiveFtp INTEGER);
INSERT INTO CustomPatchLocationDtls VALUES (1, 'HTTP', 'http://127.0.0.1:$http_port/custom', 'POS_Custom', NULL, NULL, NULL, 0);
SQL

# --- Loopback servers.
cat >"$demo/lighttpd.conf" <<CONF
server.bind = "127.0.0.1"
server.port = $http_port
server.document-root = "$www"
server.errorlog = "$demo/lighttpd.log"
mimetype.assign = ( "" => "application/octet-stream" )
CONF
/usr/sbin/lighttpd -D -f "$demo/lighttpd.conf" >"$demo/lighttpd.out" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/scripts/ftp_server.py" "$ftp_port" "$ftp" demo demo-pass >"$demo/ftp.log" 2>&1 &
pids+=($!)
wait_port "$http_port"
wait_port "$ftp_port"
echo "== HTTP server on 127.0.0.1:$http_port, FTP server on 127.0.0.1:$ftp_port"

for edition in POS HO; do
    echo
    echo "== liveupdate download --edition $edition --no"
    lu --no download --edition "$edition"
done

echo
echo "== Downloaded archives"
ls -l "$downloads"/*.zip
echo
echo "== DownloadedPatchList.ini"
cat "$downloads/DownloadedPatchList.ini"
echo
echo "== End of the update log ($downloads/PelvarUpdate.log)"
tail -n 25 "$downloads/PelvarUpdate.log"
