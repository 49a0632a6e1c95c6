"""Printers for the tests, set up before morvel is imported: one file:
folder per brand for the package, another per brand for `morvel run`, and a
loopback listener behind a socket:// printer."""
import os
import shutil
import socket
import tempfile
import threading

import pytest

WORK = tempfile.mkdtemp(prefix="morvel-pytest-")
NAMES = ["ZDesigner GK420t", "SATO CL4NX 305dpi", "Orx TE200", "Dothan T7 Label"]
DPI = {"ZDesigner GK420t": 203, "SATO CL4NX 305dpi": 305, "Orx TE200": 203, "Dothan T7 Label": 203}


class Listener:
    """Accepts connections on a loopback port and keeps what each sent."""

    def __init__(self):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]
        self.received = []
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            with connection:
                data = b""
                while chunk := connection.recv(65536):
                    data += chunk
            self.received.append(data)
            self.done.set()

    def close(self):
        self.server.close()


LISTENER = Listener()


def write_conf(path, folder_of, extra=""):
    with open(path, "w") as conf:
        for name in NAMES:
            os.makedirs(folder_of(name), exist_ok=True)
            conf.write("[%s]\nuri = file:%s\ndpi = %d\n\n" % (name, folder_of(name), DPI[name]))
        conf.write(extra)


def folder(side, name):
    return os.path.join(WORK, side, name.split()[0].lower())


write_conf(os.path.join(WORK, "python.conf"), lambda n: folder("python", n),
           "[ZDesigner Net]\nuri = socket://127.0.0.1:%d\ndpi = 203\n" % LISTENER.port)
write_conf(os.path.join(WORK, "script.conf"), lambda n: folder("script", n))
os.environ["MORVEL_PRINTERS"] = os.path.join(WORK, "python.conf")
os.environ["MORVEL_CUPS"] = "0"
os.environ.pop("MORVEL_LIBRARY_DIR", None)


@pytest.fixture(scope="session", autouse=True)
def clean_up():
    yield
    LISTENER.close()
    shutil.rmtree(WORK, ignore_errors=True)
