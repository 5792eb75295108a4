"""Build hook: bundles libquarvel.so.0 into the package when asked.

With QUARVEL_BUNDLE_LIBRARY=/path/to/libquarvel.so.0 in the environment, the
library is copied into the built package as quarvel/libquarvel.so.0 and the
wheel is tagged for this platform; without it the package is pure Python and
finds the library through QUARVEL_LIBRARY or the system's library path.
The source tree is never written to.
"""

import os
import shutil

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

BUNDLE = os.environ.get("QUARVEL_BUNDLE_LIBRARY", "")


class BuildPyBundling(build_py):
    def run(self):
        super().run()
        if BUNDLE:
            if not os.path.isfile(BUNDLE):
                raise SystemExit(f"QUARVEL_BUNDLE_LIBRARY={BUNDLE} is not a file")
            target = os.path.join(self.build_lib, "quarvel", "libquarvel.so.0")
            shutil.copyfile(BUNDLE, target)
            os.chmod(target, 0o755)


class BundlingDistribution(Distribution):
    def has_ext_modules(self):
        # A bundled library makes the wheel platform-specific.
        return bool(BUNDLE)


commands = {"build_py": BuildPyBundling}
try:
    from wheel.bdist_wheel import bdist_wheel

    class BdistWheelBundling(bdist_wheel):
        def get_tag(self):
            python, abi, platform = super().get_tag()
            # The library is called through ctypes: any Python 3 will do.
            return ("py3", "none", platform) if BUNDLE else (python, abi, platform)

    commands["bdist_wheel"] = BdistWheelBundling
except ImportError:
    pass

setup(cmdclass=commands, distclass=BundlingDistribution)
