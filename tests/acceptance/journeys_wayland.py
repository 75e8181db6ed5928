"""Wayland sessions in a real compositor (Weston's headless backend): with XWayland beside it the program
chooses X11 by itself; on Wayland alone it runs natively. Both list, upload and download."""

import os

from desktop import wait_until
from driver import button_text
from journeys_download import destination_dialog, start_download, wait_file
from journeys_upload import open_dialog, wait_listed

MAIN_TITLE = "Cloffa - Tavirun"


def _fill(j, node, text, reads=None):
    """Real typing where there is an X server to type into; on Wayland alone no client may send input,
    so the field takes the text through its accessible editable text, as a screen reader would."""
    if j.d.display:
        j.ui.set_text(node, text)
    else:
        node.queryComponent().grabFocus()
        node.queryEditableText().setTextContents(text)
        wait_until(lambda: j.ui.text(node) in (text, reads), 5, f"the field to read {text!r}")


def _select(j, table, name):
    """Selects the one row with that name through the table's accessible selection."""
    row = j.ui.row_of(table, name)
    assert row >= 0, f"{name} not listed: {j.ui.rows(table)}"
    t = table.queryTable()
    for selected in list(t.getSelectedRows()):
        t.removeRowSelection(selected)
    assert t.addRowSelection(row), f"row {row} could not be selected"
    wait_until(lambda: list(t.getSelectedRows()) == [row], 5, f"row {row} selected")


def _list_upload_download(j):
    stored = os.urandom(250000)
    j.d.add_stored("받을 파일.bin", stored)
    uploads = os.path.join(j.d.home, "uploads")
    os.makedirs(uploads)
    upload = os.path.join(uploads, "올릴 메모.txt")
    with open(upload, "wb") as f:
        f.write("웨스턴에서 올린 파일\n".encode() * 100)
    target = os.path.join(j.d.home, "받은 곳")
    os.makedirs(target)

    j.start_program()
    table = j.wait_ready()
    wait_until(lambda: [r[0] for r in j.ui.rows(table)] == ["받을 파일.bin"], 10, "the stored file listed")

    dialog, _view = open_dialog(j)
    # The file dialog may go to the typed folder and keep only the name in the field.
    _fill(j, j.ui.find(dialog, role="text"), upload, reads=os.path.basename(upload))
    j.ui.press(j.ui.find(dialog, role="push button", name=button_text("열기")))
    j.ui.closed(dialog)
    wait_listed(j, ["올릴 메모.txt"])
    with open(upload, "rb") as f:
        assert j.d.stored_bytes("올릴 메모.txt") == f.read(), "the upload arrived unchanged"

    _select(j, j.file_list(), "받을 파일.bin")
    dialog = destination_dialog(j, 1)
    _fill(j, j.ui.find(dialog, role="text"), target)
    start_download(j, dialog, open_folder=False)
    wait_file(os.path.join(target, "받을 파일.bin"), stored)


def xwayland(j):
    """Weston with XWayland, the program started by the toolbar stand-in with both WAYLAND_DISPLAY and
    DISPLAY and no platform chosen: its main window is an X11 window on the XWayland display, with its
    name, class and icon; it lists, uploads and downloads there."""
    j.start_desktop()
    assert j.d.env.get("WAYLAND_DISPLAY") and j.d.env.get("DISPLAY") and "QT_QPA_PLATFORM" not in j.d.env
    _list_upload_download(j)
    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)
    props = j.d.run(["xprop", "-id", str(window), "WM_CLASS", "_NET_WM_NAME", "_NET_WM_ICON"]).stdout
    assert '_NET_WM_NAME(UTF8_STRING) = "Cloffa - Tavirun"' in props, props[:400]
    assert 'WM_CLASS(STRING) = "Quorvane.exe", "Quorvane.exe"' in props, props[:400]
    assert "Icon (32 x 32)" in props, "an icon for the task bar: " + props[:400]
    j.ui.shot("xwayland-main-window", window)


xwayland.desktop_options = {"compositor": "weston-xwayland"}


def wayland_only(j):
    """Weston without XWayland and no DISPLAY: the program runs natively, its window on the
    accessibility bus with the always-on-top button hidden (the compositor decides stacking); it lists,
    uploads and downloads, driven only through the accessibility tree."""
    j.start_desktop()
    assert j.d.env.get("WAYLAND_DISPLAY") and "DISPLAY" not in j.d.env
    _list_upload_download(j)
    assert not j.ui.find_all(j.main, name="항상 위", showing=True), "always-on-top is hidden on Wayland alone"
    for name in ("업로드", "다운로드", "삭제", "최소화", "종료"):
        assert j.ui.find_all(j.main, role="push button", name=name, showing=True), f"{name} shown"
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0, "ends normally"


# The headless backend has no seat, and Qt 6.4's Wayland text input then dereferences the missing
# seat's device as soon as a line edit paints its cursor; a desktop session always has a seat. Qt's
# compose input context stands in for the text input here.
wayland_only.desktop_options = {"compositor": "weston", "env": {"QT_IM_MODULE": "compose"}}
