"""The d88 package's classes and functions, over the native module; the
package's __init__ gives the public ones."""

from __future__ import annotations

import datetime
import errno
import os
import re
import warnings
from typing import Iterable, Iterator, List, Optional, Sequence, Tuple, Union, overload

from . import _native

TRACK_SLOTS = 164
NAME_BYTES = 16
_MEDIA = {"2D": 0x00, "2DD": 0x10, "2HD": 0x20}
_MEDIA_NAMES = {byte: name for name, byte in _MEDIA.items()}
_PROTECTED = 0x10
_NAME_AT, _WRITE_PROTECT_AT, _MEDIA_AT = slice(0, 17), 0x1A, 0x1B  # in a disk's header
_SEVERITIES = ("error", "warning", "note")

#: The names of the ten standard formats of create_disk, by number.
FORMATS: List[str] = _native.format_names()

#: The image formats read_image reads and Image.write writes, by the
#: library's numbers: "d88", "imd", "hdm", "fdi", "hfe", "dim", "nfd", "raw"
#: (a raw sector dump of a standard format), "scp" and "kryoflux" (flux
#: dumps; KryoFlux streams are read, not written).
FILE_FORMATS: List[str] = _native.file_formats()
_D88, _SCP, _KRYOFLUX = (FILE_FORMATS.index(name) for name in ("d88", "scp", "kryoflux"))
_KRYOFLUX_CYLINDERS = 84  # the stream files looked for: track00.0.raw to track83.1.raw
_STREAM_FILE = re.compile(rb"track(\d{1,2})\.(\d)\.raw")

#: The file systems inside a disk that Disk.files and its kin know: "n88"
#: (N88-BASIC), "hu" (Hu-BASIC), "fat12" (FAT12 of PC-98 DOS, Human68k and
#: MSX-DOS).
FILE_SYSTEMS: List[str] = ["n88", "hu", "fat12"]
_FILE_TYPES = ("file", "bin", "bas", "asc", "dir", "ipl", "label")

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
BytesLike = Union[bytes, bytearray, memoryview]


class D88Error(Exception):
    """A failure of the d88 library.

    ``lines`` holds the library's chain of messages, innermost first, each
    without its newline, as the library prints them for the same input (a
    disk's name shown as d88disk shows it, a byte that is no part of a
    character escaped); ``str(error)`` joins them.
    """

    def __init__(self, lines: Sequence[str]):
        self.lines: List[str] = list(lines)
        super().__init__("\n".join(self.lines))


class D88OSError(D88Error, OSError):
    """A file the library could not read or write: an OSError with its
    ``errno``, ``strerror`` and ``filename``, and a D88Error with the
    library's ``lines``."""

    def __init__(self, errno: int, strerror: str, filename: str, lines: Sequence[str]):
        OSError.__init__(self, errno, strerror, filename)
        self.lines = list(lines)

    def __str__(self) -> str:
        return "\n".join(self.lines)


class D88FileNotFoundError(D88OSError, FileNotFoundError):
    """No file at the path, or no file of the name on a disk (Disk.file,
    Disk.remove_file, File.read); ``filename`` is the path or the name."""


class D88PermissionError(D88OSError, PermissionError):
    """The file may not be read."""


class D88IsADirectoryError(D88OSError, IsADirectoryError):
    """The path names a folder."""


class D88FileExistsError(D88OSError, FileExistsError):
    """A file of the name is on the disk already (Disk.add_file without
    overwrite=True); ``filename`` is its name."""


class D88Warning(UserWarning):
    """What a conversion says beside its result: a note (the disk's name or
    write protection that a format has no place for, ...), a loss written
    anyway with force=True, what a flux dump shows of a track (a weak
    sector, a CRC error).  ``finding`` is the Finding, ``str(warning)`` its
    line as a loss's line reads."""

    def __init__(self, line: str, finding: "Finding"):
        super().__init__(line)
        self.finding = finding


_OS_ERRORS = ((FileNotFoundError, D88FileNotFoundError), (PermissionError, D88PermissionError),
              (IsADirectoryError, D88IsADirectoryError), (OSError, D88OSError))

# The lines that show a disk's name: "illegal data: [NAME] ..." and
# "read track N error [NAME]".
_NAMED_LINE = re.compile(rb"^(illegal data: \[)(.{0,17}?)(\] .*)$|^(read track \d+ error \[)(.{0,17})(\])$", re.S)


def _decode_line(line: bytes) -> str:
    """A line of the library as text: a disk name in it decoded from Shift_JIS
    (code page 932) as d88disk shows it, the rest from UTF-8; a byte that is
    no part of a character is escaped (\\xNN)."""
    named = _NAMED_LINE.match(line)
    if not named:
        return line.decode("utf-8", "backslashreplace")
    head, name, tail = [g for g in named.groups() if g is not None]
    return (head.decode("ascii") + name.decode("cp932", "backslashreplace") +
            tail.decode("utf-8", "backslashreplace"))


