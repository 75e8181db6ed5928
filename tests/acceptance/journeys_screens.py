"""Screenshots of the main window, the waiting box, the transfer dialog and every dialog, at scale 1 and
at QT_SCALE_FACTOR=1.5 and 2, kept in the run's shots folder. Each is checked to be a picture of its window's size."""

import os
import struct

from desktop import wait_until
from driver import button_text
from journeys_download import destination_dialog, select_rows, start_download
from journeys_transfer import answer
from journeys_upload import open_dialog

MAIN_TITLE = "Cloffa - Tavirun"


def _png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is no PNG"
    return struct.unpack(">II", head[16:24])


def _waiting_box(j, name, shots):
    """The program's first questions to the service are held back, so the waiting box stays up long enough
    for its picture (a frameless window: the screen is cut to its accessible's extents)."""
    # Long enough for a loaded machine: the box must still be up when its picture is taken.
    j.d.service_command("fault soap stall ms=5000 count=2")
    j.start_program()
    label = j.ui.find(j.app, role="label", name=lambda n: (n or "").startswith(("파일목록을", "사용자 정보를")),
                      showing=True, timeout=15)
    box = label
    while box.parent is not None and box.parent.getRoleName() != "application":
        box = box.parent
    x, y, w, h = j.ui.extents(box)
    full = j.ui.shot(f"waiting-box-screen-x{name}")
    # A box already gone has no extents, and a crop of nothing would keep the whole screen.
    assert w > 0 and h > 0, "the waiting box was up for its picture"
    path = os.path.join(os.path.dirname(full), f"waiting-box-x{name}.png")
    result = j.d.run(["convert", full, "-crop", f"{w}x{h}+{x}+{y}", "+repage", path], timeout=30)
    assert result.returncode == 0, result.stderr
    os.remove(full)
    shots.append((path, "waiting box"))


def _screens(j, scale, tag=""):
    j.start_desktop()
    for name, size in (("사진.jpg", 150000), ("문서.txt", 2000), ("큰 파일.bin", 600000)):
        j.d.add_stored(name, os.urandom(size))
    folder = os.path.join(j.d.home, "down")
    os.makedirs(folder)
    with open(os.path.join(folder, "사진.jpg"), "wb") as f:
        f.write(b"old")
    shots = []
    _waiting_box(j, f"{scale}{tag}", shots)
    table = j.wait_ready()
    wait_until(lambda: len(j.ui.rows(table)) == 3, 15, "three rows")
    pid = j.d.client_pid()

    def shot(name, title):
        path = j.ui.shot(f"{name}-x{scale}{tag}", j.ui.x_window_of(pid, title))
        assert path, f"no screenshot of {title}"
        shots.append((path, title))

    shot("main-window", MAIN_TITLE)

    j.ui.press(j.button("삭제"))
    j.ui.message_box(j.app)
    shot("message-information", "Cloffa")
    answer(j, "삭제할 파일을 선택하여 주십시오.", "확인")

    select_rows(j, ["문서.txt"])
    j.ui.press(j.button("삭제"))
    j.ui.message_box(j.app)
    shot("message-question", "Cloffa")
    answer(j, "선택된 파일을 삭제하시겠습니까?  ", "아니요")

    dialog, _view = open_dialog(j)
    shot("upload-file-dialog", "열기")
    j.ui.press(j.ui.find(dialog, role="push button", name=button_text("취소")))
    j.ui.closed(dialog)

    select_rows(j, ["사진.jpg", "큰 파일.bin"])
    dialog = destination_dialog(j, 2)
    shot("download-destination", "다운로드")
    j.ui.press(j.ui.find(dialog, role="push button", name="..."))
    browser = j.ui.window(j.app, "폴더를 선택하세요", role="dialog")
    shot("folder-browser", "폴더를 선택하세요")
    j.ui.press(j.ui.find(browser, role="push button", name=button_text("취소")))
    j.ui.closed(browser)
    j.ui.set_text(j.ui.find(dialog, role="text"), folder)
    j.d.service_command("fault download stall-mid-body bytes=200000 ms=20000 count=2")
    start_download(j, dialog, open_folder=False)

    question = j.ui.window(j.app, "파일 바꾸기 확인", timeout=20)
    shot("replace-question", "파일 바꾸기 확인")
    j.ui.press(j.ui.find(question, role="push button", name=button_text("예")))
    transfer = j.ui.window(j.app, "다운로드중...", timeout=15)
    wait_until(lambda: os.listdir(folder) != ["사진.jpg"], 10, "the transfer under way")
    shot("transfer-dialog", "다운로드중...")
    j.ui.press(j.button("종료"))
    j.ui.message_box(j.app)
    shot("message-close-refused", "Cloffa")
    answer(j, "진행중인 작업이 있습니다.\n작업을 완료후 다시 시도해 주십시오", "확인")
    j.ui.press(j.ui.find(transfer, role="push button", name="취소"))
    j.ui.message_box(j.app)
    shot("message-cancel-question", "Cloffa")
    answer(j, "파일전송을 취소하시겠습니까?", "예")
    j.ui.closed(transfer)

    for path, title in shots:
        width, height = _png_size(path)
        least_w, least_h = (200, 40) if title == "waiting box" else (150, 60)
        assert width >= least_w * scale and height >= least_h * scale, \
            f"{path}: {width}x{height} is too small at x{scale}"
        print(f"screenshot {path} ({width}x{height})")
    main_w, main_h = _png_size(next(path for path, title in shots if title == MAIN_TITLE))
    assert (main_w, main_h) == (round(276 * scale), round(290 * scale)), f"main window {main_w}x{main_h} at x{scale}"


