# Velmorant from Python: the module's pattern against the program's written image and r, overrides, scores, errors.
# SPDX-License-Identifier: BSD-3-Clause
import os
import pathlib
import shutil
import subprocess

import numpy as np
import pytest

import tem


def run_program(program, folder, *args):
    env = dict(os.environ, VELMORANT_PRESENTATION="silent")
    return subprocess.run([str(program), *args], cwd=folder, env=env, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)


@pytest.fixture(scope="module")
def si111(tmp_path_factory):
    """examples/si-111 run by Velmorant with method 2, and the same input in the module."""
    examples = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples"))
    folder = tmp_path_factory.mktemp("si111")
    for name in ("VelmorantDS.dat", "experiment.bmp"):
        shutil.copy(examples / "si-111" / name, folder / name)
    program = pathlib.Path(os.environ.get("TEM_BIN", "build/bin")) / "Velmorant"
    done = run_program(program, folder, "2")
    assert done.returncode == 0, done.stderr
    inp = tem.read_input(str(folder))
    pattern = tem.Simulation(inp, threads=2).run(method=2)
    return folder, inp, pattern


def test_pattern_has_the_grey_levels_of_the_program_image(si111):
    folder, inp, pattern = si111
    assert pattern.intensities.dtype == np.float32 and pattern.intensities.shape == (512, 512)
    written = (folder / "DS_experiment.bmp").read_bytes()
    # 8-bit BMP: 54-byte header, 1024-byte palette, rows stored bottom up.
    rows = np.frombuffer(written, dtype=np.uint8, offset=54 + 1024).reshape(512, 512)
    np.testing.assert_array_equal(tem.image_levels(pattern.intensities), rows[::-1])
    # The reader of experiments gives the same levels, in the same orientation.
    np.testing.assert_array_equal(tem.read_experimental_image(str(folder / "DS_experiment.bmp")), rows[::-1])


def test_r_is_the_program_result(si111):
    folder, inp, pattern = si111
    written = np.float32(float((folder / "VelmorantDS.res").read_text().split()[0]))
    experiment = tem.read_experimental_image(inp.experiment_path)
    assert np.float32(tem.correlation_r(pattern.intensities, experiment)) == written


def test_overrides_equal_to_the_file_values_change_nothing(si111):
    folder, inp, pattern = si111
    sim = tem.Simulation(inp, threads=2)
    same = sim.run(method=2, thickness_angstrom=inp.thickness_angstrom,
                   wavelength_angstrom=inp.wavelength_angstrom, euler_degrees=inp.euler_degrees)
    np.testing.assert_array_equal(same.intensities, pattern.intensities)
    thicker = sim.run(method=2, thickness_angstrom=1700.0)
    assert thicker.thickness_angstrom == np.float32(1700.0)
    assert not np.array_equal(thicker.intensities, pattern.intensities)
    tilted = sim.run(method=2, euler_degrees=(0.0, 54.4, 46.0), voltage_kv=195.0)
    assert tilted.euler_degrees == pytest.approx([0.0, 54.4, 46.0])
    assert tilted.voltage_kv == pytest.approx(195.0, abs=1e-3)
    assert tilted.beams["hkl"].shape[1] == 3 and (tilted.beams["hkl"][0] == 0).all()


def test_estimates_are_three_positive_times(si111):
    folder, inp, pattern = si111
    e = tem.Simulation(inp, threads=2).estimate_seconds()
    assert len(e) == 3 and all(x > 0 for x in e)
    assert e[0] > e[2]  # every pixel with the full series costs more than one in nine with three terms


def test_scores_of_the_example_and_their_invariances(si111):
    folder, inp, pattern = si111
    experiment = tem.read_experimental_image(inp.experiment_path)
    r = tem.correlation_r(pattern.intensities, experiment)
    p = tem.pearson(pattern.intensities, experiment)
    assert -1 <= r <= 1 and -1 <= p <= 1
    # Pearson ignores brightness and contrast of the measurement; r (about mid grey) does not.
    brighter = (0.5 * experiment + 60).astype(np.float32)
    assert tem.pearson(pattern.intensities, brighter) == pytest.approx(p, abs=1e-9)
    assert tem.correlation_r(pattern.intensities, brighter) != pytest.approx(r, abs=1e-3)
    assert tem.pearson(pattern.intensities, tem.grey_levels(pattern.intensities)) == pytest.approx(1.0, abs=1e-6)