def _result(answer: tuple):
    """The result of a native call, or D88Error with its lines."""
    result, lines = answer
    if result is None:
        raise D88Error([_decode_line(line) for line in lines])
    return result


def _file_result(answer: tuple, path: bytes):
    """The result of a native call on the file at path; where it failed
    because the file cannot be opened, the matching D88OSError."""
    result, lines = answer
    if result is not None:
        return result
    decoded = [_decode_line(line) for line in lines]
    if decoded and decoded[0].startswith(("open error '", "read error '")):
        try:
            with open(path, "rb"):
                pass
        except OSError as error:
            cls = next(c for base, c in _OS_ERRORS if isinstance(error, base))
            raise cls(error.errno, error.strerror, os.fsdecode(path), decoded) from None
    raise D88Error(decoded)


def _looks_like_path(data: bytes) -> bool:
    """Whether bytes given to read_image name a file rather than hold an
    image: short, and no zero byte in them."""
    return len(data) < 4096 and b"\0" not in data


def _path_bytes(path: PathLike) -> bytes:
    """The path as the library takes it; TypeError for anything else."""
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError("a path is a str, bytes or os.PathLike, not %s" % type(path).__name__)
    return os.fsencode(path)


def _byte_string(data: BytesLike, what: str) -> bytes:
    """bytes, bytearray or memoryview as bytes; TypeError for anything else."""
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError("%s is bytes, bytearray or memoryview, not %s" % (what, type(data).__name__))
    return bytes(data)


def _byte_value(value: int, what: str) -> int:
    """A field of one byte; TypeError or ValueError for anything else."""
    if not isinstance(value, int) or isinstance(value, bool):
        raise TypeError("%s is an int, not %s" % (what, type(value).__name__))
    if not 0 <= value <= 255:
        raise ValueError("%s is from 0 to 255, not %d" % (what, value))
    return value


