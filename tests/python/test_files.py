# Camera configuration files, the camera database file and the Bayer
# converter from Python.
import numpy as np
import pytest

import qrnacq
from conftest import FORMAT, exact, grab


def test_ccf_list_check_load(ccf_dir, tmp_path):
    listed = qrnacq.ccf.list()
    assert str(ccf_dir) in qrnacq.ccf.search_path()
    entry = next(e for e in listed if e["path"].endswith("northlake_cl4_areascan.ccf"))
    assert entry["format"] and not entry["error"]
    assert qrnacq.format(entry["format"]).from_ccf

    path = ccf_dir / "northlake_cl4_areascan.ccf"
    report = qrnacq.ccf.check(str(path))
    assert report["ok"] and report["format"] == entry["format"] and report["errors"] == []
    assert report["checksum_stored"] == report["checksum_computed"]

    # A changed value breaks the checksum: checked as wrong, not loaded.
    text = path.read_text()
    bad = tmp_path / "changed.ccf"
    bad.write_text(text.replace(entry["format"], entry["format"] + " X", 1))
    assert not qrnacq.ccf.check(str(bad))["checksum_ok"]
    with pytest.raises(ValueError, match="checksum"):
        qrnacq.ccf.load(str(bad))
    with pytest.raises(qrnacq.errors.qc_ccfReader.GeneralError):
        qrnacq.ccf.load(str(tmp_path / "missing.ccf"))


def test_cdb_round_trip_of_every_image_kind(sim, tmp_path):
    path = str(tmp_path / "run.cdb")
    grey16 = (np.arange(48 * 64, dtype=np.uint16).reshape(48, 64) * 13)
    planes = np.stack([np.full((8, 6), v, np.uint8) for v in (10, 20, 30)])
    with sim.fifo(FORMAT) as f:
        exact(f, TestImage="gradient")
        f.roi = (3, 5, 60, 40)
        grey, info = grab(f, make_local=False)
    with qrnacq.CdbFile(path, "w") as db:
        assert db.append_image(grey, comment=f"trigger {info.trigger_num}") == 0
        db.append_image(grey16, image_format="grey12")
        db.append_image(planes[:, ::1, :])
        db.append_image(grey[::2, ::3])  # a strided view
        db.append_data(b"\x00settings\xff", comment="data")
    with qrnacq.CdbFile(path) as db:
        assert len(db) == 5
        records = list(db)
        assert [r.subtype for r in records[:4]] == [-21, -22, -23, -21]
        assert np.array_equal(records[0].image, grey) and records[0].comment == "trigger 1"
        assert np.array_equal(records[1].image, grey16)
        assert records[1].image_format == qrnacq.ImageFormat.Grey12
        assert records[1].context["type_name"] and records[1].context["data_size"] > 0
        assert np.array_equal(records[2].image, planes)
        assert np.array_equal(db[-2].image, grey[::2, ::3])
        assert records[4].image is None and db.data(4) == b"\x00settings\xff"
        with pytest.raises(qrnacq.errors.qcCDBFile.RecordNotFound):
            db.record(9)
    (tmp_path / "foreign.cdb").write_bytes(b"not a database" * 10)
    with pytest.raises(qrnacq.errors.qcCDBFile.BadFileFormat):
        qrnacq.CdbFile(str(tmp_path / "foreign.cdb"))
    with pytest.raises(TypeError):
        qrnacq.CdbFile(path, "a").append_image(np.zeros((4, 4), np.float32))


@pytest.mark.parametrize("pattern", ["RGGB", "GRBG", "GBRG", "BGGR"])
def test_bayer_converter_matches_the_reference(pattern):
    rng = np.random.default_rng(1)
    mosaic = rng.integers(0, 256, (48, 64), dtype=np.uint8)
    wb = (1.4, 1.0, 1.8)
    conv = qrnacq.BayerConverter(pattern, white_balance=wb)
    planes = conv.to_3plane(mosaic)
    reference = qrnacq.bayer_reference_3plane(mosaic, pattern, wb)
    assert planes.shape == (3, 48, 64) and np.array_equal(planes, reference)
    # Wherever the converter's planes lie, the array stands over an Image of them.
    assert isinstance(planes.base, qrnacq.Image) and planes.base.image_format.short_name == "3plane"
    packed = conv.to_rgb32(mosaic[:, :])
    assert np.array_equal(packed[..., 2], planes[0]) and np.array_equal(packed[..., 0], planes[2])
    assert conv.to_grey(mosaic).shape == (48, 64) and conv.to_rgb16(mosaic).dtype == np.uint16
    assert conv.white_balance == wb and conv.pattern == pattern


def test_bayer_converter_on_a_simulated_mosaic(sim):
    # The simulator's colour scene as an RGGB mosaic comes back close to the scene.
    with sim.fifo(FORMAT, "raw8") as f:
        exact(f, TestImage="bayerRG")
        mosaic, _ = grab(f)
    planes = qrnacq.BayerConverter("RGGB").to_3plane(mosaic)
    red = 255 * np.arange(640) // 639
    assert np.abs(planes[0, 100, 10:-10].astype(int) - red[10:-10]).max() <= 2
    assert np.abs(planes[2, 100, 10:-10].astype(int) - (255 - red[10:-10])).max() <= 2


@pytest.mark.parametrize(
    "arg,exc",
    [(np.zeros((4, 4), np.uint16), TypeError), (np.zeros((4, 4, 2), np.uint8), ValueError),
     (np.zeros((5, 4), np.uint8), qrnacq.errors.qcBayerImageConverter.BadParams),
     (np.zeros((3, 5), np.uint8), qrnacq.errors.qcBayerImageConverter.BadParams), ([[1, 2]], TypeError)],
)
def test_bayer_bad_input(arg, exc):
    with pytest.raises(exc):
        qrnacq.BayerConverter().to_3plane(arg)
    with pytest.raises(exc):  # the reference refuses what the converter refuses
        qrnacq.bayer_reference_3plane(arg)
    with pytest.raises(qrnacq.errors.qcBayerImageConverter.BadParams):
        qrnacq.BayerConverter(white_balance=(0, 1, 1))
    with pytest.raises(qrnacq.errors.qcBayerImageConverter.BadParams):
        qrnacq.bayer_reference_3plane(np.zeros((4, 4), np.uint8), white_balance=(0, 1, 1))
