#!/usr/bin/env python3
"""Runs the built bundle once with a UI script on a small simulated machine
and checks the whole process: exit code 0 after the window closed, the four
plugins registered in order, and a successful reply to each call."""

import json
import os
import subprocess
import sys

PLUGINS = ["MediaKitLibsWindowsVideoPluginCApi", "MediaKitVideoPluginCApi",
           "UrlLauncherWindows", "VolumeControllerPluginCApi"]


def main():
    exe, script, machine, transcript = sys.argv[1:5]
    if os.path.exists(transcript):
        os.remove(transcript)
    env = dict(os.environ, MORL_SIM_MACHINE=machine)
    run = subprocess.run([exe, "--ui-script=" + script, "--transcript=" + transcript],
                         cwd=os.path.dirname(exe), env=env, timeout=120,
                         stderr=subprocess.PIPE, text=True)
    failures = []
    if run.returncode != 0:
        failures.append(f"exit code {run.returncode}: {run.stderr.strip()}")
    with open(transcript) as f:
        lines = [json.loads(line) for line in f if line.strip()]
    registrars = [line["registrar"] for line in lines if "registrar" in line]
    if registrars != PLUGINS:
        failures.append(f"plugins registered {registrars}")
    replies = [line["decoded"] for line in lines if "reply" in line]
    if len(replies) != 3 or not all(isinstance(r, dict) and "success" in r for r in replies):
        failures.append(f"replies {replies}")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
