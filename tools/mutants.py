#!/usr/bin/env python3
"""Small source mutations that the test suite must catch.

Applies one mutation at a time in a checkout, rebuilds, runs the suite and restores the file,
then prints one row per mutation: caught, missed, build-failed (an invalid mutation: fix it)
or no-snippet (the original text is gone: re-express the mutation).

The suite runs in two rounds so that a caught mutation is usually found quickly: first the
test programs closest to the mutated folder, then, only when those pass, every other test.
A mutation counts as missed only when the whole suite passes.

usage: tools/mutants.py [--checkout DIR] [--build DIR] [--only LABEL ...] [--start N]
                        [--out FILE] [--list]
"""
import argparse
import json
import os
import subprocess
import sys
import time

# (file, original snippet, replacement, label). Each snippet occurs exactly once in its file.
MUTANTS = [
    # download
    ("src/download/UpdateInformation.cpp",
     'return head == "POSSECAU" || head == "POSAPPAU";', 'return head == "POSSECAU";',
     "info: POSAPPAU entries not custom"),
    ("src/download/UpdateInformation.cpp",
     "if (fields.size() == 5) {", "if (fields.size() == 4) {",
     "info: five-field lines not unscrambled"),
    ("src/download/UpdateInformation.cpp",
     "if (++total > limits::InfoFileBytes) {", "if (++total > limits::InfoFileBytes * 5 / 4) {",
     "info: file cap a quarter higher"),
    ("src/download/UpdateInformation.cpp",
     "if (static_cast<std::int64_t>(line.size()) >= limits::InfoLineBytes) {",
     "if (static_cast<std::int64_t>(line.size()) >= limits::InfoLineBytes + 8) {",
     "info: line cap eight bytes higher"),
    ("src/download/UpdateInformation.cpp",
     "if (colon != std::string::npos && !isPlainFileName(",
     "if (colon == std::string::npos && !isPlainFileName(",
     "info: entry names not checked"),
    ("src/download/UpdateInformation.cpp",
     'approved = !rows.empty() && rows.text(0, "ApprovedStatus") == "1";',
     "approved = !rows.empty();", "info: approval status ignored"),
    ("src/download/VerifyDownloadedPatches.cpp",
     "if (number <= installed) {", "if (number < installed) {",
     "verify: installed patch verified again"),
    ("src/download/VerifyDownloadedPatches.cpp",
     "if (walk_.FtpConnectFailures == 0 && walk_.TransferFailures == 0) {",
     "if (walk_.FtpConnectFailures == 0) {", "verify: transfer failures not reported"),
    ("src/download/DownloadSession.cpp",
     "if (editionFromText(location.Product) != state.edition) {", "if (false) {",
     "session: other edition's locations fetched"),
    ("src/download/HttpTransfer.cpp",
     "if (number <= applied) {", "if (number < applied) {",
     "http: applied custom patch fetched again"),
    ("src/platform/text/PlainName.cpp",
     "if (name.size() >= 2 && name[1] == ':') {", "if (false) {", "name: drive letter allowed"),
    ("src/platform/text/DateText.cpp",
     "const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;",
     "const bool leap = y % 4 == 0;", "date: 1900 a leap year"),
    ("src/platform/zip/ZipArchive.cpp",
     "if (used_ > limit_) {", "if (used_ > 2 * limit_) {", "zip: unpack cap doubled"),
    ("src/platform/zip/ZipArchive.cpp",
     "limit_ = std::min(limits::maximumUnpackedBytes(), std::max(byRatio, Floor));",
     "limit_ = limits::maximumUnpackedBytes();", "zip: no ratio cap"),
    ("src/platform/base/Limits.cpp",
     "at == end && value > 0 ? value : fallback;", "value > 0 ? value : fallback;",
     "limits: trailing text accepted"),
    ("src/platform/files/Files.cpp",
     "if (static_cast<long long>(bytes.size() + n) > maxBytes) {",
     "if (static_cast<long long>(bytes.size()) > maxBytes) {", "files: bounded read overshoots"),
    ("src/platform/schedule/CronTaskScheduler.cpp",
     "std::to_string(first + i)", "std::to_string(i)", "cron: list values from zero"),
    ("src/environment/SystemFile.cpp",
     'r.*field = text::upper(v) == "TRUE";', 'r.*field = v == "TRUE";',
     "system: flags case-sensitive"),
    ("src/environment/SystemFile.cpp",
     'put("USER-INF2", userInf2.empty() ? userInf2 : userInf2.substr(1));',
     'put("USER-INF2", userInf2);', "system: USER-INF2 written with its lead"),
    ("src/environment/RegistrySettings.cpp",
     "if (!value || value->size() > MaxValueLength) {", "if (!value) {",
     "registry: overlong values read"),
    ("src/environment/UpdateLog.cpp",
     'flag.empty() ? datetext::generalDate(datetext::now()) + ":" + message : message;',
     "message;", "log: no timestamp"),
    # settings
    ("src/settings/LocationEntry.cpp",
     "if (text::trim(e.password) != text::trim(e.confPassword)) {", "if (false) {",
     "location: password confirmation ignored"),
    ("src/settings/LocationEntry.cpp",
     "slash + 1 == address.size()) {", "false) {", "location: ftp folder may be empty"),
    ("src/settings/SettingsFiles.cpp",
     'if (name == "hohttp" || name == "POShttp") {', 'if (name == "hohttp") {',
     "settings: POShttp deletable"),
    ("src/settings/ScheduleSettings.cpp",
     "return 1 << datetext::weekday(date);", "return 1 << (datetext::weekday(date) % 6);",
     "schedule: Saturday bit wrong"),
    ("src/patcher/ScriptStatements.cpp",
     "if (!line.empty() && line.front() == '*') {", "if (false) {",
     "statements: * comment lines run"),
    ("src/patcher/ScriptStatements.cpp",
     "if (trimmed.empty() || trimmed.front() == '-') {", "if (trimmed.empty()) {",
     "statements: - lines start statements"),
    ("src/patcher/ScriptStatements.cpp",
     "skipping = true;", "skipping = false;", "statements: SHELLEXECUTE statements kept"),
    ("src/patcher/ScriptStatements.cpp",
     "result.unterminated = open;", "result.unterminated = false;",
     "statements: unterminated not noticed"),
    ("src/patcher/PackingList.cpp",
     "if (record.fields.size() < 5) {", "if (record.fields.size() < 4) {",
     "packing: short record accepted"),
    ("src/patcher/PackingList.cpp",
     'if (!record || text::upper(record->field(5)) != "Y") {',
     'if (!record || record->field(5) != "Y") {', "packing: register flag case-sensitive"),
    ("src/patcher/ResumeTable.cpp",
     "{\"Step5\", ResumeStep::SecurityScripts, ResumeStep::ApplicationScripts},",
     "{\"Step5\", ResumeStep::SecurityScripts, ResumeStep::SecurityScripts},",
     "resume: Step5 Over reruns step 5"),
    ("src/patcher/Backup.cpp",
     'patch + ".Zip"', 'patch + ".zip"', "backup: archive extension"),
    ("src/patcher/Backup.cpp",
     "date.substr(0, 2) + date.substr(3, 2) + date.substr(8, 2)",
     "date.substr(0, 2) + date.substr(3, 2) + date.substr(6, 2)", "backup: year in folder name"),
    ("src/patcher/Backup.cpp",
     "const bool kept = files::fileExists(archivePath);", "const bool kept = false;",
     "backup: same-day backup rebuilt"),
    ("src/patcher/PatchSelection.cpp",
     "return patchNumberLess(a.first, b.first);", "return false;",
     "order: patches applied in file order"),
    ("src/patcher/PatchSelection.cpp",
     "if (isNotAboveInstalled(name, run.HeldVersion) ||", "if (false ||",
     "rerun: installed patch applied again"),
    ("src/patcher/PatchSelection.cpp",
     "if (!applyFailed && files::fileExists(progress)) {", "if (files::fileExists(progress)) {",
     "progress: failed run forgets its progress"),
    ("src/patcher/ReplacementStep.cpp",
     "allReplaced = copyPackedFile(run, list, file, folder, version) && allReplaced;",
     "copyPackedFile(run, list, file, folder, version);", "replace: failed copy recorded"),
    ("src/patcher/Wizard.cpp",
     'WriteProgressLine(run, "Patches:" + text::joinText(run.PatchFolders, ":") +',
     'WriteProgressLine(run, "Unnamed:" + text::joinText(run.PatchFolders, ":") +',
     "resume: run's patches not recorded"),
    ("src/patcher/FinalTask.cpp",
     'if (version.empty() || ReadSetting(state.services.registry, "PatchVer", selector) == version) {',
     "if (version.empty()) {", "final: recorded level recorded twice"),
    ("src/patcher/FinalTask.cpp",
     "row.scriptName = patchScriptName(run, entryField(entry, 0), fileCompany);",
     "row.scriptName = patchScriptName(run, entryField(entry, 0), !fileCompany);",
     "final: script name of the other kind"),
    ("src/patcher/RunHygiene.cpp",
     "scratch::removeStale(folder, now);", "static_cast<void>(folder);",
     "hygiene: scratch files kept"),
    ("src/patcher/ApplicationScripts.cpp",
     'if (text::upper(piece) == text::upper(rooms.text(r, "SwInstall"))) {', "if (true) {",
     "replication: other versions updated"),
    ("src/patcher/ApplicationScripts.cpp",
     "if (schema == NoSchema) {", "if (true) {", "scripts: owner prefix kept"),
    ("src/patcher/SecurityScripts.cpp",
     '(access && hasKind(name, "MNA"))', "(access && false)", "security: MNA scripts skipped"),
]

