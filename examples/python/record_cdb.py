#!/usr/bin/python3
"""Recording to a camera database file, then reading it back.

    PYTHONPATH=build/default/python examples/python/record_cdb.py [file.cdb]
"""
import sys

import qrnacq

path = sys.argv[1] if len(sys.argv) > 1 else "recording.cdb"
board = qrnacq.board("sim0")
with board.fifo("Sony XC75 640x480", "grey8") as fifo, qrnacq.CdbFile(path, "w") as db:
    fifo.roi = (100, 80, 320, 240)
    for image, info in fifo.frames(10, timeout=5.0):
        if image is None:                  # no image: info.failure says why
            print(f"trigger {info.trigger_num}: failed {info.failure.names}")
            continue
        db.append_image(image, comment=f"trigger {info.trigger_num}, time stamp {info.time_stamp}, "
                                       f"failure {info.failure.names or 'none'}")
with qrnacq.CdbFile(path) as db:
    print(f"{path}: {len(db)} records")
    for record in db:
        image = record.image
        if image is None:                  # a record without an image
            continue
        print(f"  {record.context['type_name']} {image.shape} mean {image.mean():6.1f}  {record.comment}")
