"""The main window itself: the always-on-top button and the setting it keeps."""

import configparser
import os

import desktop
from desktop import wait_until

MAIN_TITLE = "Cloffa - Tavirun"
TIP_ON = "항상 위 설정"    # offered while off
TIP_OFF = "항상 위 해제"   # offered while on


def saved_always_top(j):
    path = os.path.join(j.d.env["XDG_CONFIG_HOME"], "Brellow", "TaviRun.conf")
    config = configparser.ConfigParser()
    config.read(path, encoding="utf-8")
    return config.get("Cloffa", "always_top", fallback=None)


def _state(j, window, toggle):
    above = "_NET_WM_STATE_ABOVE" in j.d.net_wm_state(window)
    return above, j.ui.checked(toggle), toggle.description


class _Is:
    """A condition that is false-y but shows what was seen, for the time-out's message."""

    def __init__(self, seen, wanted):
        self.seen, self.wanted = seen, wanted

    def __bool__(self):
        return self.seen == self.wanted

    def __repr__(self):
        return f"{self.seen}"


def _state_is(j, window, toggle, wanted):
    return lambda: _Is(_state(j, window, toggle), wanted)


def always_on_top_twice(j):
    """Pressed twice, once with the mouse and once through its accessible action as a screen reader does:
    the program stays, the window goes above the others and back, in place, the button reads checked and
    its tooltip follows; the setting is saved and comes back at the next start."""
    j.start_desktop()
    j.start_program()
    j.wait_ready()
    pid = j.d.client_pid()
    window = j.ui.x_window_of(pid, MAIN_TITLE)
    toggle = j.ui.find(j.main, name="항상 위")
    place = j.ui.extents(j.main)
    assert _state(j, window, toggle) == (False, False, TIP_ON), _state(j, window, toggle)

    j.ui.click(toggle)
    wait_until(_state_is(j, window, toggle, (True, True, TIP_OFF)), 10,
               "the window above the others, the button checked, the tooltip for switching off")
    assert desktop.alive(pid) and j.d.windows_named(MAIN_TITLE) == [window], "the program and its window stay"
    assert j.ui.extents(j.main) == place, "neither moved nor resized"
    j.ui.shot("always-on-top", window)

    j.ui.press(toggle)
    wait_until(_state_is(j, window, toggle, (False, False, TIP_ON)), 10,
               "back to normal after the accessible toggle")
    assert desktop.alive(pid) and j.d.windows_named(MAIN_TITLE) == [window]
    assert j.ui.extents(j.main) == place

    # Switched on once more and closed: kept in the settings file and honoured at the next start.
    j.ui.click(toggle)
    wait_until(lambda: _state(j, window, toggle)[0], 10, "the window above the others")
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0
    assert saved_always_top(j) == "1", f"saved always_top={saved_always_top(j)}"

    j.start_program()
    j.wait_ready()
    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)
    toggle = j.ui.find(j.main, name="항상 위")
    wait_until(_state_is(j, window, toggle, (True, True, TIP_OFF)), 10, "on again after the restart")
    j.ui.click(toggle)
    wait_until(_state_is(j, window, toggle, (False, False, TIP_ON)), 10, "off again")
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0
    assert saved_always_top(j) == "0", f"saved always_top={saved_always_top(j)}"


def keyboard_and_screen_reader(j):
    """What a screen reader reads and a keyboard user reaches: the controls by name, the rows as name, size
    and date, the quota values with their words; Tab from the list through every button, Space on a
    focused button acts."""
    j.start_desktop()
    j.d.add_stored("읽을 파일.txt", b"x" * 3000)
    j.start_program()
    table = j.wait_ready()
    wait_until(lambda: j.ui.rows(table), 10, "the stored file listed")
    assert j.ui.rows(table) == [["읽을 파일.txt", "3KB", j.ui.rows(table)[0][2]]], j.ui.rows(table)
    assert len(j.ui.rows(table)[0][2]) == 8, f"the date as 8 characters: {j.ui.rows(table)}"
    for name in ("업로드", "다운로드", "삭제", "최소화", "종료"):
        j.button(name)
    values = {}
    for name in ("총 용량", "사용중인 용량", "남은 용량"):
        values[name] = j.ui.value(j.ui.find(j.main, role="label", name=name))
    assert all(v.endswith(("MB", "KB")) for v in values.values()), f"the quota values as read: {values}"

    order = []
    j.ui.click(j.ui.reveal(table, 0))
    for _ in range(7):
        focused = [n.name for n in j.ui.find_all(j.main) if j.ui.focused(n)]
        order.append(focused[0] if focused else None)
        j.ui.key("Tab")
    expected = ["파일 목록", "업로드", "다운로드", "삭제", "항상 위", "최소화", "종료"]
    assert order == expected, f"Tab order {order}"

    # Back to the upload button and Space on it: the file dialog comes.
    while not j.ui.focused(j.button("업로드")):
        j.ui.key("Tab")
    j.ui.key("space")
    dialog = j.ui.window(j.app, "열기", role="dialog")
    # Shown comes before active: a key sent in between goes to the main window.
    wait_until(lambda: any(j.ui.focused(n) for n in j.ui.find_all(dialog, role="text")), 10,
               "the dialog's name field to take the focus")
    j.ui.key("Escape")
    j.ui.closed(dialog)


