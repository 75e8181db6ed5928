"""Calls that overlap and a close that never waits on the server.

A delete whose answer is late while an upload ends (the refresh it asks for waits for the delete), and
the program ended (its close button, the toolbar's logout, SIGTERM) while a server trickles its answer a
byte a second or sends nothing: the process is gone within 5 s whatever the server does. A small relay
between the program and the local service does the trickling; TLS passes through it untouched."""

import os
import signal
import socket
import threading
import time

from desktop import alive, wait_until
from journeys_download import destination_dialog, select_rows, start_download
from journeys_transfer import answer
from journeys_upload import drop_on_list, make_files

QUESTION = "선택된 파일을 삭제하시겠습니까?  "
EXIT_LIMIT = 5.0


class Relay:
    """A TCP relay on a free loopback port in front of `port`. `mode` applies to bytes from then on, on
    every connection: "pass", "trickle" (one byte a second in the direction set by `up`) or "silent"
    (nothing from the server reaches the program)."""

    def __init__(self, port):
        self.port = port
        self.mode = "pass"
        self.up = False
        self.quit = False
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.listener.settimeout(0.2)
        self.threads = [threading.Thread(target=self._accept, daemon=True)]
        self.threads[0].start()

    @property
    def url(self):
        return f"https://127.0.0.1:{self.listener.getsockname()[1]}"

    def _accept(self):
        while not self.quit:
            try:
                client, _ = self.listener.accept()
            except OSError:
                continue
            server = socket.create_connection(("127.0.0.1", self.port))
            for source, target, upward in ((client, server, True), (server, client, False)):
                t = threading.Thread(target=self._pump, args=(source, target, upward), daemon=True)
                t.start()
                self.threads.append(t)

    def _pump(self, source, target, upward):
        source.settimeout(0.2)
        held = b""
        try:
            while not self.quit:
                if not held:
                    try:
                        held = source.recv(65536)
                    except socket.timeout:
                        continue
                    if not held:
                        break
                slow = (self.mode == "trickle" and self.up == upward) or (self.mode == "silent" and not upward)
                if not slow:
                    target.sendall(held)
                    held = b""
                elif self.mode == "trickle":
                    target.sendall(held[:1])
                    held = held[1:]
                    time.sleep(1.0)
                else:
                    time.sleep(0.2)
        except OSError:
            pass
        finally:
            for s in (source, target):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

    def stop(self):
        self.quit = True
        self.listener.close()


def _through_relay(j, soap=True, transfer=False):
    """The desktop and the service, with the SOAP calls and/or the transfers going through a relay."""
    j.start_desktop()
    relay = Relay(int(j.d.service_url.rsplit(":", 1)[1]))
    j.d.env["CLOFFA_SERVICE_URL"] = relay.url if soap else j.d.service_url
    j.d.env["CLOFFA_TRANSFER_URL"] = relay.url if transfer else j.d.service_url
    return relay


def _end(j, how):
    """Ends the program the way `how` says; returns the seconds until its process was gone."""
    pid = j.d.client_pid()
    close = j.button("종료") if how == "close" else None
    began = time.monotonic()
    if how == "close":
        j.ui.press(close)
    elif how == "logout":
        assert j.d.logout() == 0
    else:
        os.kill(pid, signal.SIGTERM)
    try:
        wait_until(lambda: not alive(pid), 20, "the program's process to end")
    finally:
        took = time.monotonic() - began
        print(f"exit after {how}: {took:.1f} s")
    return took


def _ended_while_the_list_trickles(j, how, mode="trickle"):
    relay = _through_relay(j)
    try:
        j.d.add_stored("목록.txt", b"listed\n")
        up = os.path.join(j.d.home, "up")
        make_files(up, {"올린 파일.txt": b"uploaded\n"})
        j.start_program()
        j.wait_ready()
        # The upload goes straight to the service; the refresh after it meets the slow server.
        relay.mode = mode
        lists = j.calls("GetUserFiles")
        drop_on_list(j, "upload", [os.path.join(up, "올린 파일.txt")])
        wait_until(lambda: j.calls("GetUserFiles") > lists, 15, "the refresh after the upload")
        j.ui.find(j.app, role="label", showing=True, name=lambda n: (n or "").startswith("파일목록을"))
        time.sleep(1.5)  # well into the answer
        took = _end(j, how)
        assert took < EXIT_LIMIT, f"the process lived {took:.1f} s after the {how}"
    finally:
        relay.stop()