class Sector:
    """One sector: its ID field, its status bytes and its data.

    ``c``, ``h``, ``r`` and ``n`` are the ID (``n`` the size code: 128 << n
    bytes nominally), ``density`` 0x00 (double) or 0x40 (single),
    ``deleted_mark`` and ``status`` as the dump recorded them, ``reserved``
    the header's 5 reserved bytes, and ``data`` the bytes it holds (at most
    32767).
    """

    __slots__ = ("c", "h", "r", "n", "density", "deleted_mark", "status", "reserved", "data")

    def __init__(self, c: int, h: int, r: int, n: int, data: BytesLike = b"", density: int = 0,
                 deleted_mark: int = 0, status: int = 0, reserved: BytesLike = bytes(5)):
        self.c, self.h, self.r, self.n = (_byte_value(v, name) for v, name in ((c, "c"), (h, "h"), (r, "r"), (n, "n")))
        self.data = _byte_string(data, "the data")
        if len(self.data) > 0x7FFF:
            raise ValueError("a sector holds at most 32767 bytes, not %d" % len(self.data))
        self.density, self.deleted_mark, self.status = (
            _byte_value(density, "density"), _byte_value(deleted_mark, "deleted_mark"), _byte_value(status, "status"))
        self.reserved = _byte_string(reserved, "reserved")
        if len(self.reserved) != 5:
            raise ValueError("reserved holds 5 bytes, not %d" % len(self.reserved))

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Sector):
            return NotImplemented
        return self._as_tuple() == other._as_tuple()

    __hash__ = None  # type: ignore[assignment]

    @classmethod
    def _from_tuple(cls, t: tuple) -> "Sector":
        return cls(t[0], t[1], t[2], t[3], t[8], t[4], t[5], t[6], t[7])

    def _as_tuple(self) -> Tuple[int, int, int, int, int, int, int, bytes, bytes]:
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

    @overload
    def __getitem__(self, slot: int) -> List[Sector]: ...

    @overload
    def __getitem__(self, slot: slice) -> List[List[Sector]]: ...

    def __getitem__(self, slot: Union[int, slice]) -> Union[List[Sector], List[List[Sector]]]:
        return self._slots[slot]

    def __setitem__(self, slot: int, sectors: Iterable[Sector]) -> None:
        sectors = list(sectors)
        if not all(isinstance(s, Sector) for s in sectors):
            raise TypeError("a track slot holds Sectors")
        self._slots[slot] = sectors

    def __iter__(self) -> Iterator[List[Sector]]:
        return iter(self._slots)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Tracks):
            return NotImplemented
        return self._slots == other._slots

    __hash__ = None  # type: ignore[assignment]


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
        self._raw = raw  # the disk's bytes while its tracks are not parsed
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
        if not isinstance(value, str):
            raise TypeError("a name is a str, not %s" % type(value).__name__)
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
        if not isinstance(value, str):
            raise TypeError("the media is a str, not %s" % type(value).__name__)
        if value not in _MEDIA:
            raise ValueError("the media is 2D, 2DD or 2HD, not %r" % (value,))
        self._media = _MEDIA[value]

    @property
    def tracks(self) -> Tracks:
        """The 164 track slots, each a list of Sectors (empty for an empty slot)."""
        if self._tracks is None:
            slots = _native.parse_disk(self._raw)
            self._tracks = Tracks([[Sector._from_tuple(t) for t in slot] for slot in slots])
            self._raw = b""
        return self._tracks

    def find_sector(self, c: int, h: int, r: int) -> Optional[Sector]:
        """The first sector with ID (c, h, r), looked up as vorkast does: in the
        first slot whose first sector carries c and h; None when there is none."""
        for slot in self.tracks:
            if slot and slot[0].c == c and slot[0].h == h:
                return next((s for s in slot if s.r == r), None)
        return None

    @property
    def file_system(self) -> Optional[str]:
        """The file system the disk holds ("n88", "hu" or "fat12"), or None
        when none is recognised (or several fit: name one then)."""
        fs = _native.find_file_system(self.to_bytes())
        return FILE_SYSTEMS[fs] if fs >= 0 else None

    @property
    def files(self) -> "Files":
        """The files of the disk's file system, as d88disk ls lists them: a
        list of File, in which ``"NAME.EXT" in disk.files`` asks for one by
        name.  D88Error when the disk holds none; its faults are in
        ``file_findings``."""
        return self.list_files()[0]

    def list_files(self, fs: Optional[str] = None) -> Tuple["Files", List["Finding"], int]:
        """The files of the file system fs (None: the one recognised), the
        findings of its faults, and the number of bytes free."""
        number = _file_system_number(fs)
        raw = self.to_bytes()
        entries, lines, findings, free = _native.list_files(raw, number)
        if entries is None:
            raise D88Error([_decode_line(line) for line in lines])
        used = number if number >= 0 else _native.find_file_system(raw)
        listed = FILE_SYSTEMS[used] if used >= 0 else None
        return Files((File(self, number, t) for t in entries), listed), [Finding(f) for f in findings], free

    def file(self, name: str, fs: Optional[str] = None) -> "File":
        """The file name (NAME.EXT; on FAT12 also DIR/NAME.EXT in a
        subdirectory), found as the file system finds it: FAT12's names in
        any case.  D88FileNotFoundError (a FileNotFoundError too) when there
        is none; D88Error when the disk holds no file system, or none that
        can hold such a name."""
        if not isinstance(name, str):
            raise TypeError("a file's name is a str, not %s" % type(name).__name__)
        number, encoded = _file_system_number(fs), _encode_file_name(name)
        found, entry = _result(_native.find_file(self.to_bytes(), number, encoded))
        if not found:
            raise D88FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), name, ["file not found: '%s'" % name])
        return File(self, number, entry, encoded)

    @property
    def file_findings(self) -> List["Finding"]:
        """The faults of the disk's file system (a chain that loops, FAT
        copies that differ, ...), as d88disk check reports them."""
        return self.list_files()[1]

    def add_file(self, name: str, data: BytesLike, type: Optional[str] = None, load: Optional[int] = None,
                 exec: Optional[int] = None,
                 date: Union[datetime.datetime, datetime.date, Tuple[int, int, int, int, int, int], None] = None,
                 fs: Optional[str] = None, overwrite: bool = False) -> None:
        """Stores data as the file name (NAME.EXT): type "bin" (the default),
        "bas" or "asc" (Hu-BASIC ends a text with 0x1A, as the X1 does), or
        "file" on FAT12; load and exec the addresses Hu-BASIC keeps; date a
        datetime.datetime (its fields as they are, a time zone ignored), a
        datetime.date (its midnight) or (year, month, day, hour, minute,
        second), where the file system keeps one (Hu-BASIC 1980 to 2079,
        without seconds; FAT12 1980 to 2107, seconds in twos).  A file of that name
        is replaced only with overwrite=True (else D88FileExistsError), and
        keeps its type, attributes and addresses where none are given.
        D88Error, and the disk unchanged, when it does not fit, the date is
        one the file system cannot keep, or the file system has faults."""
        if type is not None and type not in _FILE_TYPES[:4]:
            raise ValueError("type must be one of %s, not %r" % (", ".join(_FILE_TYPES[:4]), type))
        if not overwrite:
            found = _result(_native.find_file(self.to_bytes(), _file_system_number(fs), _encode_file_name(name)))
            if found[0]:
                old = File(self, _file_system_number(fs), found[1])
                line = "the disk holds '%s' already (%s, %d bytes): overwrite=True replaces it" % (old.name, old.type,
                                                                                                 old.size)
                raise D88FileExistsError(17, "File exists", old.name, [line])
        self._change(fs, "add", name, bytes(data), _FILE_TYPES.index(type) if type else 0,
                     -1 if load is None else load, -1 if exec is None else exec, _date_fields(date))

    def remove_file(self, name: str, fs: Optional[str] = None) -> None:
        """Deletes the file name, freeing its clusters in every FAT copy."""
        self._change(fs, "remove", name, b"", 0, -1, -1, (0, 0, 0, 0, 0, 0))

    def format(self, fs: str, force: bool = False) -> None:
        """Formats the disk with the file system fs ("n88", "hu" or "fat12")
        as its machines do: every sector filled (0xFF for n88, 0xE5 for the
        others), then an empty file system; its tracks must be those of a
        media fs has.  A disk that holds anything (files, or without a file
        system a sector that is not one byte repeated) raises D88Error,
        saying what it holds, unless force=True."""
        number = _file_system_number(fs)
        if number < 0:
            raise ValueError("fs must be one of %s, not None" % ", ".join(FILE_SYSTEMS))
        held, found, description, files, sectors, c, h, r = _result(_native.disk_contents(self.to_bytes()))
        if held and not force:
            what = ("%d file%s (%s)" % (files, "" if files == 1 else "s",
                                        description or "several file systems fit")
                    if files > 0 else "data in %d sector%s (the first C %d H %d R %d) and no file system known" %
                    (sectors, "" if sectors == 1 else "s", c, h, r))
            raise D88Error(["the disk holds %s: format(%r, force=True) erases it" % (what, fs)])
        self._change(fs, "format", "", b"", 0, -1, -1, (0, 0, 0, 0, 0, 0))

    def _change(self, fs: Optional[str], operation: str, name: str, data: bytes, type: int, load: int, exec: int,
                date: Tuple[int, int, int, int, int, int]) -> None:
        raw, lines = _native.change_files(self.to_bytes(), _file_system_number(fs), operation, _encode_file_name(name),
                                          data, type, load, exec, date)
        if raw is None:
            raise _files_error(lines, _encode_file_name(name))
        self._raw, self._tracks = raw, None

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

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Disk):
            return NotImplemented
        return self.to_bytes() == other.to_bytes()

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return "Disk(%r, %s%s)" % (self.name, self.media, ", write-protected" if self.write_protected else "")


