"""Builds the mvfiles wheel: the binding, its native library, the compiled
table reader when there is one, the bundled corpus, the licence and the
third-party notices.

By default the library and the reader are built with CMake from the source
tree this folder belongs to (the library's build dependencies must be
installed). `make package` hands in what its own builds made instead:

  MVFILES_WHEEL_LIBRARY    the native library to ship (libmvfiles.so.1, mvfiles.dll)
  MVFILES_WHEEL_EXTENSION  the compiled reader (_tables.abi3.so); empty: none,
                           and the binding reads through ctypes
  MVFILES_WHEEL_PLATFORM   the platform tag (default: this machine's), such as
                           win_amd64 for the DLL
"""

import os
import shutil
import subprocess
import sys
import sysconfig

from setuptools import setup
from setuptools.dist import Distribution
from wheel.bdist_wheel import bdist_wheel

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
NOTICES = ("LICENSE", "THIRD-PARTY-NOTICES.txt")


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("project(mvfiles VERSION "):
                return line.split()[2]
    raise SystemExit("setup.py: no project version in CMakeLists.txt")


def cmake_build():
    """The library and the reader, built from the source tree."""
    build = os.path.join(HERE, "build", "native")
    subprocess.check_call(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                           "-DMVFILES_BUILD_TESTS=OFF", "-DMVFILES_BUILD_BENCH=OFF",
                           "-DPython3_EXECUTABLE=" + sys.executable])
    subprocess.check_call(["cmake", "--build", build, "-j", "2", "--target", "mvfiles",
                           "mvfiles_python_tables"])
    return (os.path.join(build, "libmvfiles.so.1"),
            os.path.join(build, "python", "mvfiles", "_tables.abi3.so"))


def platform_tag():
    return os.environ.get("MVFILES_WHEEL_PLATFORM") or \
        sysconfig.get_platform().replace("-", "_").replace(".", "_")


def stage(library, extension, platform):
    """The package as the wheel holds it, in a folder of its own per platform."""
    out = os.path.join(HERE, "build", "stage-" + platform)
    shutil.rmtree(out, ignore_errors=True)
    package = os.path.join(out, "mvfiles")
    shutil.copytree(os.path.join(HERE, "mvfiles"), package,
                    ignore=shutil.ignore_patterns("*.c", "__pycache__", "*.pyc"))
    shutil.copytree(os.path.join(ROOT, "fixtures"), os.path.join(package, "fixtures"))
    name = os.path.basename(library)
    shutil.copyfile(library, os.path.join(package, name))
    if extension:
        shutil.copyfile(extension, os.path.join(package, os.path.basename(extension)))
    with open(os.path.join(package, "_installed.py"), "w", encoding="utf-8") as f:
        f.write('"""Written by the wheel build: the library and the corpus shipped in this\n'
                'package, relative to its directory."""\n\n'
                'LIBRARY = "%s"\nFIXTURES = "fixtures"\n' % name)
    for notice in NOTICES:
        shutil.copyfile(os.path.join(ROOT, notice), os.path.join(out, notice))
    return out


class BinaryDistribution(Distribution):
    def has_ext_modules(self):
        return True


library = os.environ.get("MVFILES_WHEEL_LIBRARY")
extension = os.environ.get("MVFILES_WHEEL_EXTENSION")
if not library:
    library, built = cmake_build()
    if extension is None:
        extension = built if os.path.exists(built) else ""
PLATFORM = platform_tag()
STAGE = stage(os.path.abspath(library), extension and os.path.abspath(extension), PLATFORM)
# The reader uses the stable ABI of CPython 3.8; without it the wheel is
# plain Python with a native library beside it.
TAG = ("cp38", "abi3", PLATFORM) if extension else ("py3", "none", PLATFORM)


class Wheel(bdist_wheel):
    def finalize_options(self):
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):
        return TAG


setup(
    name="mvfiles",
    version=version(),
    description="Python binding of the mvfiles client library, with the library inside",
    license="MIT",
    python_requires=">=3.8",
    packages=["mvfiles"],
    package_dir={"mvfiles": os.path.relpath(os.path.join(STAGE, "mvfiles"), HERE)},
    package_data={"mvfiles": ["py.typed", "*.so*", "*.dll", "fixtures/*"]},
    license_files=[os.path.relpath(os.path.join(STAGE, n), HERE) for n in NOTICES],
    distclass=BinaryDistribution,
    cmdclass={"bdist_wheel": Wheel},
    options={"build": {"build_base": os.path.join("build", "setuptools-" + PLATFORM)}},
    zip_safe=False,
)
