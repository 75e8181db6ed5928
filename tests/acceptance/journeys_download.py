"""Downloads: the destination dialog with the real folder browser, the replace question."""

import glob
import json
import os
import subprocess
import time
from urllib.parse import unquote

from desktop import wait_until
from driver import button_text

HERE = os.path.dirname(os.path.abspath(__file__))


def select_rows(j, names):
    """Clicks the first name and Ctrl-clicks the others in the file list; returns the list."""
    table = j.file_list()
    wait_until(lambda: set(names) <= {r[0] for r in j.ui.rows(table)}, 15, f"{names} listed")
    for i, name in enumerate(names):
        j.ui.click(j.ui.reveal(table, j.ui.row_of(table, name)), modifiers="ctrl" if i else None)
    return table


def destination_dialog(j, count):
    j.ui.press(j.button("다운로드"))
    dialog = j.ui.window(j.app, "다운로드", role="dialog")
    j.ui.find(dialog, role="label", name=f"{count}개의 파일을 다운로드합니다.")
    return dialog


def choose_in_browser(j, dialog, folder):
    """The "..." button, then the folder typed into the real folder browser and chosen."""
    j.ui.press(j.ui.find(dialog, role="push button", name="..."))
    browser = j.ui.window(j.app, "폴더를 선택하세요", role="dialog")
    field = j.ui.find(browser, role="text")
    j.ui.set_text(field, folder)
    j.ui.key("Return")
    try:
        j.ui.closed(browser, timeout=3)
    except TimeoutError:
        # Enter went into the folder; choosing it is the button's work.
        j.ui.press(j.ui.find(browser, role="push button", name=button_text("선택")))
        j.ui.closed(browser)
    field = j.ui.find(dialog, role="text")
    wait_until(lambda: j.ui.text(field).rstrip("/") == folder, 5, f"the destination field to show {folder}")


def start_download(j, dialog, open_folder=True):
    box = j.ui.find(dialog, role="check box", name="다운로드 완료후 폴더 열기")
    if j.ui.checked(box) != open_folder:
        j.ui.press(box)
        wait_until(lambda: j.ui.checked(box) == open_folder, 5, "the check box to follow")
    j.ui.press(j.ui.find(dialog, role="push button", name="시작"))
    j.ui.closed(dialog)


def wait_file(path, data, timeout=30):
    def same():
        try:
            with open(path, "rb") as f:
                return f.read() == data
        except OSError:
            return False
    wait_until(same, timeout, f"{path} with the stored bytes")


def leftovers(folder):
    """The download temporaries in `folder` (".quorvane-part-<hex>", and the older ".<name>.quorvane-part")."""
    return (glob.glob(os.path.join(folder, ".quorvane-part-*")) + glob.glob(os.path.join(folder, ".*.quorvane-part"))
            + glob.glob(os.path.join(folder, "*.quorvane-part")))


def through_folder_browser(j):
    """A new user's first download: the destination offered is the home folder (no documents folder
    here), another folder is chosen in the real folder browser, "open folder" stays checked; the file
    arrives byte-identical, nothing temporary is left, and the folder is handed to the opener."""
    j.start_desktop()
    data = os.urandom(300000)
    j.d.add_stored("받을 파일.bin", data)
    target = os.path.join(j.d.home, "받은 파일")
    os.makedirs(target)
    j.start_program()
    j.wait_ready()

    select_rows(j, ["받을 파일.bin"])
    dialog = destination_dialog(j, 1)
    offered = j.ui.text(j.ui.find(dialog, role="text")).rstrip("/")
    assert offered == j.d.home, f"a new user is offered the home folder, not {offered!r}"
    open_box = j.ui.find(dialog, role="check box", name="다운로드 완료후 폴더 열기")
    assert j.ui.checked(open_box), "opening the folder is checked by default"
    j.ui.shot("download-destination", j.ui.x_window_of(j.d.client_pid(), "다운로드"))
    choose_in_browser(j, dialog, target)
    start_download(j, dialog, open_folder=True)

    path = os.path.join(target, "받을 파일.bin")
    wait_file(path, data)
    assert not leftovers(target), leftovers(target)

    def opened():
        try:
            with open(j.d.open_requests, encoding="utf-8") as f:
                return f.read()
        except OSError:
            return ""
    requests = wait_until(opened, 10, "the request to open the folder")
    opened_paths = [unquote(r[len("file://"):] if r.startswith("file://") else r).rstrip("/")
                    for r in requests.splitlines()]
    assert opened_paths == [target], f"opened {opened_paths}, expected {target}"


