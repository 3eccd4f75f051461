#!/usr/bin/env python3
"""End-to-end: the H.264 encoder a recording runs on, as "start" chooses it
and "status" reports it. The built bundle runs on a simulated machine whose
GPU encodes H.264 up to 320 x 240 and whose display is 640 x 480: a region
the GPU takes is recorded on it under "hardware", the whole display goes to
the software encoder under "auto" and fails the start under "hardware"
(nothing left on disk), "software" keeps a region the GPU would take off it,
and unknown encoder names and bit rates out of range are refused. Each
recording plays, at the size recorded.

usage: encoder_choice.py EXE WORKDIR"""

import json
import os
import subprocess
import sys

from bundle_run import Checker, call, error, run_bundle

MACHINE = {"screen": {"width": 640, "height": 480, "pattern": "animated"},
           "gpu": {"name": "Test GPU", "encoders": ["h264"], "max_width": 320,
                   "max_height": 240}}
REGION = {"left": 0, "top": 0, "width": 320, "height": 240}
# (name, start arguments besides the path, the status's "encoder" or the error reply)
RUNS = [
    ("hardware_region", {"encoder": "hardware", "region": REGION, "videoBitrate": 2000000},
     "hardware"),
    ("auto_whole", {}, "software"),
    ("software_region", {"encoder": "software", "region": REGION}, "software"),
    ("hardware_whole", {"encoder": "hardware"},
     error("encoder_unavailable", "no hardware H.264 encoder takes the video (640 x 480)")),
    ("unknown_encoder", {"encoder": "gpu"},
     error("bad_argument", "encoder must be one of the strings auto, hardware and software")),
    ("bitrate_too_low", {"videoBitrate": 99999},
     error("bad_argument", "videoBitrate must be an integer from 100000 to 100000000")),
]


def video_size(path):
    """[codec, width, height] of the file's video stream; None when it does not open."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=codec_name,width,height", "-of", "json", path],
                           capture_output=True, text=True)
    if probe.returncode != 0:
        return None
    streams = json.loads(probe.stdout or "{}").get("streams", [])
    return [streams[0]["codec_name"], streams[0]["width"], streams[0]["height"]] if streams else None


def main():
    exe, workdir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(workdir, exist_ok=True)
    c = Checker()
    paths = {name: os.path.join(workdir, name + ".mp4") for name, _, _ in RUNS}
    steps = []
    for name, args, outcome in RUNS:
        for path in (paths[name], paths[name] + ".partial.mp4"):
            if os.path.exists(path):
                os.remove(path)
        steps.append(call("start", dict(args, path=paths[name])))
        if isinstance(outcome, str):
            steps += [{"sleep_ms": 500}, call("status"), call("stop")]
    replies = run_bundle(exe, workdir, "encoder_choice", MACHINE,
                         steps + [call("status"), {"close": True}])
    n = 0
    for name, args, outcome in RUNS:
        start = replies[n]
        n += 1
        if not isinstance(outcome, str):
            c.expect(f"{name}: start reply", start, outcome)
            c.check(f"{name}: nothing on disk", not os.path.exists(paths[name]) and
                    not os.path.exists(paths[name] + ".partial.mp4"))
            continue
        status, stop = replies[n].get("success", {}), replies[n + 1]
        n += 2
        c.check(f"{name}: start", "success" in start, json.dumps(start))
        c.expect(f"{name}: status encoder and capture",
                 (status.get("encoder"), status.get("capture")), (outcome, "duplication"))
        c.check(f"{name}: stop", "success" in stop, json.dumps(stop))
        size = (320, 240) if "region" in args else (640, 480)
        c.expect(f"{name}: the file's video", video_size(paths[name]), ["h264", *size])
    idle = replies[n].get("success", {})
    c.check("idle status has no capture or encoder",
            "capture" not in idle and "encoder" not in idle, json.dumps(idle))
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
