#!/usr/bin/env python3
"""Fails when a source file includes a layer above its own, or Qt Widgets outside the windows.

usage: tools/check-layers.py [SRC_DIR]   (default: the repository's src/)

The folder under SRC_DIR names a file's layer. A file may include its own layer and those
below it; tops (entry, cli, launcher) may include any core layer and ui. Every problem is
printed as FILE:LINE: message, and the exit code is 1 when there was one.
"""
import pathlib
import re
import sys

# Lowest first. Layers of equal rank may not include each other unless they are the same.
RANKS = {
    "platform": 0,
    "environment": 1,
    "settings": 2,
    "download": 3,
    "patcher": 4,
    "ui": 5,
    "entry": 6,
    "cli": 7,
    "launcher": 7,
}
# Only these may include Qt Widgets headers.
WIDGETS_ALLOWED = {"ui", "entry", "launcher"}
WIDGETS_HEADERS = re.compile(
    r"#\s*include\s*<(QtWidgets/|Q(Application|Widget|Dialog|MainWindow|PushButton|Label|"
    r"LineEdit|ComboBox|CheckBox|RadioButton|ProgressBar|MessageBox|FileDialog|TableWidget|"
    r"GroupBox|HBoxLayout|VBoxLayout|GridLayout|FormLayout|DateEdit|TimeEdit|DateTimeEdit|"
    r"SpinBox|HeaderView|Layout|AbstractButton|Frame|StatusBar|ToolButton|ButtonGroup|"
    r"TextEdit|PlainTextEdit|ListWidget|Splitter|ScrollArea|StackedWidget|TabWidget|Style)\b)"
)
LOCAL_INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')


def layer_of(relative: pathlib.PurePath) -> str:
    return relative.parts[0]


def check(src: pathlib.Path) -> list[str]:
    problems = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".cpp", ".h", ".hpp", ".cc"} or not path.is_file():
            continue
        relative = path.relative_to(src)
        layer = layer_of(relative)
        if layer not in RANKS:
            problems.append(f"{path}:1: folder '{layer}' is no known layer")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            if WIDGETS_HEADERS.search(line) and layer not in WIDGETS_ALLOWED:
                problems.append(f"{path}:{number}: Qt Widgets header in layer '{layer}'")
            match = LOCAL_INCLUDE.search(line)
            if not match:
                continue
            target = pathlib.PurePosixPath(match.group(1))
            if len(target.parts) < 2:
                continue  # a header beside the file
            target_layer = target.parts[0]
            if target_layer not in RANKS:
                continue  # not one of ours (a test-support or third-party header)
            if target_layer != layer and RANKS[target_layer] >= RANKS[layer]:
                problems.append(
                    f"{path}:{number}: layer '{layer}' includes '{match.group(1)}' "
                    f"from layer '{target_layer}', which is not below it"
                )
    return problems


def main() -> int:
    default = pathlib.Path(__file__).resolve().parent.parent / "src"
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    if not src.is_dir():
        print(f"check-layers: no folder {src}", file=sys.stderr)
        return 2
    problems = check(src)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-layers: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
