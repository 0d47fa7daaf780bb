"""D88 floppy-disk images: read with exact diagnostics, write, create, check.

A D88 image file holds one or more disks; a disk holds up to 164 track
slots, and a track a run of sectors, each with its ID (C, H, R, N), its
status bytes and its data.  This package reads and writes them with the d88
library of vorkast, compiled into it::

    import d88
    image = d88.read_image("GAME.D88")          # d88.D88Error if it is broken
    disk = image.disks[0]
    print(disk.name, disk.media, len(disk.tracks))
    sector = disk.find_sector(0, 0, 1)
    image.write("COPY.D88")                     # replaced safely

A failure of the library raises D88Error, whose ``lines`` are the library's
messages exactly as it prints them; a bad argument raises ValueError.
Nothing is ever printed.
"""

from __future__ import annotations

import os
from typing import Iterable, Iterator, List, Optional, Sequence, Union

from . import _native

__all__ = ["D88Error", "Finding", "Image", "Disk", "Tracks", "Sector", "read_image", "create_disk", "complete",
           "check", "FORMATS"]

TRACK_SLOTS = 164
NAME_BYTES = 16
_MEDIA = {"2D": 0x00, "2DD": 0x10, "2HD": 0x20}
_MEDIA_NAMES = {byte: name for name, byte in _MEDIA.items()}
_PROTECTED = 0x10
_NAME_AT, _WRITE_PROTECT_AT, _MEDIA_AT = slice(0, 17), 0x1A, 0x1B  # in a disk's header
_SEVERITIES = ("error", "warning", "note")

#: The names of the ten standard formats of create_disk, by number.
FORMATS: List[str] = _native.format_names()

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class D88Error(Exception):
    """A failure of the d88 library.

    ``lines`` holds the library's chain of messages, innermost first, each
    without its newline, exactly as the library prints them for the same
    input; ``str(error)`` joins them.
    """

    def __init__(self, lines: Sequence[str]):
        self.lines: List[str] = list(lines)
        super().__init__("\n".join(self.lines))


def _result(answer: tuple):
    """The result of a native call, or D88Error with its lines."""
    result, lines = answer
    if result is None:
        raise D88Error(lines)
    return result


class Sector:
    """One sector: its ID field, its status bytes and its data.

    ``c``, ``h``, ``r`` and ``n`` are the ID (``n`` the size code: 128 << n
    bytes nominally), ``density`` 0x00 (double) or 0x40 (single),
    ``deleted_mark`` and ``status`` as the dump recorded them, ``reserved``
    the header's 5 reserved bytes, and ``data`` the bytes it holds (at most
    32767).
    """

    __slots__ = ("c", "h", "r", "n", "density", "deleted_mark", "status", "reserved", "data")

    def __init__(self, c: int, h: int, r: int, n: int, data: bytes = b"", density: int = 0,
                 deleted_mark: int = 0, status: int = 0, reserved: bytes = bytes(5)):
        self.c, self.h, self.r, self.n = c, h, r, n
        self.data = bytes(data)
        self.density, self.deleted_mark, self.status = density, deleted_mark, status
        self.reserved = bytes(reserved)

    @classmethod
    def _from_tuple(cls, t: tuple) -> "Sector":
        return cls(t[0], t[1], t[2], t[3], t[8], t[4], t[5], t[6], t[7])

    def _as_tuple(self) -> tuple:
        return (self.c, self.h, self.r, self.n, self.density, self.deleted_mark, self.status, self.reserved,
                bytes(self.data))

    @property
    def id(self) -> str:
        """The ID as vorkast and d88disk write it: ``CC/HH/RR``, hexadecimal."""
        return "%02X/%02X/%02X" % (self.c, self.h, self.r)

    def __repr__(self) -> str:
        return "Sector(%s, n=%d, %d bytes)" % (self.id, self.n, len(self.data))


class Tracks(Sequence[List[Sector]]):
    """The 164 track slots of a disk, each a list of Sectors in file order.

    Assigning a list of Sectors to a slot replaces its sectors; an empty
    list empties it.  The number of slots never changes.
    """

    def __init__(self, slots: List[List[Sector]]):
        self._slots = slots

    def __len__(self) -> int:
        return TRACK_SLOTS

    def __getitem__(self, slot):
        return self._slots[slot]

    def __setitem__(self, slot: int, sectors: Iterable[Sector]) -> None:
        sectors = list(sectors)
        if not all(isinstance(s, Sector) for s in sectors):
            raise ValueError("a track slot holds Sectors")
        self._slots[slot] = sectors

    def __iter__(self) -> Iterator[List[Sector]]:
        return iter(self._slots)


