# The FIFO's property classes beyond exposure, ROI, trigger model, strobe,
# timeout, contrast/brightness and LUT: values in the library's units, its
# checks as qrnacq.Error subclasses, their effects on the simulated board,
# and their way through a saved property set.
import math
import time

import numpy as np
import pytest

import qrnacq
from conftest import FORMAT, exact, grab

# (attribute, a valid value other than the default (roi_mode: the simulator
#  has mode 0 only), a refused value or None,
#  what refuses it: the library's exception class, or ValueError where the
#  value does not fit the C++ type or names nothing)
PROPS = [
    ("trigger_width", 1e-4, 2.99e-6, "qcTriggerFilterProp::BadParams"),
    ("trigger_period", 1e-3, 65538e-6, "qcTriggerFilterProp::BadParams"),
    ("trigger_delay", 0.01, 0.07, "qcTriggerFilterProp::BadParams"),  # the simulator's limit is 0.065535
    ("ignore_missed_trigger", False, None, None),
    ("settling_time", 0.002, None, None),
    ("camera_port", 1, 2, "qcCameraPortProp::BadParams"),  # two ports on the simulated board
    ("camera_bandwidth", 0.5, 1.5, "qcCameraBandwidthProp::BadParams"),
    ("cti_offset", 1e-6, -1.0, "qcCtiProp::BadParams"),
    ("horiz_adjust", 2e-6, -1.0, "qcHorizAdjustProp::BadParams"),
    ("roi_mode", 0, 1, "qcRoiProp::BadParams"),
    ("sync_model", "Internal composite", "no such model", ValueError),
    ("light_enable", True, None, None),
    ("bright_field_power_ratio", 0.25, 1.5, "qcLightProp::BadParams"),
    ("light_power", 0.5, -0.1, "qcLightProp::BadParams"),
    ("light_delay", 0.01, -1.0, "qcLightProp::BadParams"),
    ("aux_light_port", 1, None, None),
    ("aux_bright_field_power_ratio", 0.75, 2.0, "qcLightProp::BadParams"),
    ("aux_light_power", 0.5, 1.01, "qcLightProp::BadParams"),
    ("first_pel_offset", 5, -1, "qcFirstPelOffsetProp::BadParams"),
    ("zero_counter_when_triggered", True, None, None),
    ("use_test_encoder", True, None, None),
    ("positive_test_encoder_direction", False, None, None),
    ("encoder_port", 3, -1, "qcEncoderProp::BadParams"),
    ("encoder_offset", -7, None, None),
    ("positive_acquire_direction", False, None, None),
    ("use_single_channel", True, None, None),
    ("encoder_resolution", 2, 2**31, ValueError),
    ("start_acq_on_encoder_count", 100, 65536, "qcEncoderProp::BadParams"),
    ("ignore_backward_encoder_counts_between_acquires", True, None, None),
    ("ignore_too_fast_encoder", False, None, None),
    ("clipping_enable", False, None, None),
    ("clipping_lower_limit", 20, 256, ValueError),
    ("clipping_upper_limit", 230, -1, ValueError),
    ("offset_clamp_mode", 1, None, None),
    ("alpha_enable", True, None, None),
    ("alpha_source", 3, None, None),
    ("alpha_byte", 128, 256, ValueError),
    ("select_high_gain", True, None, None),
    ("master_clock_frequency", 20.0, 40.5, "qcDigitalCameraControlProp::BadParams"),
    ("test_pattern_enable", True, None, None),
    ("test_pattern_mode", 2, None, None),
    ("flat_field_value", 77, None, None),
    ("sample_x", 2, 3, "qcAcqFifo::BadParams"),  # refused by the simulator: 1, 2 or 4
    ("sample_y", 4, 3, "qcAcqFifo::BadParams"),
    ("reverse_horiz_readout_enable", True, None, None),
    ("reverse_vert_readout_enable", True, None, None),
    ("outlier_pel_correction_enable", True, None, None),
    ("outlier_pel_max_edge", 127, 128, "qcCdcCameraCalibrationProp::BadParams"),
    ("outlier_pel_max_noise", 10, 200, "qcCdcCameraCalibrationProp::BadParams"),
    ("camera_calibration_enable", False, None, None),
]