# Test programs to try first, by the mutated folder.
NEAR = {
    "src/download": ["test_download", "test_ui_main", "test_ui_wizard", "replay_UpdateInformation"],
    "src/platform": ["test_platform", "test_environment", "replay_Registry"],
    "src/environment": ["test_environment", "replay_SystemFile"],
    "src/settings": ["test_settings", "test_ui_settings", "replay_Settings"],
    "src/patcher": ["test_patcher", "test_postgres"],
}


def ctest_tests(build):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                         capture_output=True, text=True).stdout
    tests = []
    for number, test in enumerate(json.loads(out)["tests"], start=1):
        command = test.get("command") or [""]
        tests.append((number, test["name"], os.path.basename(command[0])))
    return tests


def run_ctest(build, numbers):
    if not numbers:
        return True
    spec = "0,0,0," + ",".join(str(n) for n in numbers)
    result = subprocess.run(["ctest", "--stop-on-failure", "-j2", "--timeout", "300", "-I", spec],
                            cwd=build, capture_output=True, text=True)
    return result.returncode == 0


def build_targets(build, targets):
    command = ["cmake", "--build", build, "-j2"] + (["--target"] + targets if targets else [])
    return subprocess.run(command, capture_output=True).returncode == 0


def near_programs(path):
    for folder, programs in NEAR.items():
        if path.startswith(folder + "/"):
            return set(programs)
    return set()


