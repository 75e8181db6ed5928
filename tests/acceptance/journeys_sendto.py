"""Files sent from a file manager's menu: the installed entries run the installed program with the
selected files, which hands them to the running copy; with no running copy the desktop says so."""

import configparser
import desktop
import json
import os
import shlex
import shutil
import subprocess
import time

from desktop import wait_until
from driver import button_text
from journeys_upload import FOLDER_MESSAGE, wait_listed

HERE = os.path.dirname(os.path.abspath(__file__))
APP_ID = "org.brellow.Quorvane"
NOT_RUNNING = "Cloffa가 실행 중이 아니어서 파일을 보내지 못했습니다."
MAIN_TITLE = "Cloffa - Tavirun"
THUNAR = os.path.join("Thunar", "sendto", APP_ID + ".desktop")


def _exec_line(path, group):
    entry = configparser.ConfigParser(interpolation=None, strict=False)
    entry.optionxform = str
    entry.read(path, encoding="utf-8")
    return entry[group]["Exec"]


def send_as_file_manager(j, entry, group, paths, quoted=False):
    """Runs the entry's Exec line as the file manager does: %F becomes the selected paths (each its own
    argument, or double-quoted into the line for Nemo), the program is found on the PATH, which has the
    install's bin folder. Returns the finished process."""
    line = _exec_line(os.path.join(j.d.programs.bin, "..", "share", entry), group)
    if quoted:
        line = line.replace("%F", " ".join(f'"{p}"' for p in paths))
        argv = shlex.split(line)
    else:
        argv = []
        for word in shlex.split(line):
            argv.extend(paths if word == "%F" else [word])
    env = dict(j.d.env)
    env["PATH"] = j.d.programs.bin + os.pathsep + env["PATH"]
    env["QT_LOGGING_RULES"] = "quorvane.*.info=true"
    began = time.monotonic()
    done = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=20, cwd=j.d.run_dir)
    print(f"sent {len(paths)} path(s) in {time.monotonic() - began:.2f} s, status {done.returncode}")
    return done


def file_manager_env(j):
    """A file manager's environment on this desktop: it finds the install's entries among the system's
    data folders, and the installed program on the PATH."""
    env = dict(j.d.env)
    env.update(desktop.FILE_MANAGER_ENV)
    prefix = os.path.dirname(j.d.programs.bin)
    env["XDG_DATA_DIRS"] = os.path.join(prefix, "share") + os.pathsep + "/usr/local/share:/usr/share"
    env["PATH"] = j.d.programs.bin + os.pathsep + env["PATH"]
    return env


def start_notifications(j, task_bar=None):
    record = os.path.join(j.d.logs, "notifications.jsonl")
    argv = ["/usr/bin/python3", "-B", os.path.join(HERE, "notification_service.py"), record]
    if task_bar:
        argv.append(task_bar)
    proc = j.d.spawn("notifications", argv, stdout=subprocess.PIPE)
    line = proc.stdout.readline().decode().strip()
    proc.stdout.close()
    assert line == "ready", f"the notification stand-in did not start: {j.d.log_text('notifications')}"
    return record