def _desktop_entry_key(j, key):
    path = os.path.join(os.environ["QUORVANE_ACCEPTANCE_PREFIX"], "share", "applications", "org.brellow.Quorvane.desktop")
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(key + "="):
                return line.strip().split("=", 1)[1]
    return None


def task_bar(j):
    """What a task bar reads under openbox: the main window is among the window manager's clients and not
    kept off the task bar, with its title as the UTF-8 name, a class that ties it to the installed desktop
    entry, and icons of the usual sizes."""
    j.start_desktop()
    j.start_program()
    j.wait_ready()
    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)
    clients = j.d.run(["xprop", "-root", "_NET_CLIENT_LIST"]).stdout
    assert hex(window) in clients, f"{hex(window)} not among the clients: {clients}"
    assert "_NET_WM_STATE_SKIP_TASKBAR" not in j.d.net_wm_state(window)
    props = j.d.run(["xprop", "-id", str(window), "_NET_WM_NAME", "WM_CLASS", "_NET_WM_ICON"]).stdout
    assert f'_NET_WM_NAME(UTF8_STRING) = "{MAIN_TITLE}"' in props, props[:300]
    wm_class = _desktop_entry_key(j, "StartupWMClass")
    assert f'WM_CLASS(STRING) = "{wm_class}", "{wm_class}"' in props, f"StartupWMClass={wm_class}: {props[:300]}"
    for size in (16, 32, 48):
        assert f"Icon ({size} x {size})" in props, f"no {size}x{size} icon: {props[:300]}"


def _window_position(j, window):
    out = j.d.run(["xdotool", "getwindowgeometry", str(window)]).stdout
    x, y = out.split("Position:")[1].split()[0].split(",")
    return int(x), int(y)


def sort_open_and_move(j):
    """The list as a mouse user meets it: a header click sorts by that column, the same header again
    reverses it, another header sorts by that one; a double click on a row asks where to download it;
    the captionless window is dragged by its body."""
    j.start_desktop()
    files = {"나.txt": b"b" * 3000, "가.txt": b"a" * 100000, "다.txt": b"c" * 10}
    for name, data in files.items():
        j.d.add_stored(name, data)
    j.start_program()
    table = j.wait_ready()
    wait_until(lambda: len(j.ui.rows(table)) == 3, 10, "the stored files listed")

    def names():
        return [r[0] for r in j.ui.rows(table)]

    def sort_by(title, wanted):
        header = j.ui.find(table, role="table column header", name=title)
        j.ui.click(header)
        wait_until(lambda: names() == wanted, 5, f"sorted as {wanted} after a click on {title} (seen {names()})")

    sort_by("파일명", ["가.txt", "나.txt", "다.txt"])
    sort_by("파일명", ["다.txt", "나.txt", "가.txt"])
    sort_by("크기", ["다.txt", "나.txt", "가.txt"])
    sort_by("크기", ["가.txt", "나.txt", "다.txt"])

    j.ui.click(j.ui.reveal(table, j.ui.row_of(table, "나.txt")), double=True)
    dialog = j.ui.window(j.app, "다운로드", role="dialog")
    j.ui.find(dialog, role="label", name="1개의 파일을 다운로드합니다.")
    j.ui.press(j.ui.find(dialog, role="push button", name="취소"))
    j.ui.closed(dialog)

    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)
    before = _window_position(j, window)
    # A point of the skin beside the quota panel's icon: no control there.
    x, y, w, h = j.ui.extents(j.main)
    j.ui.drag((x + w // 2, y + 8), (x + w // 2 + 60, y + 8 + 40))
    wait_until(lambda: _window_position(j, window) == (before[0] + 60, before[1] + 40), 5,
               f"the window moved by the drag (from {before} to {_window_position(j, window)})")
    assert desktop.alive(j.d.client_pid())


def settings_kept_when_the_display_ends(j):
    """The X server goes away under the program (a session ending without telling it): the setting the
    user changed in this run is already in the settings file."""
    j.start_desktop()
    j.start_program()
    j.wait_ready()
    toggle = j.ui.find(j.main, name="항상 위")
    j.ui.click(toggle)
    wait_until(lambda: j.ui.checked(toggle), 10, "the always-on-top button checked")
    j.d.end_display()
    j.d.wait_launcher_end(10)
    assert saved_always_top(j) == "1", f"saved always_top={saved_always_top(j)}"
