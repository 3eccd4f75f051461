#!/usr/bin/env python3
"""End-to-end: recordings that outlive what the machine does around them.

- Log-off: the session ends (the timeline's "end_session") during a
  recording, ordinary and fragmented; the process is ended right after
  WM_ENDSESSION without destroying anything, and the target must hold a
  playable file with the time recorded until then.
- A file held after it is closed (the timeline's "file_holds", as the indexer
  or a scanner does): a hold shorter than the stop's wait gives a finished
  recording; a longer one fails the stop with the sharing violation and keeps
  the recording, which the next start to the same target moves aside.
- A recording killed part way: the next start to the target moves its file
  aside to a free "(recovered)" name, says so in its reply, and the moved file
  plays.
- Targets the stop could never replace are refused by the start, byte for
  byte, and nothing is written beside them.
The machine's clock runs at SPEED times the wall clock; times are machine time.

usage: recording_lifecycle.py EXE WORKDIR"""

import json
import os
import stat
import subprocess
import sys

from bundle_run import (Checker, bundle_command, bundle_environment, call, desk_machine, error,
                        held_seconds, kill_fragmented_recording, run_bundle,
                        transcript_replies, write_run_files)

SPEED = 4.0
MACHINE = desk_machine(SPEED)
STARTED = {"success": {"audio": True}}
KEPT = " -- the recording was kept as "


def fresh(*paths):
    for path in paths:
        if os.path.isdir(path):
            os.rmdir(path)
        elif os.path.lexists(path):
            os.chmod(path, stat.S_IRUSR | stat.S_IWUSR)
            os.remove(path)


def check_end_session(checker, exe, workdir):
    """The session ends 4 s of machine time after the process starts; the
    recording started before that must be at its target and play."""
    for fragmented in (False, True):
        name = f"end_session_{'fragmented' if fragmented else 'ordinary'}"
        out = os.path.join(workdir, name + ".mp4")
        fresh(out, out + ".partial.mp4")
        machine = dict(MACHINE, timeline=[{"at_ms": 4000, "end_session": True}])
        script, machine_file, transcript = write_run_files(workdir, name, machine, [
            call("start", {"path": out, "systemAudio": True, "fragmented": fragmented}),
            {"sleep_ms": 60000}, call("stop"), {"close": True}])
        run = subprocess.run(bundle_command(exe, script, transcript), cwd=os.path.dirname(exe),
                             timeout=120, stderr=subprocess.PIPE, text=True,
                             env=bundle_environment(machine_file))
        replies = [decoded for _, decoded in transcript_replies(transcript)]
        checker.expect(f"{name}: replies before the session ended", replies, [STARTED])
        checker.check(f"{name}: the machine says every window answered in time",
                      "did not answer" not in run.stderr, run.stderr.strip())
        held = held_seconds(out)
        print(f"{name}: exit {run.returncode}, target holds video {held.get('video', -1):.2f} s, "
              f"audio {held.get('audio', -1):.2f} s")
        # Started within the first 4 s: at least a second recorded, never
        # more than the 4 s before the session ended (and its last packet).
        for kind in ("video", "audio"):
            checker.check(f"{name}: {kind} at the target", 1.0 <= held.get(kind, -1) <= 4.1,
                          json.dumps(held))
        checker.check(f"{name}: nothing left at the partial path",
                      not os.path.exists(out + ".partial.mp4"))


def check_file_holds(checker, exe, workdir):
    """Holds below the stop's 2-s wait end in a finished recording; a longer
    one fails the stop with the sharing violation, keeps the file, and the
    next start to that target moves it aside once the hold is over."""
    for hold_ms in (300, 1500, 3000):
        name = f"hold_{hold_ms}"
        out = os.path.join(workdir, name + ".mp4")
        partial = out + ".partial.mp4"
        recovered = os.path.join(workdir, name + " (recovered).mp4")
        fresh(out, partial, recovered)
        machine = dict(MACHINE, file_holds=[{"suffix": ".mp4", "ms": hold_ms}])
        replies = run_bundle(exe, workdir, name, machine, [
            call("start", {"path": out, "systemAudio": True}), {"sleep_ms": 1500},
            call("stop"), call("start", {"path": out, "systemAudio": True}),
            {"sleep_ms": 500}, call("stop"), {"close": True}])
        if len(replies) != 4:
            checker.expect(f"{name}: replies", replies, "four replies")
            continue
        first_stop = replies[1].get("success", replies[1].get("error"))
        print(f"{name}: first stop {json.dumps(first_stop)}, next start {json.dumps(replies[2])}")
        if hold_ms < 2000:
            checker.expect(f"{name}: first stop", replies[1].get("success", {}).get("path"), out)
            checker.expect(f"{name}: next start", replies[2], STARTED)
            checker.expect(f"{name}: next stop", replies[3].get("success", {}).get("path"), out)
            checker.check(f"{name}: the next recording plays at the target",
                          held_seconds(out).get("video", 0) > 0.4, json.dumps(held_seconds(out)))
        else:
            checker.expect(f"{name}: first stop", replies[1],
                           error("stop_failed", "move hr=0x80070020" + KEPT + partial))
            checker.expect(f"{name}: next start", replies[2],
                           {"success": {"audio": True, "recovered": recovered}})
            checker.check(f"{name}: the first recording plays where it was moved",
                          held_seconds(recovered).get("video", 0) > 1.0,
                          json.dumps(held_seconds(recovered)))