class Image:
    """An image file: its disks, in file order.  An Image is a sequence of
    its disks (len, iteration, indexing) and equals another with the same
    disks.  ``path`` is the file it was read from, or None."""

    def __init__(self, disks: Iterable[Disk] = (), path: Optional[str] = None):
        self.disks: List[Disk] = list(disks)
        if not all(isinstance(d, Disk) for d in self.disks):
            raise TypeError("an image holds Disks")
        self.path = path

    @classmethod
    def from_bytes(cls, data: BytesLike) -> "Image":
        """Reads the bytes of an image file; D88Error with the reader's chain,
        also when they hold no disk."""
        disks = [Disk(*d) for d in _result(_native.import_image(_byte_string(data, "an image"), 0))]
        if not disks:
            raise D88Error(["error: the bytes hold no D88 disk"])
        return cls(disks)

    def to_bytes(self, format: str = "d88", disk: Optional[int] = None, force: bool = False, rpm: int = 0,
                 revolutions: int = 1) -> bytes:
        """The image in one of FILE_FORMATS: as D88 every disk laid out anew
        (or disk ``disk`` alone); in another format one disk, ``disk`` (which
        an image of several disks must name).  D88Error when the format
        cannot carry all of it, its ``lines`` naming each loss at its place
        and ``losses`` the Findings, unless ``force``, which gives what the
        format holds.  What the format says beside (a note such as the
        disk's name it has no place for; with force, each loss) is a
        D88Warning.  ``rpm`` (300 or 360) sets the rotation of HFE and SCP,
        ``revolutions`` (1 to 5) how many of each track SCP holds.
        KryoFlux streams are read, not written."""
        data, said = self._export(format, disk, force, rpm, revolutions)
        _warn(said)
        return data

    def _export(self, format: str, disk: Optional[int], force: bool, rpm: int,
                revolutions: int) -> Tuple[bytes, List["Finding"]]:
        """The image's bytes in the format, and what the format said beside."""
        number = _format_number(format)
        if disk is not None and (not isinstance(disk, int) or isinstance(disk, bool)):
            raise TypeError("disk is an int, not %s" % type(disk).__name__)
        if disk is not None and not 0 <= disk < len(self.disks):
            raise ValueError("the image holds no disk %r" % (disk,))
        if rpm not in (0, 300, 360):
            raise ValueError("rpm is 300 or 360, not %r" % (rpm,))
        if not isinstance(revolutions, int) or isinstance(revolutions, bool):
            raise TypeError("revolutions is an int, not %s" % type(revolutions).__name__)
        if not 1 <= revolutions <= 5 or (revolutions != 1 and number != _SCP):
            raise ValueError("revolutions is 1 to 5, and for SCP alone, not %r for %s" % (revolutions, format))
        if number == _D88 and disk is None:
            return b"".join(d.to_bytes() for d in self.disks), []
        if disk is None and len(self.disks) != 1:
            raise ValueError("the image holds %d disks, and %s holds one: say which with disk=" % (len(self.disks), format))
        index = disk if disk is not None else 0
        data, lines, findings = _native.export_disk(self.disks[index].to_bytes(), number, bool(force), rpm, revolutions)
        said = [Finding(t) for t in findings]
        for f in said:
            f.disk = index
        if data is None:
            error = D88Error([_decode_line(line) for line in lines] + [_loss_line(f) for f in said if f.severity == "error"])
            error.losses = said  # type: ignore[attr-defined]
            raise error
        return data, said

    def write(self, path: PathLike, format: Optional[str] = None, disk: Optional[int] = None, force: bool = False,
              rpm: int = 0, revolutions: int = 1) -> None:
        """Stores the image as the file at path, in ``format`` (by default the
        one its extension names, else D88), as to_bytes makes it, with the
        same D88Warnings.  An existing file is replaced only once the new one
        is complete on the disk, keeping its permission bits; D88Error with
        the writer's lines when it cannot be written."""
        encoded = _path_bytes(path)
        chosen = format if format is not None else _format_of_path(encoded) or "d88"
        data, said = self._export(chosen, disk, force, rpm, revolutions)
        _warn(said)
        _result(_native.store(encoded, data))

    def __len__(self) -> int:
        return len(self.disks)

    def __iter__(self) -> Iterator[Disk]:
        return iter(self.disks)

    def __getitem__(self, index: int) -> Disk:
        return self.disks[index]

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Image):
            return NotImplemented
        return self.disks == other.disks

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return "Image(%r)" % (self.disks,)


