"""Builds the native module of the quernfold package with the project's own
CMake (the library and the module, nothing downloaded) and puts it into the
package. Driven by pyproject.toml: `pip install --no-build-isolation .`.

QUERNFOLD_CMAKE_BUILD_DIR names an existing CMake build folder of this
project (configured for the same interpreter) to build the module in
instead of a fresh one."""
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def library_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(quernfold VERSION ([0-9.]+)", f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.environ.get("QUERNFOLD_CMAKE_BUILD_DIR") or os.path.join(
            os.path.abspath(self.build_temp), "cmake")
        if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            options = [
                f"-DPython3_EXECUTABLE={sys.executable}", "-DCMAKE_BUILD_TYPE=Release",
                "-DQUERNFOLD_BUILD_PYTHON=ON", "-DQUERNFOLD_BUILD_TESTS=OFF",
                "-DQUERNFOLD_BUILD_TOOLS=OFF", "-DQUERNFOLD_INSTALL=OFF",
            ]
            if shutil.which("ccache"):
                options.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
            subprocess.check_call(["cmake", "-S", ROOT, "-B", build] + options)
        jobs = str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", build, "--target", "_quernfold", "-j", jobs])
        built = os.path.join(build, "python", "quernfold", os.path.basename(self.get_ext_filename(ext.name)))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=library_version(),
    ext_modules=[Extension("quernfold._quernfold", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build-python"}},
)