def check_recovered_after_kill(checker, exe, workdir):
    """A fragmented recording killed part way; the next start to its target,
    where "(recovered)" is taken already, moves the file to "(recovered 2)"."""
    out = os.path.join(workdir, "killed.mp4")
    partial = out + ".partial.mp4"
    taken = os.path.join(workdir, "killed (recovered).mp4")
    second = os.path.join(workdir, "killed (recovered 2).mp4")
    fresh(out, partial, taken, second)
    with open(taken, "w") as f:
        f.write("kept by the user")
    kill_fragmented_recording(exe, workdir, "killed", MACHINE, out, 4.0)
    killed_held = held_seconds(partial)
    replies = run_bundle(exe, workdir, "after_kill", MACHINE, [
        call("start", {"path": out, "systemAudio": True}), {"sleep_ms": 500}, call("stop"),
        call("start", {"path": out, "systemAudio": True}), {"sleep_ms": 200}, call("stop"),
        {"close": True}])
    print(f"killed: the partial file held {json.dumps(killed_held)}; "
          f"next start {json.dumps(replies[0] if replies else None)}")
    checker.check("killed: the killed recording plays", killed_held.get("video", 0) > 1.0,
                  json.dumps(killed_held))
    checker.expect("killed: next start", replies[0] if replies else None,
                   {"success": {"audio": True, "recovered": second}})
    checker.expect("killed: the start after that has nothing to recover",
                   replies[2] if len(replies) > 2 else None, STARTED)
    checker.expect("killed: what the user kept", open(taken).read(), "kept by the user")
    checker.expect("killed: the moved file plays as long as before", held_seconds(second),
                   killed_held)


def check_refused_targets(checker, exe, workdir):
    """Each refused start writes nothing in the folder; a good start after
    them works."""
    folder = os.path.join(workdir, "targets")
    os.makedirs(folder, exist_ok=True)
    for entry in os.listdir(folder):
        fresh(os.path.join(folder, entry))
    os.mkdir(os.path.join(folder, "a folder.mp4"))
    read_only = os.path.join(folder, "read-only.mp4")
    with open(read_only, "w") as f:
        f.write("an earlier file")
    os.chmod(read_only, stat.S_IRUSR)
    cases = [
        ("a folder.mp4", "output path is a directory"),
        ("", "output path names a folder, not a file"),
        ("read-only.mp4", "output file is read-only"),
        ("NUL.mp4", "output file name is the device name NUL, which Windows reserves"),
        ("com1.Mp4", "output file name is the device name COM1, which Windows reserves"),
        ("lpt9", "output file name is the device name LPT9, which Windows reserves"),
        ("CON .mp4", "output file name is the device name CON, which Windows reserves"),
        ("rec.mp4.", "output file name ends in a dot or a space, which Windows drops"),
        ("rec.mp4 ", "output file name ends in a dot or a space, which Windows drops"),
        ("a<b.mp4", "output path contains a character Windows does not allow in file names"),
        ("what?.mp4", "output path contains a character Windows does not allow in file names"),
        ("a:b.mp4", "output path contains a character Windows does not allow in file names"),
    ]
    before = sorted(os.listdir(folder))
    good = os.path.join(folder, "good.mp4")
    steps = [call("start", {"path": os.path.join(folder, name)}) for name, _ in cases]
    replies = run_bundle(exe, workdir, "targets", MACHINE, steps + [
        call("start", {"path": good}), call("stop"), {"close": True}])
    for (name, message), reply in zip(cases, replies):
        checker.expect(f"target {name!r}", reply, error("start_failed", message))
    checker.expect("targets: the good start", replies[len(cases)] if len(replies) > len(cases)
                   else None, {"success": {"audio": True}})
    checker.expect("targets: the folder after the refusals",
                   sorted(os.listdir(folder)), sorted(before + ["good.mp4"]))
    checker.expect("targets: the read-only file", open(read_only).read(), "an earlier file")
    print(f"targets: {len(cases)} refused")


def main():
    exe, workdir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(workdir, exist_ok=True)
    checker = Checker()
    check_end_session(checker, exe, workdir)
    check_file_holds(checker, exe, workdir)
    check_recovered_after_kill(checker, exe, workdir)
    check_refused_targets(checker, exe, workdir)
    return checker.finish()


if __name__ == "__main__":
    sys.exit(main())
