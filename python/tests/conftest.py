# Shared paths of the module's tests: the built programs and the examples (set by CTest).
# SPDX-License-Identifier: BSD-3-Clause
import os
import pathlib

import pytest

BIN = pathlib.Path(os.environ.get("TEM_BIN", "build/bin"))
EXAMPLES = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples"))


@pytest.fixture
def bin_dir():
    return BIN


@pytest.fixture
def examples():
    return EXAMPLES