def _format_number(format: str) -> int:
    """The number of a format named as FILE_FORMATS names it, or by an
    extension of its files ("d77", "2hd", ...); ValueError for none."""
    if not isinstance(format, str):
        raise TypeError("a format is a str, not %s" % type(format).__name__)
    number = _native.find_format(format.encode()) if format.isascii() and format.isalnum() else -1
    if number < 0:
        raise ValueError("unknown format %r (one of %s)" % (format, ", ".join(FILE_FORMATS)))
    return number


def _format_of_path(path: bytes) -> Optional[str]:
    """The format a path's extension names, or None.  A name ending in .raw
    is KryoFlux's only as a stream file's (trackCC.H.raw)."""
    name = os.path.basename(path)
    number = _native.find_format(name) if b"." in name else -1
    if number == _KRYOFLUX and not _STREAM_FILE.fullmatch(name):
        return None
    return FILE_FORMATS[number] if number >= 0 else None


def _loss_line(f: "Finding") -> str:
    """A loss or a note as d88disk convert says it."""
    place = ", ".join(p for p in ("slot %d" % f.slot if f.slot is not None else "",
                                  "sector %d" % f.index if f.index is not None else "") if p)
    place += " (%s)" % f.sector if f.sector else ""
    return "%s%s %s: %s" % (place + ": " if place else "", f.severity, f.kind, f.message)


def _warn(said: List["Finding"]) -> None:
    """Each finding as a D88Warning, from the caller's caller."""
    for f in said:
        warnings.warn(D88Warning(_loss_line(f), f), stacklevel=3)


def _image_of_bytes(data: bytes, number: int) -> Tuple[Image, List["Finding"]]:
    """An image's bytes in format number read, and what a flux dump showed."""
    if number == _D88:
        return Image.from_bytes(data), []
    if number == _KRYOFLUX:
        raise ValueError("a KryoFlux dump is read from its files, one a track: give read_image their folder or its "
                         "trackCC.H.raw")
    if number == _SCP:
        return _flux_image(_SCP, [data], [0])
    return Image([Disk(*d) for d in _result(_native.import_image(data, number))]), []


def _flux_image(number: int, files: List[bytes], slots: List[int]) -> Tuple[Image, List["Finding"]]:
    """A flux dump decoded into one disk, and what it showed of its tracks."""
    disks, lines, findings = _native.import_flux(number, files, slots)
    if disks is None:
        raise D88Error([_decode_line(line) for line in lines])
    return Image([Disk(*d) for d in disks]), [Finding(t) for t in findings]


def _stream_files(folder: bytes) -> List[Tuple[int, bytes]]:
    """The KryoFlux stream files in folder, with their slots."""
    paths = [(c * 2 + h, os.path.join(folder, b"track%02d.%d.raw" % (c, h)))
             for c in range(_KRYOFLUX_CYLINDERS) for h in (0, 1)]
    return [(slot, path) for slot, path in paths if os.path.exists(path)]


def _is_stream_dump(path: bytes) -> bool:
    """Whether path names a KryoFlux dump: a folder holding stream files, or
    one of them."""
    return (_STREAM_FILE.fullmatch(os.path.basename(path)) is not None or
            (os.path.isdir(path) and _stream_files(path) != []))


