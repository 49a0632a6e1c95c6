"""The C interface of libmorvel2.so through ctypes: values, calls, errors,
pictures, printers and callbacks. The classes themselves are in _members.py."""
from __future__ import annotations

import ctypes
import os
import struct
import sys
import threading
from typing import Any, Callable, Generic, NamedTuple, Optional, TypeVar

_HERE = os.path.dirname(os.path.abspath(__file__))
_SONAME = "libmorvel2.so.2"


def _library_dirs():
    # A folder named by the user first, then the libraries the wheel
    # carries, then the folder `cmake --install` put them in.
    named = os.environ.get("MORVEL_LIBRARY_DIR")
    if named:
        yield named
    yield os.path.join(_HERE, "lib")
    try:
        from ._location import LIBRARY_DIR
    except ImportError:
        return
    yield os.path.normpath(os.path.join(_HERE, LIBRARY_DIR))


def _load() -> ctypes.CDLL:
    for folder in _library_dirs():
        path = os.path.join(folder, _SONAME)
        if os.path.exists(path):
            return ctypes.CDLL(path)
    return ctypes.CDLL(_SONAME)


_lib = _load()

EMPTY, INTEGER, DOUBLE, BOOLEAN, STRING, BYTES, PICTURE, OBJECT, STRINGS = range(9)
_REF = 1
_OWNED = 2


class _Span(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("size", ctypes.c_size_t)]


class _Payload(ctypes.Union):
    _fields_ = [
        ("integer", ctypes.c_int64),
        ("number", ctypes.c_double),
        ("boolean", ctypes.c_int32),
        ("span", _Span),
        ("handle", ctypes.c_void_p),
    ]


class _Value(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int32), ("flags", ctypes.c_uint32), ("u", _Payload)]


class _Error(ctypes.Structure):
    _fields_ = [("number", ctypes.c_int32), ("hresult", ctypes.c_uint32), ("description", ctypes.c_char_p)]


class _Printer(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("dpi", ctypes.c_int32), ("uri", ctypes.c_char_p)]


class _TagResult(ctypes.Structure):
    _fields_ = [("label", ctypes.c_uint32), ("state", ctypes.c_int32), ("tries", ctypes.c_uint32),
                ("epc", ctypes.c_char_p), ("tid", ctypes.c_char_p), ("reason", ctypes.c_char_p)]


_SIZE = ctypes.sizeof(_Value)
_AT = _Value.u.offset
_HEAD = struct.Struct("@iI")
_INT = struct.Struct("@iIq")
_DOUBLE = struct.Struct("@iId")
_BOOL = struct.Struct("@iIi")
_SPAN = struct.Struct("@iIPN")
_HANDLE = struct.Struct("@iIP")
_Q = struct.Struct("@q")
_D = struct.Struct("@d")
_I = struct.Struct("@i")
_PN = struct.Struct("@PN")
_P = struct.Struct("@P")
# Each packed form must put its payload where the C union starts.
assert all(form.size - payload.size == _AT
           for form, payload in ((_INT, _Q), (_DOUBLE, _D), (_SPAN, _PN), (_HANDLE, _P))), "morvel_value layout"

_MESSAGE_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p)
_EVENT_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t)


def _bind(name, result, *args):
    function = getattr(_lib, name)
    function.restype = result
    function.argtypes = list(args)
    return function


_vp, _sz, _i32 = ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int32
_version = _bind("morvel_version", ctypes.c_char_p)
_create = _bind("morvel_create", ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(_vp))
_release = _bind("morvel_release", None, _vp)
_member_id = _bind("morvel_member_id", ctypes.c_int, _vp, ctypes.c_char_p, ctypes.POINTER(_i32))
_invoke_id = _bind("morvel_invoke_id", ctypes.c_int, _vp, _i32, _vp, _sz, _vp)
_last_error = _bind("morvel_last_error", ctypes.POINTER(_Error))
_free = _bind("morvel_free", None, _vp)
_clear = _bind("morvel_value_clear", None, _vp)
_set_message_handler = _bind("morvel_set_message_handler", ctypes.c_int, _MESSAGE_FN, _vp)
_set_event_handler = _bind("morvel_set_event_handler", ctypes.c_int, _vp, _EVENT_FN, _vp)
_printers = _bind("morvel_printers", ctypes.c_int, ctypes.POINTER(ctypes.POINTER(_Printer)), ctypes.POINTER(_sz))
_picture_load = _bind("morvel_picture_load", ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(_vp))
_picture_decode = _bind("morvel_picture_decode", ctypes.c_int, ctypes.c_char_p, _sz, ctypes.POINTER(_vp))
_picture_size = _bind("morvel_picture_size", ctypes.c_int, _vp, ctypes.POINTER(_i32), ctypes.POINTER(_i32))
_picture_release = _bind("morvel_picture_release", None, _vp)

