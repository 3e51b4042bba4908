# hklconv from Python: the example's index list reduces to the families of its expected reflects.kik.
# SPDX-License-Identifier: BSD-3-Clause
import os
import pathlib

import numpy as np
import pytest

import tem

EXAMPLE = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples")) / "hklconv"


def example_crystal():
    basis_lines = (EXAMPLE / "basis.kik").read_text().splitlines()
    basis = np.array([[float(x) for x in basis_lines[k].split()] for k in (3, 5, 7)], np.float32)
    sym_lines = (EXAMPLE / "symmetry.prp").read_text().splitlines()
    count = int(sym_lines[2].split()[2])
    ops = [[[float(x) for x in sym_lines[4 + 4 * o + r].split()] for r in range(3)] for o in range(count)]
    return basis, np.array(ops, np.float32)


def test_example_reduces_to_the_expected_families():
    basis, symmetry = example_crystal()
    lines = (EXAMPLE / "list.hkl").read_text().splitlines()
    hkl = np.array([[int(x) for x in l.split()[:3]] for l in lines[3:3 + int(lines[1])]], np.int32)
    expected = [[int(x) for x in l.split()] for l in (EXAMPLE / "expected_reflects.kik").read_text().splitlines()[4:] if l.strip()]
    families = tem.reduce_reflections(hkl, basis=basis, symmetry=symmetry)
    np.testing.assert_array_equal(families, np.array(expected))
    # Parallel orders and opposites are one family; order and cell size do not matter.
    again = tem.reduce_reflections(np.concatenate([-2 * hkl[:1], hkl]), basis=basis * 3, symmetry=symmetry)
    assert again.shape == families.shape and list(again[0]) == list(-2 * hkl[0])


def test_errors_carry_hklconv_messages():
    basis, symmetry = example_crystal()
    with pytest.raises(tem.InputError, match="0 0 0"):
        tem.reduce_reflections([[1, 1, 1], [0, 0, 0]], basis=basis, symmetry=symmetry)
    with pytest.raises(tem.InputError, match="coplanar"):
        tem.reduce_reflections([[1, 1, 1]], basis=np.zeros((3, 3)), symmetry=symmetry)
    with pytest.raises(tem.InputError, match="outside"):
        tem.reduce_reflections([[10000, 1, 1]], basis=basis, symmetry=symmetry)
