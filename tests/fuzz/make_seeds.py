#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: tests/fuzz/corpus for the
transform modules, tests/fuzz/corpus_<name> for the others.

Each seed names frame sizes, settings or arguments worth starting from; the
layouts are the ones documented at the top of each target's source. Run it
again after changing a layout: python3 tests/fuzz/make_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def fresh_corpus(name):
    """The emptied folder of a target's corpus."""
    path = os.path.join(HERE, name)
    os.makedirs(path, exist_ok=True)
    for old in os.listdir(path):
        os.remove(os.path.join(path, old))
    return path

ROUTE_DIALOG, ROUTE_RECORD, ROUTE_DIALOG_RECORD, ROUTE_CANCEL = 0, 1, 2, 3
EDITS = [1001, 1007, 1008, 1009, 1010, 1011]
INT_MIN, INT_MAX = -2**31, 2**31 - 1
# Frame kinds: constant, noise, tile, stripes, alternating extremes, near-white;
# +8 gives byte 3 random values.
CONSTANT, NOISE, TILE, STRIPES, EXTREMES, BRIGHT = range(6)


def size(n):
    # Bit 15 selects the full range: 1 + (v & 0x7fff) mod limit.
    return 0x8000 | (n - 1)


def seed(name, w, h, route=ROUTE_RECORD, level=4, double_start=False, enter=False, reconfigure=False,
         display=0, harmonics=10, limit=0, notch=0, lo=1, main=1, hi=1, curve=1.0, rejection=20,
         dc=0, temporal=0, full=0, padding=0, frames=None, texts=None, tile=b""):
    mode = route | (level % 5) << 2 | (0x20 if double_start else 0) | (0x40 if enter else 0) \
        | (0x80 if reconfigure else 0)
    out = bytes([mode])
    out += struct.pack("<BiiBiiifiBBB", display, harmonics, limit, notch, lo, main, hi, curve, rejection,
                       dc, temporal, full)
    texts = texts or {}
    mask = 0
    for k, edit in enumerate(EDITS):
        if edit in texts:
            mask |= 1 << k
    out += bytes([mask])
    out += struct.pack("<HHB", size(w), size(h), padding)
    frames = frames or [(STRIPES | 8, 0x1234567, 0, 0)]
    out += bytes([len(frames) - 1])
    for kind, s, new_h, new_w in frames:
        # 0 keeps the size.
        out += struct.pack("<BIHH", kind, s, size(new_h) if new_h else 0, size(new_w) if new_w else 0)
    for edit in EDITS:
        if edit in texts:
            t = texts[edit]
            out += bytes([len(t)]) + t
    out += tile
    with open(os.path.join(CORPUS, name), "wb") as f:
        f.write(out)


