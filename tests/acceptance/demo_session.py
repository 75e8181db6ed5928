"""The scripted demo session of scripts/demo, driven from outside the program like the acceptance tests:
on a desktop of its own it lists, uploads two new files through the file dialog, downloads one of them
into a fresh folder and compares the bytes, deletes both, and logs out from the toolbar stand-in.

    demo_session.py OUT CLIENT TAVIRUN SERVICE

OUT receives the screenshots (01-list.png ... 05-logout.png) and the session's logs. Without
CLOFFA_SERVICE_URL the local service runs on a fresh sample store in OUT/store; otherwise that service is
used (CLOFFA_TRANSFER_URL, CLOFFA_CA_FILE beside it). CLOFFA_USER and CLOFFA_SESSION_KEY name the session;
QUORVANE_DEMO_TIMEOUT limits the whole session (300 s), QUORVANE_DEMO_STEP_TIMEOUT each step (60 s).
Exit status 0 when the session passed, 1 when it failed, 143 when it was terminated.
"""

import os
import shutil
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402
from driver import button_text  # noqa: E402
from journeys_download import destination_dialog, select_rows, start_download, wait_file  # noqa: E402
from journeys_upload import go_to, open_dialog  # noqa: E402
from run import Journey  # noqa: E402


class StepTimeout(Exception):
    pass


def say(text):
    print(f"demo: {text}", flush=True)


class Session:
    def __init__(self, out, programs):
        self.out = out
        self.step_limit = int(os.environ.get("QUORVANE_DEMO_STEP_TIMEOUT", "60"))
        self.deadline = time.monotonic() + int(os.environ.get("QUORVANE_DEMO_TIMEOUT", "300"))
        self.d = desktop.Desktop(programs, os.path.join(out, "session"),
                                 user=os.environ.get("CLOFFA_USER", "demo"),
                                 session_key=os.environ.get("CLOFFA_SESSION_KEY", "demo-session-key"))
        self.j = Journey(self.d)
        self.number = 0
        self.name = ""
        self.shots = []

    def shot(self, name):
        path = self.d.screenshot(os.path.join(self.out, f"{self.number:02d}-{name}.png"))
        if path:
            self.shots.append(path)
        return path

    def step(self, name, action, shot_after=True):
        """Runs one step under the step limit (and what is left of the session's)."""
        self.number += 1
        self.name = name
        say(f"step {self.number}: {name}")
        limit = min(self.step_limit, int(self.deadline - time.monotonic()))
        if limit <= 0:
            raise StepTimeout(f"the session did not end within its limit (at step {self.number}: {name})")

        def expired(_sig, _frame):
            raise StepTimeout(f"step {self.number} ({name}): no end within {limit} s")

        signal.signal(signal.SIGALRM, expired)
        signal.alarm(limit)
        try:
            action()
        except TimeoutError as e:
            # A wait inside the step ran out with the step's limit: the same failure as the alarm's.
            raise StepTimeout(f"step {self.number} ({name}): no end within {limit} s ({e})") from None
        finally:
            signal.alarm(0)
        if shot_after:
            self.shot(name)


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    out, client, tavirun, service = argv[1:]
    os.makedirs(out, exist_ok=True)
    bin_dir = os.path.join(out, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    link = os.path.join(bin_dir, "Quorvane.exe")  # the toolbar starts the program under this name
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.path.abspath(client), link)
    s = Session(out, desktop.Programs(bin_dir, tavirun, service))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGINT, lambda *_: sys.exit(130))
    d, j = s.d, s.j
    try:
        j.start_desktop(service=False, session=False)
        given = os.environ.get("CLOFFA_SERVICE_URL")
        if given:
            d.use_service(given, os.environ.get("CLOFFA_TRANSFER_URL"), os.environ.get("CLOFFA_CA_FILE"))
            say(f"using the given service at {given} (transfers at {d.env['CLOFFA_TRANSFER_URL']}) as {d.user}")
        else:
            store = os.path.join(out, "store")
            if os.path.exists(store):
                shutil.rmtree(store)
            d.start_service("--sample", quota=2100000000, store=store)
            say(f"started the local service at {d.service_url} (fresh store {store}) as {d.user}")
        d.start_session()
        return run_session(s, d, j)
    except SystemExit as e:
        if e.code == 143:
            say("terminated")
        elif e.code == 130:
            say("interrupted")
        raise
    finally:
        d.stop()


