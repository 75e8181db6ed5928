"""Uploads: through the real file dialog, by dropping from another program, and over the quota."""

import os
import subprocess
import sys

from desktop import wait_until
from driver import button_text

HERE = os.path.dirname(os.path.abspath(__file__))

# Names with no, one and two extensions, and Korean ones.
DIALOG_FILES = {
    "README": b"no extension\n",
    "memo.txt": "한 개의 확장자\n".encode(),
    "backup.tar.gz": bytes(range(256)) * 300,
    "한글 문서.txt": "한글 이름의 파일\n".encode(),
    "사진 모음.2024.zip": os.urandom(70000),
}


def make_files(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def open_dialog(j):
    j.ui.press(j.button("업로드"))
    dialog = j.ui.window(j.app, "열기", role="dialog")
    files = j.ui.find(dialog, role="tree", name="파일")
    return dialog, files


def look_in(j, dialog):
    return j.ui.find(dialog, role="combo box").name.rstrip("/")


def go_to(j, dialog, folder):
    """Types a folder into the name field and presses Enter, as a user who knows the path does."""
    field = j.ui.find(dialog, role="text")
    j.ui.set_text(field, folder)
    j.ui.key("Return")
    wait_until(lambda: look_in(j, dialog) == folder, 10, f"the dialog to show {folder}")
    # The name field's completion list stays open; a click on the view's blank part closes it.
    x, y, w, h = j.ui.extents(j.ui.find(dialog, role="tree", name="파일"))
    j.ui.click(at=(x + w // 2, y + h - 10))


def wait_listed(j, names, timeout=30):
    table = j.file_list()
    wait_until(lambda: set(names) <= {r[0] for r in j.ui.rows(table)}, timeout, f"{names} in the file list")
    return table


def file_dialog(j):
    """Button, first use in the home folder, every kind of name listed, two files chosen at once, and the
    second use back in the last upload folder."""
    j.start_desktop()
    folder = os.path.join(j.d.home, "uploads")
    make_files(folder, DIALOG_FILES)
    j.start_program()
    j.wait_ready()

    dialog, view = open_dialog(j)
    assert look_in(j, dialog) == j.d.home, f"first use opens in the home folder, not {look_in(j, dialog)}"
    j.ui.shot("file-dialog-home", j.ui.x_window_of(j.d.client_pid(), "열기"))
    go_to(j, dialog, folder)
    wait_until(lambda: set(DIALOG_FILES) <= {r[0] for r in j.ui.rows(view)}, 10,
               "every file listed", )
    j.ui.shot("file-dialog-files", j.ui.x_window_of(j.d.client_pid(), "열기"))
    chosen = ["backup.tar.gz", "한글 문서.txt"]
    rows = [r[0] for r in j.ui.rows(view)]
    j.ui.click(j.ui.cell(view, rows.index(chosen[0])))
    j.ui.click(j.ui.cell(view, rows.index(chosen[1])), modifiers="ctrl")
    j.ui.press(j.ui.find(dialog, role="push button", name=button_text("열기")))

    wait_listed(j, chosen)
    for name in chosen:
        with open(os.path.join(folder, name), "rb") as f:
            assert j.d.stored_bytes(name) == f.read(), f"{name} stored as it was"
    assert sorted(j.d.stored_names()) == sorted(chosen)

    dialog, view = open_dialog(j)
    assert look_in(j, dialog) == folder, f"second use opens in the last upload folder, not {look_in(j, dialog)}"
    j.ui.press(j.ui.find(dialog, role="push button", name=button_text("취소")))
    j.ui.gone(j.app, role="dialog", name="열기")


def start_drag_source(j, title, paths, at=(700, 300)):
    proc = j.d.spawn("drag-source-" + title, ["/usr/bin/python3", os.path.join(HERE, "drag_source.py"), title, *paths],
                     stdout=subprocess.PIPE)
    line = proc.stdout.readline().decode().strip()
    assert line == "ready", f"the drag source did not start: {j.d.log_text('drag-source-' + title)}"
    window = wait_until(lambda: j.d.windows_named(title), 10, "the drag source's window")[0]
    j.d.run(["xdotool", "windowmove", "--sync", str(window), str(at[0]), str(at[1])])
    out = j.d.run(["xdotool", "getwindowgeometry", "--shell", str(window)]).stdout
    geo = dict(line.split("=") for line in out.split())
    centre = (int(geo["X"]) + int(geo["WIDTH"]) // 2, int(geo["Y"]) + int(geo["HEIGHT"]) // 2)
    return proc, centre


def drop_on_list(j, title, paths):
    proc, centre = start_drag_source(j, title, paths)
    table = j.file_list()
    x, y, w, h = j.ui.extents(table)
    j.ui.drag(centre, (x + w // 2, y + h // 2))
    ended = proc.stdout.readline().decode().strip()
    proc.stdout.close()
    return ended


def expect_message(j, text, answer="확인"):
    box, shown = j.ui.message_box(j.app)
    assert shown == text, f"message {shown!r}, expected {text!r}"
    j.ui.press(j.ui.find(box, role="push button", name=button_text(answer)))
    j.ui.closed(box)


FOLDER_MESSAGE = "폴더단위 드래그는 지원하지 않습니다."
READ_MESSAGE = "파일을 읽을 수 없습니다.\n다른 프로그램에서 사용중인지 확인하세요."


def drop_from_program(j):
    """Files dropped from another program go up; a folder among them gets the folder message and nothing
    goes up; a hidden or a read-only folder is no plain folder: it ends in the file-read warning, as do a
    named pipe and a device, without the program hanging on them."""
    j.start_desktop()
    folder = os.path.join(j.d.home, "drop")
    files = {"끌어온 파일.txt": "끌어다 놓은 파일\n".encode(), "data.bin": os.urandom(50000)}
    make_files(folder, files)
    plain = os.path.join(folder, "plain folder")
    hidden = os.path.join(folder, ".hidden folder")
    read_only = os.path.join(folder, "read-only folder")
    for f in (plain, hidden, read_only):
        os.makedirs(f)
    os.chmod(read_only, 0o555)
    j.start_program()
    j.wait_ready()

    paths = [os.path.join(folder, n) for n in files]
    drop_on_list(j, "files", paths)
    wait_listed(j, list(files))
    for name, data in files.items():
        assert j.d.stored_bytes(name) == data, f"{name} stored as it was"

    fifo = os.path.join(folder, "named pipe")
    os.mkfifo(fifo)
    for title, dropped, message in (("folder", [paths[0], plain], FOLDER_MESSAGE),
                                    ("hidden", [hidden], READ_MESSAGE),
                                    ("read-only", [read_only], READ_MESSAGE),
                                    # Only regular files go up; the program must not block opening these.
                                    ("fifo", [fifo], READ_MESSAGE),
                                    ("device", ["/dev/zero"], READ_MESSAGE)):
        before = sorted(j.d.stored_names())
        drop_on_list(j, title, dropped)
        try:
            expect_message(j, message)
        except AssertionError as e:
            raise AssertionError(f"dropping the {title}: {e}") from None
        assert sorted(j.d.stored_names()) == before, f"dropping the {title} uploaded something"
    os.chmod(read_only, 0o755)


def _dropped_from(j, kind):
    """A file dragged from a window of `kind` showing its folder onto the list goes up as it was."""
    j.start_desktop()
    folder = os.path.join(j.d.home, "보낼 파일")
    name, data = "끌어온 문서.txt", "파일 관리자에서 끌어온 파일\n".encode() * 200
    make_files(folder, {name: data})
    window = j.d.start_file_manager(kind, folder, at=(600, 100), size=(500, 400))
    item = j.d.item_point(kind, window)
    j.start_program()
    table = j.wait_ready()
    x, y, w, h = j.ui.extents(table)
    j.ui.drag(item, (x + w // 2, y + h // 2), steps=30, hold=0.5, release_wait=0.6)
    try:
        wait_listed(j, [name])
    finally:
        j.ui.shot(f"dropped-from-{kind}")
    assert j.d.stored_bytes(name) == data, f"{name} stored as it was"
    assert os.listdir(folder) == [name], "the file stays where it was"


def dropped_from_pcmanfm(j):
    _dropped_from(j, "pcmanfm")


def dropped_from_thunar(j):
    _dropped_from(j, "thunar")


def dropped_from_nautilus(j):
    _dropped_from(j, "nautilus")


def dropped_from_nemo(j):
    _dropped_from(j, "nemo")


def dropped_from_caja(j):
    _dropped_from(j, "caja")


def over_quota(j):
    """A file larger than the free space: "아니요" uploads nothing; "예" tries and stops at the free space.
    A quota that shrank at the service after the list was shown: the service refuses, the user is told."""
    j.start_desktop(service=False)
    j.d.start_service(quota=100000)
    folder = os.path.join(j.d.home, "big")
    make_files(folder, {"큰 파일.bin": os.urandom(150000), "작은 파일.bin": os.urandom(60000)})
    big, small = os.path.join(folder, "큰 파일.bin"), os.path.join(folder, "작은 파일.bin")
    j.start_program()
    j.wait_ready()
    question = "디스크 용량이 충분하지 않습니다.\n전송작업을 계속 하시겠습니까?"

    drop_on_list(j, "no", [big])
    expect_message(j, question, answer="아니요")
    assert not j.ui.find_all(j.app, role="dialog", name="업로드중...", showing=True)
    assert j.d.stored_names() == []

    lists = j.calls("GetUserFiles")
    drop_on_list(j, "yes", [big])
    expect_message(j, question, answer="예")
    expect_message(j, "디스크 용량이 부족하여 전송을 완료할 수 없습니다.")
    assert j.d.stored_names() == []

    # Once the list (and with it the free space) was fetched again after that upload, the service's quota
    # shrinks behind the program's back.
    wait_until(lambda: j.calls("GetUserFiles") > lists, 15, "the list fetched after the upload")
    j.wait_ready()
    j.d.service_command("quota 50000")
    drop_on_list(j, "shrunk", [small])
    box, shown = j.ui.message_box(j.app, timeout=30)
    j.ui.shot("upload-refused", j.ui.x_window_of(j.d.client_pid(), "Cloffa"))
    assert shown.startswith("저장공간이 부족합니다") and "오류번호" in shown, f"the refusal: {shown!r}"
    j.ui.press(j.ui.find(box, role="push button", name=button_text("확인")))
    assert j.d.stored_names() == []


if __name__ == "__main__":
    sys.exit("run through run.py")
