#!/usr/bin/env python3
"""End-to-end: the built program's bundle on chosen simulated machines, driven
by UI scripts. Checks the transcript exchange by exchange (probe, a recording
with computer audio, every error reply the recorder channel can give) and the
recorded file with ffprobe.

usage: recorder_protocol.py EXE WORKDIR"""

import json
import os
import subprocess
import sys

from bundle_run import CHANNEL, Checker, call, error, run_bundle

NO_PLAYBACK_DEVICE = ("no audio output device on this machine -- computer audio cannot be "
                      "captured. Connect or enable a playback device and try again.")


def check_recording(c, exe, workdir):
    out = os.path.join(workdir, "e2e_recording.mp4")
    if os.path.exists(out):
        os.remove(out)
    machine = {"screen": {"width": 322, "height": 241, "pattern": "animated"},
               "render": {"id": "render-1", "name": "Desk Speakers",
                          "format": {"tag": "float", "bits": 32, "rate": 48000, "channels": 2},
                          "signal": {"tone_hz": 440, "level": 0.5}},
               "capture": {"id": "capture-1", "name": "Desk Mic",
                           "format": {"tag": "pcm", "bits": 16, "rate": 44100, "channels": 1}}}
    replies = run_bundle(exe, workdir, "e2e_recording", machine, [
        call("probe", {"ignored": True}),
        call("start", {"path": out, "systemAudio": True}),
        call("start", {"path": out, "systemAudio": True}),
        {"sleep_ms": 1200},
        call("stop"),
        call("stop"),
        call("start", {"path": ""}),
        call("start", "not a map"),
        call("start", {"path": os.path.join(workdir, "missing-dir", "x.mp4")}),
        call("start", {"path": os.path.join(workdir, "x.unknown")}),
        call("Probe"),
        {"channel": CHANNEL, "hex": "03 01 00 00 00"},
        {"close": True},
    ])
    c.expect("reply count", len(replies), 11)
    if len(replies) != 11:
        return
    c.expect("probe", replies[0], {"success": {
        "micName": "Desk Mic", "screenAvailable": True, "screenHeight": 241,
        "screenWidth": 322, "systemAudioAvailable": True, "systemAudioName": "Desk Speakers"}})
    c.expect("start", replies[1], {"success": {"audio": True}})
    c.expect("second start", replies[2], error("already_recording"))
    stats = replies[3].get("success", {}) if isinstance(replies[3], dict) else {}
    c.expect("stop keys", sorted(stats), ["bytes", "durationMs", "frames", "hadAudio", "height",
                                          "path", "width"])
    c.expect("stop size", (stats.get("width"), stats.get("height")), (322, 240))
    c.expect("stop path", stats.get("path"), out)
    c.expect("stop audio", stats.get("hadAudio"), True)
    frames = stats.get("frames", {}).get("int64", 0)
    duration_ms = stats.get("durationMs", {}).get("int64", 0)
    size = stats.get("bytes", {}).get("int64", 0)
    if not (frames >= 5 and duration_ms >= 500 and size == os.path.getsize(out)):
        c.failures.append(f"stop statistics {json.dumps(stats)}")
    c.expect("second stop", replies[4], error("not_recording"))
    c.expect("empty path", replies[5], error("start_failed", "no output path given"))
    c.expect("arguments not a map", replies[6], error("start_failed", "no output path given"))
    c.expect("missing directory", replies[7], error("sink_failed", "create hr=0x80070003"))
    c.expect("unknown container", replies[8], error("sink_failed", "create hr=0xc00d36c4"))
    c.expect("near-miss method", replies[9], "not_implemented")
    c.expect("undecodable call", replies[10], "not_implemented")

    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                            "stream=codec_name,width,height,sample_rate,channels,nb_frames",
                            "-of", "json", out], capture_output=True, text=True)
    streams = json.loads(probe.stdout or "{}").get("streams", [])
    c.expect("streams", [s.get("codec_name") for s in streams], ["h264", "aac"])
    if len(streams) == 2:
        c.expect("video size", (streams[0].get("width"), streams[0].get("height")), (322, 240))
        c.expect("video frames", int(streams[0].get("nb_frames", -1)), frames)
        c.expect("audio format", (streams[1].get("sample_rate"), streams[1].get("channels")),
                 ("48000", 2))


def check_start_and_stop_failures(c, exe, workdir):
    out = os.path.join(workdir, "e2e_failures.mp4")
    # Each "fail" entry fails the first such call only, so the starts below
    # fail one step further each time, and the fourth one records.
    machine = {"screen": {"width": 64, "height": 48},
               "render": None, "capture": None,
               "fail": {"MFStartup": "0x80004005", "IMFSinkWriter::AddStream": "0xc00d5212",
                        "IMFSinkWriter::BeginWriting": "0x80070005",
                        "IMFSinkWriter::Finalize": "0x80070070"}}
    start = call("start", {"path": out, "systemAudio": True})
    replies = run_bundle(exe, workdir, "e2e_failures", machine, [
        call("probe"), start, start, start, start, call("stop"), call("stop"), {"close": True}])
    c.expect("failure replies", replies, [
        {"success": {"screenAvailable": True, "screenHeight": 48, "screenWidth": 64,
                     "systemAudioAvailable": False}},
        error("encoder_missing", "MFStartup hr=0x80004005"),
        error("encoder_missing", "H264 hr=0xc00d5212"),
        error("sink_failed", "begin hr=0x80070005"),
        {"success": {"audio": False, "systemAudioError": NO_PLAYBACK_DEVICE}},
        error("stop_failed", "finalize hr=0x80070070"),
        error("not_recording"),
    ])

    replies = run_bundle(exe, workdir, "e2e_no_screen", {"screen": {"width": 1, "height": 48}},
                         [start, {"close": True}])
    c.expect("no screen", replies,
             [error("no_screen", "GetSystemMetrics reported no primary display")])


def print_contact_sheet(recording):
    """A picture of a recording whose checks failed, to look at first."""
    if not os.path.exists(recording):
        return
    sheet = os.path.splitext(recording)[0] + "_sheet.png"
    tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                        "contact-sheet")
    made = subprocess.run([tool, recording, sheet], capture_output=True, text=True)
    if made.returncode == 0:
        print(f"contact sheet: {sheet}")
    else:
        print(f"contact sheet not made: {made.stderr.strip()}")


def main():
    exe, workdir = sys.argv[1:3]
    os.makedirs(workdir, exist_ok=True)
    c = Checker()
    check_recording(c, exe, workdir)
    if c.failures:
        print_contact_sheet(os.path.join(workdir, "e2e_recording.mp4"))
    check_start_and_stop_failures(c, exe, workdir)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