def replace_all(j):
    """Two files that are already in the destination: one question, answered "모두 예", replaces both."""
    j.start_desktop()
    folder = os.path.join(j.d.home, "target")
    os.makedirs(folder)
    stored = {"첫째.txt": "새 내용 하나\n".encode(), "second.bin": os.urandom(120000)}
    for name, data in stored.items():
        j.d.add_stored(name, data)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"old contents")
    j.start_program()
    j.wait_ready()

    select_rows(j, list(stored))
    dialog = destination_dialog(j, 2)
    j.ui.set_text(j.ui.find(dialog, role="text"), folder)
    start_download(j, dialog, open_folder=False)

    question = j.ui.window(j.app, "파일 바꾸기 확인", timeout=20)
    for label in ("예", "모두 예", "아니오", "취소"):
        j.ui.find(question, role="push button", name=button_text(label))
    j.ui.shot("replace-question", j.ui.x_window_of(j.d.client_pid(), "파일 바꾸기 확인"))
    j.ui.press(j.ui.find(question, role="push button", name=button_text("모두 예")))
    j.ui.closed(question)
    for name, data in stored.items():
        wait_file(os.path.join(folder, name), data)
    assert not j.ui.find_all(j.app, name="파일 바꾸기 확인", showing=True), "asked only once"
    assert not leftovers(folder)
    assert not os.path.exists(j.d.open_requests), "no folder opened when not asked to"


def _requests(record):
    try:
        with open(record, encoding="utf-8") as f:
            return [json.loads(line) for line in f]
    except OSError:
        return []


def _download_opening(j, target, stored):
    """The stored files downloaded into `target` with "open folder" checked."""
    for name, data in stored.items():
        j.d.add_stored(name, data)
    os.makedirs(target, exist_ok=True)
    j.start_program()
    j.wait_ready()
    select_rows(j, list(stored))
    dialog = destination_dialog(j, len(stored))
    j.ui.set_text(j.ui.find(dialog, role="text"), target)
    start_download(j, dialog, open_folder=True)


def _answering(j, until, timeout, after=1.5):
    """Asks the program's window for its place over and over (each answer comes from its interface
    thread) until `until()` gives something true, and `after` seconds more. Returns that value, the
    longest wait for one answer in seconds, and when each answer came (monotonic seconds)."""
    longest, answers, value = 0.0, [], None
    deadline = time.monotonic() + timeout
    settle_until = None
    while settle_until is None or time.monotonic() < settle_until:
        asked = time.monotonic()
        j.ui.extents(j.main)
        answers.append(time.monotonic())
        longest = max(longest, answers[-1] - asked)
        if settle_until is None:
            value = until()
            if value:
                settle_until = time.monotonic() + after
            elif time.monotonic() > deadline:
                raise TimeoutError(f"waited {timeout} s for {until.__doc__ or until}")
        time.sleep(0.02)
    return value, longest, answers


def _shown_items(seen, target, stored):
    assert [r["method"] for r in seen if r["method"] != "starting"] == ["ShowItems"], seen
    uris = [r for r in seen if r["method"] == "ShowItems"][0]["uris"]
    # One of the files stands for the folder: file managers open a window for each item asked for.
    assert len(uris) == 1 and uris[0].startswith("file:///"), uris
    shown = unquote(uris[0][len("file://"):])
    assert shown in [os.path.join(target, n) for n in stored], f"shown {shown}"


SHOWN_FILES = {"보고서 최종.txt": "내려받은 보고서\n".encode(), "data #1.bin": os.urandom(90000)}


