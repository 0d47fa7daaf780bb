"""The d88 package against the programs of the same library: what Python
reads, writes, creates and completes equals what d88disk and vorkast make of
the same files.  VORKAST_BIN names the folder of vorkast and d88disk."""

import contextlib
import datetime
import importlib.metadata
import json
import os
import re
import struct
import subprocess
import warnings

import pytest

import d88

BIN = os.environ.get("VORKAST_BIN", "")


def run(program, *args, cwd):
    return subprocess.run([os.path.join(BIN, program), *map(str, args)], cwd=cwd, capture_output=True, text=True)


@pytest.fixture()
def samples(tmp_path):
    """A folder with the sample images, a two-disk image TWO.D88 whose second
    disk is named ゲーム, and vorkast's results for them."""
    assert run("d88disk", "sample", ".", cwd=tmp_path).returncode == 0
    (tmp_path / "G2.D88").write_bytes((tmp_path / "GAME.D88").read_bytes())
    run("d88disk", "set", "G2.D88", "--name", "ゲーム", cwd=tmp_path)
    run("d88disk", "join", "TWO.D88", "GAME.D88", "G2.D88", cwd=tmp_path)
    for args in (["-o", "ALL.D88", "GAME.D88", "DATA1.D88", "DATA2.D88"],
                 ["-i", "1", "-o", "TWO.1.D88", "TWO.D88", "DATA1.D88", "DATA2.D88"],
                 ["-t", "5", "-o", "T5.D88", "GAME.D88", "DATA1.D88"]):
        assert run("vorkast", *args, cwd=tmp_path).returncode == 0
    return tmp_path


def test_images_read_and_written_back_byte_for_byte(samples):
    for name in ("GAME.D88", "DATA1.D88", "ALL.D88", "TWO.D88"):
        image = d88.read_image(samples / name)
        assert image.to_bytes() == (samples / name).read_bytes()
        image.write(samples / "COPY.D88")
        assert (samples / "COPY.D88").read_bytes() == (samples / name).read_bytes()
    two = d88.read_image(samples / "TWO.D88")
    assert [d.name for d in two.disks] == ["SAMPLE GAME", "ゲーム"]
    # A disk that is nothing but the short header comes back with the full one.
    short = bytearray(672)
    short[0x1C:0x20] = (672).to_bytes(4, "little")
    image = d88.Image.from_bytes(bytes(short))
    assert len(image.disks) == 1 and image.disks[0].to_bytes()[0x1C:0x20] == (688).to_bytes(4, "little")