def run_session(s, d, j):
    stamp = time.strftime("%Y%m%d-%H%M%S") + f"-{os.getpid()}"
    files = os.path.join(s.out, "files")
    downloads = os.path.join(s.out, f"downloads-{stamp}")
    for old in os.listdir(s.out):
        if old.startswith("downloads-") or (old[:2].isdigit() and old.endswith(".png")):
            path = os.path.join(s.out, old)
            if os.path.isdir(path):
                shutil.rmtree(path)
            else:
                os.remove(path)
    os.makedirs(files, exist_ok=True)
    os.makedirs(downloads)
    memo = f"데모 메모 {stamp}.txt"
    data_name = f"demo-data {stamp}.bin"
    with open(os.path.join(files, memo), "w", encoding="utf-8") as f:
        f.write(f"데모 업로드 첫 번째 파일\n{stamp}\n")
    data = os.urandom(200000)
    with open(os.path.join(files, data_name), "wb") as f:
        f.write(data)

    def names():
        return {r[0] for r in j.ui.rows(j.file_list())}

    def waiting():
        return j.ui.find_all(j.app, role="label", showing=True,
                             name=lambda n: (n or "").startswith(("파일목록을", "사용자 정보를")))

    def listed():
        j.start_program()
        # Ready once the start-up's wait box (version check, then the list) has come and gone. Should it
        # come and go between two looks, rows in the list (or the local service's count) tell the same.
        seen = []

        def ready():
            if waiting():
                seen.append(True)
                return False
            return bool(seen) or bool(names()) or j.calls("GetUserFiles") > 0
        desktop.wait_until(ready, s.step_limit, "the first list", 0.05)
        say(f"{len(names())} files listed")

    def upload():
        dialog, view = open_dialog(j)
        go_to(j, dialog, files)
        desktop.wait_until(lambda: {memo, data_name} <= {r[0] for r in j.ui.rows(view)}, 10, "the new files")
        rows = [r[0] for r in j.ui.rows(view)]
        j.ui.click(j.ui.cell(view, rows.index(memo)))
        j.ui.click(j.ui.cell(view, rows.index(data_name)), modifiers="ctrl")
        j.ui.press(j.ui.find(dialog, role="push button", name=button_text("열기")))
        desktop.wait_until(lambda: {memo, data_name} <= names(), s.step_limit, "both uploads in the list", 0.2)

    def download():
        select_rows(j, [data_name])
        dialog = destination_dialog(j, 1)
        j.ui.set_text(j.ui.find(dialog, role="text"), downloads)
        start_download(j, dialog, open_folder=False)
        wait_file(os.path.join(downloads, data_name), data, timeout=s.step_limit)
        say(f"download matches ({os.path.join(downloads, data_name)})")

    def delete():
        select_rows(j, [memo, data_name])
        j.ui.press(j.button("삭제"))
        box, _text = j.ui.message_box(j.app)
        j.ui.press(j.ui.find(box, role="push button", name=button_text("예")))
        desktop.wait_until(lambda: not ({memo, data_name} & names()), s.step_limit, "both gone from the list", 0.2)

    def logout():
        if d.logout() != 0:
            raise RuntimeError("the toolbar stand-in found no program to log out")
        j.ui.find(j.app, role="label", showing=True, name=lambda n: (n or "").startswith("Tavirun가 로그아웃"))
        s.shot("logout")
        status = d.wait_launcher_end(s.step_limit)
        if status != 0:
            raise RuntimeError(f"the client ended with status {status}")

    try:
        s.step("list", listed)
        s.step("upload", upload)
        s.step("download", download)
        s.step("delete", delete)
        s.step("logout", logout, shot_after=False)  # the window is gone afterwards
    except (StepTimeout, RuntimeError, AssertionError) as e:
        reason = "timeout" if isinstance(e, StepTimeout) else "failed"
        say(f"FAILED: {e}")
        path = d.screenshot(os.path.join(s.out, f"{s.number:02d}-{s.name}-{reason}.png"))
        if path:
            say(f"the screen at that moment: {path}")
        say(f"logs: {d.logs} and {d.program_log()}")
        return 1
    say("all steps done")
    for path in s.shots:
        say(f"screenshot {path}")
    say("scripted session passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
