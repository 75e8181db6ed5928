"""Runs one acceptance journey on a desktop of its own:  run.py MODULE JOURNEY

The journey is the function `JOURNEY` of `MODULE.py`; it gets a `Journey` with the desktop and the driver.
On failure the screen, the program's log and its stderr stay in the output folder and their paths are
printed. Everything started is stopped by pid however the journey ends, a time limit included. Against a
sanitizer build (QUORVANE_ACCEPTANCE_SANITIZED=1) leak checking is on and any sanitizer report in the
program's stderr fails the journey.
"""

import importlib
import os
import re
import shutil
import signal
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402
from driver import Driver  # noqa: E402

SKIP_STATUS = 77  # ctest's SKIP_RETURN_CODE for these journeys
LIMIT_SECONDS = 45  # well inside ctest's 60 s, which would kill without stopping anything
SANITIZED_LIMIT_SECONDS = 100  # the same inside 120 s for a sanitizer build, which runs slower
SANITIZER_REPORT = re.compile(r"ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: \w+Sanitizer")


class Journey:
    """What a journey works with: `d` the desktop, `ui` the driver, and the program once it runs."""

    def __init__(self, d):
        self.d = d
        self.ui = None
        self.app = None
        self.main = None

    def start_desktop(self, **kw):
        self.d.start(**kw)
        self.ui = Driver(self.d)
        return self

    def start_program(self, name="Quorvane.exe", **kw):
        """Launches the program through the toolbar stand-in and waits for its main window."""
        self.list_calls = self.calls("GetUserFiles")
        self.d.launch(name, **kw)
        pid = desktop.wait_until(self.d.client_pid, 10, "the program's process")
        self.app = self.ui.application(pid=pid)
        self.main = self.ui.window(self.app, "Cloffa - Tavirun", timeout=20)
        return self.main

    def calls(self, word):
        return int(self.d.service_command("calls " + word)) if self.d.service else 0

    def wait_ready(self, timeout=20):
        """Waits until the start-up sequence (version check, first list) is over: the service has been
        asked for the list, and the wait box shown before that question is gone again."""
        desktop.wait_until(lambda: self.calls("GetUserFiles") > self.list_calls, timeout, "the first list call")
        waiting = ("파일목록을", "사용자 정보를")
        self.ui.gone(self.app, role="label", name=lambda n: (n or "").startswith(waiting), timeout=timeout)
        return self.file_list()

    def file_list(self):
        return self.ui.find(self.main, name="파일 목록", role=None, timeout=10)

    def button(self, name, root=None):
        return self.ui.find(root or self.main, role="push button", name=name)


def _artefacts(d, reason):
    """Screenshot and logs of a failed journey; returns their paths."""
    kept = []
    shot = d.screenshot(os.path.join(d.run_dir, f"failure-{reason}.png"))
    if shot:
        kept.append(shot)
    log = d.program_log()
    if os.path.exists(log):
        target = os.path.join(d.run_dir, "quorvane.log")
        shutil.copyfile(log, target)
        kept.append(target)
    stderr = os.path.join(d.logs, "client.log")
    if os.path.exists(stderr):
        kept.append(stderr)
    return kept


def _sanitized(d):
    """Sanitizer options for every program of the desktop; only the program's own stderr is judged."""
    suppressions = os.environ.get("QUORVANE_ACCEPTANCE_SUPPRESSIONS", "")
    d.env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
    d.env["LSAN_OPTIONS"] = f"suppressions={suppressions}:print_suppressions=0" if suppressions else ""
    d.env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"


def _sanitizer_reports(d):
    """Lines of the program's stderr (beside its launcher's) that report a sanitizer finding."""
    path = os.path.join(d.logs, "client.log")
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return [line.rstrip() for line in f if SANITIZER_REPORT.search(line)]
    except OSError:
        return []


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    module_name, journey_name = argv[1], argv[2]
    module = importlib.import_module(module_name)
    journey = getattr(module, journey_name)
    options = getattr(journey, "desktop_options", {})
    d = desktop.from_environment(f"{module_name}.{journey_name}", **options)
    sanitized = os.environ.get("QUORVANE_ACCEPTANCE_SANITIZED") == "1"
    limit = SANITIZED_LIMIT_SECONDS if sanitized else LIMIT_SECONDS
    if sanitized:
        _sanitized(d)

    def on_alarm(_sig, _frame):
        raise TimeoutError(f"the journey took longer than {limit} s")

    signal.signal(signal.SIGALRM, on_alarm)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.alarm(limit)
    began = time.monotonic()
    status = 0
    try:
        journey(Journey(d))
        print(f"PASS {module_name}.{journey_name} ({time.monotonic() - began:.1f} s)")
    except desktop.Unavailable as e:
        status = SKIP_STATUS
        print(f"SKIP {module_name}.{journey_name}: {e}")
    except BaseException as e:  # noqa: B902 - a time limit or an interrupt ends the journey too
        signal.alarm(0)
        status = 1
        traceback.print_exc()
        print(f"FAIL {module_name}.{journey_name}: {e}")
        try:
            for path in _artefacts(d, "timeout" if isinstance(e, TimeoutError) else "failure"):
                print(f"artefact: {path}")
        except Exception as shot_error:  # the artefacts are a courtesy; the verdict stands
            print(f"artefacts incomplete: {shot_error}")
    finally:
        signal.alarm(0)
        d.stop()
    if sanitized:
        # After the stop: the leak check runs when the program ends.
        reports = _sanitizer_reports(d)
        if reports:
            print(f"FAIL {module_name}.{journey_name}: sanitizer reports in the program's stderr")
            for line in reports[:20]:
                print("  " + line)
            print(f"artefact: {os.path.join(d.logs, 'client.log')}")
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
