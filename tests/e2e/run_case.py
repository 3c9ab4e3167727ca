#!/usr/bin/env python3
"""Runs ulvenaReader on one end-to-end case and compares everything it does, byte for byte.

A case is a folder: case.json (the fields of Case below), "report" (the report file before the
run; absent: no such file), and "stdout", "stderr" and "appended": what the program must print,
and what it must add to the end of the report file (absent: nothing). The bytes that were in the
file before the run must stay as they were. "*.windows" files hold the same where the Windows
program differs by more than its text mode: it reads a CR LF line end as LF and writes LF as
CR LF, on the console and in the file; those rules turn every other expectation into a Windows one.

Exits 0 when the case passes, 1 when it fails, and 77 (CTest's skip) when it cannot run here,
saying why: a case that needs to mount a file system where it may not, or that does not apply
to Windows.
"""

import argparse
import dataclasses
import errno
import json
import os
import pathlib
import pty
import resource
import select
import shutil
import subprocess
import sys
import termios
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
PAGE = 4096
# The forum block's picture paths, in the block's order.
PICTURE_PATHS = [line.split()[1] for line in (ROOT / "art/pictures.txt").read_text().splitlines()
                 if line and not line.startswith("#")]
SKIP = 77
# AddressSanitizer reserves more address space than a memory limit leaves: the sanitizer build,
# whose tests set ASAN_OPTIONS, is limited through its allocator instead.
SANITIZED = "ASAN_OPTIONS" in os.environ


@dataclasses.dataclass
class Case:
    """case.json; a field left out takes the default given here."""
    status: int = 0
    args: list = dataclasses.field(default_factory=lambda: ["{report}"])  # "{report}": its name
    stdin: str | None = ""  # what the program reads at its prompt; null: no standard input at all
    answer_prompt: bool = False  # send stdin only once the prompt is on the screen
    report_name: str = "rapports.txt"  # folders included
    report_from: str | None = None  # a file of the repository as the report, instead of "report"
    report_parts: list | None = None  # [Latin-1 text, times] pairs, for files too large to keep
    stdout_parts: list | None = None  # the same for the expected standard output, instead of
    #                                   "stdout"
    setup: str | list | None = None  # a Workspace method, or a list of them made in turn:
    #                                  directory, read_only, full_disk, fifo, output_to_report,
    #                                  error_to_report, append_only (root)
    memory_limit_mib: int | None = None  # the program's address space
    file_size_limit: int | None = None  # bytes, the largest file the program may write
    on_windows: bool = True  # false: the case does not apply to the Windows program
    stdout_to: str = "pipe"  # or "terminal" (a pty, its output bytes untouched), "closed", "gone"
    #                          (a pipe whose reader has closed it), "nonblocking_pipe" (one that
    #                          the runner starts reading only once it is full), or a file such
    #                          as /dev/full
    locale: str | None = None  # LC_ALL for the run: "C", or a locale that the runner makes with
    #                            localedef, such as "fr_FR.ISO-8859-15"; null: the tests' own
    stderr_to: str = "pipe"  # or "closed"
    stdin_stays_open: bool = False  # stdin a pipe that never ends: a run waiting on it fails
    stdin_nonblocking: bool = False  # stdin a pipe left non-blocking by whoever started the run


class Skip(Exception):
    """The case cannot run here; the message says why."""


def mount_tmpfs(folder: pathlib.Path, size: int):
    """Mounts a tmpfs of `size` bytes on `folder`, or raises Skip: without root, and where even
    root may not mount (a user namespace, an unprivileged container)."""
    if os.geteuid() != 0:
        raise Skip("mounting the small file system it needs takes root")
    mounting = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(folder)],
                              capture_output=True, text=True, check=False)
    if mounting.returncode != 0:
        said = (mounting.stderr.splitlines() or [f"status {mounting.returncode}"])[0]
        raise Skip("mounting the small file system it needs is refused here: " +
                   said.replace(f"{folder}: ", ""))