def _decode_name(stored: bytes) -> str:
    """The name as d88disk shows it: Shift_JIS (code page 932) up to the first
    zero byte, trailing spaces dropped, '.' for a byte that is no part of a
    character and for a control byte."""
    raw = stored[:NAME_BYTES].split(b"\0", 1)[0].rstrip(b" ")
    shown, i = [], 0
    while i < len(raw):
        b = raw[i]
        two = (0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC) and i + 1 < len(raw)
        chunk = raw[i:i + 2] if two else raw[i:i + 1]
        try:
            text = chunk.decode("cp932") if b >= 0x20 else None
        except UnicodeDecodeError:
            text = None
        if text is None:
            shown.append(".")
            i += 1
        else:
            shown.append(text)
            i += len(chunk)
    return "".join(shown)


def _encode_name(name: str) -> bytes:
    """The 17 bytes to store for a name: Shift_JIS, padded with spaces to 16,
    then a zero byte."""
    try:
        encoded = name.encode("cp932")
    except UnicodeEncodeError:
        raise ValueError("the name %r has a character with no Shift_JIS code" % name) from None
    if len(encoded) > NAME_BYTES:
        raise ValueError("the name %r is longer than the 16 bytes a disk name holds" % name)
    return encoded.ljust(NAME_BYTES, b" ") + b"\0"


class Disk:
    """One disk of an image: its name, write protection, media and tracks.

    Disks come from read_image, Image.from_bytes and create_disk.  A disk
    keeps the bytes it was read as until its tracks are looked at, so images
    that are only read and written again cost little.
    """

    def __init__(self, name: bytes, reserved: bytes, write_protect: int, media: int, raw: bytes):
        self._name = bytes(name)
        self._reserved = bytes(reserved)
        self._write_protect = write_protect
        self._media = media
        self._raw: Optional[bytes] = raw
        self._tracks: Optional[Tracks] = None

    @property
    def name(self) -> str:
        """The disk's name, from its Shift_JIS (code page 932) bytes, as d88disk
        shows it.  Setting it stores the Shift_JIS bytes padded with spaces;
        ValueError when that needs more than 16 bytes or a character has no
        Shift_JIS code."""
        return _decode_name(self._name)

    @name.setter
    def name(self, value: str) -> None:
        self._name = _encode_name(value)

    @property
    def write_protected(self) -> bool:
        """Whether the disk is write-protected."""
        return self._write_protect != 0

    @write_protected.setter
    def write_protected(self, value: bool) -> None:
        self._write_protect = _PROTECTED if value else 0

    @property
    def media(self) -> str:
        """"2D", "2DD" or "2HD"; setting anything else raises ValueError."""
        return _MEDIA_NAMES.get(self._media, "?")

    @media.setter
    def media(self, value: str) -> None:
        if value not in _MEDIA:
            raise ValueError("the media is 2D, 2DD or 2HD, not %r" % (value,))
        self._media = _MEDIA[value]

    @property
    def tracks(self) -> Tracks:
        """The 164 track slots, each a list of Sectors (empty for an empty slot)."""
        if self._tracks is None:
            slots = _native.parse_disk(self._raw)
            self._tracks = Tracks([[Sector._from_tuple(t) for t in slot] for slot in slots])
            self._raw = None
        return self._tracks

    def find_sector(self, c: int, h: int, r: int) -> Optional[Sector]:
        """The first sector with ID (c, h, r), looked up as vorkast does: in the
        first slot whose first sector carries c and h; None when there is none."""
        for slot in self.tracks:
            if slot and slot[0].c == c and slot[0].h == h:
                return next((s for s in slot if s.r == r), None)
        return None

    def to_bytes(self) -> bytes:
        """The disk as the library's writer lays it out."""
        if self._tracks is None:
            raw = self._raw
            if (raw[_NAME_AT] == self._name and raw[_WRITE_PROTECT_AT] == self._write_protect
                    and raw[_MEDIA_AT] == self._media):
                return raw
            changed = bytearray(raw)
            changed[_NAME_AT] = self._name
            changed[_WRITE_PROTECT_AT] = self._write_protect
            changed[_MEDIA_AT] = self._media
            return bytes(changed)
        slots = [[s._as_tuple() for s in slot] for slot in self._tracks]
        return _native.serialise_disk(self._name, self._reserved, self._write_protect, self._media, slots)

    def __repr__(self) -> str:
        return "Disk(%r, %s%s)" % (self.name, self.media, ", write-protected" if self.write_protected else "")