def scale_1(j):
    _screens(j, 1)


def scale_2(j):
    _screens(j, 2)


def scale_1_5(j):
    _screens(j, 1.5)


# A dark desktop as Qt's own KDE theme reads it from kdeglobals (the Fusion style with that palette).
DARK_KDEGLOBALS = """[General]
ColorScheme=BreezeDark
widgetStyle=Fusion

[Colors:Window]
BackgroundNormal=32,35,38
ForegroundNormal=252,252,252
ForegroundInactive=161,169,177

[Colors:View]
BackgroundNormal=20,22,24
BackgroundAlternate=29,31,34
ForegroundNormal=252,252,252

[Colors:Button]
BackgroundNormal=41,44,48
ForegroundNormal=252,252,252

[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=252,252,252

[Colors:Tooltip]
BackgroundNormal=41,44,48
ForegroundNormal=252,252,252
"""


def dark(j):
    """The same windows under a dark desktop palette: the skinned windows keep their own colours, the
    standard dialogs follow the desktop."""
    with open(os.path.join(j.d.env["XDG_CONFIG_HOME"], "kdeglobals"), "w", encoding="utf-8") as f:
        f.write(DARK_KDEGLOBALS)
    _screens(j, 1, "-dark")
    shots = os.path.join(j.d.run_dir, "shots")

    def brightness(name, crop=None):
        argv = ["convert", os.path.join(shots, name)]
        if crop:
            argv += ["-crop", crop, "+repage"]
        out = j.d.run(argv + ["-colorspace", "Gray", "-format", "%[fx:mean]", "info:"])
        assert out.returncode == 0, out.stderr
        return float(out.stdout)
    # The desktop's palette took: a standard dialog is dark. The skin's windows stay light.
    assert brightness("download-destination-x1-dark.png") < 0.35, "the standard dialog follows the dark desktop"
    assert brightness("main-window-x1-dark.png", "240x100+20+120") > 0.8, "the file list keeps the skin's colours"
    assert brightness("waiting-box-x1-dark.png") > 0.8, "the waiting box keeps the skin's colours"


scale_2.desktop_options = {"scale": 2}
dark.desktop_options = {"env": {"QT_QPA_PLATFORMTHEME": "kde", "KDE_SESSION_VERSION": "5",
                                "KDE_FULL_SESSION": "true", "XDG_CURRENT_DESKTOP": "KDE"}}
scale_1_5.desktop_options = {"scale": 1.5}
