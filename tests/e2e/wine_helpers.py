"""Shared plumbing for the end-to-end tests of Tessaly.scr under Wine.

The tests run inside tests/e2e/wine_session.sh, which provides DISPLAY and a throw-away
WINEPREFIX; ctest passes the built program and driver in QM_SCR and QM_DRIVER. Everything here
reaches the program from outside: through qmdriver (tests/e2e/driver/qmdriver.cpp), the registry
and the files of the prefix.
"""

from __future__ import annotations

import dataclasses
import os
import pathlib
import shutil
import subprocess
import tempfile
import time
from typing import Callable, Optional, Sequence, TypeVar

# Where every copy of the program keeps its settings: <root>\<program name>\Setting.
SETTINGS_ROOT = "software\\Brindlewick"

# Time allowed for one Wine call on top of any timeout the driver enforces itself; a slow CI
# machine starts a Wine process in well under a second, so this only catches a hang.
WINE_CALL_MARGIN_S = 60.0


class SessionMissing(RuntimeError):
    """The tests were started outside the Wine session they need."""


@dataclasses.dataclass(frozen=True)
class Session:
    prefix: pathlib.Path
    scr: pathlib.Path
    driver: pathlib.Path


_session: Optional[Session] = None


def session() -> Session:
    """The session's prefix and the built files; raises SessionMissing with how to fix it."""
    global _session
    if _session is not None:
        return _session
    how = ("run the tests through the Wine session, e.g. "
           "`bash tests/e2e/wine_session.sh ctest --preset windows`")
    missing = [name for name in ("WINEPREFIX", "DISPLAY") if not os.environ.get(name)]
    if missing:
        raise SessionMissing(f"{' and '.join(missing)} not set: {how}")
    prefix = pathlib.Path(os.environ["WINEPREFIX"])
    if not (prefix / "drive_c").is_dir():
        raise SessionMissing(f"WINEPREFIX={prefix} is not a booted Wine prefix: {how}")
    files = {}
    for name in ("QM_SCR", "QM_DRIVER"):
        value = os.environ.get(name)
        if not value:
            raise SessionMissing(f"{name} not set: ctest sets it; by hand, point it at the "
                                 "file the Windows build made")
        path = pathlib.Path(value)
        if not path.is_file():
            raise SessionMissing(f"{name}={path} does not exist: build the windows preset first")
        files[name] = path
    _session = Session(prefix=prefix, scr=files["QM_SCR"], driver=files["QM_DRIVER"])
    return _session


# --- Polling ----------------------------------------------------------------------------------

T = TypeVar("T")


def wait_until(condition: Callable[[], T], timeout: float = 30.0, interval: float = 0.05,
               what: str = "the condition") -> T:
    """Polls until `condition` returns something true and returns it; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


# --- Running Wine programs ----------------------------------------------------------------------

@dataclasses.dataclass
class WineResult:
    returncode: int
    stdout: str
    stderr: str


def run_wine(args: Sequence[str], timeout: float) -> WineResult:
    """Runs `wine ARGS...` to its end and returns what it printed.

    Output goes through files, not pipes: Wine's helper processes (explorer.exe, services) can
    inherit a pipe and keep it open long after the program ended.
    """
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(["wine", *args], stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err, start_new_session=True)
        try:
            returncode = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise AssertionError(f"wine {' '.join(args)} did not end within {timeout:.0f} s")
        out.seek(0)
        err.seek(0)
        return WineResult(returncode,
                          out.read().decode("utf-8", "replace").replace("\r\n", "\n"),
                          err.read().decode("utf-8", "replace").replace("\r\n", "\n"))


def windows_path(unix_path: os.PathLike | str) -> str:
    """The Windows form of a path of this machine (C:\\... inside the prefix, Z:\\... outside)."""
    result = subprocess.run(["winepath", "-w", os.fspath(unix_path)], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=WINE_CALL_MARGIN_S, check=True)
    return result.stdout.strip()


def unix_path(win_path: str) -> pathlib.Path:
    result = subprocess.run(["winepath", "-u", win_path], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=WINE_CALL_MARGIN_S, check=True)
    return pathlib.Path(result.stdout.strip())


# --- The driver ---------------------------------------------------------------------------------

@dataclasses.dataclass
class DriverResult:
    args: list[str]
    returncode: int
    lines: list[str]
    stderr: str

    def facts(self) -> dict[str, str]:
        """The "name: value" lines; a name given twice keeps its first value."""
        out: dict[str, str] = {}
        for line in self.lines:
            name, sep, value = line.partition(": ")
            if sep and name not in out:
                out[name] = value
        return out

    def all(self, name: str) -> list[str]:
        return [line.partition(": ")[2] for line in self.lines
                if line.partition(": ")[0] == name and ": " in line]

    def __getitem__(self, name: str) -> str:
        facts = self.facts()
        if name not in facts:
            raise AssertionError(f"qmdriver {' '.join(self.args)} printed no {name!r}:\n"
                                 f"{self.describe()}")
        return facts[name]

    def describe(self) -> str:
        return ("\n".join(self.lines) + f"\n(exit code {self.returncode})"
                + (f"\nstderr:\n{self.stderr}" if self.stderr.strip() else ""))


def driver(*args: str, timeout: float = WINE_CALL_MARGIN_S, check: bool = True) -> DriverResult:
    """Runs qmdriver; with `check`, any exit code but 0 fails the test with the driver's output."""
    result = run_wine([os.fspath(session().driver), *args], timeout=timeout)
    lines = [line for line in result.stdout.split("\n") if line]
    outcome = DriverResult(list(args), result.returncode, lines, result.stderr)
    if outcome.returncode == 2:
        raise AssertionError(f"qmdriver usage error for {list(args)}:\n{outcome.describe()}")
    if check and outcome.returncode != 0:
        raise AssertionError(f"qmdriver {' '.join(args)} failed:\n{outcome.describe()}")
    return outcome