def module_seeds():
    fresh_corpus("corpus")
    stripes = (STRIPES | 8, 0x0008_0028, 0, 0)
    noise = (NOISE | 8, 0xBEEF, 0, 0)
    # The common frame sizes, through the dialog as a user would set them.
    # Whole frames fit the target's work budget only with few harmonics; the
    # seeds with many harmonics get their heights lowered by the target.
    seed("pal-720x576-all-stages", 720, 576, route=ROUTE_DIALOG, notch=1, lo=8, hi=10, dc=1, full=1,
         harmonics=8, padding=2, frames=[stripes])
    seed("pal-720x576-display", 720, 576, route=ROUTE_DIALOG, display=1, harmonics=16, frames=[stripes])
    seed("pal-720x576-display-352", 720, 576, route=ROUTE_DIALOG, display=1, harmonics=352, frames=[stripes])
    seed("ntsc-720x480-full-all-harmonics", 720, 480, harmonics=720, full=1, frames=[noise])
    seed("ntsc-720x480-temporal-three-frames", 720, 480, route=ROUTE_DIALOG, dc=1, temporal=1,
         frames=[noise, (BRIGHT, 7, 0, 0), (EXTREMES | 8, 3, 0, 0)])
    # Small frames: every stage at once, and the display.
    for w, h in [(8, 8), (3, 3), (2, 2), (1, 1), (10, 10)]:
        seed(f"small-{w}x{h}-all-stages", w, h, notch=1, lo=0, hi=w, dc=1, temporal=1, full=1, harmonics=w,
             padding=3, frames=[noise, (EXTREMES, 1, 0, 0)])
        seed(f"small-{w}x{h}-display", w, h, display=1, harmonics=w, frames=[noise])
    seed("small-10x10-height-changes", 10, 10, dc=1, temporal=1, full=1, harmonics=10,
         frames=[noise, (STRIPES, 2, 12, 0), (NOISE, 3, 2, 0), (BRIGHT, 4, 10, 0)])
    seed("odd-7x5-all-stages", 7, 5, notch=1, lo=1, hi=4, dc=1, full=1, harmonics=7, padding=1,
         frames=[noise, (STRIPES | 8, 0x0002_0030, 0, 0)])
    # Past the fixed stores: N above 512, widths above 512 and 1024, heights
    # above 1026.
    seed("wide-600x40-harmonics-600", 600, 40, full=1, harmonics=600, frames=[noise])
    seed("wide-513x600-display", 513, 600, display=1, harmonics=12, frames=[stripes])
    seed("wide-513x600-display-513", 513, 600, display=1, harmonics=513, frames=[stripes])
    seed("wide-1100x8-display-1100", 1100, 8, display=1, harmonics=1100, frames=[noise])
    seed("wide-1030x6-full-notch", 1030, 6, notch=1, lo=500, hi=530, full=1, harmonics=1030, frames=[noise])
    seed("tall-64x1100-full-temporal", 64, 1100, dc=1, temporal=1, full=1, harmonics=20,
         frames=[noise, (STRIPES, 9, 1030, 0)])
    seed("tall-16x1200-notch-display", 16, 1200, notch=1, lo=0, hi=16, harmonics=16, frames=[noise])
    seed("widest-2048x2-every-harmonic", 2048, 2, notch=1, lo=0, hi=2048, full=1, harmonics=2048,
         frames=[noise])
    # Settings the dialog admits or a record can hold.
    seed("min-above-max", 720, 16, notch=1, lo=100, hi=3, full=1, harmonics=10, frames=[stripes])
    seed("extreme-numbers", 64, 8, notch=1, lo=INT_MIN, hi=INT_MAX, full=1, harmonics=INT_MIN, dc=1,
         frames=[noise])
    seed("extreme-numbers-max", 64, 8, notch=1, lo=INT_MAX - 1, hi=INT_MAX, full=1, harmonics=INT_MAX,
         display=0, frames=[noise])
    seed("negative-harmonics", 32, 8, notch=1, lo=-40, hi=-3, full=1, harmonics=-7, frames=[noise])
    seed("flags-not-one", 32, 8, display=2, notch=255, lo=2, hi=5, dc=7, temporal=9, full=128, harmonics=8,
         frames=[noise])
    seed("dialog-texts", 64, 6, route=ROUTE_DIALOG, notch=1, full=1, dc=1, texts={
        1001: b"  +00000000000000000000064xyz",
        1007: b"-",
        1008: b"99999999999999999999",
        1009: b"\t-2147483649",
        1010: b"1e999",
        1011: b"9" * 200,
    }, frames=[noise])
    seed("dialog-then-record", 64, 6, route=ROUTE_DIALOG_RECORD, notch=1, lo=-1, hi=65, full=1,
         harmonics=65, enter=True, frames=[noise])
    seed("dialog-cancel", 64, 6, route=ROUTE_CANCEL, full=1, harmonics=32, frames=[noise])
    seed("two-runs-new-width", 720, 8, route=ROUTE_DIALOG, reconfigure=True, dc=1, temporal=1, full=1,
         notch=1, lo=2, hi=6, harmonics=720, frames=[noise, (STRIPES, 5, 0, 16), (NOISE, 6, 9, 0)])
    seed("double-start", 32, 8, double_start=True, notch=1, lo=1, hi=9, full=1, harmonics=32,
         frames=[noise, (NOISE, 2, 0, 0)])
    seed("tile-pattern", 24, 5, notch=1, lo=1, hi=3, full=1, harmonics=12, padding=7,
         frames=[(TILE | 8, 0, 0, 0)], tile=bytes(range(0, 256, 3)))
    # Alternating extremes whose seed is the largest int: the parity of row,
    # column and seed once overflowed in the target's own arithmetic.
    seed("extremes-largest-seed", 5, 3, full=1, harmonics=5, frames=[(EXTREMES, 0x7FFFFFFF, 0, 0)])
    for level in range(5):
        seed(f"level-{level}-all-stages", 66, 9, level=level, notch=1, lo=0, hi=33, dc=1, temporal=1, full=1,
             harmonics=66, padding=1, frames=[noise, (STRIPES | 8, 0x0004_0050, 0, 0)])


# ---------------------------------------------------------------- zelt_tone

