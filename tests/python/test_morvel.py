"""The Python package as installed from its wheel: labels equal to what
`morvel run` writes, a socket:// printer, errors, by-reference write-back,
Base64 round trips, callbacks, and help written from the member table."""
import importlib.metadata
import os
import re
import shlex
import struct
import subprocess
import zlib

import pytest

import conftest
import morvel

SOURCE = os.environ["MORVEL_SOURCE_DIR"]
COMMAND = os.environ["MORVEL_COMMAND"]
EXAMPLES = os.path.join(SOURCE, "examples")
SCRIPTS = {
    "ZDesigner GK420t": "zebra-label.mvs",
    "SATO CL4NX 305dpi": "sato-label.mvs",
    "Orx TE200": "orx-label.mvs",
    "Dothan T7 Label": "dothan-label.mvs",
}


def statements(path):
    """The calls of a call script, with Python values: numbers for bare
    numbers, pictures for @PATH, text otherwise."""
    calls = []
    for line in open(path, encoding="utf-8"):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        lexer = shlex.shlex(line, posix=True)
        lexer.whitespace_split = True
        lexer.commenters = "#"
        words = list(lexer)
        raw = line.split()
        args = []
        for word, text in zip(words[1:], raw[1:]):
            if text.startswith('"'):
                args.append(word)
            elif word.startswith("@"):
                args.append(morvel.Picture.from_file(os.path.join(os.path.dirname(path), word[1:])))
            elif re.fullmatch(r"-?\d+", word):
                args.append(int(word))
            elif re.fullmatch(r"-?\d+\.\d*", word):
                args.append(float(word))
            else:
                args.append(word)
        calls.append((words[0], args))
    return calls


def call(pb, member, args):
    attribute = getattr(type(pb), member)
    if isinstance(attribute, property):
        return getattr(pb, member)
    return getattr(pb, member)(*args)


def jobs(folder):
    return [open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder))]


def test_the_package_comes_from_the_wheel_not_the_build():
    venv = os.environ["VIRTUAL_ENV"]
    assert morvel.__file__.startswith(venv)
    assert morvel._core._lib._name.startswith(os.path.join(os.path.dirname(morvel.__file__), "lib"))
    with open("/proc/self/maps") as maps:
        loaded = {line.split()[-1] for line in maps if ".so" in line and "morvel" in line}
    assert loaded and all(path.startswith(venv) for path in loaded), loaded


@pytest.mark.parametrize("printer", list(SCRIPTS))
def test_a_label_equals_what_morvel_run_writes(printer):
    script = os.path.join(EXAMPLES, SCRIPTS[printer])
    env = dict(os.environ, MORVEL_PRINTERS=os.path.join(conftest.WORK, "script.conf"))
    subprocess.run([COMMAND, "run", script], check=True, env=env, capture_output=True)
    pb = morvel.PrintBarCode()
    for member, args in statements(script):
        call(pb, member, args)
    pb.close()
    from_script = jobs(conftest.folder("script", printer))
    from_python = jobs(conftest.folder("python", printer))
    assert len(from_python) >= 1
    assert from_python == from_script


def test_a_label_through_a_socket_printer_equals_its_file_job():
    calls = [(m, [a.replace("ZDesigner GK420t", "ZDesigner Net") if isinstance(a, str) else a for a in args])
             for m, args in statements(os.path.join(EXAMPLES, SCRIPTS["ZDesigner GK420t"]))]
    before = len(conftest.LISTENER.received)
    conftest.LISTENER.done.clear()
    with morvel.PrintBarCode() as pb:
        for member, args in calls:
            call(pb, member, args)
    assert conftest.LISTENER.done.wait(60)
    assert len(conftest.LISTENER.received) == before + 1
    assert conftest.LISTENER.received[-1] == jobs(conftest.folder("python", "ZDesigner GK420t"))[-1]


