#!/usr/bin/env python3
"""End-to-end: choosing audio devices. On a machine with two microphones
(different tones), a disabled one and two playback devices, "audioDevices"
lists the active ones; a recording with the non-default microphone carries
that microphone's tone (found by FFT of the decoded track); computer audio
captures the chosen playback device with the chosen microphone mixed in; ids
that are not there (or name a disabled device) are reported without failing
the start; and a failing enumeration gives "devices_failed".

usage: audio_devices.py EXE WORKDIR"""

import os
import subprocess
import sys

import numpy

from bundle_run import Checker, call, error, run_bundle

MIC_MISSING = ("mic lookup hr=0x80070490 -- the chosen microphone is not connected or not "
               "enabled")
SPEAKERS_MISSING = ("render lookup hr=0x80070490 -- the chosen playback device is not "
                    "connected or not enabled")

MACHINE = {
    "screen": {"width": 96, "height": 64},
    "render": [
        {"id": "spk-desk", "name": "Desk Speakers", "signal": {"tone_hz": 440, "level": 0.5}},
        {"id": "spk-usb", "name": "USB Headphones", "default": True,
         "signal": {"tone_hz": 523, "level": 0.5}},
    ],
    "capture": [
        {"id": "mic-array", "name": "Microphone Array", "default": True,
         "signal": {"tone_hz": 1000, "level": 0.5}},
        {"id": "mic-off", "name": "Webcam Microphone", "state": "disabled"},
        {"id": "mic-headset", "signal": {"tone_hz": 700, "level": 0.5}},
    ],
    "microphone": {"tone_hz": 1000},
}


def entry(id_, name, default):
    return {"default": default, "id": id_, "name": name}


def tone_strengths(path, tones_hz):
    """Each tone's strength in the file's audio track (mixed to mono) as a
    share of the strongest of them: the spectrum's peak within 10 Hz."""
    decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vn", "-ac", "1", "-ar",
                              "48000", "-f", "f32le", "-"], capture_output=True)
    samples = numpy.frombuffer(decoded.stdout, dtype=numpy.float32)
    if samples.size < 4800:
        return None
    spectrum = numpy.abs(numpy.fft.rfft(samples * numpy.hanning(samples.size)))
    hz_per_bin = 48000 / samples.size
    peaks = [spectrum[int((hz - 10) / hz_per_bin):int((hz + 10) / hz_per_bin) + 1].max()
             for hz in tones_hz]
    return [p / max(peaks) for p in peaks]


def expect_tones(c, what, path, present, absent):
    """The tones of the chosen devices are in the file and the others' are
    not (each of those under a tenth of the weakest present one)."""
    strengths = tone_strengths(path, present + absent)
    if strengths is None:
        c.failures.append(f"{what}: no audio decoded")
        return
    weakest = min(strengths[:len(present)])
    if any(s * 10 > weakest for s in strengths[len(present):]):
        c.failures.append(f"{what}: strengths of {present + absent} Hz are {strengths}")


def check_choices(c, exe, workdir):
    out = {name: os.path.join(workdir, f"devices_{name}.mp4")
           for name in ("headset", "no_mic", "no_speakers", "desk")}
    for path in out.values():
        if os.path.exists(path):
            os.remove(path)
    replies = run_bundle(exe, workdir, "devices_choices", MACHINE, [
        call("audioDevices", {"ignored": 1}),
        call("start", {"path": out["headset"], "microphoneId": "mic-headset"}),
        {"sleep_ms": 1200},
        call("stop"),
        call("start", {"path": out["no_mic"], "microphoneId": "spk-desk"}),
        call("stop"),
        call("start", {"path": out["no_speakers"], "systemAudio": True,
                       "speakersId": "spk-gone", "microphoneId": "mic-headset"}),
        call("stop"),
        call("start", {"path": out["desk"], "systemAudio": True, "speakersId": "spk-desk",
                       "microphoneId": "mic-headset"}),
        {"sleep_ms": 1200},
        call("stop"),
        call("start", {"path": out["no_mic"], "systemAudio": True, "microphoneId": "mic-off"}),
        call("stop"),
        {"close": True},
    ])
    c.expect("reply count", len(replies), 11)
    if len(replies) != 11:
        return
    c.expect("audioDevices", replies[0], {"success": {
        "microphones": [entry("mic-array", "Microphone Array", True),
                        entry("mic-headset", "Default microphone", False)],
        "speakers": [entry("spk-desk", "Desk Speakers", False),
                     entry("spk-usb", "USB Headphones", True)]}})
    c.expect("start with the headset", replies[1], {"success": {"audio": True}})
    c.expect("playback id as microphone", replies[3],
             {"success": {"audio": False, "micError": MIC_MISSING}})
    c.expect("unknown speakers", replies[5],
             {"success": {"audio": False, "systemAudioError": SPEAKERS_MISSING}})
    c.expect("both chosen", replies[7], {"success": {"audio": True}})
    c.expect("disabled microphone beside computer audio", replies[9],
             {"success": {"audio": True, "micError": "mic mix unavailable: " + MIC_MISSING}})
    for index, name, had_audio in ((2, "headset", True), (4, "no_mic", False),
                                   (6, "no_speakers", False), (8, "desk", True)):
        stats = replies[index].get("success") if isinstance(replies[index], dict) else None
        c.expect(f"{name} stop hadAudio", (stats or {}).get("hadAudio"), had_audio)
    expect_tones(c, "chosen microphone alone", out["headset"], [700], [1000])
    expect_tones(c, "chosen speakers and microphone", out["desk"], [440, 700], [523, 1000])


def check_enumeration_failure(c, exe, workdir):
    machine = dict(MACHINE, fail={"IMMDeviceEnumerator::EnumAudioEndpoints": "0x8007000e"})
    replies = run_bundle(exe, workdir, "devices_failed", machine, [
        call("audioDevices"), call("audioDevices"), {"close": True}])
    c.expect("devices_failed", replies[:1], [error("devices_failed", "enumerate hr=0x8007000e")])
    c.expect("next enumeration", len(replies) == 2 and "success" in replies[1], True)


def main():
    exe, workdir = sys.argv[1:3]
    os.makedirs(workdir, exist_ok=True)
    c = Checker()
    check_choices(c, exe, workdir)
    check_enumeration_failure(c, exe, workdir)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