# Where CPython keeps the characters of a bytes object, so that a text
# argument is passed without another copy; checked here, or the slower
# ctypes route is taken.
_BYTES_AT = sys.getsizeof(b"") - 1
_probe = b"morvel"
if ctypes.cast(ctypes.c_char_p(_probe), ctypes.c_void_p).value != id(_probe) + _BYTES_AT:
    _BYTES_AT = None


def _address(data: bytes, keep: list) -> int:
    if _BYTES_AT is not None:
        return id(data) + _BYTES_AT
    pointer = ctypes.c_char_p(data)
    keep.append(pointer)
    return ctypes.cast(pointer, ctypes.c_void_p).value


class AutomationError(Exception):
    """An automation run-time error raised by a member: `number` (5, 13,
    438, ...), `description` (its standard text, with what went wrong) and
    `hresult` (0x800A0000 + number)."""

    def __init__(self, number: int, description: str, hresult: Optional[int] = None):
        super().__init__(number, description)
        self.number = number
        self.description = description
        self.hresult = hresult if hresult is not None else 0x800A0000 + number

    def __str__(self) -> str:
        return "error %d: %s" % (self.number, self.description)


def _raise_last(code: int):
    error = _last_error().contents
    description = (error.description or b"").decode("utf-8", "replace")
    if error.number == 0:
        raise AutomationError(5, "Invalid procedure call or argument (code %d)" % code)
    raise AutomationError(error.number, description, error.hresult)


T = TypeVar("T")


class Ref(Generic[T]):
    """A variable passed by reference: after the call `.value` holds what the
    member left in it, in the parameter's own type."""

    __slots__ = ("value",)

    def __init__(self, value: T = None):
        self.value = value

    def __repr__(self) -> str:
        return "Ref(%r)" % (self.value,)


class Picture:
    """A decoded image (BMP, PNG, JPEG, GIF) for DrawImageFromPicture."""

    __slots__ = ("_handle",)

    def __init__(self, handle: int):
        self._handle = handle

    @classmethod
    def from_file(cls, path: str | os.PathLike) -> "Picture":
        handle = _vp()
        code = _picture_load(os.fsencode(path), ctypes.byref(handle))
        if code != 0:
            _raise_last(code)
        return cls(handle.value)

    @classmethod
    def from_bytes(cls, data: bytes) -> "Picture":
        data = bytes(data)
        handle = _vp()
        code = _picture_decode(data, len(data), ctypes.byref(handle))
        if code != 0:
            _raise_last(code)
        return cls(handle.value)

    @property
    def size(self) -> tuple[int, int]:
        """(width, height) in pixels."""
        width, height = _i32(), _i32()
        _picture_size(self._handle, ctypes.byref(width), ctypes.byref(height))
        return width.value, height.value

    def __del__(self):
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            _picture_release(handle)