def test_tag_results_of_a_printer_that_cannot_answer():
    """A SATO label's tag on a file: printer: each copy unknown, with why
    (the fields after epc read where the C struct has them)."""
    with morvel.PrintBarCode() as pb:
        pb.SetPrint("SATO CL4NX 305dpi")
        pb.OpenPort("SATO CL4NX 305dpi")
        pb.InitPrint(60, 40, 4, 10, 2, 1, 0)
        pb.OpRFID("W", "MORVEL-0001", "", "", "", "")
        pb.PrintLabel(2)
        results = morvel.tag_results(pb)
        pb.ClosePort()
        assert morvel.tag_results(pb) == []
    assert [(r.label, r.state, r.epc, r.tid, r.tries) for r in results] == [(1, "unknown", "", "", 0),
                                                                             (2, "unknown", "", "", 0)]
    assert all("carries no answer back" in r.reason for r in results), results


class NoSuchClass(morvel.Object):
    _class_name = "Nothing"


def missing_file():
    return os.path.join(conftest.WORK, "missing.bmp")


@pytest.mark.parametrize("what, run, number", [
    ("unknown class", lambda pb: NoSuchClass(), 429),
    ("unknown member", lambda pb: pb.invoke("PrintFonts"), 438),
    ("argument count", lambda pb: pb.invoke("PrintFont", 1, 2), 450),
    ("text that is no number", lambda pb: pb.PrintFont("x", 1, "ABC", 12, "F1"), 13),
    ("overflow", lambda pb: pb.PrintFont(1e300, 1, "ABC", 12, "F1"), 6),
    ("no printer chosen", lambda pb: pb.ClosePort(), 91),
    ("missing picture file", lambda pb: morvel.Picture.from_file(missing_file()), 53),
    ("bytes that are no picture", lambda pb: morvel.Picture.from_bytes(b"BM.."), 481),
    ("empty byte array", lambda pb: morvel.clsBase64().Base64Encode(b""), 9),
    ("missing file to load", lambda pb: morvel.clsBase64().LoadFile(missing_file(), morvel.Ref()), 53),
])
def test_every_error_kind_is_an_automation_error(what, run, number):
    pb = morvel.PrintBarCode()
    with pytest.raises(morvel.AutomationError) as raised:
        run(pb)
    error = raised.value
    assert error.number == number, what
    assert error.hresult == 0x800A0000 + number
    assert error.description
    assert str(error).startswith("error %d: " % number)


@pytest.mark.parametrize("args, hex_epc", [
    (("urn:epc:tag:sgtin-96:3.0614141.812345.6789",), "3074257BF7194E4000001A85"),
    (("(01)80614141123458(21)6789", "SGTIN-96", 3, 7), "3074257BF7194E4000001A85"),
    (("urn:epc:id:sscc:0614141.1234567890", "sscc-96"), "3114257BF4499602D2000000"),
])
def test_epc_numbers_go_to_hexadecimal_and_back(args, hex_epc):
    assert morvel.epc_encode(*args) == hex_epc
    decoded = morvel.epc_decode(hex_epc)
    assert morvel.epc_encode(decoded.tag_uri) == hex_epc
    assert decoded.pure_identity.startswith("urn:epc:id:")


def test_epc_decode_gives_every_form_and_refusals_name_their_rule():
    assert morvel.epc_decode("3074257bf7194e4000001a85") == morvel.Epc(
        "urn:epc:tag:sgtin-96:3.0614141.812345.6789", "urn:epc:id:sgtin:0614141.812345.6789",
        "(01)80614141123458(21)6789")
    assert morvel.epc_decode("350007AB70425D4000000586").element_string == ""  # GID has no GS1 key
    for run, rule in [
        (lambda: morvel.epc_encode("urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"), "over 2^38-1"),
        (lambda: morvel.epc_encode("(01)80614141123457(21)6789", "SGTIN-96", 3, 7), "check digit 7 does not match"),
        (lambda: morvel.epc_decode("30"), "hexadecimal"),
    ]:
        with pytest.raises(morvel.AutomationError) as raised:
            run()
        assert raised.value.number == 5
        assert rule in raised.value.description