def test_each_property_sets_reads_back_and_refuses_bad_values(fifo):
    for name, good, bad, refusal in PROPS:
        assert getattr(fifo, name) != good or name == "roi_mode", name
        setattr(fifo, name, good)
        assert getattr(fifo, name) == good, name
        if bad is None:
            continue
        if isinstance(refusal, str):
            with pytest.raises(qrnacq.Error) as e:
                setattr(fifo, name, bad)
            assert e.value.class_name == refusal, name
        else:
            with pytest.raises(refusal):
                setattr(fifo, name, bad)
        if refusal == "qcAcqFifo::BadParams":
            # The driver refused a value the property had already stored
            # (store, then update): set a good one again for what follows.
            setattr(fifo, name, good)
        else:
            # The library checks before it stores anything.
            assert getattr(fifo, name) == good, name


def test_calls_with_several_values_and_the_driver_s_answers(fifo):
    fifo.set_steps_per_line(4095, 15)
    assert (fifo.steps_per_line, fifo.step16ths_per_line) == (4095, 15)
    for steps, sixteenths in [(4096, 0), (1, 16), (0, 0)]:
        with pytest.raises(qrnacq.Error, match="qcEncoderProp::BadParams"):
            fifo.set_steps_per_line(steps, sixteenths)
    assert (fifo.steps_per_line, fifo.step16ths_per_line) == (4095, 15)
    fifo.set_encoder_trigger_enabled(False, True)
    assert (fifo.encoder_trigger_enabled, fifo.x_encoder_trigger_enabled, fifo.y_encoder_trigger_enabled) == (
        True, False, True)
    fifo.set_clipping_limits(10, 250)
    assert (fifo.clipping_lower_limit, fifo.clipping_upper_limit) == (10, 250)
    # Two names of one value each.
    fifo.dark_level = 0.3
    fifo.aux_dark_level = 0.6
    assert (fifo.bright_field_power_ratio, fifo.aux_bright_field_power_ratio) == (0.3, 0.6)
    fifo.light_power, fifo.aux_light_power = 0.5, 0.5
    assert fifo.lights_off() is True and (fifo.light_power, fifo.aux_light_power) == (0, 0)
    # What the simulated driver answers: two camera ports, no encoder, its own
    # timing and sync model for "the format's own" and "Default".
    assert (fifo.num_camera_port, fifo.num_encoder_port, fifo.encoder_trigger_latency) == (2, 0, 0)
    fifo.zero_counter()
    assert fifo.current_encoder_count == 0
    assert fifo.is_roi_mode_supported(0) and not fifo.is_roi_mode_supported(1)
    assert math.isinf(fifo.cti_offset) and fifo.actual_cti_offset == 0
    fifo.cti_offset, fifo.horiz_adjust = 3e-6, 4e-6
    assert (fifo.actual_cti_offset, fifo.actual_horiz_adjust) == (3e-6, 4e-6)
    assert (fifo.sync_model, fifo.actual_sync_model) == ("Default", "Internal drive")
    fifo.sync_model = "external-pll_SYNC"
    assert (fifo.sync_model, fifo.actual_sync_model) == ("External PLL sync", "External PLL sync")
    caps = fifo.capabilities()
    assert caps["sample_x_settings"] == caps["sample_y_settings"] == [1, 2, 4]


