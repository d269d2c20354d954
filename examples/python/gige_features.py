#!/usr/bin/python3
"""A GigE Vision camera's features: Aravis's in-process fake camera (no network).

    QUORIN_GIGE_CAMERAS=fake PYTHONPATH=build/default/python examples/python/gige_features.py
"""
import os

os.environ.setdefault("QUORIN_GIGE_CAMERAS", "fake")   # before the board list is first used
import qrnacq  # noqa: E402

cameras = [b for b in qrnacq.boards() if qrnacq.gige.is_camera(b)]
if not cameras:
    raise SystemExit("no camera board (is the camera driver built?)")
camera = cameras[0]
print(camera.name, qrnacq.gige.camera_model(camera))
for feature in qrnacq.gige.features(camera):
    print(f"  {feature.name:<24} {feature.type:<12} {feature.value}")
qrnacq.gige.set(camera, "ExposureTimeAbs", 5000)           # microseconds
print("ExposureTimeAbs now", qrnacq.gige.get(camera, "ExposureTimeAbs"))
with camera.fifo("Sony XC75 640x480", "grey8") as fifo:
    for image, info in fifo.frames(3, timeout=5.0, make_local=False):   # the stream buffers themselves
        if image is None:
            print(f"frame {info.trigger_num}: failed {info.failure.names} {info.failure.text}")
            continue
        print(f"frame {info.trigger_num}: {image.shape}, read-only {not image.flags.writeable}, mean {image.mean():.1f}")
