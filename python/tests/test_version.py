# The module's version is the suite's: that of the CMake project and of the programs' --version.
# SPDX-License-Identifier: BSD-3-Clause
import os
import re
import subprocess

import tem


def test_module_version_is_the_project_version(bin_dir):
    project = os.environ.get("TEM_PROJECT_VERSION")
    assert re.fullmatch(r"\d+\.\d+\.\d+", tem.__version__), tem.__version__
    if project:  # set by CTest from project(... VERSION ...)
        assert tem.__version__ == project
    velmorant = bin_dir / "Velmorant"
    if velmorant.exists():
        done = subprocess.run([str(velmorant), "--version"], capture_output=True, text=True, check=True,
                              stdin=subprocess.DEVNULL)
        assert done.stdout == f"Velmorant {tem.__version__}\n"
