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
messages as it prints them; a file that cannot be read raises an error that
is both a D88Error and the matching OSError (FileNotFoundError,
PermissionError, IsADirectoryError).  A value of the wrong type raises
TypeError, a wrong value ValueError.  Nothing is ever printed.

``d88.__version__`` is the library's version.
"""

from ._core import (FILE_FORMATS, FILE_SYSTEMS, FORMATS, D88Error, D88FileExistsError, D88FileNotFoundError,
                    D88IsADirectoryError, D88OSError, D88PermissionError, D88Warning, Disk, File, Files, Finding, Image,
                    JobCheck, JobFinding, Sector, Tracks, check, check_job, complete, create_disk, read_image)
from ._native import version as _version

__version__ = _version()
del _version

__all__ = ["FILE_FORMATS", "D88Error", "D88OSError", "D88FileNotFoundError", "D88PermissionError", "D88IsADirectoryError",
           "D88FileExistsError", "D88Warning", "Finding", "JobFinding", "JobCheck", "Image", "Disk", "Tracks", "Sector",
           "read_image", "create_disk", "complete", "check", "check_job", "FORMATS", "FILE_SYSTEMS", "File", "Files"]

# The public classes and functions are d88's, wherever they are written: so
# their reprs, tracebacks and pickles name d88.Image, not d88._core.Image.
for _name in __all__:
    if hasattr(globals()[_name], "__qualname__"):
        globals()[_name].__module__ = __name__
del _name