class Image:
    """An image file: its disks, in file order."""

    def __init__(self, disks: Iterable[Disk] = ()):
        self.disks: List[Disk] = list(disks)

    @classmethod
    def from_bytes(cls, data: bytes) -> "Image":
        """Reads the bytes of an image file; D88Error with the reader's chain."""
        return cls(Disk(*d) for d in _result(_native.read_bytes(bytes(data))))

    def to_bytes(self) -> bytes:
        """The image as the library's writer lays it out: every disk anew."""
        return b"".join(d.to_bytes() for d in self.disks)

    def write(self, path: PathLike) -> None:
        """Stores the image as the file at path.  An existing file is replaced
        only once the new one is complete on the disk, keeping its permission
        bits; D88Error with the writer's lines when it cannot be written."""
        _result(_native.store(os.fsencode(path), self.to_bytes()))

    def __repr__(self) -> str:
        return "Image(%r)" % (self.disks,)


def read_image(path: PathLike) -> Image:
    """Reads the image file at path; D88Error with the reader's chain of
    messages when it is missing or broken."""
    return Image(Disk(*d) for d in _result(_native.read_file(os.fsencode(path))))


def create_disk(format: Union[int, str], name: str = "") -> Disk:
    """A blank disk of one of the ten standard formats, by number (0 to 9) or
    by d88disk's name ("2d", "2dd640", "2hd1232", ...; any case): every
    sector present and filled with E5.  ValueError for an unknown format or
    a name that does not fit."""
    names = [n.lower() for n in FORMATS]
    if isinstance(format, str) and format.lower() in names:
        number = names.index(format.lower())
    elif isinstance(format, int) and not isinstance(format, bool) and 0 <= format < len(FORMATS):
        number = format
    else:
        raise ValueError("unknown format %r (0 to 9, or one of %s)" % (format, ", ".join(FORMATS)))
    stored = _encode_name(name)[:NAME_BYTES] if name else b""
    return Disk(*_result(_native.create_disk(stored, number)))


def complete(game: Image, data1: Image, data2: Optional[Image] = None, index: int = 0,
             track: Optional[int] = None) -> Image:
    """The job of vorkast: a new Image, game's with disk ``index`` completed,
    for every track or for ``track`` alone (0 to 79); the arguments are left
    unchanged.  The data disks are taken as vorkast takes them: with a track
    of 40 or more and no data2, data1 is data disk #2.  D88Error with
    vorkast's lines where vorkast fails (``error: get d88 sector 03/01/07``,
    ``error: get track 3 data``, ...)."""
    if track is not None and not 0 <= track < 80:
        raise ValueError("the track number is from 0 to 79, not %r" % (track,))
    if index < 0:
        raise ValueError("the disk index counts from 0, not %r" % (index,))
    images = [game.to_bytes(), data1.to_bytes() if data1 is not None else None,
              data2.to_bytes() if data2 is not None else None]
    return Image.from_bytes(_result(_native.complete(*images, index, -1 if track is None else track)))


class Finding:
    """One finding of check: ``severity`` ("error", "warning" or "note"),
    ``kind`` (a stable name such as "disk-size" or "status"), ``disk``,
    ``slot``, ``index`` (the sector's index in its slot), ``sector`` (its
    ID as CC/HH/RR), ``offset`` (in the image's bytes, of the record it is
    about), each None where it does not apply, and ``message``."""

    __slots__ = ("severity", "kind", "disk", "slot", "index", "sector", "offset", "message")

    def __init__(self, t: tuple):
        known = lambda v: None if v < 0 else v  # noqa: E731
        self.severity: str = _SEVERITIES[t[0]]
        self.kind: str = t[1]
        self.disk: Optional[int] = known(t[2])
        self.slot: Optional[int] = known(t[3])
        self.index: Optional[int] = known(t[4])
        self.sector: Optional[str] = "%02X/%02X/%02X" % t[5:8] if t[5] >= 0 else None
        self.offset: Optional[int] = known(t[8])
        self.message: str = t[9]

    def __repr__(self) -> str:
        return "Finding(%s %s: %s)" % (self.severity, self.kind, self.message)


def check(image_bytes: bytes) -> List[Finding]:
    """Every finding of an image's bytes at once, in file order: where the
    reader stops at the first fault, the check goes on as far as the bytes
    allow.  An "error" is a fault for which the reader refuses the image."""
    return [Finding(t) for t in _native.scan(bytes(image_bytes))]
