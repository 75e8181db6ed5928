"""A transfer while it runs: cancel, a refused close, the always-on-top button, a logout from the toolbar,
the end of the desktop session.
The local service holds the transfer in the middle of its body, so it lasts as long as the test needs."""

import os
import signal

import desktop
from desktop import wait_until
from driver import button_text
from journeys_download import destination_dialog, leftovers, select_rows, start_download, wait_file
from journeys_upload import drop_on_list, make_files
from journeys_window import saved_always_top

MAIN_TITLE = "Cloffa - Tavirun"


def transfer_dialog(j, title):
    return j.ui.window(j.app, title, timeout=15)


def answer(j, text, button):
    box, shown = j.ui.message_box(j.app)
    assert shown == text, f"message {shown!r}, expected {text!r}"
    j.ui.press(j.ui.find(box, role="push button", name=button_text(button)))
    j.ui.closed(box)


def _ready_with_a_long_file(j):
    """The program started and listed, a stored file of 400 kB, an empty download folder."""
    j.start_desktop()
    data = os.urandom(400000)
    j.d.add_stored("긴 파일.bin", data)
    folder = os.path.join(j.d.home, "down")
    os.makedirs(folder)
    j.start_program()
    j.wait_ready()
    return data, folder


def start_stalled_download(j, name, data, folder, stall_ms):
    j.d.service_command(f"fault download stall-mid-body bytes={len(data) // 3} ms={stall_ms}")
    select_rows(j, [name])
    dialog = destination_dialog(j, 1)
    j.ui.set_text(j.ui.find(dialog, role="text"), folder)
    start_download(j, dialog, open_folder=False)
    return transfer_dialog(j, "다운로드중...")


def cancel(j):
    """Cancel of a download and of an upload that hang in the middle: after "예" to the question nothing
    of the file is left, neither in the folder nor in the store; "아니요" first lets it go on."""
    j.start_desktop()
    data = os.urandom(400000)
    j.d.add_stored("긴 파일.bin", data)
    folder = os.path.join(j.d.home, "down")
    os.makedirs(folder)
    up = os.path.join(j.d.home, "up")
    make_files(up, {"올릴 파일.bin": os.urandom(400000)})
    j.start_program()
    j.wait_ready()

    dialog = start_stalled_download(j, "긴 파일.bin", data, folder, 30000)
    wait_until(lambda: leftovers(folder), 10, "the download to begin writing")
    j.ui.shot("transfer-dialog", j.ui.x_window_of(j.d.client_pid(), "다운로드중..."))
    j.ui.press(j.ui.find(dialog, role="push button", name="취소"))
    answer(j, "파일전송을 취소하시겠습니까?", "아니요")
    assert desktop.alive(j.d.client_pid()) and j.ui.find_all(j.app, name="다운로드중...", showing=True)
    j.ui.press(j.ui.find(dialog, role="push button", name="취소"))
    answer(j, "파일전송을 취소하시겠습니까?", "예")
    j.ui.closed(dialog)
    wait_until(lambda: not os.listdir(folder), 10, f"nothing left in the folder (found {os.listdir(folder)})")

    j.d.service_command("fault upload stall-mid-body bytes=100000 ms=30000")
    lists_before = j.calls("GetUserFiles")
    drop_on_list(j, "upload", [os.path.join(up, "올릴 파일.bin")])
    dialog = transfer_dialog(j, "업로드중...")
    j.ui.press(j.ui.find(dialog, role="push button", name="취소"))
    answer(j, "파일전송을 취소하시겠습니까?", "예")
    j.ui.closed(dialog)
    # The list is fetched again after the cancelled upload and still shows only the stored file.
    wait_until(lambda: j.calls("GetUserFiles") > lists_before, 15, "the list fetched again")
    table = j.file_list()
    wait_until(lambda: [r[0] for r in j.ui.rows(table)] == ["긴 파일.bin"], 10, "only the stored file listed")
    assert j.d.stored_names() == ["긴 파일.bin"], j.d.stored_names()


def close_refused_and_always_on_top(j):
    """While a download runs: "종료" is refused with the message and the program stays; the always-on-top
    button works without disturbing the transfer, which then completes."""
    data, folder = _ready_with_a_long_file(j)
    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)

    dialog = start_stalled_download(j, "긴 파일.bin", data, folder, 6000)
    j.ui.press(j.button("종료"))
    answer(j, "진행중인 작업이 있습니다.\n작업을 완료후 다시 시도해 주십시오", "확인")
    assert desktop.alive(j.d.client_pid()), "the program stays"
    j.ui.click(j.ui.find(j.main, name="항상 위"))
    wait_until(lambda: "_NET_WM_STATE_ABOVE" in j.d.net_wm_state(window), 10, "the window above the others")
    assert desktop.alive(j.d.client_pid()), "the program stays after always-on-top"
    assert j.ui.find_all(j.app, name="다운로드중...", showing=True), "the transfer dialog stays"
    wait_file(os.path.join(folder, "긴 파일.bin"), data, timeout=30)
    j.ui.closed(dialog, timeout=10)
    assert not leftovers(folder)
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0


def logout_during_transfer(j):
    """The toolbar logs out while a download runs: the program says it ends after the transfer, lets the
    file arrive whole, then ends by itself."""
    data, folder = _ready_with_a_long_file(j)

    start_stalled_download(j, "긴 파일.bin", data, folder, 5000)
    assert j.d.logout() == 0
    j.ui.find(j.app, role="label", showing=True,
              name="Tavirun가 로그아웃 되었습니다.\n전송 완료후 Cloffa을 종료합니다.")
    j.ui.shot("logout-during-transfer")
    assert desktop.alive(j.d.client_pid()), "the program waits for the transfer"
    wait_file(os.path.join(folder, "긴 파일.bin"), data, timeout=30)
    assert j.d.wait_launcher_end(15) == 0
    assert not leftovers(folder)


def _ended_by_the_session(j, signal_number, question_open):
    """The desktop session ends (or Ctrl-C in a terminal) while a download runs: the program ends by
    itself within a few seconds, keeps the setting changed in this run and leaves no temporary behind;
    a question still open does not hold it."""
    data, folder = _ready_with_a_long_file(j)
    j.ui.click(j.ui.find(j.main, name="항상 위"))
    dialog = start_stalled_download(j, "긴 파일.bin", data, folder, 30000)
    wait_until(lambda: leftovers(folder), 10, "the download to begin writing")
    if question_open:
        j.ui.press(j.ui.find(dialog, role="push button", name="취소"))
        j.ui.message_box(j.app)
    os.kill(j.d.client_pid(), signal_number)
    assert j.d.wait_launcher_end(10) == 0, "the program ends as after its own close"
    assert saved_always_top(j) == "1", f"saved always_top={saved_always_top(j)}"
    assert not leftovers(folder), leftovers(folder)
    assert not os.path.exists(os.path.join(folder, "긴 파일.bin"))


def ended_by_the_session(j):
    _ended_by_the_session(j, signal.SIGTERM, question_open=False)


def interrupted_while_asked(j):
    _ended_by_the_session(j, signal.SIGINT, question_open=True)
