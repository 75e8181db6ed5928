"""The main window itself: the always-on-top button and the setting it keeps."""

import configparser
import os

import desktop
from desktop import wait_until

MAIN_TITLE = "Cloffa - Tavirun"
TIP_ON = "항상 위 설정"    # offered while off
TIP_OFF = "항상 위 해제"   # offered while on


def _saved_always_top(j):
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
    """Pressed twice: the program stays, the window goes above the others and back, in place, the button
    reads checked and its tooltip follows; the setting is saved and comes back at the next start."""
    j.start_desktop()
    j.start_program()
    j.wait_ready()
    pid = j.d.client_pid()
    window = j.ui.x_window_of(pid, MAIN_TITLE)
    toggle = j.ui.find(j.main, name="항상 위")
    place = j.ui.extents(j.main)
    assert _state(j, window, toggle) == (False, False, TIP_ON), _state(j, window, toggle)

    j.ui.press(toggle)
    wait_until(_state_is(j, window, toggle, (True, True, TIP_OFF)), 10,
               "the window above the others, the button checked, the tooltip for switching off")
    assert desktop.alive(pid) and j.d.windows_named(MAIN_TITLE) == [window], "the program and its window stay"
    assert j.ui.extents(j.main) == place, "neither moved nor resized"
    j.ui.shot("always-on-top", window)

    j.ui.press(toggle)
    wait_until(_state_is(j, window, toggle, (False, False, TIP_ON)), 10, "back to normal")
    assert desktop.alive(pid) and j.d.windows_named(MAIN_TITLE) == [window]
    assert j.ui.extents(j.main) == place

    # Switched on once more and closed: kept in the settings file and honoured at the next start.
    j.ui.press(toggle)
    wait_until(lambda: _state(j, window, toggle)[0], 10, "the window above the others")
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0
    assert _saved_always_top(j) == "1", f"saved always_top={_saved_always_top(j)}"

    j.start_program()
    j.wait_ready()
    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)
    toggle = j.ui.find(j.main, name="항상 위")
    wait_until(_state_is(j, window, toggle, (True, True, TIP_OFF)), 10, "on again after the restart")
    j.ui.press(toggle)
    wait_until(_state_is(j, window, toggle, (False, False, TIP_ON)), 10, "off again")
    j.ui.press(j.button("종료"))
    assert j.d.wait_launcher_end(10) == 0
    assert _saved_always_top(j) == "0", f"saved always_top={_saved_always_top(j)}"