def test_the_epc_members_of_printbarcode_answer_as_the_functions_do():
    pb = morvel.PrintBarCode()
    tag = "urn:epc:tag:sgtin-96:3.0614141.812345.6789"
    assert pb.EpcEncode(tag, "", 0, 0) == morvel.epc_encode(tag) == "3074257BF7194E4000001A85"
    assert pb.EpcEncode("(01)80614141123458(21)6789", "SGTIN-96", 3, 7) == "3074257BF7194E4000001A85"
    assert pb.EpcDecode("3074257BF7194E4000001A85").split("\r\n") == list(morvel.epc_decode("3074257BF7194E4000001A85"))
    with pytest.raises(morvel.AutomationError) as raised:
        pb.EpcEncode("(01)80614141123457(21)6789", "SGTIN-96", 3, 7)
    assert raised.value.number == 5 and "check digit 7 does not match" in raised.value.description
    assert pb.TagResults() == ""


def test_values_of_no_automation_type_are_refused_before_the_call():
    with pytest.raises(TypeError):
        morvel.PrintBarCode().SetPrint({"a": 1})


def test_by_reference_arguments_receive_the_write_back():
    pb = morvel.PrintBarCode()
    name = morvel.Ref("ZDesigner GK420t")
    assert pb.SetPrint(name) == 0
    assert name.value == "ZDesigner GK420t"
    pixels = morvel.Ref("96")  # text for a Single: back as the Single it became
    assert pb.GetDot(pixels) == 203
    assert pixels.value == 96.0 and isinstance(pixels.value, float)
    path = os.path.join(conftest.WORK, "bytes.bin")
    with open(path, "wb") as f:
        f.write(b"\x00\x01\xffzz")
    array = morvel.Ref()
    morvel.clsBase64().LoadFile(path, array)
    assert array.value == b"\x00\x01\xffzz"


@pytest.mark.parametrize("data", [b"\x00", b"Man", b"\xff\xfe\xfd\xfc", bytes(range(256)) * 40])
def test_clsBase64_round_trips(data):
    codec = morvel.clsBase64()
    text = codec.Base64Encode(data)
    assert isinstance(text, str) and re.fullmatch(r"[A-Za-z0-9+/]*=*", text)
    assert codec.Base64Decode(text) == data
    path = os.path.join(conftest.WORK, "saved.bin")
    codec.SaveFile(path, codec.Base64Decode(text))
    loaded = morvel.Ref()
    codec.LoadFile(path, loaded)
    assert loaded.value == data


def test_EncodeJD_reports_progress_and_its_failures_reach_the_caller():
    codec = morvel.clsBase64()
    seen = []
    codec.EncodeJD = lambda percentage: seen.append(percentage.value)
    codec.Base64Encode(bytes(300))
    assert seen == [0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0]

    def fails(percentage):
        raise ValueError("stop at %s" % percentage.value)

    codec.EncodeJD = fails
    with pytest.raises(ValueError, match="stop at 0.1"):
        codec.Base64Encode(bytes(300))


def test_a_message_box_reaches_the_callback():
    shown = []
    morvel.set_message_handler(lambda caption, text: shown.append((caption, text)))
    try:
        pb = morvel.PrintBarCode()
        pb.SetPrint("Orx Nowhere")
        pb.OpenPort("Orx Nowhere")
    finally:
        morvel.set_message_handler(None)
    assert shown == [("Error Message", "Printer Driver is not been specified")]


def test_printers_and_version():
    listed = morvel.printers()
    assert [p.name for p in listed] == conftest.NAMES + ["ZDesigner Net"]
    assert listed[1] == morvel.Printer("SATO CL4NX 305dpi", 305, "file:" + conftest.folder("python", listed[1].name))
    assert morvel.version() == morvel.PrintBarCode().GetVer()
    # The wheel is of the libraries' version.
    assert importlib.metadata.version("morvel") == morvel.version()


