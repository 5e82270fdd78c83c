#!/bin/bash
# The database steps of the update wizard, both editions, on built executables:
#   scripts/demo-databases.sh BIN_DIR [KEEP_DIR]
# Point of Sale: an ACCESS security database and two companies as SQLite files.
# Head Office: a PostgreSQL cluster of its own in the demo folder (stopped at the end, by PID)
# with the security database, one company and one replication database.
# Each edition applies two patches with `liveupdate --yes apply --no-download`; afterwards
# the script prints every company's VAPatchDtls rows and the new registry values.
set -euo pipefail
bin=$(cd "$1" && pwd)
demo=${2:-$(mktemp -d /tmp/liveupdate-dbdemo-XXXXXX)}
mkdir -p "$demo"
# The PostgreSQL server runs as the postgres user, which must reach its cluster folder below.
chmod 711 "$demo"
export PELVAR_FRAMEWORK_WAIT_MS=${PELVAR_FRAMEWORK_WAIT_MS:-2000}
export PELVAR_ODBC_DRIVER="PostgreSQL Unicode"

pg_pid=""
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
cleanup() {
    if [ -n "$pg_pid" ]; then
        kill -INT "$pg_pid" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 "$pg_pid" 2>/dev/null || break; sleep 0.05; done
    fi
}
trap cleanup EXIT

# One installation per edition: sandbox root, component folder, product folder, downloads.
setup() { # dir
    mkdir -p "$1/root/var/lib" "$1/app" "$1/product/Temp3" "$1/downloads" "$1/db"
    printf 'framework' >"$1/product/PLPRFW04.dll"
    printf 'installed\r\n' >"$1/product/readme.txt"
}
lu() { "$bin/liveupdate" --root "$dir/root" --app-folder "$dir/app" "$@"; }
patch() { # archive name, then "path=content" pairs
    local archive=$1 work; shift
    work=$(mktemp -d)
    printf '1-#-PRODUCT\\-#-PRODUCT\\-#-readme.txt-#-N-GO-' >"$work/PackingList.ini"
    printf '%s\r\n' "$archive" >"$work/readme.txt"
    for pair in "$@"; do
        mkdir -p "$work/$(dirname "${pair%%=*}")"
        printf '%b' "${pair#*=}" >"$work/${pair%%=*}"
    done
    (cd "$work" && zip -qr "$dir/downloads/$archive" .)
    rm -rf "$work"
}
information() { # file entries...
    local file=$1; shift
    for e in "$@"; do printf '1:2:3:4:'; printf '%s\r\n' "$e" | lu scramble; done >"$dir/downloads/$file"
}

echo "== Point of Sale in $demo/pos"
dir=$demo/pos
setup "$dir"
sqlite3 "$dir/db/security.db" "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, DbPath, DbName, DbPassWd, DbUserName, DBServer); CREATE TABLE Menu (Src);"
for c in 1 2; do
    sqlite3 "$dir/db/company$c.db" "CREATE TABLE Items (Nm); CREATE TABLE VAPatchDtls (CompCode, CompName, PatchVer, PatchDt, AppliedDt, BusinessDt, ProductVer, LookupNos, ScriptName, Rem1, Rem2, Rem3, Flag1, Flag2, Flag3); CREATE TABLE GenLookup (RecID, Code, Number); CREATE TABLE SysParam (ParamCode, Dt); INSERT INTO GenLookup VALUES (101, 'A', '$c');"
done
sqlite3 "$dir/db/security.db" "INSERT INTO VaCompany VALUES ('C1', 'Main Street', 'Microsoft.Jet.OLEDB.4.0', 'VSPMSACCESSDB', '$dir/db', 'company1.db', 'demo', '', ''), ('C2', 'Smith''s Corner', 'Microsoft.Jet.OLEDB.4.0', 'VSPMSACCESSDB', '$dir/db', 'company2.db', 'demo', '', '');"
for kv in SERVERTYPE=ACCESS "PELVARAPPPATH=$dir/product" "VASECDBPATH=$dir/db" VASECDBNAME=security.db \
    VASECDBPASSWORD=demo PROVIDER=Microsoft.Jet.OLEDB.4.0 ProductVer=9.13; do
    lu reg set 'Software\Pelvar\POS' "${kv%%=*}" "${kv#*=}"
done
lu reg set 'Software\Pelvar\SetupType' SetupType 1
printf 'Download path=%s\r\n' "$dir/downloads" >"$dir/app/POSDownloadSettings.config"
patch POS_9_0_1_04.zip "Script/sec.MNA=INSERT INTO Menu VALUES ('receipts')\r\n-GO-\r\n" \
    "Script/app.DBA=INSERT INTO Items VALUES ('gift card')\r\n-GO-\r\n" \
    "Script/SECDBSCRIPTS.INI=menu.sql\r\n" "Script/menu.sql=INSERT INTO Menu VALUES ('menu')\r\n-GO-\r\n"
patch POS_9_0_1_05.zip "Script/app.DBA=INSERT INTO Items VALUES ('voucher')\r\n-GO-\r\n"
information Pelvar9_POShttp.dat "POS_9_0_1_04.zip:12/01/2026:9.0.1.04" "POS_9_0_1_05.zip:12/03/2026:9.0.1.05"
lu --yes apply --edition POS --no-download >"$dir/apply.out" 2>&1 || { cat "$dir/apply.out"; exit 1; }
for c in 1 2; do
    echo "-- company$c.db VAPatchDtls:"
    sqlite3 "$dir/db/company$c.db" "SELECT * FROM VAPatchDtls ORDER BY PatchVer;"