def closed_while_a_refresh_runs(j):
    """The list answer trickles a byte a second: the close button ends the process within 5 s."""
    _ended_while_the_list_trickles(j, "close")


def logout_while_a_refresh_runs(j):
    """The same with the toolbar's logout."""
    _ended_while_the_list_trickles(j, "logout")


def ended_while_a_refresh_runs(j):
    """The same with SIGTERM, and against a server that sends nothing at all."""
    _ended_while_the_list_trickles(j, "sigterm", mode="silent")


def ended_while_a_download_trickles(j):
    """A download whose body trickles a byte a second: SIGTERM ends the program within 5 s, nothing of
    the file is left."""
    relay = _through_relay(j, soap=False, transfer=True)
    try:
        data = os.urandom(300000)
        j.d.add_stored("느린 파일.bin", data)
        folder = os.path.join(j.d.home, "down")
        os.makedirs(folder)
        j.start_program()
        j.wait_ready()
        relay.mode = "trickle"
        select_rows(j, ["느린 파일.bin"])
        dialog = destination_dialog(j, 1)
        j.ui.set_text(j.ui.find(dialog, role="text"), folder)
        start_download(j, dialog, open_folder=False)
        j.ui.window(j.app, "다운로드중...", timeout=15)
        time.sleep(1.5)
        took = _end(j, "sigterm")
        assert took < EXIT_LIMIT, f"the process lived {took:.1f} s after SIGTERM"
        assert not os.listdir(folder), os.listdir(folder)
    finally:
        relay.stop()


def ended_while_an_upload_trickles(j):
    """An upload whose body the server takes a byte a second: SIGTERM ends the program within 5 s and
    nothing is stored."""
    relay = _through_relay(j, soap=False, transfer=True)
    try:
        up = os.path.join(j.d.home, "up")
        make_files(up, {"느린 업로드.bin": os.urandom(300000)})
        j.start_program()
        j.wait_ready()
        relay.mode, relay.up = "trickle", True
        drop_on_list(j, "upload", [os.path.join(up, "느린 업로드.bin")])
        j.ui.window(j.app, "업로드중...", timeout=15)
        time.sleep(1.5)
        took = _end(j, "sigterm")
        assert took < EXIT_LIMIT, f"the process lived {took:.1f} s after SIGTERM"
        assert j.d.stored_names() == [], j.d.stored_names()
    finally:
        relay.stop()


def delete_while_an_upload_ends(j):
    """The delete's answer is late and an upload ends meanwhile: the refresh it asks for runs after the
    delete, not inside its wait; the program stays, the file is gone and the upload listed."""
    j.start_desktop()
    j.d.add_stored("지울 파일.txt", b"delete me\n")
    j.d.add_stored("남을 파일.txt", b"stays\n")
    up = os.path.join(j.d.home, "up")
    make_files(up, {"올린 파일.bin": os.urandom(300000)})
    j.start_program()
    table = j.wait_ready()
    wait_until(lambda: len(j.ui.rows(table)) == 2, 15, "two stored files listed")
    select_rows(j, ["지울 파일.txt"])
    j.d.service_command("fault upload stall-mid-body bytes=100000 ms=3000")
    drop_on_list(j, "upload", [os.path.join(up, "올린 파일.bin")])
    j.ui.window(j.app, "업로드중...", timeout=15)
    j.d.service_command("fault soap stall ms=6000")
    j.ui.press(j.button("삭제"))
    lists = j.calls("GetUserFiles")
    answer(j, QUESTION, "예")
    # The upload ends while the delete waits for its answer.
    wait_until(lambda: "올린 파일.bin" in j.d.stored_names(), 15, "the upload to be stored")
    assert j.calls("GetUserFiles") == lists, "no list fetched while the delete waits"
    wait_until(lambda: sorted(r[0] for r in j.ui.rows(table)) == ["남을 파일.txt", "올린 파일.bin"], 20,
               "the list after the delete and the upload")
    assert alive(j.d.client_pid())
    assert sorted(j.d.stored_names()) == ["남을 파일.txt", "올린 파일.bin"]
    assert j.calls("GetUserFiles") == lists + 1, "one list for the delete and the upload"
    took = _end(j, "close")
    assert took < EXIT_LIMIT