def notifications(record):
    if not os.path.exists(record):
        return []
    with open(record, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def thunar_and_nemo(j):
    """Thunar's "Send To" entry with two files (a Korean name with blanks among them) and Nemo's action
    with one: each lands in the store and the list; a folder sent gets the drop's folder message."""
    j.start_desktop()
    folder = os.path.join(j.d.home, "보낼 곳")
    os.makedirs(folder)
    files = {"보낼 파일 1.txt": "파일 관리자에서 보냄\n".encode(), "data.bin": os.urandom(60000),
             "nemo file.txt": b"from the action\n"}
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    j.start_program()
    j.wait_ready()

    thunar = THUNAR
    sent = send_as_file_manager(j, thunar, "Desktop Entry",
                                [os.path.join(folder, "보낼 파일 1.txt"), os.path.join(folder, "data.bin")])
    assert sent.returncode == 0, f"the sending copy ended with {sent.returncode}: {sent.stderr}"
    wait_listed(j, ["보낼 파일 1.txt", "data.bin"])

    nemo = os.path.join("nemo", "actions", APP_ID + ".sendto.nemo_action")
    sent = send_as_file_manager(j, nemo, "Nemo Action", [os.path.join(folder, "nemo file.txt")], quoted=True)
    assert sent.returncode == 0, f"the sending copy ended with {sent.returncode}: {sent.stderr}"
    wait_listed(j, list(files))
    for name, data in files.items():
        assert j.d.stored_bytes(name) == data, f"{name} stored as it was"

    before = sorted(j.d.stored_names())
    sent = send_as_file_manager(j, thunar, "Desktop Entry", [folder])
    assert sent.returncode == 0, f"the sending copy ended with {sent.returncode}: {sent.stderr}"
    # Sent while the message is open: taken, and sent up once the user has answered it.
    box, shown = j.ui.message_box(j.app)
    assert shown == FOLDER_MESSAGE, shown
    later = os.path.join(folder, "나중에.txt")
    with open(later, "wb") as f:
        f.write(b"sent while a box was open\n")
    sent = send_as_file_manager(j, thunar, "Desktop Entry", [later])
    assert sent.returncode == 0, f"the sending copy ended with {sent.returncode}: {sent.stderr}"
    time.sleep(0.5)
    assert sorted(j.d.stored_names()) == before, "nothing goes up while the box is open"
    j.ui.press(j.ui.find(box, role="push button", name=button_text("확인")))
    j.ui.closed(box)
    wait_listed(j, ["나중에.txt"])
    assert sorted(j.d.stored_names()) == sorted(before + ["나중에.txt"]), "the folder itself never went up"


def no_running_copy(j):
    """Sent while no copy runs: nothing goes up, the sender ends with a failure and the desktop's
    notification service shows why, with the program's name and icon."""
    j.start_desktop()
    record = start_notifications(j)
    path = os.path.join(j.d.home, "혼자 보낸 파일.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write("no copy runs\n")
    sent = send_as_file_manager(j, THUNAR, "Desktop Entry", [path])
    assert sent.returncode != 0, "the sending copy reports the failure"
    shown = wait_until(lambda: notifications(record), 10, "the notification")
    assert len(shown) == 1, shown
    n = shown[0]
    assert n["summary"] == NOT_RUNNING, n
    assert "툴바" in n["body"], n
    assert n["app"] == "Cloffa" and n["icon"] == APP_ID and n["desktop_entry"] == APP_ID, n
    assert j.d.stored_names() == [], "nothing uploaded"
    assert not j.d.windows_named(MAIN_TITLE), "no window opened"


def told_when_away(j):
    """An upload the user watches ends without a notification; one that ends while the main window is
    minimized is told by the desktop's notification service, in Korean, with the program's icon. While
    it runs, the task bar entry shows its progress, and none once it is over."""
    j.start_desktop()
    task_bar = os.path.join(j.d.logs, "task-bar.jsonl")
    record = start_notifications(j, task_bar)
    seen = os.path.join(j.d.home, "보는 중.txt")
    away = os.path.join(j.d.home, "멀리서 올린 파일.bin")
    with open(seen, "wb") as f:
        f.write(b"watched\n")
    data = os.urandom(400000)
    with open(away, "wb") as f:
        f.write(data)
    j.start_program()
    j.wait_ready()

    sent = send_as_file_manager(j, THUNAR, "Desktop Entry", [seen])
    assert sent.returncode == 0, f"the sending copy ended with {sent.returncode}: {sent.stderr}"
    wait_listed(j, ["보는 중.txt"])

    window = j.ui.x_window_of(j.d.client_pid(), MAIN_TITLE)
    j.d.service_command(f"fault upload stall-mid-body bytes={len(data) // 3} ms=3000")
    sent = send_as_file_manager(j, THUNAR, "Desktop Entry", [away])
    assert sent.returncode == 0, f"the sending copy ended with {sent.returncode}: {sent.stderr}"
    j.ui.window(j.app, "업로드중...", timeout=15)
    j.ui.press(j.button("최소화"))
    wait_until(lambda: "_NET_WM_STATE_HIDDEN" in j.d.net_wm_state(window), 10, "the window to be minimised")
    shown = wait_until(lambda: notifications(record), 20, "the notification")
    assert len(shown) == 1, f"only the batch that ended unseen is told: {shown}"
    n = shown[0]
    assert (n["summary"], n["body"]) == ("업로드를 마쳤습니다.", "1개의 파일을 업로드했습니다."), n
    assert n["app"] == "Cloffa" and n["icon"] == APP_ID and n["desktop_entry"] == APP_ID, n
    assert j.d.stored_bytes("멀리서 올린 파일.bin") == data

    updates = notifications(task_bar)
    assert updates and all(u["app"] == f"application://{APP_ID}.desktop" for u in updates), updates
    running = [u for u in updates if u["progress-visible"]]
    assert running and all(0.0 <= u["progress"] <= 1.0 and u["count"] == 1 for u in running), updates
    assert any(0.0 < u["progress"] < 1.0 for u in running), f"progress seen between start and end: {updates}"
    last = updates[-1]
    assert not last["progress-visible"] and not last["count-visible"], f"nothing left on the entry: {last}"


def _file_manager_with_one_file(j, label, argv, folder_name, name, data):
    """The listed program beside a window of `argv`'s file manager on a home folder holding one file;
    returns the file manager's accessible application and that window. Skipped where it is missing."""
    if not shutil.which(argv[0]):
        raise desktop.Unavailable(f"{label} is not installed")
    j.start_desktop()
    folder = os.path.join(j.d.home, folder_name)
    os.makedirs(folder)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
    j.start_program()
    j.wait_ready()
    proc = j.d.spawn(argv[0], [*argv, folder], env=file_manager_env(j))
    app = j.ui.application(pid=proc.pid, timeout=20)
    return app, j.ui.window(app, lambda n: folder_name in (n or ""), timeout=20)


def through_thunar_menu(j):
    """Really through Thunar: the file selected in its window, "Send To" > "Cloffa" from its context
    menu; Thunar runs the installed entry, and the file lands in the store."""
    name = "메뉴로 보낸 파일.txt"
    data = "Thunar의 보내기 메뉴\n".encode()
    thunar, window = _file_manager_with_one_file(j, "Thunar", ["thunar"], "메뉴", name, data)
    view = j.ui.find(window, role="directory pane")
    j.ui.click(at=j.ui.centre(view))
    j.ui.key("ctrl+a")
    # The selection's menu (the folder's own has no "Send To"), opened from the keyboard.
    j.ui.key("shift+F10")
    j.ui.click(j.ui.find(thunar, role="menu", name="Send To", showing=True))
    entry = j.ui.find(thunar, role="menu item", name="Cloffa", showing=True)
    j.ui.shot("thunar-send-to")
    j.ui.click(entry)
    wait_listed(j, [name])
    assert j.d.stored_bytes(name) == data, "stored as it was"


def through_nemo_menu(j):
    """Really through Nemo: the file selected in its window, the action "Send to Cloffa" from its
    context menu; Nemo runs the installed action, and the file lands in the store."""
    name = "액션으로 보낸 파일.txt"
    data = "Nemo의 액션\n".encode()
    nemo, window = _file_manager_with_one_file(j, "Nemo", ["nemo", "--no-desktop"], "액션", name, data)
    j.ui.find(window, role="icon", name=name)  # listed
    j.ui.click(at=j.ui.centre(j.ui.find(window, role="layered pane", name="Icon View")))
    j.ui.key("ctrl+a")
    j.ui.key("shift+F10")
    entry = j.ui.find(nemo, role="menu item", name="Send to Cloffa", showing=True)
    j.ui.shot("nemo-action")
    j.ui.click(entry)
    wait_listed(j, [name])
    assert j.d.stored_bytes(name) == data, "stored as it was"
