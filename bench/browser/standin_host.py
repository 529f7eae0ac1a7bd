#!/usr/bin/env python3
"""The stand-in host: the browser's own limit for one message size. It writes ready-made `stdout`
frames (native-messaging framing, each frame in one write) of SIZE bytes of text lines until TOTAL
bytes are out, as fast as the pipe takes them, then waits for the browser to close its input.

    standin_host.py SIZE TOTAL"""
import json
import os
import struct
import sys

size, total = int(sys.argv[1]), int(sys.argv[2])
text = "".join(f"{i:015d} the quick brown fox jumps over the lazy dog!!!!\n" for i in range(size // 64 + 1))[:size]
body = json.dumps({"type": "stdout", "outputLine": text}).encode()
frame = struct.pack("<I", len(body)) + body
for _ in range(-(-total // size)):
    view = memoryview(frame)
    while view:
        view = view[os.write(1, view):]
# Exiting now could lose what the browser has not read yet; it closes our input when the page is done.
while sys.stdin.buffer.read(65536):
    pass