@pytest.mark.parametrize("sx,sy", [(2, 2), (1, 4), (4, 1)])
def test_sampling_shrinks_the_image(fifo, sx, sy):
    qrnacq.sim.configure(fifo, TestImage="gradient")
    fifo.sample_x, fifo.sample_y = sx, sy
    image, info = grab(fifo)
    assert image.shape == (480 // sy, 640 // sx)
    y, x = np.mgrid[0:480 // sy, 0:640 // sx]
    assert (image == (x * sx + y * sy + info.trigger_num) % 256).all()


def test_trigger_delay_holds_the_acquisition_back(fifo):
    fifo.trigger_model = "Automatic"
    fifo.trigger_delay = 0.06
    t0 = time.monotonic()
    fifo.trigger()
    _, info = fifo.complete(timeout=5)
    assert not info.failure and time.monotonic() - t0 >= 0.06


@pytest.mark.parametrize("ignore,failures", [(True, []), (False, ["missed"])])
def test_a_missed_trigger_is_reported_unless_ignored(fifo, ignore, failures):
    # A frame takes 0.5 s: the second trigger comes while the first frame is
    # taken and is missed; the frame after it says so unless ignored.
    qrnacq.sim.configure(fifo, FramePeriod=0.5)
    fifo.trigger_model = "Automatic"
    fifo.ignore_missed_trigger = ignore
    fifo.trigger()
    fifo.trigger()
    _, first = fifo.complete(timeout=5)
    fifo.trigger()
    image, after = fifo.complete(timeout=5)
    assert not first.failure and after.failure.names == failures and image is not None


def test_strobe_and_light_reach_the_light_callback(fifo):
    assert fifo.on_light is None and fifo.on_complete is None
    events = []
    fifo.on_light = lambda address: events.append(qrnacq.sim.light_event(address))
    fifo.strobe_enable, fifo.strobe_delay, fifo.strobe_pulse_duration, fifo.strobe_high = True, 0.002, 1e-4, False
    fifo.light_enable, fifo.light_power, fifo.light_delay = True, 0.75, 0.01
    _, info = grab(fifo)
    n = info.trigger_num
    assert events == [
        {"kind": "strobe", "trigger_num": n, "delay": 0.002, "duration": 1e-4, "power": 1.0, "active_high": False},
        {"kind": "light", "trigger_num": n, "delay": 0.01, "duration": 0.0, "power": 0.75, "active_high": True},
    ]
    fifo.lights_off()
    fifo.strobe_enable = False
    grab(fifo)
    assert events[2]["kind"] == "light" and events[2]["power"] == 0 and len(events) == 3
    fifo.on_light = None
    assert fifo.on_light is None


def test_aux_light_port_is_checked_by_the_driver(fifo):
    for port, problems in [(1, []), (5, ["invalidAuxLightPort"])]:
        fifo.aux_light_port = port
        assert fifo.is_valid() == (not problems, problems)


def test_a_slave_takes_its_master_s_triggers(sim, fifo):
    with sim.fifo(FORMAT, "grey8") as slave:
        exact(slave)
        assert slave.trigger_master is None and slave.could_slave_to(fifo) and not slave.could_slave_to(slave)
        slave.trigger_model = "Slave"
        slave.trigger_master = fifo
        assert slave.trigger_master is fifo
        # The master's own port is refused to a slave.
        ok, problems = slave.is_valid()
        assert not ok and "slavePortInvalid" in problems
        slave.camera_port = 1
        assert slave.is_valid() == (True, [])
        with pytest.raises(qrnacq.Error, match="InvalidMaster"):
            fifo.trigger_master = slave  # a cycle
        with pytest.raises(TypeError):
            slave.trigger_master = "sim0"
        _, own = grab(fifo)
        image, info = slave.complete(timeout=5)
        assert image is not None and info.trigger_num == own.trigger_num
        slave.trigger_master = None
        assert slave.trigger_master is None and "slaveTriggerNoMaster" in slave.is_valid()[1]


def test_a_saved_property_set_carries_the_new_properties(sim, fifo):
    for name, good, _, _ in PROPS:
        setattr(fifo, name, good)
    fifo.set_steps_per_line(7, 3)
    fifo.set_encoder_trigger_enabled(True, False)
    saved = fifo.save_properties()
    with sim.fifo(FORMAT, "grey8") as other:
        other.restore_properties(saved)
        # The light's on/off switch is not archived (nor its callback).
        assert other.light_enable is False
        for name, good, _, _ in PROPS:
            if name != "light_enable":
                assert getattr(other, name) == good, name
        assert (other.steps_per_line, other.step16ths_per_line, other.x_encoder_trigger_enabled) == (7, 3, True)
