# Talvor2 from Python: indexing arrays of measured vectors gives the lines of Talvor2's results file, for every strategy.
# SPDX-License-Identifier: BSD-3-Clause
import os
import pathlib
import re
import shutil
import subprocess

import numpy as np
import pytest

import tem

BIN = pathlib.Path(os.environ.get("TEM_BIN", "build/bin"))
EXAMPLES = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples"))


def results_lines(result):
    """The pattern lines of a results file, formatted from the module's arrays."""
    lines = []
    for k in range(len(result["used"])):
        e = result["euler_degrees"][k]
        lines.append(" %10d   %8.2f%8.2f%8.2f  %4d %3d%8.3f" % (
            k + 1, e[0], e[1], e[2], result["used"][k], result["all"][k], result["fit_degrees"][k]))
    return lines


def talvor2_lines(folder, name):
    done = subprocess.run([str(BIN / "Talvor2"), name], cwd=folder, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, env=dict(os.environ, TALVOR2_THREADS="2"))
    assert done.returncode == 0, done.stdout + done.stderr
    text = (folder / (name[:-4] + "_tv2.res")).read_text().splitlines()
    return text[8:]  # eight header lines


def measured_vectors(path):
    """The patterns of a .tv2 file as arrays of the vectors as written (not yet normalised)."""
    lines = path.read_text().splitlines()
    k = next(i for i, l in enumerate(lines) if l.strip() == "_PatternData") + 1
    patterns = []
    while k + 1 < len(lines) and lines[k + 1].strip():
        n = int(lines[k + 1].split()[0])
        patterns.append(np.array([[float(x) for x in lines[k + 2 + v].split()[:3]] for v in range(n)], np.float32))
        k += 2 + n
    return patterns


def with_strategy(source, target, strategy):
    text = source.read_text()
    text = re.sub(r"_IndexingStrategy\s*\n\s*\d+", "_IndexingStrategy\n%d" % strategy, text, count=1)
    target.write_text(text)


@pytest.mark.parametrize("example", ["copper", "titanium"])
@pytest.mark.parametrize("strategy", [1, 2, 3, 4])
def test_indexing_equals_talvor2_results_file(tmp_path, example, strategy):
    name = "%s.tv2" % example
    with_strategy(EXAMPLES / "talvor2" / name, tmp_path / name, strategy)
    expected = talvor2_lines(tmp_path, name)
    # The crystal as arrays (basis, families, symmetry matrices), the measured vectors as written.
    setup, unit_vectors, titles = tem.read_tv2(str(tmp_path / name))
    patterns = measured_vectors(tmp_path / name)
    assert setup.strategy == strategy and len(patterns) == len(unit_vectors) == len(expected) == len(titles)
    again = tem.OrientationSetup(basis=setup.basis, families=setup.families, symmetry=setup.symmetry,
                                 strategy=strategy, p1_degrees=setup.p1_degrees, p2_degrees=setup.p2_degrees)
    result = again.index(patterns, threads=2)
    assert results_lines(result) == expected
    # The file's own setup gives the same.
    assert results_lines(setup.index(patterns, threads=1)) == expected
    assert result["euler_degrees"].dtype == np.float32


def test_vectors_of_any_length_and_thread_count_give_the_same_result():
    setup, _, _ = tem.read_tv2(str(EXAMPLES / "talvor2" / "copper.tv2"))
    patterns = measured_vectors(EXAMPLES / "talvor2" / "copper.tv2")
    one = setup.index(patterns, threads=1)
    # Powers of two change no bit of the normalised vectors.
    scaled = [p * np.float32(2.0 ** (k % 7 - 3)) for k, p in enumerate(patterns)]
    many = setup.index(scaled, threads=4)
    for key in one:
        np.testing.assert_array_equal(one[key], many[key])
    assert one["solved"].mean() > 0.9


def test_axis_angle_symmetry_as_in_the_file():
    setup, patterns, _ = tem.read_tv2(str(EXAMPLES / "talvor2" / "copper.tv2"))
    axes = [[0, 0, 1, 0], [0, 0, 1, 90], [1, 1, 1, 120], [0, 0, -1, 180]]
    small = tem.OrientationSetup(basis=setup.basis, families=setup.families, symmetry=axes)
    np.testing.assert_array_equal(small.symmetry, setup.symmetry[:4])


def test_errors_carry_talvor2_messages():
    vectors = [np.eye(3, dtype=np.float32)]
    with pytest.raises(tem.InputError, match="p_1 must be in the range"):
        tem.index_patterns(vectors, p1_degrees=20.0)
    with pytest.raises(tem.InputError, match="pattern 2"):
        tem.index_patterns(vectors + [np.eye(3, dtype=np.float32)[:2]])
    with pytest.raises(tem.InputError, match="vector 2 of pattern 1"):
        tem.index_patterns([np.array([[1, 0, 0], [0, 0, 0], [0, 1, 0]], np.float32)])
    with pytest.raises(tem.InputError, match=r"\(0 0 0\)"):
        tem.index_patterns(vectors, families=[[0, 0, 0]])
    with pytest.raises(tem.InputError, match="_IndexingStrategy must be"):
        tem.index_patterns(vectors, strategy=5)
    with pytest.raises(tem.InputError, match="_NumberOfSymmetryOperations"):
        tem.index_patterns(vectors, symmetry=np.zeros((25, 4), np.float32))
    with pytest.raises(FileNotFoundError, match="Cannot open"):
        tem.read_tv2("/nonexistent/x.tv2")
