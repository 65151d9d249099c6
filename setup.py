"""Builds the extension pektor._pektor with the project's CMake build (the target _pektor
only, in Release, without the tests) for the interpreter that runs this script."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        jobs = os.environ.get("PEKTOR_BUILD_JOBS", "2")
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DPEKTOR_TESTS=OFF", f"-DPython_EXECUTABLE={sys.executable}"],
                       check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_pektor", "-j", jobs],
                       check=True)
        built = next((build / "python" / "pektor").glob("_pektor*.so"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(built, target)


setup(ext_modules=[Extension("pektor._pektor", sources=[])], cmdclass={"build_ext": CMakeBuild})