def shown_in_file_manager(j):
    """With a file manager on the session bus, "open folder" shows the download folder with a downloaded
    file selected: one ShowItems request, and the folder is not opened besides."""
    j.start_desktop()
    record = os.path.join(j.d.logs, "file-manager.requests")
    manager = j.d.spawn("file-manager1", ["/usr/bin/python3", "-B", os.path.join(HERE, "file_manager1.py"), record],
                        stdout=subprocess.PIPE)
    if manager.stdout.readline().decode().strip() != "ready":
        raise RuntimeError("the file manager stand-in did not start: " + j.d.log_text("file-manager1"))
    target = os.path.join(j.d.home, "받은 파일")
    _download_opening(j, target, SHOWN_FILES)
    for name, data in SHOWN_FILES.items():
        wait_file(os.path.join(target, name), data)
    seen = wait_until(lambda: _requests(record), 10, "the request to the file manager")
    _shown_items(seen, target, SHOWN_FILES)
    assert not os.path.exists(j.d.open_requests), "the folder is not opened besides"


def shown_by_slow_file_manager(j):
    """A file manager the bus starts on demand that takes 4 s to come up: the program's window answers
    all the while, the files are shown once it is there, and the folder is not opened besides (no second
    window when the answer comes late)."""
    j.start_desktop()
    assert j.d.activatable() == ["org.freedesktop.DBus"], f"the bus offers {j.d.activatable()}"
    record = os.path.join(j.d.logs, "file-manager.requests")
    j.d.offer_service("org.freedesktop.FileManager1", ["/usr/bin/python3", "-B", os.path.join(HERE, "file_manager1.py"),
                                                       record, "--start-delay", "4"])
    target = os.path.join(j.d.home, "받은 파일")
    _download_opening(j, target, SHOWN_FILES)

    def shown():
        """the request to the file manager"""
        return [r for r in _requests(record) if r["method"] == "ShowItems"]
    _value, longest, answers = _answering(j, shown, 20, after=2.0)
    seen = _requests(record)
    started = seen[0]["at"]
    answered_while_starting = [t for t in answers if started + 0.5 < t < shown()[0]["at"] - 0.5]
    print(f"figure: longest wait for the window while a slow file manager starts: {longest * 1000:.0f} ms")
    assert answered_while_starting, "the window did not answer while the file manager was starting"
    _shown_items(seen, target, SHOWN_FILES)
    assert not os.path.exists(j.d.open_requests), "the folder is opened besides: a second window"


def _shown_by(j, kind, running=False):
    """With `kind` as the desktop's file manager (started by the bus as its package has it, or `running`
    already with a window of the home), "open folder" gives exactly one window of the download folder,
    and nothing is opened besides."""
    j.start_desktop()
    if not j.d.offer_file_manager(kind):
        raise RuntimeError(f"{kind} offers no file manager service")
    if running:
        j.d.start_file_manager(kind, j.d.home, at=(700, 500), size=(400, 300))
    target = os.path.join(j.d.home, "받은 파일")
    _download_opening(j, target, SHOWN_FILES)

    def window():
        """a window of the download folder"""
        return j.d.file_manager_windows(kind, target)
    # Asked from the download's start on, so that the moment the folder is asked for falls inside.
    _value, longest, _answers = _answering(j, window, 25)
    for name, data in SHOWN_FILES.items():
        wait_file(os.path.join(target, name), data)
    print(f"figure: longest wait for the window while {kind} shows the folder: {longest * 1000:.0f} ms")
    j.ui.shot(f"shown-by-{kind}")
    assert len(window()) == 1, f"{kind} shows {len(window())} windows of the folder"
    assert not os.path.exists(j.d.open_requests), "the folder is opened besides"


def shown_by_thunar(j):
    _shown_by(j, "thunar")


def shown_by_nautilus(j):
    _shown_by(j, "nautilus")


def shown_by_nemo(j):
    _shown_by(j, "nemo")


def shown_by_caja(j):
    # Caja answers the bus only while it runs; started for the request it shows nothing.
    _shown_by(j, "caja", running=True)


def shown_by_dolphin(j):
    _shown_by(j, "dolphin")
