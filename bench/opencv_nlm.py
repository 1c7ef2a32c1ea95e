"""OpenCV's temporal non-local means as a peer of the quality benchmarks.

Every plane of a 4:2:0 y4m clip is denoised by cv2.fastNlMeansDenoisingMulti
over a window of 5 pictures (template 7x7): luma with h, each chroma
plane with h_chroma. (On the tuning pan at sigma 3, the two chroma planes
as one two-channel picture did no better, and the colour function, through
BGR and Lab, lost 2 dB in every plane at its best h and hColor.) A picture within
two of the clip's ends takes the nearest window that fits in the clip, the
picture itself set in its middle (the filter weighs the window's pictures
alike, whatever their order). python3-opencv comes from Debian: when it is
missing, load_cv2 installs it (as root), and when that fails it says why and
the benchmarks carry on without this peer.

Run as a script, it prints the grid over which the settings of bench/quality
were chosen: a pan over skimage's motorcycle photo (a picture that no
benchmark clip shows), white noise of each sigma, PSNR-all per setting.

  PATH=/usr/bin:$PATH python3 bench/opencv_nlm.py [--sigmas "3 5"] [--searches "21 35"]
      [--results DIR] [--threads N]
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import kinds_clips as K  # noqa: E402

WINDOW = 5
TEMPLATE = 7
_cv2 = []


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def _apt_install(packages):
    return subprocess.run(["apt-get", "install", "-y", "--no-install-recommends"] + packages,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def _same_version_pins(apt_output):
    """Pins for the libraries that apt would not install because a copy of
    another architecture is installed at a different version (multi-arch
    copies must match, and an archive's updates may lag for one of them)."""
    pins = []
    for name in re.findall(r"Depends: (\S+) .*but it is not going to be installed", apt_output):
        r = subprocess.run(["dpkg-query", "-W", "-f", "${Version}\n", name + ":*"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        versions = set(r.stdout.split())
        if len(versions) == 1:
            pins.append("{}={}".format(name, versions.pop()))
    return pins


def load_cv2():
    """The cv2 module, installed from Debian's python3-opencv when missing;
    None when it cannot be had (the reason is logged)."""
    if _cv2:
        return _cv2[0]
    try:
        import cv2
    except ImportError:
        cv2 = None
        if os.geteuid() != 0:
            log("opencv_nlm: python3-opencv is missing (apt-get install python3-opencv as root)")
        else:
            log("opencv_nlm: installing python3-opencv")
            r = _apt_install(["python3-opencv"])
            if r.returncode != 0:
                subprocess.run(["apt-get", "update"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
                r = _apt_install(["python3-opencv"])
            if r.returncode != 0 and _same_version_pins(r.stdout):
                r = _apt_install(["python3-opencv"] + _same_version_pins(r.stdout))
            if r.returncode != 0:
                log("opencv_nlm: python3-opencv could not be installed:\n" + r.stdout[-1500:])
            try:
                import cv2
            except ImportError:
                log("opencv_nlm: cv2 is still not importable by {} (Debian's python3-opencv "
                    "is for /usr/bin/python3)".format(sys.executable))
    _cv2.append(cv2)
    return cv2


def window(n, i, size=WINDOW):
    """Indices of the pictures that denoise picture i of n, i in the middle."""
    size = min(size, n if n % 2 else n - 1)
    start = min(max(i - size // 2, 0), n - size)
    order = [j for j in range(start, start + size) if j != i]
    return order[:size // 2] + [i] + order[size // 2:]


def denoise(src, dst, settings, threads=2, frames=0):
    """Writes to dst the clip src (4:2:0 y4m) denoised with settings (a dict
    of h, h_chroma and search, the search window's side); frames > 0 takes
    only the first frames pictures."""
    cv2 = load_cv2()
    cv2.setNumThreads(threads)
    header, clip = K.read_y4m(src)
    if frames:
        clip = clip[:frames]
    out = []
    for i in range(len(clip)):
        order = window(len(clip), i)
        out.append([cv2.fastNlMeansDenoisingMulti(
            [clip[j][p] for j in order], len(order) // 2, len(order), h=h,
            templateWindowSize=TEMPLATE, searchWindowSize=settings["search"])
            for p, h in enumerate((settings["h"], settings["h_chroma"], settings["h_chroma"]))])
    K.write_y4m(dst, out, header)


def plane_mse(a, b):
    """Per plane mean squared errors of two clips (lists of frames)."""
    import numpy as np
    return [float(np.mean([((x[p].astype(np.float64) - y[p]) ** 2).mean()
                           for x, y in zip(a, b)])) for p in range(3)]


def tune():
    """Grid over h and h_chroma for each sigma on the tuning pan. Luma and
    chroma are denoised apart, so each is chosen by its own planes' error.
    (A first grid from sigma/2 to 2.5 sigma, search 21, lost steadily beyond
    1.25 sigma.)"""
    import argparse
    import math
    from skimage import data
    ap = argparse.ArgumentParser()
    ap.add_argument("--sigmas", default="3 5")
    ap.add_argument("--searches", default="21 35")
    ap.add_argument("--results", default=os.path.join(os.path.dirname(HERE), "build",
                                                       "opencv_nlm_tune"))
    ap.add_argument("--threads", type=int, default=2)
    a = ap.parse_args()
    if load_cv2() is None:
        return 1
    os.makedirs(a.results, exist_ok=True)
    clean = K.pan(data.stereo_motorcycle()[0], 2, 1)
    for sigma in (int(s) for s in a.sigmas.split()):
        src = os.path.join(a.results, "motorcycle_s%d.y4m" % sigma)
        out = os.path.join(a.results, "out.y4m")
        K.write_y4m(src, K.add_noise(clean, sigma, 40 + sigma))
        print("\nsigma %d: PSNR of luma / chroma (dB)\n" % sigma)
        best = {}
        for search in (int(v) for v in a.searches.split()):
            for h in [sigma * f / 8 for f in (4, 5, 6, 7, 8, 9, 10, 12)]:
                denoise(src, out, {"h": h, "h_chroma": h, "search": search}, a.threads)
                mse = plane_mse(K.read_y4m(out)[1], clean)
                y, c = mse[0], (mse[1] + mse[2]) / 2
                print("search %d h %.2f: %.2f / %.2f" % (search, h, 10 * math.log10(255 ** 2 / y),
                                                         10 * math.log10(255 ** 2 / c)), flush=True)
                for key, e in (("luma", y), ("chroma", c)):
                    if key not in best or e < best[key][0]:
                        best[key] = (e, search, h)
        print("best: luma h %.2f (search %d), chroma h %.2f (search %d)" % (
            best["luma"][2], best["luma"][1], best["chroma"][2], best["chroma"][1]))
    return 0


if __name__ == "__main__":
    sys.exit(tune())
