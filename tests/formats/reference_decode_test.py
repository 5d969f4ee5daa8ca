#!/usr/bin/python3
"""The wallpaper conversion of PNG and WebP files against decoders outside
the program, pixel for pixel.

    reference_decode_test.py WORKDIR CONVERTER [ARG...]

CONVERTER (with its ARGs, e.g. the Wine runner and jpeg-to-wallpaper.exe)
is run once as `CONVERTER... IN OUT.bmp IN OUT.bmp...` for the whole table. The test makes its corpus itself: PNGs
of every colour type and bit depth, plain and interlaced, with and without
transparency, written by the small encoder below; WebPs by cwebp and
img2webp from such PNGs. The references are pngtopnm (and pngtopnm -alpha),
dwebp -pam and, for an animation's first frame, PIL. Transparent parts are
laid over black, the background the converter has here.
"""
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image

WORK = sys.argv[1]
CONVERTER = sys.argv[2:]
WINDOWS = any(a.endswith(".exe") for a in CONVERTER)
W, H = 37, 23  # odd sizes: row padding, and every Adam7 pass partly filled


def path_for_converter(path):
    # Wine sees the Unix root as drive Z:.
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


# --- A PNG encoder of our own --------------------------------------------------

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def sample(x, y, c, depth):
    """A deterministic sample of the given depth for pixel (x, y), channel c."""
    top = (1 << depth) - 1
    v = (x * 7 + y * 13 + c * 29 + (x * y) % 11) * 2654435761
    return (v >> 7) % (top + 1)


def pack_row(values, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in values)
    if depth == 8:
        return bytes(values)
    out, acc, bits = bytearray(), 0, 0
    for v in values:
        acc = (acc << depth) | v
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def make_png(path, colour_type, depth, interlaced, trns=None, palette_size=None):
    """Writes a W x H PNG; its samples come from sample()."""
    channels = CHANNELS[colour_type]
    pixel = {}
    for y in range(H):
        for x in range(W):
            if colour_type == 3:
                pixel[x, y] = [sample(x, y, 0, depth) % palette_size]
            else:
                pixel[x, y] = [sample(x, y, c, depth) for c in range(channels)]
            if colour_type in (4, 6) and (x + y) % 5 == 0:
                pixel[x, y][-1] = 0  # some wholly transparent pixels too
    if trns is not None and colour_type == 2 and depth == 16:
        # The transparent colour's high bytes with other low bits: only all
        # 16 bits make a pixel transparent.
        t = struct.unpack(">HHH", trns)
        pixel[9, 9] = [t[0] ^ 1, t[1], t[2]]
    raw = bytearray()
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        xs = list(range(x0, W, dx))
        if not xs:
            continue
        for y in range(y0, H, dy):
            raw.append(0)  # filter: none
            raw += pack_row([v for x in xs for v in pixel[x, y]], depth)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, colour_type, 0, 0, 1 if interlaced else 0))
    if colour_type == 3:
        out += chunk(b"PLTE", bytes((i * 53 + c * 97) % 256 for i in range(palette_size) for c in range(3)))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    out += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    out += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


# --- Reading the references -----------------------------------------------------

