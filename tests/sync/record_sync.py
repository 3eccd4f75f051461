#!/usr/bin/env python3
"""Records the timecode desktop with beeping audio on a simulated machine and
measures the recording with tools/avsync.

usage: record_sync.py EXE MACHINE_FILE OUT.mp4 SECONDS [--mic-only] [--speed=S]

The recording takes computer audio (loopback mixed with the microphone)
unless --mic-only, which records the microphone alone. SECONDS is machine
time; with --speed the machine's clock runs S times as fast as the wall
clock ("clock": {"speed": S} added to the machine file). Prints avsync's
report and exits with its exit code; 3 when the bundle fails."""

import json
import os
import subprocess
import sys

CHANNEL = "morl_desktop/recorder"
AVSYNC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "avsync")


def machine_at_speed(machine_file, speed, base):
    """The machine file itself at speed 1, else a copy beside `base` with the
    clock's speed set."""
    if speed == 1:
        return machine_file
    with open(machine_file) as f:
        machine = json.load(f)
    machine["clock"] = dict(machine.get("clock", {}), speed=speed)
    with open(base + ".machine.json", "w") as f:
        json.dump(machine, f)
    return base + ".machine.json"


def record(exe, machine_file, out, seconds, system_audio, speed=1, fps=None):
    """Records `seconds` of machine time (at `fps` frames a second, when
    given); returns the decoded replies."""
    work = os.path.dirname(os.path.abspath(out))
    base = os.path.splitext(os.path.abspath(out))[0]
    script, transcript = base + ".uiscript", base + ".transcript"
    os.makedirs(work, exist_ok=True)
    machine_file = machine_at_speed(machine_file, speed, base)
    start = {"path": os.path.abspath(out), "systemAudio": system_audio}
    if fps is not None:
        start["fps"] = fps
    steps = [{"channel": CHANNEL, "method": "start", "args": start},
             {"sleep_ms": int(seconds * 1000)},
             {"channel": CHANNEL, "method": "stop"},
             {"close": True}]
    with open(script, "w") as f:
        f.write("".join(json.dumps(s) + "\n" for s in steps))
    for stale in (out, transcript):
        if os.path.exists(stale):
            os.remove(stale)
    run = subprocess.run([exe, "--ui-script=" + script, "--transcript=" + transcript],
                         cwd=os.path.dirname(exe), timeout=seconds / speed + 120, stderr=subprocess.PIPE,
                         text=True,
                         env=dict(os.environ, MORL_SIM_MACHINE=os.path.abspath(machine_file)))
    with open(transcript) as f:
        replies = [json.loads(line).get("decoded") for line in f if '"reply"' in line]
    if run.returncode != 0 or not os.path.exists(out):
        raise RuntimeError(f"bundle exit {run.returncode}, replies {replies}: {run.stderr.strip()}")
    return replies


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    exe, machine_file, out, seconds = args[0], args[1], args[2], float(args[3])
    speed = float(next((a.split("=", 1)[1] for a in sys.argv if a.startswith("--speed=")), 1))
    try:
        record(exe, machine_file, out, seconds, "--mic-only" not in sys.argv, speed)
    except (RuntimeError, OSError, subprocess.TimeoutExpired) as e:
        print(f"record_sync: {e}", file=sys.stderr)
        return 3
    return subprocess.run([AVSYNC, out]).returncode


if __name__ == "__main__":
    sys.exit(main())