def _pack(buffer, offset: int, value: Any, flags: int, keep: list):
    kind = type(value)
    if kind is str:
        data = value.encode("utf-8", "surrogatepass")
        keep.append(data)
        _SPAN.pack_into(buffer, offset, STRING, flags, _address(data, keep), len(data))
    elif kind is float:
        _DOUBLE.pack_into(buffer, offset, DOUBLE, flags, value)
    elif kind is bool:
        _BOOL.pack_into(buffer, offset, BOOLEAN, flags, 1 if value else 0)
    elif kind is int:
        if -(1 << 63) <= value < (1 << 63):
            _INT.pack_into(buffer, offset, INTEGER, flags, value)
        else:
            _pack(buffer, offset, str(value), flags, keep)
    elif value is None:
        _HEAD.pack_into(buffer, offset, EMPTY, flags)
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
        keep.append(data)
        _SPAN.pack_into(buffer, offset, BYTES, flags, _address(data, keep), len(data))
    elif isinstance(value, Picture):
        keep.append(value)
        _HANDLE.pack_into(buffer, offset, PICTURE, flags, value._handle or 0)
    elif isinstance(value, Object):
        keep.append(value)
        _HANDLE.pack_into(buffer, offset, OBJECT, flags, value._handle or 0)
    elif isinstance(value, (list, tuple)) and all(isinstance(item, str) for item in value):
        items = [item.encode("utf-8", "surrogatepass") for item in value]
        array = (ctypes.c_char_p * max(len(items), 1))(*items)
        keep.append(array)
        _SPAN.pack_into(buffer, offset, STRINGS, flags, ctypes.addressof(array), len(items))
    elif isinstance(value, int):
        _pack(buffer, offset, int(value), flags, keep)
    elif isinstance(value, float):
        _pack(buffer, offset, float(value), flags, keep)
    else:
        raise TypeError("morvel takes str, int, float, bool, bytes, Picture, a list of str or None, not %s"
                        % kind.__name__)


def _unpack(buffer, offset: int) -> Any:
    """The value at `offset`, its owned data freed."""
    kind, flags = _HEAD.unpack_from(buffer, offset)
    at = offset + _AT
    if kind == INTEGER:
        return _Q.unpack_from(buffer, at)[0]
    if kind == DOUBLE:
        return _D.unpack_from(buffer, at)[0]
    if kind == BOOLEAN:
        return _I.unpack_from(buffer, at)[0] != 0
    if kind == EMPTY:
        return None
    if kind in (STRING, BYTES, STRINGS):
        data, size = _PN.unpack_from(buffer, at)
        if kind == STRING:
            value = ctypes.string_at(data, size).decode("utf-8", "surrogatepass") if size else ""
        elif kind == BYTES:
            value = None if not data else ctypes.string_at(data, size)
        else:
            items = ctypes.cast(data, ctypes.POINTER(ctypes.c_char_p))
            value = [items[i].decode("utf-8", "surrogatepass") for i in range(size)]
        if flags & _OWNED:
            _free(data)
            _HEAD.pack_into(buffer, offset, EMPTY, flags & ~_OWNED)
        return value
    if kind == PICTURE:
        handle = _P.unpack_from(buffer, at)[0]
        if not handle:
            return None
        if flags & _OWNED:
            _HEAD.pack_into(buffer, offset, EMPTY, flags & ~_OWNED)
            return Picture(handle)
        return None
    return None


class _Calls(threading.local):
    def __init__(self):
        self.pending: Optional[BaseException] = None


_calls = _Calls()


