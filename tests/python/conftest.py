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
SHARED_PRINTERS = os.path.join(os.environ.get("MORVEL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                               "tests", "support", "printers", "printers.conf")


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


def shared_printers():
    """The sections of tests/support/printers/printers.conf: each demo
    printer's name and its key and value lines, in order."""
    sections = {}
    with open(SHARED_PRINTERS) as shared:
        for line in shared:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("[") and line.endswith("]"):
                keys = sections.setdefault(line[1:-1], [])
            elif "=" in line:
                key, value = line.split("=", 1)
                keys.append((key.strip(), value.strip()))
    return sections


def write_printers(path, printers, more=""):
    """Writes the shared printers named in `printers`, each (name, uri) or
    (name, uri, name it is installed under), in that order, then `more`.
    Each file: folder of theirs is made."""
    shared = shared_printers()
    with open(path, "w") as conf:
        for name, uri, *installed_as in printers:
            if uri.startswith("file:"):
                os.makedirs(os.path.join(os.path.dirname(path), uri[5:]), exist_ok=True)
            conf.write("[%s]\n" % (installed_as[0] if installed_as else name))
            for key, value in shared[name]:
                conf.write("%s = %s\n" % (key, uri if key == "uri" else value))
            conf.write("\n")
        conf.write(more)


def folder(side, name):
    return os.path.join(WORK, side, name.split()[0].lower())


# The package's printers and the same again for `morvel run`, each brand in
# a folder of its own; the package's also reach the listener as ZDesigner Net.
write_printers(os.path.join(WORK, "python.conf"),
               [(n, "file:" + folder("python", n)) for n in NAMES] +
               [("ZDesigner GK420t", "socket://127.0.0.1:%d" % LISTENER.port, "ZDesigner Net")])
write_printers(os.path.join(WORK, "script.conf"), [(n, "file:" + folder("script", n)) for n in NAMES])
os.environ["MORVEL_PRINTERS"] = os.path.join(WORK, "python.conf")
os.environ["MORVEL_CUPS"] = "0"
os.environ.pop("MORVEL_LIBRARY_DIR", None)


@pytest.fixture(scope="session", autouse=True)
def clean_up():
    yield
    LISTENER.close()
    shutil.rmtree(WORK, ignore_errors=True)