def read_pnm(data):
    """(width, height, channels, maxval, samples) of a P5/P6/P7 file."""
    fields, pos = [], 0
    magic = data[:2]
    if magic == b"P7":
        header_end = data.index(b"ENDHDR\n") + 7
        head = dict(line.split(" ", 1) for line in data[3:header_end - 7].decode().splitlines() if " " in line)
        w, h, ch, maxval = int(head["WIDTH"]), int(head["HEIGHT"]), int(head["DEPTH"]), int(head["MAXVAL"])
        pos = header_end
    else:
        pos = 2
        want = 2 if magic == b"P4" else 3
        while len(fields) < want:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(int(data[start:pos]))
        pos += 1
        if magic == b"P4":
            # A bitmap: 1 is black, rows padded to whole bytes.
            w, h = fields
            stride = (w + 7) // 8
            bits = data[pos:pos + stride * h]
            samples = [0 if bits[y * stride + x // 8] >> (7 - x % 8) & 1 else 1
                       for y in range(h) for x in range(w)]
            return w, h, 1, 1, samples
        w, h, maxval = fields
        ch = 1 if magic == b"P5" else 3
    size = 2 if maxval > 255 else 1
    body = data[pos:pos + w * h * ch * size]
    if size == 2:
        samples = list(struct.unpack(">%dH" % (w * h * ch), body))
    else:
        samples = list(body)
    return w, h, ch, maxval, samples


def to8(v, maxval):
    # 16 bits keep their high byte; fewer than 8 are widened by repeating
    # their bits, which is v * 255 / maxval exactly.
    if maxval == 65535:
        return v >> 8
    return v * 255 // maxval


def run(*cmd):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout


def over_black(rgb, alpha):
    return [(c * alpha + 127) // 255 for c in rgb]


def png_reference(path, has_alpha, trns16=None):
    w, h, ch, maxval, s = read_pnm(run("pngtopnm", path))
    pixels = []
    for i in range(w * h):
        rgb = [to8(v, maxval) for v in (s[i * ch:i * ch + ch] if ch == 3 else [s[i]] * 3)]
        pixels.append(rgb)
    if trns16 is not None:
        # pngtopnm -alpha (Netpbm 11.1) ignores the transparent colour of a
        # 16-bit colour picture; the colour rule itself is plain: a pixel
        # whose three 16-bit samples equal it, and no other, is transparent.
        return w, h, [[0, 0, 0] if list(s[i * 3:i * 3 + 3]) == list(trns16) else p
                      for i, p in enumerate(pixels)]
    if has_alpha:
        _, _, _, amax, a = read_pnm(run("pngtopnm", "-alpha", path))
        pixels = [over_black(p, to8(a[i], amax)) for i, p in enumerate(pixels)]
    return w, h, pixels


def webp_reference(path):
    w, h, ch, maxval, s = read_pnm(run("dwebp", "-quiet", "-pam", path, "-o", "-"))
    assert ch == 4 and maxval == 255
    return w, h, [over_black(s[i * 4:i * 4 + 3], s[i * 4 + 3]) for i in range(w * h)]


def animation_reference(path):
    im = Image.open(path)
    im.seek(0)
    rgba = im.convert("RGBA")
    return rgba.width, rgba.height, [over_black(list(p[:3]), p[3]) for p in rgba.getdata()]


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"BM", "no BMP"
    w, h = struct.unpack("<ii", data[18:26])
    bits = struct.unpack("<H", data[28:30])[0]
    assert bits == 24, bits
    row = (w * 3 + 3) // 4 * 4
    assert len(data) == 54 + row * h == struct.unpack("<I", data[2:6])[0]
    pixels = []
    for y in range(h):
        line = data[54 + (h - 1 - y) * row:]
        pixels += [[line[x * 3 + 2], line[x * 3 + 1], line[x * 3]] for x in range(w)]
    return w, h, pixels


# --- The cases ----------------------------------------------------------------------

def png_cases():
    cases = []
    for interlaced in (False, True):
        tag = "-adam7" if interlaced else ""
        for depth in (1, 2, 4, 8, 16):
            cases.append(("grey%d%s" % (depth, tag), dict(colour_type=0, depth=depth), False))
            if depth <= 8:
                cases.append(("palette%d%s" % (depth, tag),
                              dict(colour_type=3, depth=depth, palette_size=min(1 << depth, 200)), False))
        for depth in (8, 16):
            cases.append(("rgb%d%s" % (depth, tag), dict(colour_type=2, depth=depth), False))
            cases.append(("grey-alpha%d%s" % (depth, tag), dict(colour_type=4, depth=depth), True))
            cases.append(("rgba%d%s" % (depth, tag), dict(colour_type=6, depth=depth), True))
        # A transparent colour instead of an alpha channel.
        cases.append(("grey8-trns%s" % tag,
                      dict(colour_type=0, depth=8, trns=struct.pack(">H", sample(3, 4, 0, 8))), True))
        cases.append(("grey2-trns%s" % tag,
                      dict(colour_type=0, depth=2, trns=struct.pack(">H", 1)), True))
        cases.append(("rgb16-trns%s" % tag,
                      dict(colour_type=2, depth=16,
                           trns=struct.pack(">HHH", *(sample(5, 6, c, 16) for c in range(3)))), True))
        cases.append(("palette8-trns%s" % tag,
                      dict(colour_type=3, depth=8, palette_size=200,
                           trns=bytes((i * 37) % 256 for i in range(150))), True))
    return cases


def main():
    os.makedirs(WORK, exist_ok=True)
    table = []  # (name, picture path, reference function)
    for name, args, has_alpha in png_cases():
        path = os.path.join(WORK, name + ".png")
        make_png(path, interlaced=name.endswith("adam7"), **args)
        trns16 = struct.unpack(">HHH", args["trns"]) if name.startswith("rgb16-trns") else None
        table.append((name, path, lambda p=path, a=has_alpha, t=trns16: png_reference(p, a, t)))

    # WebPs from two of those PNGs: one opaque, one with alpha.
    opaque = os.path.join(WORK, "rgb8.png")
    alpha = os.path.join(WORK, "rgba8.png")
    webps = [
        ("lossy", ["cwebp", "-quiet", "-q", "80", opaque]),
        ("lossless", ["cwebp", "-quiet", "-lossless", opaque]),
        ("lossy-alpha", ["cwebp", "-quiet", "-q", "80", alpha]),
        ("lossless-alpha", ["cwebp", "-quiet", "-lossless", "-exact", alpha]),
    ]
    for name, cmd in webps:
        path = os.path.join(WORK, name + ".webp")
        run(*cmd, "-o", path)
        table.append((name + ".webp", path, lambda p=path: webp_reference(p)))
    for name, frames in (("animated", [alpha, opaque]), ("animated-lossy", [opaque, alpha])):
        path = os.path.join(WORK, name + ".webp")
        lossy = ["-lossy"] if "lossy" in name else ["-lossless"]
        run("img2webp", "-loop", "0", *lossy, "-d", "100", frames[0], "-d", "100", frames[1], "-o", path)
        table.append((name + ".webp", path, lambda p=path: animation_reference(p)))

    pairs = []
    for name, path, _ in table:
        out = os.path.join(WORK, name + ".bmp")
        if os.path.exists(out):
            os.remove(out)
        pairs += [path_for_converter(path), path_for_converter(out)]
    result = subprocess.run(CONVERTER + pairs, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    failures = []
    if result.returncode != 0:
        failures.append("the converter failed: " + result.stdout.decode(errors="replace"))
    for name, path, reference in table:
        out = os.path.join(WORK, name + ".bmp")
        if not os.path.exists(out):
            failures.append("%s: not converted" % name)
            continue
        got = read_bmp(out)
        want = reference()
        if got[:2] != want[:2]:
            failures.append("%s: %dx%d, expected %dx%d" % (name, got[0], got[1], want[0], want[1]))
            continue
        diff = [i for i, (a, b) in enumerate(zip(got[2], want[2])) if a != b]
        if diff:
            i = diff[0]
            failures.append("%s: %d pixels differ; first at (%d, %d): %s, expected %s"
                            % (name, len(diff), i % W, i // W, got[2][i], want[2][i]))
    for f in failures:
        print("FAIL " + f)
    print("reference decode: %d cases, %d failed" % (len(table), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