def try_mutant(checkout, build, tests, mutant):
    path, original, replacement, _ = mutant
    full = os.path.join(checkout, path)
    with open(full, encoding="utf-8") as f:
        text = f.read()
    if text.count(original) != 1:
        return "no-snippet"
    try:
        with open(full, "w", encoding="utf-8") as f:
            f.write(text.replace(original, replacement))
        # The near programs and the programs tests start are built first; the rest only
        # when the near tests pass.
        near = near_programs(path)
        targets = sorted(near) + ["liveupdate", "PelvarPU", "PelvarLU"]
        if not build_targets(build, targets):
            return "build-failed"
        first = [n for n, _, program in tests if program in near]
        if not run_ctest(build, first):
            return "caught"
        if not build_targets(build, []):
            return "build-failed"
        if not run_ctest(build, [n for n, _, program in tests if program not in near]):
            return "caught"
        return "missed"
    finally:
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--checkout", default=os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))))
    parser.add_argument("--build")
    parser.add_argument("--only", nargs="*", help="labels (substrings) to run")
    parser.add_argument("--out", help="also write the table to this file")
    parser.add_argument("--start", type=int, default=0, help="skip this many mutations")
    parser.add_argument("--except", dest="skip", nargs="*", default=[],
                        help="labels (substrings) to leave out")
    parser.add_argument("--list", action="store_true", help="list the mutations and exit")
    args = parser.parse_args()
    chosen = [m for m in MUTANTS[args.start:]
              if (not args.only or any(o in m[3] for o in args.only))
              and not any(x in m[3] for x in args.skip)]
    if args.list:
        for m in chosen:
            print(f"{m[3]:45} {m[0]}")
        return 0
    checkout = os.path.abspath(args.checkout)
    build = os.path.abspath(args.build or os.path.join(checkout, "build"))
    tests = ctest_tests(build)
    rows = []
    out = open(args.out, "w", encoding="utf-8") if args.out else None
    for mutant in chosen:
        started = time.monotonic()
        outcome = try_mutant(checkout, build, tests, mutant)
        row = f"{mutant[3]:45} {outcome:12} {time.monotonic() - started:6.0f}s  {mutant[0]}"
        rows.append(outcome)
        print(row, flush=True)
        if out:
            out.write(row + "\n")
            out.flush()
    # Leave the build matching the restored sources.
    subprocess.run(["cmake", "--build", build, "-j2"], capture_output=True)
    summary = ", ".join(f"{rows.count(k)} {k}" for k in
                        ("caught", "missed", "build-failed", "no-snippet") if rows.count(k))
    print(summary)
    if out:
        out.write(summary + "\n")
        out.close()
    return 0 if rows.count("build-failed") + rows.count("no-snippet") == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
