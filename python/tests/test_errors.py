# Errors of the module: one table of bad calls, each with the exception type, the file and the line it names.
# SPDX-License-Identifier: BSD-3-Clause
import os
import pathlib

import numpy as np
import pytest

import tem

EXAMPLES = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples"))
HAVE_CIF = os.environ.get("TEM_HAVE_CIF") == "1"


def negative_thickness(folder):
    """si-111's input with its thickness made negative; returns the file and the thickness line."""
    lines = (EXAMPLES / "si-111" / "VelmorantDS.dat").read_text().splitlines(keepends=True)
    k = next(k for k, l in enumerate(lines) if l.strip().startswith("1500"))
    lines[k] = "-1500.0\n"
    path = folder / "VelmorantDS.dat"
    path.write_text("".join(lines))
    return path, k + 1


def bad_tv2(folder):
    """copper.tv2 with a word in its lattice basis (line 5)."""
    lines = (EXAMPLES / "talvor2" / "copper.tv2").read_text().splitlines(keepends=True)
    lines[4] = "   0.0000000   x   0.0000000\n"
    path = folder / "bad.tv2"
    path.write_text("".join(lines))
    return path, 5


def one_byte_image(folder):
    path = folder / "experiment.bmp"
    path.write_bytes(b"B")
    return path, None


def not_a_cif(folder):
    path = folder / "bad.cif"
    path.write_text("data_x\n_cell_length_a 4\nloop_\n_atom_site_label\n")
    return path, None


def si_111():
    return tem.Simulation(tem.read_input(str(EXAMPLES / "si-111")), threads=1)


def missing(name):
    return lambda folder: (folder / name, None)


def nothing(folder):
    return None, None


# name, how to make the file (returns the path it names and the line), the
# call, the exception type (and the standard one it must also be).
CASES = [
    ("missing input", missing("VelmorantDS.dat"), lambda p: tem.read_input(str(p.parent)),
     tem.MissingFileError, FileNotFoundError),
    ("bad input value", negative_thickness, lambda p: tem.read_input(str(p.parent)), tem.InputError, ValueError),
    ("missing experiment", missing("experiment.bmp"), lambda p: tem.read_experimental_image(str(p)),
     tem.MissingFileError, FileNotFoundError),
    ("short experiment", one_byte_image, lambda p: tem.read_experimental_image(str(p)), tem.FileError, OSError),
    ("missing tv2", missing("x.tv2"), lambda p: tem.read_tv2(str(p)), tem.MissingFileError, FileNotFoundError),
    ("bad tv2 value", bad_tv2, lambda p: tem.read_tv2(str(p)), tem.InputError, ValueError),
    ("strategy parameter", nothing, lambda p: tem.index_patterns([np.eye(3, dtype=np.float32)], p1_degrees=20.0),
     tem.InputError, ValueError),
    ("coplanar basis", nothing,
     lambda p: tem.reduce_reflections([[1, 0, 0]], basis=np.diag([1, 1, 0]).astype(np.float32),
                                      symmetry=np.eye(3, dtype=np.float32)[None]),
     tem.InputError, ValueError),
    # Values that replace the file's obey the file's ranges (once an all-NaN
    # pattern, or a run that never returned for a NaN angle).
    ("voltage given in MV", nothing, lambda p: si_111().run(method=2, voltage_kv=0.2), tem.InputError, ValueError),
    ("voltage not a number", nothing, lambda p: si_111().run(method=2, voltage_kv=float("nan")), tem.InputError,
     ValueError),
    ("negative thickness", nothing, lambda p: si_111().run(method=2, thickness_angstrom=-5.0), tem.InputError,
     ValueError),
    ("thickness not a number", nothing, lambda p: si_111().run(method=2, thickness_angstrom=float("nan")),
     tem.InputError, ValueError),
    ("wavelength in nm", nothing, lambda p: si_111().estimate_seconds(wavelength_angstrom=2.5), tem.InputError,
     ValueError),
    ("angle not a number", nothing, lambda p: si_111().run(method=0, euler_degrees=(0.0, float("nan"), 45.0)),
     tem.InputError, ValueError),
    pytest.param("missing CIF", missing("x.cif"), lambda p: tem.input_from_cif(str(p)), tem.MissingFileError,
                 FileNotFoundError, marks=pytest.mark.skipif(not HAVE_CIF, reason="built without gemmi")),
    pytest.param("unusable CIF", not_a_cif, lambda p: tem.input_from_cif(str(p)), tem.InputError, ValueError,
                 marks=pytest.mark.skipif(not HAVE_CIF, reason="built without gemmi")),
    pytest.param("zone axis of length 0", nothing,
                 lambda p: tem.input_from_cif(str(EXAMPLES / "crystals" / "si.cif"), zone=[0, 0, 0]),
                 tem.InputError, ValueError, marks=pytest.mark.skipif(not HAVE_CIF, reason="built without gemmi")),
]


@pytest.mark.parametrize("name, make, call, kind, standard", CASES, ids=lambda v: v if isinstance(v, str) else "")
def test_bad_calls_raise_the_type_with_the_place_and_the_bare_message(tmp_path, name, make, call, kind, standard):
    path, line = make(tmp_path)
    with pytest.raises(kind) as caught:
        call(path)
    e = caught.value
    assert isinstance(e, standard)
    assert e.filename == (str(path) if path is not None else None)
    assert e.lineno == line
    # The message alone: no console framing around it.
    text = str(e)
    assert text and text == text.strip()
    assert not text.startswith("Error") or text.startswith("Error reading")
    assert "Press" not in text and "\n\n" not in text
