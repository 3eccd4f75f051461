#!/usr/bin/env python3
"""Reads the stand-in engine's transcript (JSON lines) from standard input and
prints it readably as it arrives; while a recording runs, prints its progress
once a second."""

import json
import sys
import threading
import time

recording_since = None
lock = threading.Lock()


def progress():
    while True:
        time.sleep(1)
        with lock:
            if recording_since is not None:
                print(f"   ... recording {time.monotonic() - recording_since:4.1f} s", flush=True)


def method_of(request_hex):
    """The method name of a standard method call: a string value first."""
    data = bytes.fromhex(request_hex.replace(" ", ""))
    if len(data) < 2 or data[0] != 7:
        return "?"
    size = data[1]
    return data[2:2 + size].decode("utf-8", "replace") if size < 254 else "?"


def main():
    global recording_since
    threading.Thread(target=progress, daemon=True).start()
    for line in sys.stdin:
        line = line.strip()
        if not line:
            continue
        try:
            entry = json.loads(line)
        except ValueError:
            print(line, flush=True)
            continue
        if "registrar" in entry:
            print(f"plugin   {entry['registrar']}: {entry.get('log', '')}", flush=True)
        elif "reply" in entry:
            method = method_of(entry.get("request", ""))
            decoded = entry.get("decoded")
            print(f"call     {entry.get('channel')} {method}", flush=True)
            print(f"  reply  {json.dumps(decoded)}", flush=True)
            with lock:
                if method == "start" and isinstance(decoded, dict) and "success" in decoded:
                    recording_since = time.monotonic()
                elif method == "stop":
                    recording_since = None
        elif "script_error" in entry:
            print(f"script   error: {entry['script_error']}", flush=True)
        else:
            print(f"engine   {json.dumps(entry)}", flush=True)


if __name__ == "__main__":
    main()
