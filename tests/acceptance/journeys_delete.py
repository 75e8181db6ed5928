"""Deleting stored files: the question answered "아니요" and "예", and the Delete key."""

import os

from desktop import wait_until
from journeys_download import select_rows
from journeys_transfer import answer

QUESTION = "선택된 파일을 삭제하시겠습니까?  "


def delete_yes_and_no(j):
    """Nothing selected: the hint. "아니요": the file stays. "예": gone from the store and the list.
    The Delete key asks the same question. The list is sorted by size first."""
    j.start_desktop()
    files = {"지울 파일.txt": b"delete me\n", "keep.bin": os.urandom(5000), "또 지울 파일.txt": b"and me\n"}
    for name, data in files.items():
        j.d.add_stored(name, data)
    j.start_program()
    table = j.wait_ready()
    wait_until(lambda: len(j.ui.rows(table)) == 3, 15, "three stored files listed")
    # Sorted by size through a click on its header: the rows below are picked in that order, and each
    # must still stand for its own file.
    j.ui.click(j.ui.find(table, role="table column header", name="크기"))
    by_size = ["또 지울 파일.txt", "지울 파일.txt", "keep.bin"]
    wait_until(lambda: [r[0] for r in j.ui.rows(table)] == by_size, 15, "the rows in the order of their sizes")

    j.ui.press(j.button("삭제"))
    answer(j, "삭제할 파일을 선택하여 주십시오.", "확인")

    select_rows(j, ["지울 파일.txt"])
    j.ui.press(j.button("삭제"))
    box, shown = j.ui.message_box(j.app)
    j.ui.shot("delete-question", j.ui.x_window_of(j.d.client_pid(), "Cloffa"))
    answer(j, QUESTION, "아니요")
    assert sorted(j.d.stored_names()) == sorted(files)

    j.ui.press(j.button("삭제"))
    answer(j, QUESTION, "예")
    wait_until(lambda: "지울 파일.txt" not in {r[0] for r in j.ui.rows(table)}, 15, "the row to go")
    assert sorted(j.d.stored_names()) == sorted(["keep.bin", "또 지울 파일.txt"])
    assert j.d.stored_bytes("keep.bin") == files["keep.bin"]

    select_rows(j, ["또 지울 파일.txt"])
    j.ui.key("Delete")
    answer(j, QUESTION, "예")
    wait_until(lambda: [r[0] for r in j.ui.rows(table)] == ["keep.bin"], 15, "only keep.bin listed")
    assert j.d.stored_names() == ["keep.bin"]


def logout_while_asked(j):
    """The toolbar logs out while the delete question is open: the program ends, the question with it,
    and the file stays stored."""
    j.start_desktop()
    j.d.add_stored("남을 파일.txt", b"stays\n")
    j.start_program()
    j.wait_ready()
    select_rows(j, ["남을 파일.txt"])
    j.ui.press(j.button("삭제"))
    box, shown = j.ui.message_box(j.app)
    assert shown == QUESTION, shown
    assert j.d.logout() == 0
    assert j.d.wait_launcher_end(15) == 0, "the program ends after the logout"
    assert j.d.stored_names() == ["남을 파일.txt"]