def test_PrintInfo_properties_read_and_assign():
    info = morvel.PrintInfo()
    info.PrintPP = "dothan"
    info.PrintXH = ["t7 ", "t6 "]
    assert (info.PrintPP, info.PrintXH) == ("dothan", ["t7 ", "t6 "])


def test_help_says_what_morvel_members_says():
    reference = subprocess.run([COMMAND, "members"], check=True, capture_output=True, text=True).stdout
    classes = {"PrintBarCode": morvel.PrintBarCode, "PrintInfo": morvel.PrintInfo, "clsBase64": morvel.clsBase64}
    checked = 0
    current = None
    lines = reference.splitlines()
    for i, line in enumerate(lines):
        header = re.match(r"(\w+): ", line)
        if header:
            current = classes[header.group(1)]
            assert current.__doc__ == line[len(header.group(0)):]
            continue
        member = re.match(r"  (method|property get|event) (\w+)", line)
        if not member:
            continue
        description = lines[i + 1].strip()
        doc = getattr(current, member.group(2)).__doc__
        assert description in doc, (member.group(2), doc)
        if member.group(1) == "method":
            # A member of the Windows control's second interface is marked
            # so; Python has every member alike.
            signature = re.sub(r" \(interface \d+\)$", "", line.split(" ", 3)[3].strip())
            assert doc.startswith(signature)
        checked += 1
    assert checked >= 28


def _png(width, height, black):
    """A grey PNG of width x height pixels, black where black(x, y)."""
    rows = b"".join(b"\0" + bytes(0 if black(x, y) else 255 for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def _pdf(content):
    """A one-page 4 x 6 in PDF drawing `content`, with its cross-reference table."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 432] /Contents 4 0 R >>",
               b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content)]
    out, offsets = b"%PDF-1.4\n", []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    return out + b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)


def test_documents_print_from_a_path_or_bytes(tmp_path):
    orx = conftest.folder("python", "Orx TE200")
    before = len(os.listdir(orx))
    picture = _png(60, 40, lambda x, y: (x // 3) % 2 == 0)
    assert morvel.print_document(picture, "Orx TE200", width=101.6, height=152.4, copies=2) == 1
    job = jobs(orx)[-1]
    assert len(os.listdir(orx)) == before + 1
    assert job.startswith(b"SIZE 101.60 mm,152.40 mm\r\nCLS\r\nBITMAP ") and job.endswith(b"PRINT 1,2\r\n")
    sato = conftest.folder("python", "SATO CL4NX 305dpi")
    path = tmp_path / "label.png"
    path.write_bytes(picture)
    # 60 x 40 pixels at 203 dpi (the picture records no resolution) on a 305 dpi printer: 90 x 60 dots.
    assert morvel.print_document(str(path), "SATO CL4NX 305dpi", actual=True) == 1
    assert jobs(sato)[-1].startswith(b"\x1bA\x1bA1V00060H0090")
    # A PDF is drawn by the package's own drawing process, beside its libraries.
    assert morvel.print_document(_pdf(b"0 g 20 20 100 50 re f"), "Orx TE200", crop="none") == 1
    assert jobs(orx)[-1].startswith(b"SIZE 101.60 mm,152.40 mm\r\nCLS\r\nBITMAP ")
    with pytest.raises(morvel.AutomationError) as refused:
        morvel.print_document(b"%PDF-1.4 cut", "Orx TE200", crop="none")
    assert refused.value.number == 5 and "not a PDF that can be read" in str(refused.value)
    with pytest.raises(morvel.AutomationError, match="unknown option 'colour=red'"):
        morvel.print_document(b"GIF89a", "Orx TE200", colour="red")
    with pytest.raises(morvel.AutomationError, match="fit and actual exclude each other"):
        morvel.print_document(picture, "Orx TE200", fit=True, actual=True)
    with pytest.raises(morvel.AutomationError, match="a request prints at most 10,000"):
        morvel.print_document(picture, "Orx TE200", copies=999, pages=",".join(["1"] * 11))
    assert len(os.listdir(orx)) == before + 2  # the picture and the PDF; nothing of the refused
