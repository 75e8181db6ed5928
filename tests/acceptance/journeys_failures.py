"""Failures from real conditions: no service at start, a refused version, list faults."""

import os

from desktop import wait_until
from driver import button_text
from journeys_upload import drop_on_list, make_files, wait_listed


def _message_then_end(j, icon_text_start):
    box, shown = j.ui.message_box(j.app, timeout=40)
    assert shown.startswith(icon_text_start), f"message {shown!r}"
    j.ui.shot("message", j.ui.x_window_of(j.d.client_pid(), "Cloffa"))
    j.ui.press(j.ui.find(box, role="push button", name=button_text("확인")))
    assert j.d.wait_launcher_end(10) == 0, "the program ends after the message"
    return shown


def service_down(j):
    """The service refuses connections at start: the update-check message with its number, then the end."""
    j.start_desktop()
    j.d.stop_service()  # its port is now refused
    j.start_program()
    shown = _message_then_end(j, "파일서비스 업데이트 체크에러\n오류번호: ")
    assert shown.rsplit(" ", 1)[-1].lstrip("-").isdigit(), shown


def version_refused(j):
    """The service says this version may no longer be used: the warning, then the program closes."""
    j.start_desktop(service=False)
    j.d.start_service("--refuse-version")
    j.start_program()
    _message_then_end(j, "현재 버전의 Cloffa은 더이상 사용하실 수 없습니다.\n"
                         "Tavirun를 최신버전으로 업데이트 하십시오...")


def list_faults(j):
    """The list fetched after an upload fails: a SOAP fault gives the message with its number, an answer
    without the file array the service-trouble message; the list stays empty, the program usable."""
    j.start_desktop()
    up = os.path.join(j.d.home, "up")
    make_files(up, {"one.txt": b"1\n", "two.txt": b"2\n", "three.txt": b"3\n"})
    j.start_program()
    table = j.wait_ready()

    for name, fault, text in (
            ("one.txt", "soap-fault", "파일 목록을 가져올 수 없습니다.\n오류번호 : "),
            ("two.txt", "missing-file-array", "파일서비스 요청이 정상적으로 이루어지지 않고 있습니다.\n"
                                              "문제가 지속될 경우 고객센터로 문의하십시오")):
        j.d.service_command(f"fault soap {fault}")
        drop_on_list(j, name, [os.path.join(up, name)])
        box, shown = j.ui.message_box(j.app, timeout=30)
        assert shown.startswith(text), f"{fault}: message {shown!r}"
        j.ui.press(j.ui.find(box, role="push button", name=button_text("확인")))
        j.ui.closed(box)
        wait_until(lambda: j.ui.rows(table) == [], 10, "the list to stay empty")
        assert name in j.d.stored_names(), "the upload itself went through"

    # The next list is fine again.
    drop_on_list(j, "three", [os.path.join(up, "three.txt")])
    wait_listed(j, ["one.txt", "two.txt", "three.txt"])
