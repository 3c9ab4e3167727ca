#!/usr/bin/env python3
"""Runs the Windows program under wine with its output on a terminal, where wine gives it a
console, and compares the screen that tmux renders with console/screen, whole.

Inside one `cmd`, the console's code pages are set to 850, and the output code page is shown
(by CODE_PAGE.exe, as wine's `chcp` shows the input one) before and after each run: on a UTF-8
report, the same report in Windows-1252, and an accented file name that does not exist. The
program must show every accent, and leave the code page as it was.

With "control_characters", the run is over a report that holds control characters instead, which
must show as visible symbols and not act on the terminal (console/control_characters.screen).

usage: console.py WORK_FOLDER WINE PROGRAM.exe CODE_PAGE.exe [control_characters]
"""

import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

DATA = pathlib.Path(__file__).parent / "console"
CONTROLS = pathlib.Path(__file__).parent / "cases" / "control_characters_shown_on_a_terminal"
SKIPPED = 77


def windows_path(path: pathlib.Path) -> str:
    return "Z:" + str(path.resolve()).replace("/", "\\")


def main() -> int:
    work, wine = pathlib.Path(sys.argv[1]), sys.argv[2]
    program, code_page = (windows_path(pathlib.Path(exe)) for exe in sys.argv[3:5])
    if shutil.which("tmux") is None:
        print("tmux is not installed: the console cannot be shown on a terminal")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    if sys.argv[5:] == ["control_characters"]:
        shutil.copy(CONTROLS / "report", work / "controles.txt")
        command, screen_file = f"{program} controles.txt <nul", DATA / "control_characters.screen"
    else:
        for report in ("utf8.txt", "windows-1252.txt"):
            shutil.copy(DATA / report, work / report)
        runs = " & ".join(f"{program} {name} <nul & {code_page}"
                          for name in ("utf8.txt", "windows-1252.txt", "Hélène.txt"))
        command, screen_file = f"chcp 850 & {code_page} & {runs}", DATA / "screen"
    # The socket is named relative to the work folder, as a full path may be too long for one.
    tmux = ["tmux", "-S", "./tmux.sock", "-f", "/dev/null"]
    subprocess.run(tmux + ["start-server", ";", "set-option", "-g", "remain-on-exit", "on", ";",
                           "new-session", "-d", "-x", "200", "-y", "60",
                           wine, "cmd", "/c", command],
                   cwd=work, check=True)
    pane = int(subprocess.run(tmux + ["display", "-p", "#{pane_pid}"], cwd=work, check=True,
                              capture_output=True, text=True).stdout)
    try:
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and subprocess.run(
                tmux + ["display", "-p", "#{pane_dead}"], cwd=work, capture_output=True,
                text=True).stdout.strip() != "1":
            time.sleep(0.5)
        # With the lines scrolled out of sight: wine's console scrolls as it starts.
        screen = subprocess.run(tmux + ["capture-pane", "-p", "-S", "-"], cwd=work, check=True,
                                capture_output=True, text=True).stdout
    finally:
        try:
            os.killpg(pane, signal.SIGKILL)  # wine's processes, should any still run
        except ProcessLookupError:
            pass
        subprocess.run(tmux + ["kill-server"], cwd=work, check=False)
    shown = [line.rstrip() for line in screen.rstrip("\n").split("\n")]
    while shown and (not shown[-1] or shown[-1].startswith("Pane is dead")):
        shown.pop()
    expected = screen_file.read_text(encoding="utf-8").split("\n")[:-1]
    if shown != expected:
        print("the screen shows:", *shown, "", "instead of:", *expected, sep="\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