def test_input_errors_carry_the_program_message(tmp_path, examples):
    with pytest.raises(FileNotFoundError, match="VelmorantDS.dat"):
        tem.read_input(str(tmp_path))
    text = (examples / "si-111" / "VelmorantDS.dat").read_text().splitlines(keepends=True)
    # The thickness line of the example, made negative.
    lines = [k for k, l in enumerate(text) if l.strip() == "1500.0" or l.strip().startswith("1500")]
    assert lines, "thickness line not found"
    text[lines[0]] = "-1500.0\n"
    (tmp_path / "VelmorantDS.dat").write_text("".join(text))
    with pytest.raises(tem.InputError) as caught:
        tem.read_input(str(tmp_path))
    program = pathlib.Path(os.environ.get("TEM_BIN", "build/bin")) / "Velmorant"
    done = run_program(program, tmp_path, "2")
    assert done.returncode == 1
    message = str(caught.value).replace(str(tmp_path / "VelmorantDS.dat"), "./VelmorantDS.dat")
    assert "thickness" in message and message in done.stderr
    with pytest.raises(ValueError):
        tem.Simulation(tem.read_input(str(examples / "si-111")), threads=1).run(method=3)
    with pytest.raises(ValueError):
        tem.pearson(np.zeros((4, 4), np.float32), np.zeros((512, 512), np.float32))


