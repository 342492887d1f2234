"""Builds the zelp7x package with the project's own CMake build.

setuptools asks for the extension module; this configures the repository (the folder above
this one) with what the module needs, builds the target zelp7x_python and copies the package
folder that build makes (the module, the package's Python files, its version and the sample
package) into the wheel. The metadata is in pyproject.toml; the version is the project's.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
TARGET = "zelp7x_python"
# The module and what it links, with the simulated board for Board('sim'); no tests, benchmarks,
# fuzzers or API reference.
CMAKE_OPTIONS = ["-DZELP_BUILD_PYTHON=ON", "-DZELP_BUILD_TESTS=OFF", "-DZELP_BUILD_BENCH=OFF",
                 "-DZELP_BUILD_FUZZ=OFF", "-DZELP_BUILD_DOCS=OFF"]
VERSION_LINE = re.compile(r"^project\(\s*zelp7x_flash\s+VERSION\s+([0-9][0-9.]*)", re.MULTILINE)


def project_version(root):
    """The version in the project() line of the repository's CMakeLists.txt, or None."""
    top = root / "CMakeLists.txt"
    found = VERSION_LINE.search(top.read_text()) if top.is_file() else None
    return found.group(1) if found else None


def source_root():
    """The repository this package is built from: $ZELP7X_SOURCE_DIR, else the folder above this
    one. pip before 21.3 builds a copy of the folder it is given, away from its repository; the
    variable then says where the repository is."""
    given = os.environ.get("ZELP7X_SOURCE_DIR")
    root = Path(given).resolve() if given else HERE.parent
    if project_version(root) is None:
        where = f"ZELP7X_SOURCE_DIR={given}" if given else f"{HERE.parent} (the folder above {HERE})"
        sys.exit(f"zelp7x: {where} holds no zelp7x_flash repository. This folder builds only "
                 "from inside one; pip before 21.3 copies it away first: upgrade pip, or set "
                 "ZELP7X_SOURCE_DIR to the repository's folder.")
    return root


class CMakeExtension(Extension):
    """An extension module that a CMake target builds."""

    def __init__(self, name, target):
        super().__init__(name, sources=[])
        self.target = target


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if shutil.which("cmake") is None:
            sys.exit("zelp7x: building needs CMake 3.25 or newer (Debian: cmake)")
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(self.configure_command(source_root(), build), check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", ext.target], check=True)
        self.copy_package(build / "python" / "zelp7x", Path(self.get_ext_fullpath(ext.name)))

    def configure_command(self, root, build):
        command = ["cmake", "-S", str(root), "-B", str(build), *CMAKE_OPTIONS,
                   f"-DPython3_EXECUTABLE={sys.executable}",
                   f"-DCMAKE_BUILD_TYPE={'Debug' if self.debug else 'Release'}"]
        # A build folder keeps the generator it was made with.
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            command += ["-G", "Ninja"]
        # pybind11 from PyPI in an isolated build; Debian's pybind11-dev CMake finds by itself.
        try:
            import pybind11
            command.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        return command

    @staticmethod
    def copy_package(built, module):
        """Copies the package folder the build made beside `module`, leaving out modules built
        for other interpreters."""
        if not (built / module.name).is_file():
            sys.exit(f"zelp7x: the build made no {built / module.name}")
        module.parent.mkdir(parents=True, exist_ok=True)
        for file in built.iterdir():
            built_module = file.name.startswith("_zelp7x.") and file.suffix in (".so", ".pyd")
            if file.is_file() and (not built_module or file.name == module.name):
                shutil.copy2(file, module.parent / file.name)


setup(version=project_version(source_root()),
      ext_modules=[CMakeExtension("zelp7x._zelp7x", TARGET)],
      cmdclass={"build_ext": CMakeBuild})
