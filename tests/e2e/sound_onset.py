"""Prints the ms from a byte offset of a raw recording (16-bit stereo, 44.1 kHz) to its first
sample louder than the noise floor, or "none" when nothing after it is loud."""
import array
import sys

RATE = 44100
LOUD = 300

with open(sys.argv[1], "rb") as f:
    start = int(sys.argv[2]) // 4 * 4
    f.seek(start)
    samples = array.array("h", f.read())
for i, s in enumerate(samples):
    if abs(s) > LOUD:
        print(round((i // 2) * 1000 / RATE))
        break
else:
    print("none")