def _read_streams(path: bytes) -> Tuple[Image, List["Finding"]]:
    """The KryoFlux dump path names (its folder or one of its files) decoded."""
    if os.path.isdir(path):
        folder = path
    elif _STREAM_FILE.fullmatch(os.path.basename(path)):
        folder = os.path.dirname(path) or b"."
    else:
        if not os.path.exists(path):
            _file_result(_native.load(path), path)  # raises the matching D88OSError
        raise D88Error(["error: '%s' is no KryoFlux stream file (trackCC.H.raw) nor a folder of them" % _decode_line(path)])
    streams = _stream_files(folder)
    if not streams:
        raise D88Error(["error: '%s' holds no KryoFlux stream files (trackCC.H.raw)" % _decode_line(folder)])
    return _flux_image(_KRYOFLUX, [_file_result(_native.load(p), p) for _, p in streams], [slot for slot, _ in streams])


def read_image(path: Union[PathLike, BytesLike], format: Optional[str] = None) -> Image:
    """Reads an image: the file at path, or an image's bytes, in one of
    FILE_FORMATS: ``format``, else the one the path's extension names, else
    the one the content is, else D88.  A flux dump is an SCP file, or a
    KryoFlux dump: the folder of its stream files (trackCC.H.raw) or one
    of them; what it shows of its tracks (a weak sector, a CRC error) is a
    D88Warning each.  D88Error with the reader's chain of messages when it
    is broken or holds no disk; a D88OSError (also a FileNotFoundError,
    PermissionError or IsADirectoryError) when the file cannot be read."""
    if isinstance(path, (bytes, bytearray, memoryview)) and not (isinstance(path, bytes) and format is None and
                                                                  _looks_like_path(path)):
        data = bytes(path)
        detected = _native.detect_format(data) if format is None else -1
        image, said = _image_of_bytes(data, _format_number(format) if format is not None else
                                      detected if detected >= 0 else _D88)
        _warn(said)
        return image
    encoded = _path_bytes(path)
    number = _format_number(format) if format is not None else None
    if number == _KRYOFLUX or (number is None and _is_stream_dump(encoded)):
        image, said = _read_streams(encoded)
    else:
        if number is None:
            named = _format_of_path(encoded)
            number = _format_number(named) if named else None
        data = _file_result(_native.load(encoded), encoded) if number != _D88 else b""
        if number is None:  # no name tells: the content does, else it is D88
            detected = _native.detect_format(data)
            number = detected if detected >= 0 else _D88
        if number == _D88:
            return _read_d88_file(encoded)
        image, said = _image_of_bytes(data, number)
    image.path = os.fsdecode(encoded)
    _warn(said)
    return image


def _read_d88_file(encoded: bytes) -> Image:
    """The D88 file at path read as the library reads it."""
    answer = _native.read_file(encoded)
    disks = [Disk(*d) for d in _file_result(answer, encoded)]
    if not disks:
        said = [_decode_line(line) for line in answer[1]]
        raise D88Error(said + ["error: '%s' holds no D88 disk" % _decode_line(encoded)])
    return Image(disks, os.fsdecode(encoded))


def create_disk(format: Union[int, str], name: str = "") -> Disk:
    """A blank disk of one of the ten standard formats, by number (0 to 9) or
    by d88disk's name ("2d", "2dd640", "2hd1232", ...; any case): every
    sector present and filled with E5.  ValueError for an unknown format or
    a name that does not fit."""
    if not isinstance(format, (int, str)) or isinstance(format, bool):
        raise TypeError("a format is an int or a str, not %s" % type(format).__name__)
    if not isinstance(name, str):
        raise TypeError("a name is a str, not %s" % type(name).__name__)
    names = [n.lower() for n in FORMATS]
    if isinstance(format, str) and format.lower() in names:
        number = names.index(format.lower())
    elif isinstance(format, int) and 0 <= format < len(FORMATS):
        number = format
    else:
        raise ValueError("unknown format %r (0 to 9, or one of %s)" % (format, ", ".join(FORMATS)))
    stored = _encode_name(name)[:NAME_BYTES] if name else b""
    return Disk(*_result(_native.create_disk(stored, number)))


Source = Union[Image, BytesLike, str, "os.PathLike[str]"]


def _job_image(source: Optional[Source], role: str) -> Tuple[Optional[bytes], bytes]:
    """An image of the job as its bytes and the name its lines use: the path
    a file was given or read from, else ``<role>``.  (None, ...) when it is
    not given."""
    if source is None:
        return None, role.encode()
    if isinstance(source, Image):
        return source.to_bytes(), os.fsencode(source.path) if source.path else ("<%s>" % role).encode()
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source), ("<%s>" % role).encode()
    encoded = _path_bytes(source)
    return _file_result(_native.load(encoded), encoded), encoded


def _track_argument(track: Optional[int]) -> int:
    if track is None:
        return -1
    if not isinstance(track, int) or isinstance(track, bool):
        raise TypeError("the track number is an int, not %s" % type(track).__name__)
    if not 0 <= track < 80:
        raise ValueError("the track number is from 0 to 79, not %r" % (track,))
    return track


