"""Starting the program from the toolbar stand-in: the installed names, a second start, the silent ends."""

import os
import time

import desktop
from desktop import wait_until

MAIN_TITLE = "Cloffa - Tavirun"


def _started_and_listed(j, name):
    stored = os.path.join(j.d.run_dir, "stored.txt")
    with open(stored, "w", encoding="utf-8") as f:
        f.write("보관된 파일\n")
    j.d.service_command(f"add 보관된 파일.txt\t{stored}")
    j.start_program(name, left=300, top=200)
    table = j.wait_ready()
    wait_until(lambda: j.ui.rows(table), 10, "the stored file in the list")
    rows = j.ui.rows(table)
    assert rows[0][0] == "보관된 파일.txt", rows
    assert rows[0][1] and rows[0][2], f"size and date are read with the name: {rows}"
    x, y, _w, _h = j.ui.extents(j.main)  # in the screen's pixels
    assert (x, y) == (300, 200), f"placed at the launch position, not at {(x, y)}"
    j.ui.shot(f"started-as-{name}", j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE))
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0


def installed_name(j):
    """`quorvane /start TOKEN LEFT TOP`, as the desktop's own launchers would name it."""
    j.start_desktop()
    _started_and_listed(j, "quorvane")


def exe_link(j):
    """The `Quorvane.exe` link the toolbar starts."""
    j.start_desktop()
    _started_and_listed(j, "Quorvane.exe")


def second_start_raises_first(j):
    """A second start brings the minimised first window back and ends by itself; no second window."""
    j.start_desktop()
    j.start_program()
    j.wait_ready()
    first = j.d.client_pid()
    window = j.ui.x_window_of(first, MAIN_TITLE)
    j.ui.press(j.button("최소화"))
    wait_until(lambda: "_NET_WM_STATE_HIDDEN" in j.d.net_wm_state(window), 10, "the window to be minimised")

    second = j.d.spawn("second", [j.d.tavirun, "launch", "--user", j.d.user, "--",
                                  os.path.join(j.d.bin, "Quorvane.exe")])
    status = second.wait(timeout=15)
    assert status == 0, f"the second copy ended with {status}"
    wait_until(lambda: "_NET_WM_STATE_HIDDEN" not in j.d.net_wm_state(window), 10, "the first window restored")
    assert j.d.client_pid() == first and desktop.alive(first)
    titles = j.d.windows_named(MAIN_TITLE)
    assert titles == [window], f"one main window, not {titles}"


def silent_ends(j):
    """Wrong user, no session, bad token: the program ends by itself and never shows a window."""
    j.start_desktop(session=False)
    cases = [
        # (case, serve the session?, how to start)
        ("wrong user", True, lambda: j.d.launch(user="somebody-else")),
        ("bad token", True, lambda: j.d.launch(token="00112233445566778899aabbccddeeff")),
        ("no session", False, lambda: j.d.launch()),
    ]
    serving = None
    for case, serve, start in cases:
        if serve and serving is None:
            j.d.start_session()
            serving = True
        if not serve and serving:
            _stop_named(j.d, "tavirun-serve")
            serving = None
        launcher = start()
        seen = set()
        deadline = time.monotonic() + 20
        while launcher.poll() is None and time.monotonic() < deadline:
            pid = j.d.client_pid()
            if pid:
                out = j.d.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)]).stdout.split()
                seen.update(out)
            time.sleep(0.05)
        assert launcher.poll() is not None, f"{case}: the program did not end"
        assert not seen, f"{case}: the program showed windows {seen}"
        assert not [a for a in j.ui.applications() if a.name in ("quorvane", "Quorvane.exe")], case


def _stop_named(d, name):
    for proc, n in d.procs:
        if n == name:
            desktop.stop_pid(proc.pid)
