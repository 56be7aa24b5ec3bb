"""Reads a raw recording (16-bit stereo, 44.1 kHz) from a byte offset and prints the tones heard
in it, in order, one line each: "<hz> <start ms> <end ms> <silence before it in ms> <peak>" (the
peak: the median of the pieces' largest samples, a level that a stray click does not move). The tones
are those given after the offset; each 20 ms piece is matched to the nearest of them by its zero
crossings, and pieces shorter than 100 ms are dropped (a change of tone inside one piece). The
silence before a tone is the longest run of quiet samples since the tone before it ended (for
the first tone: since the offset)."""
import array
import sys

RATE = 44100
LOUD = 300
PIECE = RATE // 50  # 20 ms
MIN_PIECES = 5  # 100 ms


def main():
    path, offset = sys.argv[1], int(sys.argv[2]) // 4 * 4
    tones = [int(hz) for hz in sys.argv[3:]]
    with open(path, "rb") as f:
        f.seek(offset)
        raw = array.array("h", f.read())
    left = raw[::2]

    # Each piece: a tone, or None when quiet throughout.
    pieces = []
    for start in range(0, len(left) - PIECE, PIECE):
        piece = left[start:start + PIECE]
        if max(abs(s) for s in piece) <= LOUD:
            pieces.append(None)
            continue
        crossings = sum((a < 0) != (b < 0) for a, b in zip(piece, piece[1:]))
        hz = crossings * RATE / (2 * PIECE)
        pieces.append(min(tones, key=lambda t: abs(t - hz)))

    # Runs of the same tone, long enough to count.
    runs = []
    i = 0
    while i < len(pieces):
        j = i
        while j < len(pieces) and pieces[j] == pieces[i]:
            j += 1
        if pieces[i] is not None and j - i >= MIN_PIECES:
            if runs and runs[-1][0] == pieces[i] and runs[-1][2] >= i - MIN_PIECES:
                runs[-1][2] = j  # the same tone after a short disturbance
            else:
                runs.append([pieces[i], i, j])
        i = j

    def longest_quiet(a, b):
        longest = run = 0
        for s in left[a:b]:
            run = run + 1 if abs(s) <= LOUD else 0
            longest = max(longest, run)
        return longest * 1000.0 / RATE

    def peak(a, b):
        highs = sorted(max(abs(s) for s in left[p * PIECE:(p + 1) * PIECE]) for p in range(a, b))
        return highs[len(highs) // 2]

    previous_end = 0
    for hz, a, b in runs:
        # Around the edges of the pieces, where a change of tone falls.
        start, end = a * PIECE, b * PIECE
        gap = longest_quiet(max(previous_end - PIECE, 0), start + PIECE)
        print(f"{hz} {start * 1000 // RATE} {end * 1000 // RATE} {gap:.1f} {peak(a, b)}")
        previous_end = end


main()
