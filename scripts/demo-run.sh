#!/bin/bash
# The demo itself, on already built executables: scripts/demo-run.sh BIN_DIR [KEEP_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1" && pwd)
demo=${2:-$(mktemp -d /tmp/liveupdate-demo-XXXXXX)}
mkdir -p "$demo"
root=$demo/root app=$demo/app downloads=$demo/downloads www=$demo/www ftp=$demo/ftp
# Each edition downloads into its own folder: the wizard applies everything its folder holds.
mkdir -p "$root/var/lib" "$app" "$downloads/POS" "$downloads/HO" "$www/pos" "$www/ho" "$www/custom" "$ftp/pos" "$ftp/ho" "$demo/db"
lu() { "$bin/liveupdate" --root "$root" --app-folder "$app" "$@"; }

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.05; done; echo "server on $1 did not start" >&2; return 1; }

echo "== Demo installation in $demo"
http_port=$(free_port)
ftp_port=$(free_port)

# --- The installed product: each edition's program folder with the files the patches replace,
# and a shared folder at the drive root that one patch writes into.
pos_app=$root/drive_c/Pelvar9 ho_app=$root/drive_c/Pelvar9HO
mkdir -p "$pos_app/Help" "$ho_app" "$root/drive_c/PelvarShared/Terminals" "$root/var/lib/Orken/Pelvar9"
for f in PLPOS.exe PLRcpt.dll PLStock.dll PLSecAu.dll; do printf '%s 9.0.1.02\r\n' "$f" >"$pos_app/$f"; done
for f in PLHO.exe PLRepl.dll PLPrice.dll; do printf '%s 9.0.1.02\r\n' "$f" >"$ho_app/$f"; done
printf 'PELVARAPPPATH=%s\r\nSETUPTYPE=Server\r\nNODEID=1\r\n' "$pos_app" >"$root/var/lib/Orken/Pelvar9/PelvarPOSSystem.DAT"
printf 'PELVARAPPPATH=%s\r\nSETUPTYPE=Server\r\nNODEID=1\r\n' "$ho_app" >"$root/var/lib/Orken/Pelvar9/PelvarHOSystem.DAT"

