#!/usr/bin/python3
"""Apply benchmark: `liveupdate apply` against the same file work done with unzip, zip and cp.

usage: bench/apply.py [BUILD_DIR] [--patches N] [--files N] [--file-kib N] [--runs N]
                      [--data random|program|both] [--keep]

The download is already done: the download folder holds the patch archives (each with
PackingList.ini and incompressible program files that replace installed ones in the product
folder) and the update-information file; the edition has no download locations. Each run
starts from the same installation. Ours is
`liveupdate --yes apply --no-download --edition POS`; the reference is a shell script that copies the archives, unpacks them, zips the installed
versions of the files each patch replaces and copies the new files over them. Prints median
wall times, the ratio (ours / reference) and our peak resident memory. Two data sets: random
bytes (already compressed files: the backup stores them) and program-like files (a small
vocabulary of machine words and text, which deflate shrinks about threefold). The last lines are
"apply ratio program-like Y" and "apply ratio X" (random data).
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

from run import SOURCE, timed

EDITION_KEYS = ("POS", "ENTERPRISE")


def lu(binary, root, app, *args, stdin=None):
    return subprocess.run([binary, "--root", root, "--app-folder", app, *args], input=stdin,
                          check=True, capture_output=True).stdout


WORDS = [os.urandom(4) for _ in range(48)] + [w.encode() for w in (
    "mov", "push", "call", "ret", "Invoice", "Total", "Customer", "Report", "\x00\x00\x00\x00")]


def content(size, kind):
    """`size` bytes of random data, or of program-like data (words of a small vocabulary)."""
    if kind == "random":
        return os.urandom(size)
    rng = random.Random(size)
    out = bytearray()
    while len(out) < size:
        out += rng.choice(WORDS)
    return bytes(out[:size])


def write_patch(path, version, names, size, kind):
    """An archive whose files all go to the product folder (packing-list fields 2 and 3 equal)."""
    work = tempfile.mkdtemp(prefix="patch-", dir=os.path.dirname(path))
    records = []
    for name in names:
        with open(os.path.join(work, name), "wb") as f:
            f.write(version.encode() + b"\n" + content(size - len(version) - 1, kind))
        records.append(f"{name}-#-Pelvar9\\-#-Pelvar9\\-#-{name}-#-N-GO-")
    with open(os.path.join(work, "PackingList.ini"), "w", newline="") as f:
        f.write("\r\n".join(records))
    subprocess.run(["zip", "-q", "-r", path, "."], cwd=work, check=True)
    shutil.rmtree(work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--patches", type=int, default=10)
    parser.add_argument("--files", type=int, default=100)
    parser.add_argument("--file-kib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--data", choices=("random", "program", "both"), default="both")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    liveupdate = os.path.join(args.build, "bin", "liveupdate")
    kinds = ("program", "random") if args.data == "both" else (args.data,)
    ratios = {kind: measure(args, liveupdate, kind) for kind in kinds}
    if "program" in ratios:
        print(f"apply ratio program-like {ratios['program']:.2f}")
    if "random" in ratios:
        print(f"apply ratio {ratios['random']:.2f}")


def measure(args, liveupdate, kind):
    work = tempfile.mkdtemp(prefix="liveupdate-apply-bench-")
    try:
        names = [f"Module{k:03d}.rpt" for k in range(args.files)]
        archives = [f"POS_9_0_1_{k:02d}.zip" for k in range(1, args.patches + 1)]
        downloads = os.path.join(work, "downloads")
        pristine = os.path.join(work, "installed")
        os.makedirs(downloads)
        os.makedirs(pristine)
        for name in names:
            with open(os.path.join(pristine, name), "wb") as f:
                f.write(b"installed\n" + content(args.file_kib * 1024 - 10, kind))
        for archive in archives:
            version = archive[4:-4].replace("_", ".")
            write_patch(os.path.join(downloads, archive), version, names, args.file_kib * 1024,
                        kind)
        total = sum(os.path.getsize(os.path.join(downloads, a)) for a in archives)
        print(f"{kind} data: {args.patches} patches of {args.files} files of {args.file_kib} KiB "
              f"({total / (1 << 20):.0f} MiB of archives), {args.runs} runs each, medians")

        # The installation our runs start from: registry, system file, settings, security database.
        template = os.path.join(work, "template")
        root, app = os.path.join(template, "root"), os.path.join(template, "app")
        product = os.path.join(root, "drive_c", "Pelvar9")
        os.makedirs(os.path.join(root, "var", "lib", "Orken", "Pelvar9"))
        os.makedirs(app)
        with open(os.path.join(root, "var", "lib", "Orken", "Pelvar9", "PelvarPOSSystem.DAT"),
                  "w", newline="") as f:
            f.write(f"PELVARAPPPATH={product}\r\nSETUPTYPE=Server\r\nNODEID=1\r\n")
        with open(os.path.join(app, "POSDownloadSettings.config"), "w", newline="") as f:
            f.write(f"Download path={downloads}\r\n")
        security = os.path.join(work, "Security.mdb")
        subprocess.run(["sqlite3", security, "CREATE TABLE VaCompany (CompCode TEXT, Nm TEXT);"
                        "CREATE TABLE VAPatchDtls (CompCd TEXT, CompanyNm TEXT, NodeId TEXT, "
                        "PatchVersion TEXT, OtherRmks TEXT);"], check=True)
        for key in EDITION_KEYS:
            for name, value in (("SERVERTYPE", "ACCESS"), ("PROVIDER", "Microsoft.Jet.OLEDB.4.0"),
                                ("VASECDBPATH", work), ("VASECDBNAME", "Security.mdb"),
                                ("PELVARAPPPATH", product)):
                lu(liveupdate, root, app, "reg", "set", f"Software\\Pelvar\\{key}", name, value)
        lu(liveupdate, root, app, "reg", "set", "Software\\Pelvar\\SetupType", "SetupType",
           "Server")
        entries = "".join(f"{a}:9.0.1:{a[4:-4].replace('_', '.')}:bench\r\n" for a in archives)
        scrambled = lu(liveupdate, root, app, "scramble", stdin=entries.encode()).splitlines()
        with open(os.path.join(downloads, "Pelvar9_POSbench.dat"), "wb") as f:
            f.write(b"// the benchmark's patches\r\n")
            for line in scrambled:
                f.write(b"PELVAR:9:bench:20261205:" + line.rstrip(b"\r") + b"\r\n")

        ours_dir, ref_dir = os.path.join(work, "ours"), os.path.join(work, "reference")
        ours_product = os.path.join(ours_dir, "root", "drive_c", "Pelvar9")
        ref_product = os.path.join(ref_dir, "product")

        def fresh_installations():
            for folder in (ours_dir, ref_dir):
                shutil.rmtree(folder, ignore_errors=True)
            shutil.copytree(template, ours_dir)
            # The template names the product folder by its own path; the copy must name its own.
            for key in EDITION_KEYS:
                lu(liveupdate, os.path.join(ours_dir, "root"), os.path.join(ours_dir, "app"),
                   "reg", "set", f"Software\\Pelvar\\{key}", "PELVARAPPPATH", ours_product)
            dat = os.path.join(ours_dir, "root", "var", "lib", "Orken", "Pelvar9",
                               "PelvarPOSSystem.DAT")
            with open(dat, "w", newline="") as f:
                f.write(f"PELVARAPPPATH={ours_product}\r\nSETUPTYPE=Server\r\nNODEID=1\r\n")
            with open(os.path.join(ours_dir, "app", "POSDownloadSettings.config"), "w",
                      newline="") as f:
                f.write(f"Download path={downloads}\r\n")
            for target in (ours_product, ref_product):
                shutil.copytree(pristine, target)
            # The log of earlier runs would only grow.
            log = os.path.join(downloads, "PelvarUpdate.log")
            if os.path.exists(log):
                os.remove(log)

        newest = archives[-1][4:-4].replace("_", ".").encode()

        def applied(product_dir):
            for name in names:
                with open(os.path.join(product_dir, name), "rb") as f:
                    if f.read(len(newest)) != newest:
                        raise RuntimeError(f"{product_dir}/{name} is not the newest version")

        # The same file work in shell: copy the archives, unpack each, back up the installed
        # versions of its files, copy the new files over them.
        temp = os.path.join(ref_dir, "PatchTemp")
        backup = os.path.join(ref_dir, "Backup")
        # The file list goes through a file and the copies through folders, so that many
        # thousand files do not overflow a command line.
        file_list = os.path.join(work, "files.lst")
        with open(file_list, "w") as f:
            f.write("\n".join(names) + "\n")
        script = ["set -e", f'mkdir -p "{temp}" "{backup}"']
        script += [f'cp "{downloads}/{a}" "{temp}/"' for a in archives]
        script += [f'unzip -qq -o -d "{temp}/{a[:-4]}" "{temp}/{a}"' for a in archives]
        script += [f'(cd "{ref_product}" && zip -qq "{backup}/{a[:-4]}.zip" -@ < "{file_list}")'
                   for a in archives]
        script += [f'cp -R "{temp}/{a[:-4]}/." "{ref_product}/"' for a in archives]
        reference = ["sh", "-c", "\n".join(script)]
        ours = [liveupdate, "--root", os.path.join(ours_dir, "root"), "--app-folder",
                os.path.join(ours_dir, "app"), "--yes", "apply", "--no-download", "--edition", "POS"]

        our_times, ref_times, peak = [], [], 0
        for _ in range(args.runs):
            for command, times, product_dir in ((ours, our_times, ours_product),
                                                (reference, ref_times, ref_product)):
                fresh_installations()
                elapsed, rss = timed(command)
                applied(product_dir)
                times.append(elapsed)
                if command is ours:
                    peak = max(peak, rss)
        ours_median, ref_median = statistics.median(our_times), statistics.median(ref_times)
        ratio = ours_median / ref_median
        print(f"apply: ours {ours_median:.2f}s, reference {ref_median:.2f}s, ratio {ratio:.2f}, "
              f"our peak memory {peak / 1024:.1f} MiB")
        return ratio
    finally:
        if args.keep:
            print(f"work folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
