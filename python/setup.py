"""Builds the d88 package's extension from the project's own C++ sources
(the library, the job of vorkast, the platform layer), found beside this
folder; the version is the project's."""

import os
import re
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
VERSION = re.search(r"project\(vorkast VERSION (\d+)\.(\d+)\.(\d+)",
                    open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8").read()).groups()
WINDOWS = sys.platform == "win32"

SOURCES = ["d88/d88_message.cpp", "d88/d88_model.cpp", "d88/d88_read.cpp", "d88/d88_decode.cpp",
           "d88/d88_findings.cpp", "d88/d88_scan.cpp", "d88/d88_write.cpp", "d88/d88_create.cpp",
           "d88/d88_file_windows.cpp" if WINDOWS else "d88/d88_file_posix.cpp",
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


native = Extension(
    "d88._native",
    sources=["d88/_native.cpp"] + [os.path.relpath(os.path.join(ROOT, s), HERE) for s in SOURCES],
    include_dirs=[os.path.join(ROOT, d) for d in ("d88", "tool", "common")],
    extra_compile_args=[] if WINDOWS else ["-std=c++17", "-fvisibility=hidden"],
    language="c++",
)

setup(version=".".join(VERSION), ext_modules=[native], cmdclass={"build_ext": build_with_version})