def test_failures_carry_the_library_lines_and_print_nothing(samples, capfd):
    cut = (samples / "DATA1.D88").read_bytes()[:5000]
    with pytest.raises(d88.D88Error) as error:
        d88.Image.from_bytes(cut)
    assert error.value.lines == ["illegal data: [SAMPLE DATA 1   ] disk size = 0x000552B0", "read disk 1 error"]
    (samples / "CUT.D88").write_bytes(cut)
    said = run("vorkast", "GAME.D88", "DATA1.D88", "CUT.D88", cwd=samples).stdout.splitlines()
    with pytest.raises(d88.D88Error) as error:
        d88.read_image(samples / "CUT.D88")
    assert error.value.lines == [line.replace("'CUT.D88'", "'%s'" % (samples / "CUT.D88")) for line in said[:-1]]
    assert str(error.value) == "\n".join(error.value.lines)
    with pytest.raises(d88.D88Error) as error:
        d88.read_image("NO.D88")
    assert error.value.lines == ["open error 'NO.D88'"]
    # a disk name in a line as d88disk shows it, a stray byte escaped
    named = bytearray((samples / "TWO.D88").read_bytes())
    named[len(named) // 2 + 0x1B] = 0x30
    named[len(named) // 2 + 6] = 0x81
    with pytest.raises(d88.D88Error) as error:
        d88.Image.from_bytes(named)
    assert error.value.lines[0] == "illegal data: [ゲーム\\x81         ] disk type = 0x30"
    with pytest.raises(d88.D88Error) as error:
        d88.read_image(samples / "GAME.D88").write(samples)
    assert error.value.lines == ["open error '%s'" % samples]
    assert capfd.readouterr() == ("", "")


def test_names_fields_and_sectors_are_written_as_changed(samples):
    image = d88.read_image(samples / "GAME.D88")
    disk = image.disks[0]
    disk.name, disk.write_protected, disk.media = "ゲーム", True, "2HD"
    with pytest.raises(ValueError):
        disk.name = "€"
    with pytest.raises(ValueError):
        disk.name = "ゲームゲームゲーム"
    with pytest.raises(ValueError):
        disk.media = "8D"
    image.write(samples / "NAMED.D88")
    shown = run("d88disk", "info", "NAMED.D88", cwd=samples).stdout
    assert shown.startswith("disk 0  ゲーム            2HD  protected")
    sector = disk.find_sector(3, 1, 7)
    assert sector.data.startswith(b"game sector 03/01/07") and disk.find_sector(3, 1, 17) is None
    sector.data = b"new"
    disk.tracks[5] = [d88.Sector(2, 1, 9, 2, b"x" * 512, status=0xB0)]
    disk.tracks[6] = []
    again = d88.Image.from_bytes(image.to_bytes()).disks[0]
    assert again.find_sector(3, 1, 7).data == b"new"
    assert [(s.id, s.n, s.status, len(s.data)) for s in again.tracks[5]] == [("02/01/09", 2, 0xB0, 512)]
    assert again.tracks[6] == [] and len(again.tracks) == 164


@pytest.mark.parametrize("result, args", [("ALL.D88", {}), ("TWO.1.D88", {"index": 1}), ("T5.D88", {"track": 5})])
def test_complete_equals_vorkast(samples, result, args):
    game = d88.read_image(samples / ("TWO.D88" if "index" in args else "GAME.D88"))
    before = game.to_bytes()
    data = [d88.read_image(samples / "DATA1.D88")] + ([] if "track" in args else [d88.read_image(samples / "DATA2.D88")])
    assert d88.complete(game, *data, **args).to_bytes() == (samples / result).read_bytes()
    assert game.to_bytes() == before


def test_complete_fails_where_vorkast_fails(samples):
    game, data = d88.read_image(samples / "GAME.D88"), d88.read_image(samples / "DATA1.D88")
    data.disks[0].tracks[7] = [s for s in data.disks[0].tracks[7] if s.r != 7]
    with pytest.raises(d88.D88Error) as error:
        d88.complete(game, data, track=3)
    assert error.value.lines == ["error: get d88 sector 03/01/07", "error: get track 3 data"]
    with pytest.raises(d88.D88Error) as error:
        d88.complete(game, data, data, index=1)
    assert error.value.lines == ["error: get disk 1 from image '%s'" % (samples / "GAME.D88")]
    with pytest.raises(d88.D88Error) as error:
        d88.complete(bytearray(game.to_bytes()), samples / "DATA1.D88", memoryview(b"x" * 100))
    assert error.value.lines == ["data size too short ... garbage? ... ignored", "error: get disk 0 from image '<data2>'"]
    with pytest.raises(d88.D88Error) as error:
        d88.complete(d88.read_image(samples / "ALL.D88"), data, track=45)
    assert error.value.lines == ["error: track 45 already holds an 8 KB sector", "error: insert track 45"]
    with pytest.raises(ValueError):
        d88.complete(game, data, track=80)


@pytest.mark.parametrize("format", range(10))
def test_create_disk_equals_d88disk_create(samples, format):
    assert run("d88disk", "create", format, "NEW.D88", "--name", "ブランク", cwd=samples).returncode == 0
    made = (samples / "NEW.D88").read_bytes()
    assert d88.create_disk(format, name="ブランク").to_bytes() == made
    assert d88.create_disk(d88.FORMATS[format].upper(), "ブランク").to_bytes() == made


@pytest.mark.parametrize("error, call", [
    (ValueError, lambda: d88.create_disk(10)),
    (ValueError, lambda: d88.create_disk("8d")),
    (ValueError, lambda: d88.create_disk(0, "X" * 17)),
    (TypeError, lambda: d88.create_disk(True)),
    (TypeError, lambda: d88.create_disk(0, b"NAME")),
    (TypeError, lambda: d88.read_image(3)),
    (TypeError, lambda: d88.check(3.5)),
    (TypeError, lambda: d88.Sector(0, 0, 1, 1, "text")),
    (ValueError, lambda: d88.Sector(0, 0, 256, 1)),
    (ValueError, lambda: d88.Sector(0, 0, 1, 1, bytes(0x8000))),
    (TypeError, lambda: d88.Image([b"disk"])),
    (TypeError, lambda: d88.complete(d88.Image(), d88.Image(), track="3")),
    (ValueError, lambda: d88.check_job(d88.Image(), d88.Image(), index=-1)),
    (ValueError, lambda: d88.Image([d88.create_disk(0)]).to_bytes("scp", revolutions=6)),
    (ValueError, lambda: d88.Image([d88.create_disk(0)]).to_bytes("hfe", revolutions=2)),
    (ValueError, lambda: d88.read_image(b"x" * 5000, format="track00.0.raw")),
    (TypeError, lambda: d88.create_disk(0).file(b"NAME")),
])
def test_wrong_types_and_values_are_refused(error, call):
    with pytest.raises(error):
        call()


def test_check_reports_every_finding(samples):
    data = bytearray((samples / "DATA1.D88").read_bytes())
    data[0x1A] = 0x01
    slot20 = int.from_bytes(data[0x20 + 4 * 20:0x24 + 4 * 20], "little")
    data[slot20 + 272 * 6 + 8] = 0xB0
    findings = d88.check(bytes(data))
    assert [(f.severity, f.kind, f.disk, f.slot, f.index, f.sector, f.offset) for f in findings] == [
        ("error", "write-protect", 0, None, None, None, 0),
        ("warning", "status", 0, 20, 6, "0A/00/07", slot20 + 272 * 6)]
    assert findings[1].message == "was read with status 0xB0: data CRC error"
    assert d88.check((samples / "GAME.D88").read_bytes()) == []


def test_files_that_cannot_be_read_are_os_errors_too(samples):
    (samples / "EMPTY.D88").write_bytes(b"x" * 100)
    for path, os_error, lines in ((samples / "NO.D88", FileNotFoundError, ["open error '%s'" % (samples / "NO.D88")]),
                                  (samples, IsADirectoryError, ["read error '%s'" % samples])):
        for call in (d88.read_image, d88.check):
            with pytest.raises(os_error) as error:
                call(path)
            assert isinstance(error.value, d88.D88Error) and error.value.lines[0] == lines[0]
            assert error.value.filename == str(path)
    with pytest.raises(d88.D88Error) as error:
        d88.read_image(samples / "EMPTY.D88")
    assert error.value.lines == ["data size too short ... garbage? ... ignored",
                                 "error: '%s' holds no D88 disk" % (samples / "EMPTY.D88")]


def test_values_compare_by_content_and_an_image_is_a_sequence(samples):
    one, two = d88.read_image(samples / "TWO.D88"), d88.Image.from_bytes((samples / "TWO.D88").read_bytes())
    assert one == two and len(one) == 2 and [d.name for d in one] == ["SAMPLE GAME", "ゲーム"] and one[1] == two.disks[1]
    two[0].tracks[0][0].data = b"changed"
    assert one != two and one[1] == two[1] and one[0].tracks[1] == two[0].tracks[1]
    assert d88.Sector(1, 2, 3, 1, bytearray(b"ab")) == d88.Sector(1, 2, 3, 1, memoryview(b"ab"))
    assert d88.check(samples / "GAME.D88") == [] and d88.check(str(samples / "GAME.D88")) == []


@pytest.mark.parametrize("images, options, args", [
    (["GAME.D88", "DATA1.D88", "DATA2.D88"], [], {}),
    (["ALL.D88", "DATA1.D88", "CUT.D88"], ["--track", "3"], {"track": 3}),
    (["GAME.D88", "CUT.D88"], ["--track", "45"], {"track": 45}),
    (["TWO.D88", "DATA1.D88", "DATA2.D88"], ["--index", "2"], {"index": 2}),
])
def test_check_job_reports_what_d88disk_reports(samples, images, options, args):
    (samples / "CUT.D88").write_bytes((samples / "DATA2.D88").read_bytes()[:100000])
    said = json.loads(run("d88disk", "check", "--job", *images, *options, "--json", cwd=samples).stdout)["job"]
    os.chdir(samples)
    checked = d88.check_job(*images, **args)
    assert (checked.tracks, checked.ready) == (said["tracks"], said["ready"])
    assert [(f.severity, f.kind, f.track, f.image, f.sector, f.message) for f in checked.findings] == [
        (f["severity"], f["kind"], f.get("track"), f.get("image"), f.get("sector"), f["message"]) for f in said["findings"]]


def without_time(data):
    """An image's bytes without the time IMD records of its writing."""
    return re.sub(rb"^IMD [^\r]*\r\n", b"IMD\r\n", data)


@pytest.mark.filterwarnings("ignore::d88.D88Warning")
@pytest.mark.parametrize("extension", ["IMD", "HFE", "NFD", "d77", "SCP"])
def test_other_formats_are_what_d88disk_convert_writes(samples, extension):
    image = d88.read_image(samples / "GAME.D88")
    image.write(samples / ("PY." + extension))
    assert run("d88disk", "convert", "GAME.D88", "CLI." + extension, cwd=samples).returncode == 0
    assert without_time((samples / ("PY." + extension)).read_bytes()) == without_time(
        (samples / ("CLI." + extension)).read_bytes())
    back = d88.read_image(samples / ("PY." + extension))
    assert back[0].tracks == image[0].tracks and back.path == str(samples / ("PY." + extension))
    assert d88.read_image((samples / ("PY." + extension)).read_bytes(), format=extension.lower()) == back


def test_losses_are_named_unless_forced(samples):
    done = d88.read_image(samples / "ALL.D88")
    with pytest.raises(d88.D88Error) as error:
        done.to_bytes("hfe")
    assert error.value.lines[0].startswith(
        "slot 0, sector 0 (00/00/01): error track-too-long: track 00/00: sectors of 12288 bytes do not fit")
    assert len(error.value.losses) == 81 and error.value.losses[0].kind == "lost-name"
    with pytest.warns(d88.D88Warning) as said:
        assert done.to_bytes("hfe", force=True)[:8] == b"HXCPICFE"
    assert [str(w.message) for w in said] == ["note lost-name: HFE has no place for the disk's name"] + error.value.lines
    with pytest.raises(ValueError):
        d88.read_image(samples / "TWO.D88").to_bytes("imd")
    assert d88.read_image(samples / "TWO.D88").to_bytes("imd", disk=1)[:4] == b"IMD "
    with pytest.raises(ValueError):
        done.to_bytes("xyz")


@pytest.mark.parametrize("fs, fmt, name", [("n88", 0, "HELLO.BAS"), ("hu", 0, "ゲーム.BIN"), ("fat12", 3, "README.TXT")])
def test_files_agree_with_d88disk(tmp_path, fs, fmt, name):
    """What Python puts on a disk d88disk lists and extracts, and what
    d88disk puts Python reads; a refused change leaves the disk as it was."""
    disk = d88.create_disk(fmt, "FILES")
    disk.format(fs)
    data = bytes(range(256)) * 30 + b"end"
    disk.add_file(name, data, load=0x9000 if fs == "hu" else None, date=(2026, 12, 7, 15, 30, 0))
    d88.Image([disk]).write(tmp_path / "F.D88")
    listing = json.loads(run("d88disk", "ls", "F.D88", "--json", cwd=tmp_path).stdout)
    assert [f["name"] for f in listing["files"]] == [name]
    assert run("d88disk", "get", "F.D88", name, "OUT", cwd=tmp_path).returncode == 0
    assert (tmp_path / "OUT").read_bytes()[:len(data)] == data
    (tmp_path / "IN").write_bytes(b"from d88disk")
    assert run("d88disk", "put", "F.D88", "IN", "--as", "IN.TXT", cwd=tmp_path).returncode == 0
    disk = d88.read_image(tmp_path / "F.D88").disks[0]
    assert disk.file_system == fs
    files = {f.name: f for f in disk.files}
    assert files["IN.TXT"].read()[:12] == b"from d88disk"
    assert files[name].load == (0x9000 if fs == "hu" else None)
    assert files[name].date == (None if fs == "n88" else (2026, 12, 7, 15, 30, 0))
    before = disk.to_bytes()
    huge, refusal = {"n88": (400_000, "disk is full"), "hu": (70_000, "65535 bytes"), "fat12": (2_000_000, "disk is full")}[fs]
    with pytest.raises(d88.D88Error, match=refusal):
        disk.add_file("HUGE.BIN", bytes(huge), fs=fs)
    with pytest.raises(d88.D88Error, match="file not found"):
        disk.remove_file("NONE.TXT")
    assert disk.to_bytes() == before
    disk.remove_file(name)
    assert [f.name for f in disk.files] == ["IN.TXT"]


def test_files_refuse_what_would_be_lost():
    """add_file over a file of the name needs overwrite=True and keeps what is
    not given; a Hu-BASIC text comes back to its end mark; a date the file
    system cannot keep is refused; format of a disk that holds files needs
    force=True, and then leaves one file system."""
    disk = d88.create_disk(9, "X1")
    disk.format("hu")
    disk.add_file("GAME.BIN", b"\x01" * 300, load=0x8000, exec=0x8010)
    before = disk.to_bytes()
    with pytest.raises(d88.D88FileExistsError) as error:
        disk.add_file("GAME.BIN", b"\x02" * 10)
    assert isinstance(error.value, FileExistsError) and error.value.filename == "GAME.BIN"
    assert disk.to_bytes() == before
    disk.add_file("GAME.BIN", b"\x02" * 10, load=0x9000, overwrite=True)
    disk.add_file("READ.ME", b"10 END\r", type="asc")
    files = {f.name: f for f in disk.files}
    assert (files["GAME.BIN"].size, files["GAME.BIN"].load, files["GAME.BIN"].exec) == (10, 0x9000, 0x8010)
    assert (files["READ.ME"].type, files["READ.ME"].size, files["READ.ME"].read()) == ("asc", 7, b"10 END\r")
    with pytest.raises(d88.D88Error, match="keeps the years 1980 to 2079, not 1979"):
        disk.add_file("OLD.BIN", b"", date=(1979, 12, 31, 0, 0, 0))
    before = disk.to_bytes()
    with pytest.raises(d88.D88Error, match=r"holds 2 files \(Hu-BASIC 2HD\)"):
        disk.format("n88")
    assert disk.to_bytes() == before
    disk.format("n88", force=True)
    assert disk.file_system == "n88" and disk.files == []


def test_the_version_is_the_library_s_and_the_package_s(samples):
    said = run("d88disk", "--version", cwd=samples).stdout.split()
    assert d88.__version__ == said[1] == importlib.metadata.version("d88")


def test_the_package_shows_its_own_names_and_installs_no_source():
    assert sorted(n for n in dir(d88) if not n.startswith("_")) == sorted(d88.__all__)
    assert d88.Image.__module__ == d88.D88Warning.__module__ == "d88"
    installed = [str(f) for f in importlib.metadata.files("d88")]
    assert [f for f in installed if f.endswith((".cpp", ".h", ".c"))] == []
    assert {"d88/py.typed", "d88/_native.pyi"} <= set(installed)
    stub = open(os.path.join(os.path.dirname(d88.__file__), "_native.pyi"), encoding="utf-8").read()
    assert set(re.findall(r"^def (\w+)", stub, re.M)) == {n for n in dir(d88._native) if not n.startswith("_")}


def disk_with_files(fs, fmt, names, date=None):
    disk = d88.create_disk(fmt, "FILES")
    disk.format(fs)
    for name in names:
        disk.add_file(name, name.encode(), date=date)
    return disk


@pytest.mark.parametrize("fs, fmt, stored, asked, found", [
    ("fat12", 3, "README.TXT", "readme.txt", True),
    ("fat12", 3, "ゲーム.TXT", "ゲーム.txt", True),
    ("fat12", 3, "README.TXT", "READ.TXT", False),
    ("hu", 0, "GAME.BIN", "GAME.BIN", True),
    ("hu", 0, "GAME.BIN", "game.bin", False),
    ("n88", 0, "HELLO.BAS", "hello.bas", False),
])
def test_a_file_is_found_by_name_as_its_file_system_compares(fs, fmt, stored, asked, found):
    disk = disk_with_files(fs, fmt, ["OTHER.BIN", stored])
    files = disk.files
    assert isinstance(files, list) and [f.name for f in files] == ["OTHER.BIN", stored]
    assert (asked in files) is found and files[1] in files and "€" not in files
    if found:
        assert disk.file(asked).name == stored and disk.file(asked).read()[:len(stored.encode())] == stored.encode()
        return
    for call in (disk.file, disk.remove_file):
        with pytest.raises(d88.D88FileNotFoundError) as error:
            call(asked)
        assert isinstance(error.value, FileNotFoundError) and error.value.filename == asked


@pytest.mark.parametrize("fs, fmt, date, modified", [
    ("fat12", 3, datetime.datetime(2026, 12, 7, 15, 30, 45), datetime.datetime(2026, 12, 7, 15, 30, 44)),
    ("fat12", 3, (1980, 1, 1, 0, 0, 0), datetime.datetime(1980, 1, 1)),
    ("hu", 0, datetime.datetime(2079, 12, 31, 23, 59, 59), datetime.datetime(2079, 12, 31, 23, 59)),
    ("hu", 0, datetime.date(1999, 1, 2), datetime.datetime(1999, 1, 2)),
    ("hu", 0, None, None),
    ("n88", 0, None, None),
])
def test_dates_are_datetimes_as_d88disk_lists_them(tmp_path, fs, fmt, date, modified):
    name = "HELLO.BAS" if fs == "n88" else "HELLO.TXT"
    d88.Image([disk_with_files(fs, fmt, [name], date)]).write(tmp_path / "F.D88")
    listed = json.loads(run("d88disk", "ls", "F.D88", "--json", cwd=tmp_path).stdout)["files"][0]
    entry = d88.read_image(tmp_path / "F.D88")[0].file(name)
    assert entry.modified == modified and entry.date == (modified.timetuple()[:6] if modified else None)
    assert listed["date"] == (modified.strftime("%Y-%m-%d %H:%M") if modified else None)


@pytest.mark.parametrize("format, said", [("scp", ["note lost-name: SCP has no place for the disk's name"]),
                                          ("imd", [])])
def test_notes_are_warnings_with_d88disk_s_lines(samples, format, said):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        d88.read_image(samples / "GAME.D88").write(samples / "OUT", format=format)
    assert [str(w.message) for w in caught] == said
    assert all(w.category is d88.D88Warning and w.filename == __file__ and w.message.finding.kind == "lost-name"
               for w in caught)
    printed = run("d88disk", "convert", "GAME.D88", "CLI", "--to", format, cwd=samples).stdout.splitlines()
    assert ["disk 0: " + line for line in said] == [line for line in printed if line.startswith("disk 0: note")]
    with warnings.catch_warnings():
        warnings.simplefilter("error", d88.D88Warning)  # a caller may stop at a note: nothing is written then
        with pytest.raises(d88.D88Warning) if said else contextlib.nullcontext():
            d88.read_image(samples / "GAME.D88").write(samples / "STOPPED", format=format)
    assert (samples / "STOPPED").exists() is not said


def scp_revolution(scp, slot):
    """A track's first revolution in an SCP file: its flux intervals in 25 ns."""
    track = struct.unpack_from("<I", scp, 0x10 + 4 * slot)[0]
    count, offset = struct.unpack_from("<II", scp, track + 8)
    intervals, carried = [], 0
    for value in struct.unpack_from(">%dH" % count, scp, track + offset):
        carried += value or 0x10000  # a 0 adds 65536 to the next value
        if value:
            intervals.append(carried)
            carried = 0
    return intervals


def kryoflux_stream(intervals):
    """A KryoFlux stream file of one track: the revolution to lock on, an
    index pulse, the revolution again, an index pulse."""
    out, position = bytearray(b"\x0d\x04\x14\x00sck=24027428.5714285"), 0
    for index in (1, 2):
        for interval in intervals:
            samples = round(interval * 25e-9 * 18432000 * 73 / 14 / 4)
            value = samples & 0xFFFF
            block = b"\x0b" * (samples >> 16) + (bytes([value]) if 0x0E <= value <= 0xFF else bytes([value >> 8, value & 0xFF])
                                                  if value < 0x800 else b"\x0c" + struct.pack(">H", value))
            out, position = out + block, position + len(block)
        out += b"\x0d\x02\x0c\x00" + struct.pack("<III", position, 0, index)
    return bytes(out + b"\x0d\x0d\x0d\x0d")


def sectors(disk, slots=range(164)):
    return [[(s.c, s.h, s.r, s.n, s.status, s.data) for s in disk.tracks[slot]] for slot in slots]


def test_flux_dumps_are_read_by_name_content_or_folder(samples):
    """SCP as d88disk writes it, with 2 revolutions, known by its content;
    KryoFlux streams made from its flux, by their folder or first file."""
    assert run("d88disk", "convert", "GAME.D88", "CLI.SCP", "--revs", 2, cwd=samples).returncode == 0
    scp, game = (samples / "CLI.SCP").read_bytes(), d88.read_image(samples / "GAME.D88")
    with pytest.warns(d88.D88Warning, match="lost-name"):
        assert game.to_bytes("scp", revolutions=2) == scp
    (samples / "SCPDUMP").write_bytes(scp)
    for source in (samples / "SCPDUMP", scp):
        assert sectors(d88.read_image(source)[0]) == sectors(game[0])
    (samples / "KF").mkdir()
    for slot in (0, 1):
        (samples / "KF" / ("track00.%d.raw" % slot)).write_bytes(kryoflux_stream(scp_revolution(scp, slot)))
    for source, format in ((samples / "KF", "kryoflux"), (samples / "KF", None), (samples / "KF" / "track00.0.raw", None)):
        read = d88.read_image(source, format=format)
        assert sectors(read[0]) == sectors(game[0], (0, 1)) + [[]] * 162 and read.path == str(source)
    with pytest.raises(d88.D88Error, match="holds no KryoFlux stream files"):
        d88.read_image(samples, format="kryoflux")
    with pytest.raises(ValueError):
        d88.read_image((samples / "KF" / "track00.0.raw").read_bytes(), format="kryoflux")
    with pytest.raises(d88.D88Error, match="read, not written"):
        game.to_bytes("kryoflux")