def _index_argument(index: int) -> int:
    if not isinstance(index, int) or isinstance(index, bool):
        raise TypeError("the disk index is an int, not %s" % type(index).__name__)
    if index < 0:
        raise ValueError("the disk index counts from 0, not %r" % (index,))
    return index


def complete(game: Source, data1: Source, data2: Optional[Source] = None, index: int = 0,
             track: Optional[int] = None) -> Image:
    """The job of vorkast: a new Image, game's with disk ``index`` completed,
    for every track or for ``track`` alone (0 to 79); the arguments are left
    unchanged.  Each image is an Image, its bytes or a path.  The data disks
    are taken as vorkast takes them: with a track of 40 or more and no data2,
    data1 is data disk #2.  D88Error with vorkast's lines where vorkast fails
    (``error: get d88 sector 03/01/07``, ``error: get track 3 data``, ...),
    naming the files given."""
    track, index = _track_argument(track), _index_argument(index)
    (b1, n1), (b2, n2), (b3, n3) = _job_image(game, "game"), _job_image(data1, "data1"), _job_image(data2, "data2")
    if b1 is None:
        raise TypeError("the game image is an Image, its bytes or a path, not None")
    return Image.from_bytes(_result(_native.complete(b1, b2, b3, n1, n2, n3, index, track)))


def _file_system_number(fs: Optional[str]) -> int:
    if fs is None:
        return -1
    if fs not in FILE_SYSTEMS:
        raise ValueError("fs must be one of %s, not %r" % (", ".join(FILE_SYSTEMS), fs))
    return FILE_SYSTEMS.index(fs)


def _encode_file_name(name: str) -> bytes:
    try:
        return name.encode("cp932")
    except UnicodeEncodeError:
        raise ValueError("the name %r has a character with no Shift_JIS code" % name) from None


class File:
    """One file of a disk's file system: ``name`` (NAME.EXT), ``type``
    ("bin", "bas", "asc", "file", "dir", "ipl", "label"), ``attributes``
    (the entry's byte), ``flags`` (its protection bits as letters), ``size``,
    ``cluster`` (the first; None for none), ``load`` and ``exec`` (None
    where the file system keeps none), ``modified`` (when it was last
    written, a datetime.datetime without time zone as the machines keep it;
    None where the file system keeps no date or the entry's is no date);
    ``read()`` gives its data.  ``date`` is the same time as a tuple
    (year, month, day, hour, minute, second), or None, as the entry holds
    it."""

    __slots__ = ("name", "type", "attributes", "flags", "size", "cluster", "load", "exec", "modified", "date", "_disk",
                 "_fs", "_entry", "_stored")

    def __init__(self, disk: "Disk", fs: int, t: tuple, path: Optional[bytes] = None):
        known = lambda v: None if v < 0 else v  # noqa: E731
        # the entry's name as stored, and the name read() asks for (a
        # subdirectory's file by its path)
        self._disk, self._fs, self._entry, self._stored = disk, fs, t[0], path if path is not None else t[0]
        self.name: str = t[0].decode("cp932", "backslashreplace")
        self.type: str = _FILE_TYPES[t[1]]
        self.attributes: int = t[2]
        self.flags: str = t[3]
        self.size: int = t[4]
        self.cluster: Optional[int] = known(t[5])
        self.load: Optional[int] = known(t[6])
        self.exec: Optional[int] = known(t[7])
        self.date: Optional[Tuple[int, ...]] = tuple(t[8]) if t[8][0] else None
        self.modified: Optional[datetime.datetime] = None
        year, month, day, hour, minute, second = t[8]
        try:
            self.modified = datetime.datetime(year, month, day, hour, minute, second) if year else None
        except ValueError:  # a month 13, a second 62: what a damaged entry holds
            pass

    def read(self) -> bytes:
        """The file's data, from the disk as it is now; D88FileNotFoundError
        when it is no longer there."""
        data, lines = _native.read_file_data(self._disk.to_bytes(), self._fs, self._stored)
        if data is None:
            raise _files_error(lines, self._stored)
        return data

    def __repr__(self) -> str:
        return "File(%r, %s, %d bytes)" % (self.name, self.type, self.size)


class Files(List[File]):
    """The files of a disk, as Disk.files lists them: a list of File, in the
    directory's order.  ``"NAME.EXT" in files`` asks for a file by its name
    as the file system compares names (FAT12 letters in either case,
    N88-BASIC and Hu-BASIC exactly); ``fs`` is the file system listed."""

    def __init__(self, files: Iterable[File] = (), fs: Optional[str] = None):
        super().__init__(files)
        self.fs = fs

    def __contains__(self, item: object) -> bool:
        if not isinstance(item, str):
            return super().__contains__(item)
        try:
            wanted = _name_key(item.encode("cp932"), self.fs)
        except UnicodeEncodeError:
            return False
        return any(_name_key(f._entry, self.fs) == wanted for f in self)