class Workspace:
    """The folder, under the build tree, in which a case runs, with its setup made whole on entry
    and undone on exit, passed or failed."""

    def __init__(self, folder: pathlib.Path, case: Case, before: bytes | None):
        self.folder, self.case, self.before = folder, case, before
        self.report = folder / case.report_name
        self.setups = [case.setup] if isinstance(case.setup, str) else case.setup or []
        self.mounted = False
        self.stdout_to_report = self.stderr_to_report = False

    def __enter__(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        try:
            # Root writes to any file whatever its mode, but not on a file system mounted read-only.
            if "full_disk" in self.setups or ("read_only" in self.setups and os.geteuid() == 0):
                self.mount()
            self.report.parent.mkdir(parents=True, exist_ok=True)
            if self.before is not None:
                self.report.write_bytes(self.before)
            self.make_locale()
            for setup in self.setups:
                getattr(self, setup)()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *_):
        if "append_only" in self.setups and self.report.exists():
            subprocess.run(["chattr", "-a", str(self.report)], check=True)
        if self.mounted:
            subprocess.run(["umount", str(self.folder)], check=True)
        shutil.rmtree(self.folder, ignore_errors=True)

    def mount(self):
        mount_tmpfs(self.folder, 16 * PAGE)
        self.mounted = True

    def directory(self):
        self.report.mkdir()

    def read_only(self):
        self.report.chmod(0o444)
        if self.mounted:
            subprocess.run(["mount", "-o", "remount,ro", str(self.folder)], check=True)

    def full_disk(self):
        """No page left: a report that fills whole pages can take no byte more, and one that
        ends inside a page only as many as fill it."""
        with open(self.folder / "filler", "wb", buffering=0) as filler:
            try:
                while filler.write(b"x" * PAGE):
                    pass
            except OSError as error:
                if error.errno != errno.ENOSPC:
                    raise

    def fifo(self):
        os.mkfifo(self.report)

    def output_to_report(self):
        self.stdout_to_report = True

    def error_to_report(self):
        self.stderr_to_report = True

    def append_only(self):
        if os.geteuid() != 0:
            raise Skip("making a file append-only takes root")
        subprocess.run(["chattr", "+a", str(self.report)], check=True)

    def make_locale(self):
        """The case's locale, made from Debian's locale sources in the work folder."""
        if self.case.locale in (None, "C"):
            return
        language, charset = self.case.locale.split(".")
        (self.folder / "locales").mkdir()
        made = subprocess.run(["localedef", "-i", language, "-f", charset,
                               str(self.folder / "locales" / self.case.locale)],
                              capture_output=True, check=False)
        if made.returncode != 0:
            raise Skip(f"localedef cannot make {self.case.locale} (apt-get install locales)")

    def start_in_child(self):
        """What the child does before the program starts: the case's limits."""
        if self.case.memory_limit_mib is not None and not SANITIZED:
            limit = self.case.memory_limit_mib << 20
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        if self.case.file_size_limit is not None:
            limit = self.case.file_size_limit
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        if self.case.stdin is None:
            os.close(0)
        elif self.case.stdin_nonblocking:
            os.set_blocking(0, False)
        for stream, where in ((1, self.case.stdout_to), (2, self.case.stderr_to)):
            if where == "closed":
                os.close(stream)

    def environment(self):
        environment = dict(os.environ)
        if self.case.locale is not None:
            environment["LC_ALL"] = self.case.locale
            if self.case.locale != "C":
                environment["LOCPATH"] = str(self.folder / "locales")
        if self.case.memory_limit_mib is not None and SANITIZED:
            # Its warning of the allocation it refused goes to a file, not to the output compared;
            # a real fault still aborts the run.
            environment["ASAN_OPTIONS"] += (":allocator_may_return_null=1:max_allocation_size_mb="
                                            f"{self.case.memory_limit_mib}"
                                            f":log_path={self.folder / 'sanitizer'}")
        return environment


def windows_text(data: bytes) -> bytes:
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def joined(parts: list) -> bytes:
    return b"".join(text.encode("latin-1") * count for text, count in parts)


def expected(folder: pathlib.Path, name: str, windows: bool, parts: list | None = None) -> bytes:
    if parts is not None:
        return windows_text(joined(parts)) if windows else joined(parts)
    override = folder / (name + ".windows")
    if windows and override.exists():
        return override.read_bytes()
    path = folder / name
    data = path.read_bytes() if path.exists() else b""
    return windows_text(data) if windows else data


def report_before(folder: pathlib.Path, case: Case) -> bytes | None:
    if case.report_parts is not None:
        return joined(case.report_parts)
    path = ROOT / case.report_from if case.report_from else folder / "report"
    return path.read_bytes() if path.exists() else None


def output_end(workspace: Workspace):
    """Where the program's standard output goes, and what the runner reads it from when that is
    not a plain pipe: the terminal's other side."""
    where = workspace.case.stdout_to
    if workspace.stdout_to_report:
        return open(workspace.report, "ab"), None  # pylint: disable=consider-using-with
    if where == "pipe":
        return subprocess.PIPE, None
    if where == "terminal":
        screen, terminal = pty.openpty()
        settings = termios.tcgetattr(terminal)
        settings[1] &= ~termios.OPOST  # the bytes as the program wrote them, LF not made CR LF
        termios.tcsetattr(terminal, termios.TCSANOW, settings)
        return terminal, screen
    if where == "gone":
        reader, writer = os.pipe()
        os.close(reader)
        return writer, None
    if where == "nonblocking_pipe":
        reader, writer = os.pipe()
        os.set_blocking(writer, False)
        return writer, reader
    return open(os.devnull if where == "closed" else where, "wb"), None  # pylint: disable=R1732