@dataclasses.dataclass(frozen=True)
class RegValue:
    type: str
    data: bytes


@dataclasses.dataclass(frozen=True)
class RegKey:
    present: bool
    values: dict[str, RegValue]


def reg_list(subkey: str) -> RegKey:
    result = driver("reg-list", subkey)
    if not result.lines or not result.lines[0].startswith("key: "):
        raise AssertionError(f"unexpected reg-list output:\n{result.describe()}")
    values = {}
    for line in result.lines[1:]:
        # The name may hold "=" and ":"; the type and hex after the last "=" hold neither.
        name, _, typed = line.rpartition("=")
        type_name, _, hex_data = typed.partition(":")
        values[name] = RegValue(type_name, bytes.fromhex(hex_data))
    return RegKey(result.lines[0] == "key: present", values)


def reg_subkeys(subkey: str) -> Optional[list[str]]:
    """The names of the key's direct subkeys, or None when the key does not exist."""
    result = driver("reg-subkeys", subkey)
    if result["key"] == "absent":
        return None
    return result.all("subkey")


# Longer data goes through a file: a Windows command line holds at most 32,767 characters.
_LONGEST_HEX_ARGUMENT = 8192


def reg_set(subkey: str, name: str, type_name: str, data: bytes) -> None:
    if not data:
        driver("reg-set", subkey, name, type_name, "-")
        return
    hex_data = data.hex()
    if len(hex_data) <= _LONGEST_HEX_ARGUMENT:
        driver("reg-set", subkey, name, type_name, hex_data)
        return
    with tempfile.NamedTemporaryFile("w", suffix=".hex", dir=scratch_dir(), delete=False) as f:
        f.write(hex_data)
    try:
        driver("reg-set", subkey, name, type_name, "@" + windows_path(f.name))
    finally:
        os.unlink(f.name)


def reg_delete_tree(subkey: str) -> None:
    driver("reg-delete-tree", subkey)


def settings_key(program_name: str) -> str:
    return f"{SETTINGS_ROOT}\\{program_name}\\Setting"


def reg_sz(text: str, terminated: bool = True) -> bytes:
    """A string as the registry stores it: UTF-16LE, with its NUL unless told otherwise."""
    return (text + ("\0" if terminated else "")).encode("utf-16-le")


# --- Copies of the program ----------------------------------------------------------------------

def scratch_dir() -> pathlib.Path:
    """A folder for the tests' files inside the prefix, so that it has a C:\\ path."""
    path = session().prefix / "drive_c" / "quillmere-e2e"
    path.mkdir(exist_ok=True)
    return path


@dataclasses.dataclass(frozen=True)
class ProgramCopy:
    unix_path: pathlib.Path
    windows_path: str

    @property
    def name(self) -> str:
        """The program name it derives from its own file: no folder, no extension."""
        return self.unix_path.stem


def fresh_copy(file_name: str = "Tessaly.scr") -> ProgramCopy:
    """Copies the built program into a folder of its own under the name given."""
    folder = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=scratch_dir()))
    target = folder / file_name
    shutil.copyfile(session().scr, target)
    return ProgramCopy(target, windows_path(target))


def run_program(program: str, *args: str, timeout_ms: int = 20000) -> DriverResult:
    """Runs a Windows program through qmdriver's `run`; a timeout shows as exited: no."""
    return driver("run", str(timeout_ms), "--", program, *args,
                  timeout=timeout_ms / 1000 + WINE_CALL_MARGIN_S, check=False)


def stand_in(mutex: str, title: str, program: str, *args: str,
             timeout_ms: int = 20000) -> DriverResult:
    """Runs a program while qmdriver plays a first instance holding `mutex` and a window."""
    return driver("stand-in", mutex, title, str(timeout_ms), "--", program, *args,
                  timeout=timeout_ms / 1000 + WINE_CALL_MARGIN_S, check=False)