def _name_key(name: bytes, fs: Optional[str]) -> bytes:
    """A file's name as its file system compares it: FAT12's letters in upper
    case, but for the second byte of a Shift_JIS character; the others'
    unchanged."""
    if fs != "fat12":
        return name
    key, i = bytearray(name), 0
    while i < len(key):
        if 0x81 <= key[i] <= 0x9F or 0xE0 <= key[i] <= 0xFC:  # a character of two bytes
            i += 2
            continue
        if 0x61 <= key[i] <= 0x7A:
            key[i] -= 0x20
        i += 1
    return bytes(key)


def _date_fields(date: Union[datetime.datetime, datetime.date, Tuple[int, int, int, int, int, int], None]
                 ) -> Tuple[int, int, int, int, int, int]:
    """A date given to add_file as the library takes it: (0, ...) for none."""
    if date is None:
        return (0, 0, 0, 0, 0, 0)
    if isinstance(date, datetime.datetime):
        fields: Tuple[int, ...] = (date.year, date.month, date.day, date.hour, date.minute, date.second)
    elif isinstance(date, datetime.date):
        fields = (date.year, date.month, date.day, 0, 0, 0)
    else:
        fields = tuple(date)
    limits = ((1900, 2107), (1, 12), (1, 31), (0, 23), (0, 59), (0, 59))
    if len(fields) != 6 or not all(low <= v <= high for v, (low, high) in zip(fields, limits)):
        raise ValueError("date is a datetime or (year, month, day, hour, minute, second), from 1900 to 2107, not %r"
                         % (date,))
    year, month, day, hour, minute, second = fields
    return year, month, day, hour, minute, second


def _files_error(lines: List[bytes], name: bytes) -> D88Error:
    """The error of a failed operation on the file name: D88FileNotFoundError
    where the library found no such file."""
    decoded = [_decode_line(line) for line in lines]
    if decoded and decoded[0].startswith("file not found: "):
        return D88FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), name.decode("cp932", "backslashreplace"),
                                    decoded)
    return D88Error(decoded)


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


def check(image: Union[BytesLike, str, "os.PathLike[str]"]) -> List[Finding]:
    """Every finding of an image at once, in file order, the image given as
    its bytes or the path of its file: where the reader stops at the first
    fault, the check goes on as far as the bytes allow.  An "error" is a
    fault for which the reader refuses the image.  A file that cannot be read
    raises D88OSError."""
    if isinstance(image, (bytes, bytearray, memoryview)):
        return [Finding(t) for t in _native.scan(bytes(image))]
    encoded = _path_bytes(image)
    return [Finding(t) for t in _native.scan(_file_result(_native.load(encoded), encoded))]


class JobFinding:
    """One finding of check_job: ``severity``, ``kind`` (such as
    "missing-sector" or "already-complete"), ``track`` (the game track it
    stops, or None), ``image`` (the name of the image it is about, or None),
    ``sector`` (CC/HH/RR, or None) and ``message``."""

    __slots__ = ("severity", "kind", "track", "image", "sector", "message")

    def __init__(self, t: tuple):
        self.severity: str = _SEVERITIES[t[0]]
        self.kind: str = t[1]
        self.track: Optional[int] = t[2] if t[2] >= 0 else None
        self.image: Optional[str] = _decode_line(t[3]) if t[3] is not None else None
        self.sector: Optional[str] = "%02X/%02X/%02X" % t[4:7] if t[4] >= 0 else None
        self.message: str = t[7]

    def __repr__(self) -> str:
        return "JobFinding(%s %s: %s)" % (self.severity, self.kind, self.message)


class JobCheck:
    """What check_job found: ``tracks`` (how many the job selects), ``ready``
    (how many of them vorkast would complete) and ``findings``."""

    __slots__ = ("tracks", "ready", "findings")

    def __init__(self, tracks: int, ready: int, findings: List[JobFinding]):
        self.tracks, self.ready, self.findings = tracks, ready, findings

    def __repr__(self) -> str:
        return "JobCheck(%d of %d ready, %d findings)" % (self.ready, self.tracks, len(self.findings))


def check_job(game: Source, data1: Source, data2: Optional[Source] = None, index: int = 0,
              track: Optional[int] = None) -> JobCheck:
    """What ``d88disk check --job`` reports for the job of complete(), without
    doing it: everything that would stop vorkast, for every selected track
    at once.  The images are taken as complete() takes them."""
    track, index = _track_argument(track), _index_argument(index)
    sources = [_job_image(game, "game"), _job_image(data1, "data1"), _job_image(data2, "data2")]
    if data2 is None and track >= 40:
        sources[1], sources[2] = (None, b"data1"), sources[1]
    (b1, n1), (b2, n2), (b3, n3) = sources
    tracks, ready, findings = _native.check_job(b1, b2, b3, n1, n2, n3, index, track)
    return JobCheck(tracks, ready, [JobFinding(t) for t in findings])
