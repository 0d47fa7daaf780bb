"""Builds the d88 package's extension from the project's own C++ sources
(the library, the job of vorkast, the platform layer): those beside this
folder in the project's tree, or the copy a source archive carries in
native/.  The version is the project's."""

import os
import re
import shutil
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.sdist import sdist

HERE = os.path.dirname(os.path.abspath(__file__))
CARRIED = os.path.join(HERE, "native")  # the sources, as a source archive holds them
ROOT = CARRIED if os.path.isdir(CARRIED) else os.path.dirname(HERE)
VERSION = re.search(r"project\(vorkast VERSION (\d+)\.(\d+)\.(\d+)",
                    open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8").read()).groups()
WINDOWS = sys.platform == "win32"

# Every source, header and file of the project the extension is built from.
CARRIED_FOLDERS = ("d88", "d88/core", "d88/formats", "d88/formats/shared", "d88/fs", "d88/fs/shared", "tool", "common")
CARRIED_FILES = ["CMakeLists.txt", "LICENSE"] + ["%s/%s" % (d, f) for d in CARRIED_FOLDERS
                                                 for f in sorted(os.listdir(os.path.join(ROOT, d)))
                                                 if f.endswith((".h", ".cpp"))]

# The library's sources, as CMakeLists.txt lists them for d88_objects: the
# one list both builds take, so that neither can miss a file.
LIBRARY = re.search(r"add_library\(d88_objects OBJECT(.*?)\)", open(os.path.join(ROOT, "CMakeLists.txt"),
                                                                  encoding="utf-8").read(), re.S).group(1)
SOURCES = [w for w in re.findall(r"d88/\S+\.cpp", LIBRARY)] + [
    "d88/core/file_windows.cpp" if WINDOWS else "d88/core/file_posix.cpp",
    "tool/job.cpp", "tool/job_check.cpp", "tool/transfer.cpp", "common/numbers.cpp",
    "common/platform_windows.cpp" if WINDOWS else "common/platform_posix.cpp"]


class build_with_version(build_ext):
    """Writes d88_version.h, as the CMake build does, before compiling."""

    def run(self):
        include = os.path.join(self.build_temp, "include")
        os.makedirs(include, exist_ok=True)
        with open(os.path.join(include, "d88_version.h"), "w", encoding="utf-8") as out:
            out.write("#define D88_VERSION_MAJOR %s\n#define D88_VERSION_MINOR %s\n#define D88_VERSION_PATCH %s\n"
                      '#define D88_VERSION_STRING "%s.%s.%s"\n' % (VERSION + VERSION))
        for extension in self.extensions:
            extension.include_dirs.insert(0, include)
        super().run()


class sdist_with_sources(sdist):
    """A source archive that builds away from the project's tree: it carries
    the C++ sources in native/."""

    def make_release_tree(self, base_dir, files):
        # The sources outside this folder go to native/, and nowhere else.
        super().make_release_tree(base_dir, [f for f in files if not f.startswith(".." + os.sep)])
        for name in CARRIED_FILES:
            target = os.path.join(base_dir, "native", name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(os.path.join(ROOT, name), target)


native = Extension(
    "d88._native",
    sources=["d88/_native.cpp"] + [os.path.relpath(os.path.join(ROOT, s), HERE) for s in SOURCES],
    include_dirs=[os.path.join(ROOT, d) for d in ("d88", "tool", "common")],
    extra_compile_args=["/std:c++17"] if WINDOWS else ["-std=c++17", "-fvisibility=hidden"],
    language="c++",
)

setup(version=".".join(VERSION), ext_modules=[native],
      cmdclass={"build_ext": build_with_version, "sdist": sdist_with_sources})