class Object:
    """An object of the control. Members are called by their own names;
    arguments are str, int, float, bool, bytes, Picture, lists of str, None,
    or a Ref for a variable that receives the by-reference write-back.
    Use one object from one thread at a time."""

    _class_name = ""
    _events: tuple = ()
    _ARGS = 16

    def __init__(self):
        handle = _vp()
        code = _create(self._class_name.encode(), ctypes.byref(handle))
        if code != 0:
            _raise_last(code)
        self._handle = handle.value
        self._args = (_Value * self._ARGS)()
        self._args_at = ctypes.addressof(self._args)
        self._result = _Value()
        self._result_at = ctypes.addressof(self._result)
        self._handlers: dict = {}
        self._event_fn = None
        self._event_keep: list = []

    def _call(self, dispid: int, args: tuple) -> Any:
        count = len(args)
        if count > self._ARGS:
            self._args = (_Value * count)()
            self._args_at = ctypes.addressof(self._args)
        buffer = self._args
        keep: list = []
        refs = None
        offset = 0
        for value in args:
            if type(value) is Ref:
                refs = refs or []
                refs.append((offset, value))
                _pack(buffer, offset, value.value, _REF, keep)
            else:
                _pack(buffer, offset, value, 0, keep)
            offset += _SIZE
        code = _invoke_id(self._handle, dispid, self._args_at, count, self._result_at)
        if refs:
            for at, ref in refs:
                ref.value = _unpack(buffer, at)
        pending = _calls.pending
        if pending is not None:
            _calls.pending = None
            raise pending
        if code != 0:
            _raise_last(code)
        return _unpack(self._result, 0)

    def invoke(self, member: str, *args: Any) -> Any:
        """Calls a member by its name (case is not significant)."""
        dispid = _i32()
        code = _member_id(self._handle, member.encode(), ctypes.byref(dispid))
        if code != 0:
            _raise_last(code)
        return self._call(dispid.value, args)

    def close(self) -> None:
        """Ends the object now (closing a printer port it left open)."""
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            _release(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()

    @staticmethod
    def _event(name: str, doc: str):
        def get(self):
            return self._handlers.get(name)

        def set(self, handler: Optional[Callable[..., None]]):
            self._handlers[name] = handler
            if self._event_fn is None:
                self._event_fn = _EVENT_FN(self._dispatch)
                code = _set_event_handler(self._handle, self._event_fn, None)
                if code != 0:
                    _raise_last(code)

        return property(get, set, doc=doc)

    def _dispatch(self, user, handle, event, args, count):
        handler = self._handlers.get(event.decode())
        # After a handler raised, the call ends with that error; the events
        # left of it go unheard.
        if handler is None or _calls.pending is not None:
            return
        buffer = (ctypes.c_char * (count * _SIZE)).from_address(args)
        try:
            refs = [Ref(_unpack(buffer, i * _SIZE)) for i in range(count)]
            handler(*refs)
            # The object reads the values back after this returns.
            self._event_keep = []
            for i, ref in enumerate(refs):
                _pack(buffer, i * _SIZE, ref.value, _REF, self._event_keep)
        except BaseException as error:  # reaches the caller when the call returns
            _calls.pending = error


class Printer(NamedTuple):
    name: str
    dpi: int
    uri: str


def printers() -> list[Printer]:
    """The installed printers in system order: name, dpi and uri of each."""
    entries = ctypes.POINTER(_Printer)()
    count = _sz()
    code = _printers(ctypes.byref(entries), ctypes.byref(count))
    if code != 0:
        _raise_last(code)
    try:
        return [Printer(entries[i].name.decode("utf-8", "replace"), entries[i].dpi,
                        entries[i].uri.decode("utf-8", "replace")) for i in range(count.value)]
    finally:
        _free(ctypes.cast(entries, ctypes.c_void_p))


_print_document = _bind("morvel_print_document", ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, _sz, ctypes.c_char_p,
                        ctypes.POINTER(ctypes.c_int32))


def print_document(document: bytes | str | os.PathLike, printer: str, **options: Any) -> int:
    """Prints a document on an installed printer and returns the pages sent.

    document: the bytes of a PDF, PNG, JPEG, GIF or BMP, or of a ZPL, SBPL,
    Orx or EPL2 job (sent as it is to a printer of its language), or a path
    to one.
    options, as `morvel print` takes them: fit=True or actual=True,
    rotate="auto"|0|90|180|270, crop="auto"|"none", pages="1-3,5", copies=2,
    width=101.6 and height=152.4 (millimetres), picture_dpi=300,
    compression="z64"|"ascii". A document prints whole or not at all: one
    that cannot be printed raises AutomationError 5 with the cause and what
    was sent ("...; nothing sent"); at most 10,000 labels (copies x pages)
    a call."""
    if isinstance(document, (str, os.PathLike)):
        with open(document, "rb") as file:
            document = file.read()
    data = bytes(document)
    words = []
    for key, value in options.items():
        if value is True:
            words.append(key)
        elif value is not False and value is not None:
            words.append("%s=%s" % (key, value))
    pages = ctypes.c_int32(0)
    code = _print_document(printer.encode("utf-8"), data, len(data), " ".join(words).encode("utf-8"),
                           ctypes.byref(pages))
    if code != 0:
        _raise_last(code)
    return pages.value


_epc_encode = _bind("morvel_epc_encode", ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int,
                    ctypes.POINTER(_vp))
_epc_decode = _bind("morvel_epc_decode", ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(_vp), ctypes.POINTER(_vp),
                    ctypes.POINTER(_vp))


def _taken(pointer: ctypes.c_void_p) -> str:
    """The library's text, freed once read."""
    try:
        return ctypes.string_at(pointer.value).decode("utf-8")
    finally:
        _free(pointer)


def epc_encode(tag: str, scheme: Optional[str] = None, filter: int = 0, prefix_length: int = 0) -> str:
    """An RFID tag's EPC in hexadecimal, by the GS1 EPC Tag Data Standard.

    Without scheme, tag is a tag URI ("urn:epc:tag:sgtin-96:3.0614141.812345.6789");
    with one ("SGTIN-96"), a GS1 element string ("(01)80614141123458(21)6789",
    which needs prefix_length, the company prefix's digits) or a pure-identity
    URI, with filter 0-7. A "+" scheme of TDS 2.x ("SGTIN+") needs no
    prefix_length and also takes a GS1 Digital Link URI. Input the standard
    refuses raises AutomationError 5 naming the rule."""
    hex_out = _vp()
    code = _epc_encode(tag.encode("utf-8"), scheme.encode("utf-8") if scheme is not None else None, filter,
                       prefix_length, ctypes.byref(hex_out))
    if code != 0:
        _raise_last(code)
    return _taken(hex_out)


class Epc(NamedTuple):
    """A decoded EPC: its tag URI, pure-identity URI and GS1 element string
    (empty for GID-96, which has none; a "+" scheme has no URIs, those empty)."""
    tag_uri: str
    pure_identity: str
    element_string: str


def epc_decode(hex_epc: str) -> Epc:
    """The tag URI, pure-identity URI and element string of a hexadecimal EPC."""
    outs = [_vp(), _vp(), _vp()]
    code = _epc_decode(hex_epc.encode("utf-8"), *(ctypes.byref(o) for o in outs))
    if code != 0:
        _raise_last(code)
    return Epc(*(_taken(o) for o in outs))


_tag_results = _bind("morvel_tag_results", ctypes.c_int, _vp, ctypes.POINTER(ctypes.POINTER(_TagResult)),
                     ctypes.POINTER(_sz))
_TAG_STATES = ("written", "void", "unknown")


class TagResult(NamedTuple):
    """What became of the RFID tag of one label, on the printer's word:
    state "written" (epc: what the tag holds, as the printer read it back;
    tid: the tag's TID when the printer read it, as a SATO printer does),
    "void" (the printer voided the label) or "unknown" (the printer cannot
    say, or said nothing in time); reason says why for the last two. tries
    is 0 when the printer does not say."""
    label: int
    state: str
    epc: str
    tid: str
    reason: str
    tries: int


def tag_results(printbarcode: Object) -> list[TagResult]:
    """The tag results of the labels a PrintBarCode printed since the last
    call, in order: PrintLabel waits for a printer that can answer (a
    socket:// one) to read back each tag it wrote."""
    entries = ctypes.POINTER(_TagResult)()
    count = _sz(0)
    code = _tag_results(printbarcode._handle, ctypes.byref(entries), ctypes.byref(count))
    if code != 0:
        _raise_last(code)
    try:
        return [TagResult(e.label, _TAG_STATES[e.state] if 0 <= e.state < 3 else "unknown", e.epc.decode("utf-8"),
                          e.tid.decode("utf-8"), e.reason.decode("utf-8"), e.tries)
                for e in (entries[i] for i in range(count.value))]
    finally:
        if entries:
            _free(ctypes.cast(entries, _vp))


def version() -> str:
    """The library's version."""
    return _version().decode()


_message_handler = None


def set_message_handler(handler: Optional[Callable[[str, str], None]]) -> None:
    """Message boxes of every object go to handler(caption, text); None sends
    them back to standard error."""
    global _message_handler

    def forward(user, caption, text):
        try:
            handler(caption.decode("utf-8", "replace"), text.decode("utf-8", "replace"))
        except BaseException as error:
            if _calls.pending is None:
                _calls.pending = error

    function = _MESSAGE_FN(forward) if handler is not None else _MESSAGE_FN()
    code = _set_message_handler(function, None)
    if code != 0:
        _raise_last(code)
    _message_handler = function