@pytest.mark.skipif(os.environ.get("TEM_HAVE_CIF") != "1", reason="built without gemmi: no CIF input")
def test_cif_input_is_the_file_velmorant_input_writes(tmp_path, examples):
    program = pathlib.Path(os.environ.get("TEM_BIN", "build/bin")) / "velmorant_input"
    cif = str(examples / "crystals" / "si.cif")
    done = subprocess.run([str(program), cif, "--kv", "200", "--zone", "1", "1", "1", "--thickness", "1500",
                           "--semi-angle", "10"], cwd=tmp_path, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    inp = tem.input_from_cif(cif, voltage_kv=200, zone=[1, 1, 1], thickness_angstrom=1500, semi_angle_mrad=10,
                             folder=str(tmp_path))
    assert inp.text == (tmp_path / "VelmorantDS.dat").read_text()
    assert inp.thickness_angstrom == 1500 and inp.beam_count > 0
    with pytest.raises(ValueError, match="excludes"):
        tem.input_from_cif(cif, voltage_kv=200, wavelength_angstrom=0.025)
    with pytest.raises(tem.InputError):
        tem.input_from_cif(str(tmp_path / "VelmorantDS.dat"))


def read_float_tiff_pages(path):
    """The pages of an uncompressed 32-bit float TIFF (one sample per pixel) as an array, rows from the top."""
    data = path.read_bytes()
    order = {b"II": "<", b"MM": ">"}[data[:2]]
    assert np.frombuffer(data, order + "u2", 1, 2)[0] == 42, "not a classic TIFF"
    sizes = {3: (order + "u2", 2), 4: (order + "u4", 4)}  # SHORT, LONG
    pages = []
    ifd = int(np.frombuffer(data, order + "u4", 1, 4)[0])
    while ifd:
        count = int(np.frombuffer(data, order + "u2", 1, ifd)[0])
        tags = {}
        for e in range(count):
            at = ifd + 2 + 12 * e
            tag, kind = np.frombuffer(data, order + "u2", 2, at)
            n = int(np.frombuffer(data, order + "u4", 1, at + 4)[0])
            if int(kind) in sizes:
                dtype, size = sizes[int(kind)]
                where = at + 8 if n * size <= 4 else int(np.frombuffer(data, order + "u4", 1, at + 8)[0])
                tags[int(tag)] = np.frombuffer(data, dtype, n, where).astype(np.int64)
        width, height = int(tags[256][0]), int(tags[257][0])
        assert tags[258][0] == 32 and tags[339][0] == 3 and tags[259][0] == 1  # float, uncompressed
        strips = [np.frombuffer(data, order + "f4", int(c) // 4, int(o)) for o, c in zip(tags[273], tags[279])]
        pages.append(np.concatenate(strips).reshape(height, width).astype(np.float32))
        ifd = int(np.frombuffer(data, order + "u4", 1, ifd + 2 + 12 * count)[0])
    return np.stack(pages)


@pytest.fixture(scope="module")
def si111_beams(tmp_path_factory):
    """examples/si-111 run by Velmorant 2 with VELMORANT_BEAMS=1, and the module's run with beams=True."""
    examples = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples"))
    folder = tmp_path_factory.mktemp("si111_beams")
    for name in ("VelmorantDS.dat", "experiment.bmp"):
        shutil.copy(examples / "si-111" / name, folder / name)
    program = pathlib.Path(os.environ.get("TEM_BIN", "build/bin")) / "Velmorant"
    env = dict(os.environ, VELMORANT_PRESENTATION="silent", VELMORANT_BEAMS="1")
    env.pop("VELMORANT_BEAMS_APERTURE", None)
    done = subprocess.run([str(program), "2"], cwd=folder, env=env, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)
    if done.returncode != 0 and "without TIFF or PNG support" in done.stderr:
        pytest.skip("Velmorant built without libtiff or libpng: no beam files to compare")
    assert done.returncode == 0, done.stderr
    sim = tem.Simulation(tem.read_input(str(folder)), threads=2)
    return folder, sim, sim.run(method=2, beams=True)


def test_every_beam_is_the_program_stack_and_index(si111_beams, si111):
    folder, sim, pattern = si111_beams
    stack, table = pattern.beam_intensities, pattern.beams
    n = table["hkl"].shape[0]
    assert stack.dtype == np.float32 and stack.shape == (n, 512, 512) and stack.flags.c_contiguous
    # Page 0 is the bright field, bit for bit, and keeping the beams changes nothing in it.
    np.testing.assert_array_equal(stack[0], pattern.intensities)
    np.testing.assert_array_equal(pattern.intensities, si111[2].intensities)
    assert sim.run(method=2).beam_intensities is None
    # Every page equals the program's TIFF page, in the same orientation.
    np.testing.assert_array_equal(read_float_tiff_pages(folder / "DS_experiment_beams.tif"), stack)
    # The table is the program's index, row for row (printed with 7 digits and 3 decimals).
    # The names from the line after the provenance line "# Velmorant <version>, <date>".
    csv = np.genfromtxt(folder / "DS_experiment_beams.csv", delimiter=",", names=True, skip_header=1)
    np.testing.assert_array_equal(csv["page"], np.arange(n))
    np.testing.assert_array_equal(np.stack([csv["h"], csv["k"], csv["l"]], axis=1), table["hkl"])
    g = np.stack([csv["gx_per_angstrom"], csv["gy_per_angstrom"], csv["gz_per_angstrom"]], axis=1)
    np.testing.assert_allclose(table["lab_vector_per_angstrom"], g, rtol=1e-6, atol=1e-9)
    np.testing.assert_allclose(table["offset_up_px"], csv["offset_up_px"], rtol=0, atol=5e-4)
    np.testing.assert_allclose(table["offset_left_px"], csv["offset_left_px"], rtol=0, atol=5e-4)
    assert n > 1 and (table["hkl"][0] == 0).all() and table["offset_up_px"][0] == 0
    # The input and the simulation describe the same discs.
    for same in (sim.input.beams, sim.beams()):
        for key in table:
            np.testing.assert_array_equal(same[key], table[key])


def test_every_beam_follows_the_overrides(si111_beams):
    folder, sim, pattern = si111_beams
    thicker = sim.run(method=2, thickness_angstrom=1700.0, beams=True)
    assert thicker.beam_intensities.shape == pattern.beam_intensities.shape
    np.testing.assert_array_equal(thicker.beam_intensities[0], thicker.intensities)
    assert (thicker.beam_intensities >= 0).all()
    # Thickness fringes: every dark-field disc changes, not only the bright field.
    changed = np.abs(thicker.beam_intensities - pattern.beam_intensities).max(axis=(1, 2))
    assert (changed > 1e-4).all()


def test_whole_pattern_is_the_program_picture(si111_beams):
    folder, sim, pattern = si111_beams
    picture = pattern.whole_pattern()
    png = (folder / "DS_experiment_pattern.png").read_bytes()
    assert png[12:16] == b"IHDR"
    width, height = (int(x) for x in np.frombuffer(png, ">u4", 2, 16))
    assert picture.dtype == np.float32 and picture.shape == (height, width)
    # Discs are moved, never cut here: the picture holds every disc that shows on its four-decade
    # grey scale (without an aperture that is every disc of si-111).
    stack = pattern.beam_intensities
    brightest = stack.max()
    shown = stack.reshape(stack.shape[0], -1).max(axis=1) >= brightest * np.float32(1e-4)
    assert shown[0]
    assert picture.sum(dtype=np.float64) == pytest.approx(stack[shown].sum(dtype=np.float64), rel=1e-6)
    # The transmitted disc lies where the index puts its centre, in the orientation of intensities
    # (the other discs overlapping it only add).
    # The names from the line after the provenance line "# Velmorant <version>, <date>".
    csv = np.genfromtxt(folder / "DS_experiment_beams.csv", delimiter=",", names=True, skip_header=1)
    column, row = csv["picture_column_px"][0], csv["picture_row_px"][0]
    top, left = int(round(row - 255.5)), int(round(column - 255.5))
    assert (picture[top:top + 512, left:left + 512] >= pattern.intensities).all()
    levels = tem.whole_pattern_levels(picture)
    assert levels.dtype == np.uint8 and levels.max() == 255
    # An aperture keeps only each disc's circle: less in all.
    inside = pattern.whole_pattern(aperture_mrad=5.0)
    assert inside.sum(dtype=np.float64) < picture.sum(dtype=np.float64)
    with pytest.raises(ValueError):
        sim.run(method=2).whole_pattern()
    with pytest.raises(ValueError):
        pattern.whole_pattern(aperture_mrad=-1.0)