# --- Patch archives and update-information files, as a publisher makes them.
# A patch: its files (each "name" or "name=destination", the destination being a packing-list
# record "base\-#-sub\-#-register") and a PackingList.ini of records "-GO-", fields "-#-".
make_patch() { # folder archive version file...
    local folder=$1 archive=$2 version=$3; shift 3
    local work list="" item name record; work=$(mktemp -d)
    for item in "$@"; do
        name=${item%%=*} record=${item#*=}
        printf '%s %s\r\n' "$name" "$version" >"$work/$name"
        [ -n "$list" ] && list+=$'\r\n'
        list+="$name-#-${record%-#-*}-#-$name-#-${record##*-#-}-GO-"
    done
    printf '%s' "$list" >"$work/PackingList.ini"
    (cd "$work" && zip -q "$folder/$archive" ./*)
    rm -rf "$work"
}
# An entry line: four publisher fields, then "archive:version:release:remark" scrambled.
entry() { printf 'PELVAR:9:%s:%s:' "$2" "$(date +%Y%m%d)"; printf '%s\r\n' "$1" | lu scramble; }
publish() { # file entries...
    local file=$1; shift
    { printf '// Pelvar 9 update information\r\n'; for e in "$@"; do entry "$e" "$(basename "$file")"; done; } >"$file"
}
in_app='Pelvar9\-#-Pelvar9\'
in_ho='Pelvar9HO\-#-Pelvar9HO\'
make_patch "$www/pos" POS_9_0_1_03.zip 9.0.1.03 "PLPOS.exe=$in_app-#-Y" "PLRcpt.dll=$in_app-#-Y" \
    'Till.ini=PelvarShared\-#-Terminals\-#-N'
make_patch "$ftp/pos" POS_9_0_1_04.zip 9.0.1.04 "PLStock.dll=$in_app-#-Y" 'StockHelp.txt=Help\-#-AppPath\-#-N'
make_patch "$www/ho" HO_9_0_1_03.zip 9.0.1.03 "PLHO.exe=$in_ho-#-Y" "PLRepl.dll=$in_ho-#-Y"
make_patch "$ftp/ho" HO_9_0_1_04.zip 9.0.1.04 "PLPrice.dll=$in_ho-#-Y"
make_patch "$www/custom" POSSECAU_9_0_1_03.zip 9.0.1.03 "PLSecAu.dll=$in_app-#-Y"
publish "$www/pos/Pelvar9_POShttp.dat" "POS_9_0_1_03.zip:9.0.1:9.0.1.03:Receipt printing fix"
printf '// no further entries\r\n' >"$www/pos/Pelvar9_POShttp.P9Q"
publish "$ftp/pos/Pelvar9_POSftp.dat" "POS_9_0_1_04.zip:9.0.1:9.0.1.04:Stock report fix"
publish "$www/ho/Pelvar9_hohttp.dat" "HO_9_0_1_03.zip:9.0.1:9.0.1.03:Replication fix"
printf '// no further entries\r\n' >"$www/ho/Pelvar9_hohttp.P9Q"
publish "$ftp/ho/Pelvar9_HOftp.dat" "HO_9_0_1_04.zip:9.0.1:9.0.1.04:Price list fix"
publish "$www/custom/Pelvar9_POS_Custom.dat" "POSSECAU_9_0_1_03.zip:9.0.1:9.0.1.03:Security database update"
printf '// no further entries\r\n' >"$www/custom/Pelvar9_POS_Custom.P9Q"

# --- Signed updates (LIVEUPDATE_DEMO_UNSIGNED=1 keeps the plain files above): the publisher's
# key made by minisign, every location published again by `liveupdate publish`, and the key
# trusted by the installation, which then installs only what that key signed.
signed=${LIVEUPDATE_DEMO_UNSIGNED:-yes}
[ "$signed" = 1 ] && signed=""
if [ -n "$signed" ]; then
    mkdir -p "$demo/keys"
    minisign -G -W -f -p "$demo/keys/demo.pub" -s "$demo/keys/demo.key" >/dev/null
    sign() { # folder name edition archive:release...
        local out=$1 name=$2 edition=$3 item archives=(); shift 3
        for item in "$@"; do archives+=("$out/$item"); done
        lu publish --edition "$edition" --name "$name" --key "$demo/keys/demo.key" --out "$out" "${archives[@]}" >/dev/null
    }
    sign "$www/pos" POShttp POS POS_9_0_1_03.zip:9.0.1.03
    sign "$ftp/pos" POSftp POS POS_9_0_1_04.zip:9.0.1.04
    sign "$www/ho" hohttp HO HO_9_0_1_03.zip:9.0.1.03
    sign "$ftp/ho" HOftp HO HO_9_0_1_04.zip:9.0.1.04
    sign "$www/custom" POS_Custom POS POSSECAU_9_0_1_03.zip:9.0.1.03
fi

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
printf 'Download path=%s\r\nDownload File=POShttp.ini\r\nDownload File=POSftp.ini\r\n' "$downloads/POS" >"$app/POSDownloadSettings.config"
printf 'Download path=%s\r\nDownload File=hohttp.ini\r\nDownload File=HOftp.ini\r\n' "$downloads/HO" >"$app/HODownloadSettings.config"

# --- The product's registry values and the editions' security databases: the shop's lists a
# custom patch location for its security update, the head office's has none.
for key in POS ENTERPRISE; do
    lu reg set "Software\\Pelvar\\$key" SERVERTYPE ACCESS
    lu reg set "Software\\Pelvar\\$key" PROVIDER Microsoft.Jet.OLEDB.4.0
    lu reg set "Software\\Pelvar\\$key" VASECDBPATH "$demo/db"
    lu reg set "Software\\Pelvar\\$key" VASECDBPASSWORD demo
    lu reg set "Software\\Pelvar\\$key" PatchVer 9.0.1.02
done
lu reg set 'Software\Pelvar\POS' VASECDBNAME Security.mdb
lu reg set 'Software\Pelvar\ENTERPRISE' VASECDBNAME SecurityHO.mdb
lu reg set 'Software\Pelvar\POS' PELVARAPPPATH "$pos_app"
lu reg set 'Software\Pelvar\ENTERPRISE' PELVARAPPPATH "$ho_app"
lu reg set 'Software\Pelvar\SetupType' SetupType Server
lu reg set 'Software\Pelvar\NodeInfo' NodeId 1
security_db() { # file, name ending of the companies' database files
    sqlite3 "$1" <<SQL
CREATE TABLE VaCompany (CompCode TEXT PRIMARY KEY, Nm TEXT, DbType TEXT, DbPath TEXT,
    DbName TEXT, DbPassWd TEXT, DBServer TEXT, DbUserName TEXT, DbProvider TEXT);
INSERT INTO VaCompany VALUES
    ('C01', 'Demo Retail North', 'VSPMSACCESSDB', '$demo/db', 'north$2.db', '', '', '', ''),
    ('C02', 'Demo Retail South', 'VSPMSACCESSDB', '$demo/db', 'south$2.db', '', '', '', '');
CREATE TABLE VAPatchDtls (CompCd TEXT, CompanyNm TEXT, NodeId TEXT, PatchVersion TEXT, OtherRmks TEXT);
CREATE TABLE AuthorisedPOSPatches (ReleaseNo TEXT, ApprovedStatus TEXT);
INSERT INTO AuthorisedPOSPatches VALUES ('9.0.1.03', '1'), ('9.0.1.04', '1');
CREATE TABLE CustomPatchLocationDtls (ActiveFlag INTEGER, DownLoadType TEXT, LocationAddress TEXT,
    CustmPatchName TEXT, PortNo TEXT, UserName TEXT, Password TEXT, ActiveFtp INTEGER);
SQL
}
# The companies' own databases: the final task records each applied patch in them.
for company in north south north-ho south-ho; do
    sqlite3 "$demo/db/$company.db" <<SQL
CREATE TABLE SysParam (ParamCode TEXT, Dt TEXT);
CREATE TABLE GenLookup (RecID INTEGER, Code TEXT, Number TEXT);
CREATE TABLE Showroommaster (CompCode TEXT, DbProvider TEXT, DBServer TEXT, DbUserName TEXT,
    DbPassWd TEXT, DbName TEXT, SwInstall TEXT);
CREATE TABLE VAPatchDtls (CompCode TEXT, CompName TEXT, PatchVer TEXT, PatchDt TEXT,
    AppliedDt TEXT, BusinessDt TEXT, ProductVer TEXT, Lookups TEXT, ScriptName TEXT,
    Note1 TEXT, Note2 TEXT, Note3 TEXT, Flag1 INTEGER, Flag2 INTEGER, Flag3 INTEGER);
SQL
done
security_db "$demo/db/Security.mdb" ""
security_db "$demo/db/SecurityHO.mdb" -ho
sqlite3 "$demo/db/Security.mdb" \
    "INSERT INTO CustomPatchLocationDtls VALUES (1, 'HTTP', 'http://127.0.0.1:$http_port/custom', 'POS_Custom', NULL, NULL, NULL, 0);"

# --- Loopback servers.
cat >"$demo/lighttpd.conf" <<CONF
server.bind = "127.0.0.1"
server.port = $http_port
server.document-root = "$www"
server.errorlog = "$demo/lighttpd.log"
mimetype.assign = ( "" => "application/octet-stream" )
# The tampered archive is put back at once: no cached size or open file may outlive it.
server.stat-cache-engine = "disable"
CONF
/usr/sbin/lighttpd -D -f "$demo/lighttpd.conf" >"$demo/lighttpd.out" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/scripts/ftp_server.py" "$ftp_port" "$ftp" demo demo-pass >"$demo/ftp.log" 2>&1 &
pids+=($!)
wait_port "$http_port"
wait_port "$ftp_port"
echo "== HTTP server on 127.0.0.1:$http_port, FTP server on 127.0.0.1:$ftp_port"

if [ -n "$signed" ]; then
    echo
    echo "== liveupdate keys add (the publisher's key; POS_Custom may be signed for the custom location)"
    lu keys add "$demo/keys/demo.pub" --custom-name POS_Custom
    echo
    echo "== A tampered archive: one byte of POS_9_0_1_03.zip changed on the server"
    served=$www/pos/POS_9_0_1_03.zip
    cp -p "$served" "$demo/original.zip"
    /usr/bin/python3 -c 'import sys; p=sys.argv[1]; b=bytearray(open(p,"rb").read()); b[len(b)//2]^=1; open(p,"wb").write(b)' "$served"
    lu --no download --edition POS >/dev/null 2>&1 && echo "(unexpected: accepted)" || echo "liveupdate download exited $?"
    grep -h "refused" "$downloads/POS/PelvarUpdate.log" | tail -n 1
    ls "$downloads/POS"/POS_9_0_1_03.zip 2>/dev/null || echo "(no POS_9_0_1_03.zip was kept)"
    mv "$demo/original.zip" "$served"
fi

for edition in POS HO; do
    echo
    echo "== liveupdate download --edition $edition --no"
    lu --no download --edition "$edition"
done

echo
echo "== Downloaded archives"
ls -l "$downloads"/*/*.zip
echo
echo "== DownloadedPatchList.ini"
for edition in POS HO; do echo "-- $edition"; cat "$downloads/$edition/DownloadedPatchList.ini"; done

# --- Apply what was downloaded: the wizard's "Check for Updates" without a window. The
# database steps run the patches' scripts on the demo databases.
# The shop edition has a custom patch: its first run applies that one (first pass) and stops,
# asking to run again; the second run applies the regular patches step by step.
for edition in POS POS HO; do
    echo
    echo "== liveupdate --yes apply --edition $edition"
    lu --yes apply --edition "$edition"
done

# Registration runs in the background (the batch files are not waited for): give it a moment.
for _ in $(seq 1 50); do
    lu reg list 'Software\Pelvar\Registered Components' 2>/dev/null | grep -qi 'PLPrice.dll' && break
    sleep 0.1
done

show_crlf() { sed 's/\r$//' "$1"; }
for app_dir in "$pos_app" "$ho_app"; do
    echo
    echo "== Program files now in $app_dir"
    for f in "$app_dir"/*.exe "$app_dir"/*.dll "$app_dir"/Help/*; do
        [ -f "$f" ] || continue
        printf '%-18s %s\n' "${f#"$app_dir"/}" "$(head -c 40 "$f" | tr -d '\r\n')"
    done
    echo
    echo "== $app_dir/GenUpdate.dat"
    if [ -f "$app_dir/GenUpdate.dat" ]; then show_crlf "$app_dir/GenUpdate.dat"; else echo "(none: no custom patch for this edition)"; fi
    echo
    echo "== Backup archives"
    find "$app_dir/Backup" -iname '*.zip' -print0 2>/dev/null | sort -z | while IFS= read -r -d '' z; do
        unzip -l "$z"
    done
    for bat in Unreg_3.bat Reg_3.bat; do
        echo
        echo "== $app_dir/$bat"
        if [ -f "$app_dir/$bat" ]; then show_crlf "$app_dir/$bat"; else echo "(none)"; fi
    done
    echo
    echo "== Progress file: $([ -f "$app_dir/Process3.log" ] && echo "left behind" || echo "gone, the run ended normally")"
done
echo
echo "== Files for folders at the drive root and their copies under LiveUpdatePatches"
find "$root/drive_c/PelvarShared" "$pos_app/LiveUpdatePatches" -type f 2>/dev/null | sed "s|^$root/||" | sort
echo
echo "== Patch records of the demo companies (VAPatchDtls: company, patch, applied)"
for company in north south north-ho south-ho; do
    sqlite3 -separator ' | ' "$demo/db/$company.db" \
        "SELECT '$company.db', CompName, PatchVer, AppliedDt FROM VAPatchDtls"
done
echo
echo "== Recorded component registrations"
lu reg list 'Software\Pelvar\Registered Components'
echo
echo "== End of the Point of Sale update log ($downloads/POS/PelvarUpdate.log)"
tail -n 30 "$downloads/POS/PelvarUpdate.log"