done
for name in LastUpdated PatchVer PatchEngineVer; do
    echo "POS $name = $(lu reg get 'Software\Pelvar\POS' "$name")"
done

echo "== Head Office in $demo/ho (own PostgreSQL cluster)"
dir=$demo/ho
setup "$dir"
pgdir=$dir/pg
mkdir -p "$pgdir"
chown postgres "$pgdir" 2>/dev/null || true
echo demo-secret >"$pgdir/pwfile"
chown postgres "$pgdir/pwfile" 2>/dev/null || true
as_pg "$pgbin/initdb" -D "$pgdir/data" -U postgres --auth=md5 --pwfile="$pgdir/pwfile" >"$pgdir/initdb.log"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
as_pg "$pgbin/pg_ctl" -D "$pgdir/data" -l "$pgdir/server.log" -w \
    -o "-p $port -c listen_addresses=127.0.0.1 -c unix_socket_directories=$pgdir -c fsync=off" start >/dev/null
pg_pid=$(head -n 1 "$pgdir/data/postmaster.pid")
sql() { PGPASSWORD=demo-secret psql -q -h 127.0.0.1 -p "$port" -U postgres -d "$1" -v ON_ERROR_STOP=1 -c "$2"; }
for db in vasec company1 store1db; do
    sql postgres "CREATE DATABASE $db"
    sql postgres "ALTER DATABASE $db SET search_path = dbo, public"
    sql "$db" "CREATE SCHEMA dbo"
done
server="127.0.0.1,$port"
sql vasec "CREATE TABLE dbo.VaCompany (CompCode varchar(9), Nm varchar(50), DbProvider varchar(30), DbType varchar(20), DbPath varchar(9), DbName varchar(50), DbPassWd varchar(30), DbUserName varchar(30), DBServer varchar(50)); CREATE TABLE dbo.Menu (Src varchar(20)); INSERT INTO dbo.VaCompany VALUES ('H01', 'Head Office Ltd', 'SQLOLEDB.1', 'SQLSERVER', '', 'company1', 'demo-secret', 'postgres', '$server')"
sql company1 "CREATE TABLE dbo.Items (Nm varchar(20)); CREATE TABLE dbo.VAPatchDtls (CompCode varchar(9), CompName varchar(50), PatchVer varchar(20), PatchDt date, AppliedDt date, BusinessDt date, ProductVer varchar(9), LookupNos varchar(50), ScriptName varchar(50), Rem1 varchar(9), Rem2 varchar(9), Rem3 varchar(9), Flag1 int, Flag2 int, Flag3 int); CREATE TABLE dbo.GenLookup (RecID int, Code varchar(9), Number varchar(9)); CREATE TABLE dbo.Showroommaster (SchemaName varchar(20), DbProvider varchar(30), DBServer varchar(50), DbUserName varchar(30), DbPassWd varchar(30), DbName varchar(50), SwInstall varchar(10)); INSERT INTO dbo.Showroommaster VALUES ('STORE1', 'SQLOLEDB.1', '$server', 'postgres', 'demo-secret', 'store1db', '9.13')"
sql store1db "CREATE SCHEMA store1; CREATE TABLE store1.Stock (Qty int); INSERT INTO store1.Stock VALUES (5); CREATE TABLE dbo.ReplVaPatchDtls (CompCode varchar(9), PatchVer varchar(20), PatchDt date, AppliedDt date, SwInstall varchar(10), NodeId varchar(20))"
for kv in SERVERTYPE=SQLSERVER "PELVARAPPPATH=$dir/product" "SERVERID=$server" VASEC-DB=vasec \
    PASSWORD=demo-secret USER-INF2=xpostgres ProductVer=9.2; do
    lu reg set 'Software\Pelvar\ENTERPRISE' "${kv%%=*}" "${kv#*=}"
done
lu reg set 'Software\Pelvar\SetupType' SetupType 1
printf 'Download path=%s\r\n' "$dir/downloads" >"$dir/app/HODownloadSettings.config"
patch HO_9_0_1_06.zip "Script/sec.MNS=INSERT INTO Menu VALUES ('price lists')\r\n-GO-\r\n" \
    "Script/app.DBS=INSERT INTO Items VALUES ('loyalty')\r\n-GO-\r\n" \
    "Script/9.13_R1.RBS=UPDATE [dbo].Stock SET Qty = Qty * 2\r\n-GO-\r\n"
patch HO_9_0_1_07.zip "Script/app.DBS=INSERT INTO Items VALUES ('returns')\r\n-GO-\r\n"
information Pelvar9_HOhttp.dat "HO_9_0_1_06.zip:12/02/2026:9.0.1.06" "HO_9_0_1_07.zip:12/04/2026:9.0.1.07"
lu --yes apply --edition HO --no-download >"$dir/apply.out" 2>&1 || { cat "$dir/apply.out"; exit 1; }
echo "-- company1 VAPatchDtls:"
sql company1 "SELECT * FROM VAPatchDtls ORDER BY PatchVer"
echo "-- store1db ReplVaPatchDtls and the replicated stock:"
sql store1db "SELECT * FROM ReplVaPatchDtls ORDER BY PatchVer"
sql store1db "SELECT Qty FROM store1.Stock"
for name in LastUpdated PatchVer PatchEngineVer; do
    echo "HO $name = $(lu reg get 'Software\Pelvar\ENTERPRISE' "$name")"
done
echo "HO HODownLoadPath = $(lu reg get 'Software\Pelvar\LUInfo' HODownLoadPath)"
echo "== Update logs: $demo/pos/downloads/PelvarUpdate.log, $demo/ho/downloads/PelvarUpdate.log"
