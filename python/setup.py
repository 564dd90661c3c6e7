"""The package qtx, built by the project's CMake: the extension module _qtx
from the library's sources for the Python that runs this, then the package's
Python files beside it."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent  # the project, whose CMakeLists.txt builds the module
VERSION = (ROOT / "VERSION").read_text().strip()  # the project's one version number


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        # QTX_CMAKE_BUILD_DIR: a CMake build of the project whose extension
        # is taken as it is, for a wheel of the module that build tested.
        prebuilt = os.environ.get("QTX_CMAKE_BUILD_DIR")
        if prebuilt:
            module = Path(prebuilt).resolve() / "python" / "qtx" / target.name
            if not module.exists():
                sys.exit(f"QTX_CMAKE_BUILD_DIR: {module} not found; build the target _qtx there first")
            shutil.copy2(module, target)
            return
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DQTX_BUILD_PYTHON=ON", "-DQTX_BUILD_TESTS=OFF", "-DQTX_BUILD_TOOLS=OFF",
                        f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "_qtx", "--parallel", jobs], check=True)
        shutil.copy2(build / "python" / "qtx" / target.name, target)


setup(
    name="qtx",
    version=VERSION,
    description="Read and write QTX measurement files with numpy, pandas and dask",
    packages=["qtx"],
    ext_modules=[Extension("qtx._qtx", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.7",
    install_requires=["numpy<2"],
    extras_require={"pandas": ["pandas"], "dask": ["dask[dataframe]", "distributed"]},
)
