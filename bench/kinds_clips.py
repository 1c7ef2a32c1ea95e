"""Clips of the kinds that bench/quality_kinds measures, made from ffmpeg's
lavfi sources, the photos that python3-skimage ships and numpy noise.

Every clip is 4:2:0, 8-bit y4m; every random draw is seeded, so a clip is the
same on every run. Imported by bench/quality_kinds.
"""
import os
import subprocess
import sys


def _debian_modules():
    """numpy and skimage come from Debian's packages, for /usr/bin/python3;
    installed when missing and this runs as root, else a clear stop."""
    try:
        import numpy  # noqa: F401
        import skimage  # noqa: F401
        return
    except ImportError:
        pass
    packages = ["python3-numpy", "python3-skimage"]
    if os.geteuid() == 0:
        print("kinds_clips: installing " + " ".join(packages), file=sys.stderr, flush=True)
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(["apt-get", "install", "-y", "--no-install-recommends"] + packages,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    try:
        import numpy  # noqa: F401
        import skimage  # noqa: F401
    except ImportError:
        sys.exit("kinds_clips: {} cannot import numpy and skimage; they come from Debian's "
                 "{} for /usr/bin/python3 (run with PATH=/usr/bin:$PATH, as root to have them "
                 "installed)".format(sys.executable, " and ".join(packages)))


_debian_modules()
import numpy as np  # noqa: E402

W, H, FRAMES = 352, 288, 20


def read_y4m(path):
    """(header line, list of frames, each a list of three uint8 planes)."""
    with open(path, "rb") as f:
        data = f.read()
    end = data.index(b"\n")
    header = data[:end].decode()
    fields = dict((t[0], t[1:]) for t in header.split()[1:])
    w, h = int(fields["W"]), int(fields["H"])
    cw, ch = (w + 1) // 2, (h + 1) // 2
    sizes = [(h, w), (ch, cw), (ch, cw)]
    frames, at = [], end + 1
    while at < len(data):
        at = data.index(b"\n", at) + 1  # FRAME line
        planes = []
        for ph, pw in sizes:
            planes.append(np.frombuffer(data, np.uint8, ph * pw, at).reshape(ph, pw).copy())
            at += ph * pw
        frames.append(planes)
    return header, frames


def write_y4m(path, frames, header=None):
    h, w = frames[0][0].shape
    header = header or "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg" % (w, h)
    with open(path, "wb") as f:
        f.write(header.encode() + b"\n")
        for planes in frames:
            f.write(b"FRAME\n")
            for p in planes:
                f.write(np.ascontiguousarray(p, np.uint8).tobytes())


def to_planes(rgb):
    """BT.601 limited range, chroma averaged over 2x2."""
    rgb = rgb.astype(np.float64)
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    y = 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255
    u = 128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255
    v = 128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255
    half = lambda c: (c[0::2, 0::2] + c[1::2, 0::2] + c[0::2, 1::2] + c[1::2, 1::2]) / 4
    return [np.clip(np.floor(p + 0.5), 0, 255).astype(np.uint8) for p in (y, half(u), half(v))]


def photo(name):
    from skimage import data
    img = getattr(data, name)()
    if img.ndim == 2:
        img = np.stack([img] * 3, axis=-1)
    return img[..., :3]


def pan(img, dx, dy, frames=FRAMES, w=W, h=H, light=None):
    """Integer pan: the window moves (dx, dy) pixels a frame (bounced at the
    picture's ends); light(n, rgb) changes picture n's brightness."""
    out = []
    for n in range(frames):
        x, y = (dx * n) % (2 * (img.shape[1] - w)), (dy * n) % (2 * (img.shape[0] - h))
        x = x if x <= img.shape[1] - w else 2 * (img.shape[1] - w) - x
        y = y if y <= img.shape[0] - h else 2 * (img.shape[0] - h) - y
        rgb = img[y:y + h, x:x + w]
        out.append(to_planes(np.clip(light(n, rgb.astype(np.float64)), 0, 255) if light else rgb))
    return out


def shuffled(names, seed, frames=FRAMES, w=W, h=H):
    """Picture n: a crop of photo n mod len(names) at a random place."""
    rng = np.random.default_rng(seed)
    images = [photo(n) for n in names]
    out = []
    for n in range(frames):
        img = images[n % len(images)]
        x = int(rng.integers(0, img.shape[1] - w + 1))
        y = int(rng.integers(0, img.shape[0] - h + 1))
        out.append(to_planes(img[y:y + h, x:x + w]))
    return out


def lavfi(graph, path, frames=FRAMES):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", graph, "-frames:v",
                    str(frames), "-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe", path], check=True)
    return read_y4m(path)[1]


def add_noise(frames, sigma, seed, box=False):
    """Gaussian noise of deviation sigma on every sample; with box, white noise
    blurred by a 3x3 box (the blurred noise has deviation sigma)."""
    rng = np.random.default_rng(seed)
    out = []
    for planes in frames:
        noisy = []
        for p in planes:
            if box:
                raw = rng.normal(0.0, 3.0 * sigma, (p.shape[0] + 2, p.shape[1] + 2))
                c = np.cumsum(np.cumsum(np.pad(raw, ((1, 0), (1, 0))), 0), 1)
                n = (c[3:, 3:] - c[:-3, 3:] - c[3:, :-3] + c[:-3, :-3]) / 9.0
            else:
                n = rng.normal(0.0, sigma, p.shape)
            noisy.append(np.clip(np.floor(p + n + 0.5), 0, 255).astype(np.uint8))
        out.append(noisy)
    return out


def make_clean(kind, folder):
    """The clean clip of a kind: a list of frames."""
    path = os.path.join(folder, kind + ".y4m")
    if kind == "life":  # dense one-pixel graphics, white on black
        return lavfi("life=s=%dx%d:seed=7:r=25,format=rgb24" % (W, H), path)
    if kind == "life_mold":  # coloured cells with a fading trail, 2x2 cells
        frames = lavfi("life=s=%dx%d:seed=3:r=25:mold=20:life_color=#ffcc00:death_color=#103060"
                       ":mold_color=#60a0ff,scale=%d:%d:flags=neighbor" % (W // 2, H // 2, W, H),
                       path)
        return frames
    if kind == "gravel":  # textured photo, diagonal pan
        return pan(photo("gravel"), 3, 2)
    if kind == "grass":
        return pan(photo("grass"), 2, 1)
    if kind == "brick":
        return pan(photo("brick"), 1, 3)
    if kind == "astronaut":  # smooth photo with detail
        return pan(photo("astronaut"), 2, 1)
    if kind == "shuffle":  # a different photo in every picture: nothing to average over time
        return shuffled(["astronaut", "coffee", "chelsea", "rocket", "immunohistochemistry",
                         "hubble_deep_field", "camera", "coins"], 31)
    if kind == "crops":  # crops of one large photo, far apart: beyond any search
        return shuffled(["retina"], 32)
    if kind == "fade":  # a pan fading to black: 5% of the brightness left at the end
        return pan(photo("astronaut"), 3, 2, light=lambda n, rgb: rgb * (1 - 0.95 * n / 19))
    if kind == "flash":  # a pan with one picture 30 code values brighter
        return pan(photo("coffee"), 2, 1, light=lambda n, rgb: rgb + 30 if n == 10 else rgb)
    if kind == "testsrc":  # graphics with text and gradients, moving
        return lavfi("testsrc2=s=%dx%d:r=25" % (W, H), path)
    raise ValueError(kind)