def tone_seed(corpus, name, w, h, level=4, reconfigure=False, cancel=False, enter=False, double_start=False,
              auto=True, count=4, lo=2.0, hi=0.0, flicker=0, tones=(), texts=None, padding=0, frames=None,
              tile=b""):
    mode = level % 5 | (8 if reconfigure else 0) | (0x10 if cancel else 0) | (0x20 if enter else 0) \
        | (0x40 if double_start else 0)
    texts = texts or {}
    mask = 0
    for k in range(5):
        if k in texts:
            mask |= 1 << k
    out = bytes([mode, 1 if auto else 0, mask])
    out += struct.pack("<iddiB", count, lo, hi, flicker, len(tones))
    out += b"".join(struct.pack("<d", t) for t in tones)
    out += struct.pack("<HHB", size(w), size(h), padding)
    frames = frames or [(STRIPES | 8, 0x0025_8014, 0, 0)]
    out += bytes([len(frames) - 1])
    for kind, s, new_h, new_w in frames:
        out += struct.pack("<BIHH", kind, s, size(new_h) if new_h else 0, size(new_w) if new_w else 0)
    for k in range(5):
        if k in texts:
            out += bytes([len(texts[k])]) + texts[k]
    out += tile
    with open(os.path.join(corpus, name), "wb") as f:
        f.write(out)


def tone_seeds():
    corpus = fresh_corpus("corpus_tone")
    # Kind 3 is a tone drifting at (seed >> 8 & 0xffff) / 256 cycles per row.
    drift = (STRIPES | 8, 0x0025_8014, 0, 0)
    noise = (NOISE | 8, 0xBEEF, 0, 0)
    tone_seed(corpus, "pal-720x576-auto", 720, 576, frames=[drift])
    tone_seed(corpus, "pal-720x576-auto-three-frames-flicker", 720, 96, flicker=60,
              frames=[drift, (STRIPES, 0x0025_9020, 0, 0), (STRIPES | 8, 0x0026_0010, 0, 0)])
    tone_seed(corpus, "typed-tones", 320, 48, auto=False, tones=(37.25, 0.5, 159.9, 1e6, -3.0, 12.0),
              frames=[drift, noise])
    tone_seed(corpus, "eight-tones-range", 256, 32, count=8, lo=0.0, hi=1e6, padding=3, frames=[drift, noise])
    tone_seed(corpus, "wide-2048x4", 2048, 4, count=8, frames=[noise])
    tone_seed(corpus, "tall-16x1200", 16, 1200, frames=[drift])
    for w, h in [(1, 1), (2, 2), (3, 5), (8, 8)]:
        tone_seed(corpus, f"small-{w}x{h}", w, h, count=8, lo=0.0, flicker=100, padding=1,
                  frames=[noise, (EXTREMES, 1, 0, 0)])
    tone_seed(corpus, "dialog-texts", 64, 16, texts={
        0: b"  +0000000000009xyz",
        1: b"-1e999",
        2: b"1,5",
        3: b"1;2 3,,4.5e3 nan inf -0 0.0001 999999999999999999 7 8 9 10",
        4: b"\t-2147483649",
    }, frames=[drift])
    tone_seed(corpus, "dialog-cancel-enter", 64, 8, cancel=True, frames=[drift])
    tone_seed(corpus, "enter-reconfigure-runs", 64, 8, enter=True, reconfigure=True, double_start=True,
              frames=[drift, (NOISE, 2, 12, 0), (STRIPES, 0x0003_4000, 0, 100), (BRIGHT, 4, 3, 0)])
    tone_seed(corpus, "tile-pattern", 24, 5, padding=7, frames=[(TILE | 8, 0, 0, 0)], tile=bytes(range(0, 256, 3)))
    for level in range(5):
        tone_seed(corpus, f"level-{level}", 130, 20, level=level, count=8, flicker=50, padding=1,
                  frames=[drift, noise])


# ---------------------------------------------------------------- options

def options_seeds():
    corpus = fresh_corpus("corpus_options")
    vectors = {
        "process-every-setting": ["--module", "zelt", "--harmonics=24", "--display-spectrum", "--notch",
                                  "--min-harmonic", "3", "--max-harmonic=9", "--main-harmonic", "4",
                                  "--curve-aggression=1.5e0", "--rejection-db", "-20", "--dc-average", "--temporal",
                                  "--full", "--codec", "ffv1", "--pix-fmt=bgr0", "--frames", "10", "--cpu=sse2",
                                  "--quiet", "--verbose", "--serial", "-y", "in.mkv", "out.mkv"],
        "process-repeated-settings": ["--harmonics", "8", "--harmonics=2147483647", "--notch", "--notch", "-n",
                                      "-n", "a", "b"],
        "process-dash-dash": ["--", "--notch", "-"],
        "analyse": ["analyse", "--json", "--frames=3", "--peaks", "12", "--cpu", "avx512", "in.mkv"],
        "analyze-setting-refused": ["analyze", "--notch", "in.mkv"],
        "sample": ["sample", "--clean", "clean.mkv", "--codec=ffv1", "--quiet", "out.mkv"],
        "compare": ["compare", "--json", "--frames", "1", "a.mkv", "b.mkv"],
        "help": ["--frames", "2", "--help"],
        "version": ["--version"],
        "bad-numbers": ["--harmonics", " 7", "--curve-aggression", "1e999", "--frames=0", "a", "b"],
        "missing-value": ["a", "b", "--module"],
    }
    for name, args in vectors.items():
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(b"\0".join(a.encode() for a in args))


