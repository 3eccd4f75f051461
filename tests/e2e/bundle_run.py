"""Running the built bundle on a simulated machine with a UI script, for the
end-to-end tests: the steps and the machine go to files beside the
transcript, the program runs with MORL_SIM_MACHINE naming the machine, and
the replies are read back from the transcript in order."""

import json
import os
import signal
import subprocess
import time

CHANNEL = "morl_desktop/recorder"


def desk_machine(speed):
    """A small animated screen, speakers playing a tone and a microphone, with
    the machine's clock at `speed`."""
    return {"clock": {"speed": speed},
            "screen": {"width": 320, "height": 240, "pattern": "animated"},
            "render": {"id": "render-1", "name": "Desk Speakers",
                       "format": {"tag": "float", "bits": 32, "rate": 48000, "channels": 2},
                       "signal": {"tone_hz": 440, "level": 0.5}},
            "capture": {"id": "capture-1", "name": "Desk Mic",
                        "format": {"tag": "pcm", "bits": 16, "rate": 48000, "channels": 1}}}


def held_seconds(path):
    """The end of the last packet of each stream, by codec type; {} when the
    file does not open."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                            "stream=index,codec_type:packet=stream_index,pts_time,duration_time",
                            "-of", "json", path], capture_output=True, text=True)
    if probe.returncode != 0:
        return {}
    data = json.loads(probe.stdout or "{}")
    kinds = {s["index"]: s["codec_type"] for s in data.get("streams", [])}
    held = {kind: 0.0 for kind in kinds.values()}
    for p in data.get("packets", []):
        try:
            end = float(p["pts_time"]) + float(p.get("duration_time", 0))
        except (KeyError, ValueError):
            continue
        kind = kinds.get(p.get("stream_index"))
        if kind is not None:
            held[kind] = max(held[kind], end)
    return held


def call(method, args=None):
    """A UI-script step calling `method` on the recorder channel."""
    step = {"channel": CHANNEL, "method": method}
    if args is not None:
        step["args"] = args
    return step


def error(code, message=""):
    """A decoded error reply; a null message reads back as an empty one."""
    return {"error": {"code": code, "message": message, "details": None}}


def write_run_files(workdir, name, machine, steps):
    """Writes the UI script and the machine file of run `name` and removes an
    old transcript; returns (script, machine file, transcript) paths."""
    script = os.path.join(workdir, name + ".uiscript")
    machine_file = os.path.join(workdir, name + ".machine.json")
    transcript = os.path.join(workdir, name + ".transcript")
    with open(script, "w") as f:
        f.write("".join(json.dumps(step) + "\n" for step in steps))
    # MORL_E2E_GPU=none runs a suite on machines without a GPU, where the
    # recorder reads the screen through GDI and encodes in software.
    if os.environ.get("MORL_E2E_GPU") == "none" and "gpu" not in machine:
        machine = dict(machine, gpu=None)
    with open(machine_file, "w") as f:
        json.dump(machine, f)
    if os.path.exists(transcript):
        os.remove(transcript)
    return script, machine_file, transcript


def bundle_command(exe, script, transcript):
    return [exe, "--ui-script=" + script, "--transcript=" + transcript]


def bundle_environment(machine_file):
    return dict(os.environ, MORL_SIM_MACHINE=machine_file)


def transcript_replies(transcript):
    """The (raw hex, decoded) pairs of the replies written so far; a line the
    program is still writing is left out."""
    if not os.path.exists(transcript):
        return []
    with open(transcript) as f:
        lines = [json.loads(line) for line in f if line.endswith("\n") and line.strip()]
    return [(line["reply"], line["decoded"]) for line in lines if "reply" in line]


def run_to_end(exe, workdir, name, machine, steps, timeout=180):
    """Runs the bundle once to its end; returns its (raw hex, decoded) replies."""
    script, machine_file, transcript = write_run_files(workdir, name, machine, steps)
    run = subprocess.run(bundle_command(exe, script, transcript), cwd=os.path.dirname(exe),
                         timeout=timeout, stderr=subprocess.PIPE, text=True,
                         env=bundle_environment(machine_file))
    if run.returncode != 0:
        raise AssertionError(f"{name}: exit code {run.returncode}: {run.stderr.strip()}")
    return transcript_replies(transcript)


def kill_fragmented_recording(exe, workdir, name, machine, out, kill_after_s):
    """Starts a fragmented recording of computer audio to `out` and kills the
    program (SIGKILL, as a crash would) `kill_after_s` of machine time after
    the start reply arrived. Returns (the decoded start reply, machine seconds
    from that reply to the kill); (None, 0) when no reply came within 30 s or
    the program ended first."""
    speed = machine.get("clock", {}).get("speed", 1.0)
    script, machine_file, transcript = write_run_files(workdir, name, machine, [
        call("start", {"path": out, "systemAudio": True, "fragmented": True}),
        {"sleep_ms": 60000}, call("stop"), {"close": True}])
    process = subprocess.Popen(bundle_command(exe, script, transcript), cwd=os.path.dirname(exe),
                               stderr=subprocess.DEVNULL, env=bundle_environment(machine_file))
    try:
        deadline = time.monotonic() + 30
        while not transcript_replies(transcript):
            if time.monotonic() > deadline or process.poll() is not None:
                return None, 0.0
            time.sleep(0.005)
        started = time.monotonic()
        time.sleep(kill_after_s / speed)
        process.send_signal(signal.SIGKILL)
        return transcript_replies(transcript)[0][1], (time.monotonic() - started) * speed
    finally:
        process.kill()
        process.wait()


def run_bundle(exe, workdir, name, machine, steps, timeout=180):
    """The decoded replies of one run, in order."""
    return [decoded for _, decoded in run_to_end(exe, workdir, name, machine, steps, timeout)]


def run_bundle_raw(exe, workdir, name, machine, steps, timeout=180):
    """(method, raw reply hex, decoded reply) for every call of a script whose
    steps are all method calls, sleeps or closes, in order."""
    replies = run_to_end(exe, workdir, name, machine, steps, timeout)
    methods = [s["method"] for s in steps if "method" in s]
    if len(replies) != len(methods):
        raise AssertionError(f"{name}: {len(replies)} replies to {len(methods)} calls")
    return [(m, raw, decoded) for m, (raw, decoded) in zip(methods, replies)]


class Checker:
    """Collects the failures of one test script, which goes on after one so
    that a run reports everything that is wrong."""

    def __init__(self):
        self.failures = []

    def expect(self, what, got, want):
        """`got` must equal `want`."""
        if got != want:
            self.failures.append(f"{what}: got {json.dumps(got)}, want {json.dumps(want)}")

    def check(self, what, ok, detail=""):
        """`ok` must hold; `detail` says what was seen."""
        if not ok:
            self.failures.append(f"{what} {detail}".strip())

    def finish(self):
        """Prints the failures and the summary line; returns the exit code."""
        for failure in self.failures:
            print("FAILED:", failure)
        print(f"{0 if self.failures else 1} passed, {len(self.failures)} failed")
        return 1 if self.failures else 0
