"""The wheel carries the control's libraries as `cmake --install` lays them
out (each finds its neighbours beside itself), taken from the CMake build
in MORVEL_BUILD_DIR, ../build by default. The metadata is in pyproject.toml,
but for the version, which is the CMake project's (<morvel/version.h> of the
build)."""
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile

from setuptools import setup
from setuptools.command.build_py import build_py

try:
    from wheel.bdist_wheel import bdist_wheel
except ImportError:  # only an sdist or a plain install without wheel
    bdist_wheel = None

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(os.environ.get("MORVEL_BUILD_DIR", os.path.join(HERE, "..", "build")))
LIBRARIES = ["libmorvel2.so.2", "libmorvel_platform.so.2", "liborxlib.so", "libLabelPrintAPI.so", "morvel-pdf-pages"]


def build_version():
    """MORVEL_VERSION of the build's generated header: the libraries' own."""
    header = os.path.join(BUILD, "include", "morvel", "version.h")
    try:
        with open(header, encoding="utf-8") as f:
            found = re.search(r'^#define MORVEL_VERSION "([^"]+)"$', f.read(), re.MULTILINE)
    except OSError:
        found = None
    if not found:
        sys.exit("morvel: no version in %s (configure the CMake build first, or set MORVEL_BUILD_DIR)" % header)
    return found.group(1)


class BuildWithLibraries(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "morvel", "lib")
        os.makedirs(target, exist_ok=True)
        with tempfile.TemporaryDirectory() as stage:
            if not os.path.exists(os.path.join(BUILD, "cmake_install.cmake")):
                sys.exit("morvel: no CMake build in %s (build first, or set MORVEL_BUILD_DIR)" % BUILD)
            subprocess.run(["cmake", "--install", BUILD, "--prefix", stage], check=True, stdout=subprocess.DEVNULL)
            folders = [folder for folder, _, files in os.walk(stage) if LIBRARIES[0] in files]
            if not folders:
                sys.exit("morvel: %s is not in the installed tree of %s" % (LIBRARIES[0], BUILD))
            for name in LIBRARIES:
                # The file itself: a wheel holds no links.
                copy = os.path.join(target, name)
                shutil.copyfile(os.path.join(folders[0], name), copy)
                if shutil.which("strip"):
                    subprocess.run(["strip", "--strip-debug", copy], check=True)
                os.chmod(os.path.join(target, name), 0o755)


commands = {"build_py": BuildWithLibraries}
if bdist_wheel is not None:

    class PlatformWheel(bdist_wheel):
        """Pure Python over native libraries: any Python 3, this platform only."""

        def finalize_options(self):
            super().finalize_options()
            self.root_is_pure = False

        def get_tag(self):
            return "py3", "none", sysconfig.get_platform().replace("-", "_").replace(".", "_")

    commands["bdist_wheel"] = PlatformWheel

setup(version=build_version(), cmdclass=commands, package_data={"morvel": ["lib/*"]}, include_package_data=False)