# ---------------------------------------------------------------- correction

def correction_seeds():
    corpus = fresh_corpus("corpus_correction")
    # One seed per accepted pixel format (the index runs over FFmpeg's list of
    # the formats the correction accepts, some 120 of them), each with its
    # own size, tags and kind of change; the sizes are odd and even, down to
    # 1 x 1 and past a 4:1:0 block.
    sizes = [(37, 23), (1, 1), (2, 3), (9, 14), (5, 47), (16, 16), (3, 2), (47, 5)]
    for index in range(128):
        w, h = sizes[index % len(sizes)]
        space = [1, 5, 6, 2, 9, 7, 4, 0][index % 8]
        out = struct.pack("<HHHBBBBBI", index, w - 1, h - 1, space, index % 3, index % 7, (index >> 1) & 1,
                          index % 5, 0x9E3779B9 * (index + 1) & 0xFFFFFFFF)
        # The frame's first bytes, so that the fuzzer starts with room for them.
        out += bytes((index * 37 + i * 11) & 0xFF for i in range(64))
        with open(os.path.join(corpus, f"format-{index:03d}"), "wb") as f:
            f.write(out)


# ---------------------------------------------------------------- frei0r

TYPED = 11  # typed parameters of the transform modules' plugins


def frei0r_seed(corpus, name, size_index, settings=None, typed=None, again=False, frames=1):
    mask = 0
    if settings is not None:
        mask |= 1
    typed = typed or {}
    for k in typed:
        mask |= 1 << k
    out = struct.pack("<BHBB", size_index, mask, 1 if again else 0, frames - 1)
    out += b"".join(struct.pack("<I", 0x1234567 * (f + 1) & 0xFFFFFFFF) for f in range(frames))
    text = settings or b""
    out += bytes([len(text)]) + text
    out += b"".join(struct.pack("<d", typed.get(k, 0.0)) for k in range(1, TYPED + 1))
    with open(os.path.join(corpus, name), "wb") as f:
        f.write(out)


def frei0r_seeds():
    corpus = fresh_corpus("corpus_frei0r")
    # Sizes by index: 1x1, 2x3, 7x5, 16x16, 64x8, 100x12, 513x2, 720x1, 1030x1, 8x1100.
    frei0r_seed(corpus, "every-word", 5, b"notch min=3 max:9 main=4 dc temporal full harmonics=24 curve=1.5 "
                b"rejection=20", frames=3)
    frei0r_seed(corpus, "display", 4, b"display harmonics=64")
    frei0r_seed(corpus, "bad-words", 3, b"notch min= max=x harmonics=99999999999 bogus =", frames=2)
    frei0r_seed(corpus, "white-space", 2, b"\t notch\n\rfull  harmonics:7\x0b")
    frei0r_seed(corpus, "typed", 5, typed={1: 0.0, 2: 0.024, 3: 1.0, 4: 0.003, 5: 0.009, 7: 1.0, 8: 1.0, 9: 1.0,
                                           10: 0.15, 11: 0.2}, frames=3)
    frei0r_seed(corpus, "typed-extremes", 6, typed={2: float("inf"), 3: float("nan"), 4: -1e308, 5: 1e308,
                                                    9: 0.49999999999999994, 10: -0.0, 11: 5e-324}, frames=2)
    frei0r_seed(corpus, "words-then-typed", 7, b"full harmonics=720", typed={2: 0.5, 9: 1.0}, again=True,
                frames=3)
    frei0r_seed(corpus, "wide-1030", 8, b"notch min=500 max=530 full harmonics=1000 dc")
    frei0r_seed(corpus, "tall-1100", 9, b"dc temporal full harmonics=8", frames=2)
    frei0r_seed(corpus, "one-pixel", 0, b"display notch full dc temporal harmonics=1", frames=2)
    frei0r_seed(corpus, "two-by-three", 1, typed={1: 1.0, 2: 1.0})


def main():
    module_seeds()
    tone_seeds()
    options_seeds()
    correction_seeds()
    frei0r_seeds()


if __name__ == "__main__":
    main()