def read_screen(screen: int, into: list[bytes], wait: float):
    """Reads what the program writes to a terminal or a pipe, after `wait` seconds."""
    time.sleep(wait)
    while True:
        try:
            chunk = os.read(screen, 65536)
        except OSError:  # EIO, once the program has closed the terminal
            chunk = b""
        if not chunk:
            return
        into.append(chunk)


def execute(command: list[str], workspace: Workspace) -> tuple[bytes, bytes, int]:
    """Runs the program; returns its standard output, standard error and status. With
    answer_prompt, the answer is sent only once the prompt has been printed, which shows that the
    prompt reaches the screen before the program waits."""
    case = workspace.case
    stdout, screen = output_end(workspace)
    stdin, endless = (subprocess.PIPE if case.stdin is not None else None), None
    if case.stdin_stays_open:
        stdin, endless = os.pipe()
    # pylint: disable-next=consider-using-with
    stderr = open(workspace.report, "ab") if workspace.stderr_to_report else subprocess.PIPE
    process = subprocess.Popen(
        command, cwd=workspace.folder, env=workspace.environment(), stdin=stdin, stdout=stdout,
        stderr=stderr, preexec_fn=workspace.start_in_child)
    for end in (stdout, stdin, stderr):
        if isinstance(end, int) and end >= 0:
            os.close(end)
        elif hasattr(end, "close"):
            end.close()
    shown: list[bytes] = []
    # A non-blocking pipe is read only after half a second, by when the program has filled it.
    wait = 0.5 if case.stdout_to == "nonblocking_pipe" else 0
    reader = None if screen is None else threading.Thread(target=read_screen,
                                                          args=(screen, shown, wait))
    if reader:
        reader.start()
    early = b""
    if case.answer_prompt:
        deadline = time.monotonic() + 10
        while not early.rstrip(b"\r\n").endswith(b"ENTER !!"):
            ready, _, _ = select.select([process.stdout], [], [], deadline - time.monotonic())
            chunk = os.read(process.stdout.fileno(), 65536) if ready else b""
            if not chunk:
                early += b"[no prompt on the screen while the program waits]"
                break
            early += chunk
        time.sleep(0.2)
        if process.poll() is not None:
            early += b"[the program ended without waiting for the answer]"
    try:
        out, err = process.communicate(
            None if case.stdin is None or endless else case.stdin.encode(),
            timeout=20 if endless else 600)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
        err = (err or b"") + b"[the program waited on its standard input, which never ends]"
    if endless:
        os.close(endless)
    if reader:
        reader.join()
        os.close(screen)
    return early + (out or b"") + b"".join(shown), err or b"", process.returncode


def compare(label: str, want: bytes, got: bytes) -> list[str]:
    if want == got:
        return []
    at = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
    return [
        f"{label} differs at byte {at} (expected {len(want)} bytes, got {len(got)}):\n"
        f"  expected ...{want[max(0, at - 40):at + 60]!r}\n"
        f"  got      ...{got[max(0, at - 40):at + 60]!r}"
    ]


def run(folder: pathlib.Path, work: pathlib.Path, program: list[str], windows: bool) -> list[str]:
    case = Case(**json.loads((folder / "case.json").read_text()))
    if windows and not case.on_windows:
        raise Skip("the case does not apply to the Windows program")
    before = report_before(folder, case)
    with Workspace(work, case, before) as workspace:
        args = [a.replace("{report}", case.report_name) for a in case.args]
        stdout, stderr, returncode = execute(program + args, workspace)
        failures = compare("stdout", expected(folder, "stdout", windows, case.stdout_parts), stdout)
        failures += compare("stderr", expected(folder, "stderr", windows), stderr)
        if returncode != case.status & 0xFF:
            failures.append(f"status: expected {case.status & 0xFF}, got {returncode}")
        if before is not None and workspace.report.is_file():
            after = workspace.report.read_bytes()
            failures += compare("file before the run", before, after[: len(before)])
            appended = expected(folder, "appended", windows)
            failures += compare("appended to the file", appended, after[len(before):])
        return failures


def report(name: str, failures: list[str]) -> int:
    """Prints what failed and the verdict; returns the exit status that tells it."""
    for failure in failures:
        print(failure)
    print(f"{name}: {'FAILED' if failures else 'passed'}")
    return 1 if failures else 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows", action="store_true", help="expect the Windows program")
    parser.add_argument("--work", type=pathlib.Path, required=True,
                        help="a folder to run the case in, made and removed by the runner")
    parser.add_argument("case", type=pathlib.Path)
    parser.add_argument("program", nargs="+", help="the program, after its emulator if any")
    options = parser.parse_args()
    program = [os.path.abspath(p) if os.path.exists(p) else p for p in options.program]
    try:
        failures = run(options.case, options.work.resolve(), program, options.windows)
    except Skip as reason:
        print(f"{options.case.name}: skipped: {reason}")
        return SKIP
    return report(options.case.name, failures)


if __name__ == "__main__":
    sys.exit(main())
