"""The BMPs that -f writes, as image software that nobody here wrote reads
them: Pillow, ImageMagick, ffmpeg, netpbm and libvips, as Debian ships them.
Over one table of drawings, each reader must show every pixel opaque and the
colours of the canvas, upside down: the file stores the top row first under a
positive height, which readers take as the bottom row. The canvas is the one
that blitview-inspect --png paints with the same code as -f.
  readers_test.py SOURCE_DIR BLITVIEW BLITVIEW_INSPECT MAKE_TEST_DRAWINGS
A reader that is missing or cannot start is left out and the run ends with 77
(a skip) and the reason, unless another reader failed. Run by a Python that
has Pillow, which also reads the canvas's PNG."""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

source_dir, blitview, inspect, make_drawings = sys.argv[1:5]

# The sample, every palette colour, a run set, strips that paint their ones
# and their zeros, a blank canvas, and sides that are odd, narrow or short.
DRAWINGS = ["sample", "palette", "runs_example", "raster_scale_1", "raster_ink_on_zeros",
            "raster_high_byte_polarity", "header_only_2000x1000", "odd_width_1001x1024",
            "one_column_64x65535", "raster_4097", "tall_1000x1500", "odd_36927x34583"]


def run(command, **options):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True, **options).stdout


def as_rgba(data, bands):
    """Pixels of 1, 3 or 4 bytes each as 4 bytes, the missing alpha opaque."""
    if bands == 4:
        return data
    out = bytearray(len(data) // bands * 4)
    for band in range(3):
        out[band::4] = data[0::bands] if bands == 1 else data[band::bands]
    out[3::4] = b"\xff" * (len(data) // bands)
    return bytes(out)


def read_pillow(path, work):
    with Image.open(path) as picture:
        return picture.size, picture.convert("RGBA").tobytes()


def read_imagemagick(path, work):
    size = run(["/usr/bin/convert", path, "-format", "%w %h", "info:"]).split()
    return (int(size[0]), int(size[1])), run(["/usr/bin/convert", path, "-depth", "8", "rgba:-"])


def read_ffmpeg(path, work):
    size = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height",
                "-of", "csv=p=0", path]).decode().strip().split(",")
    data = run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-"])
    return (int(size[0]), int(size[1])), data


def read_netpbm(path, work):
    """bmptopnm's PPM (P6) or PAM (P7) with its header's fields."""
    data = run(["bmptopnm", path])
    fields, rest = {}, data
    if data.startswith(b"P7\n"):
        header, rest = data.split(b"ENDHDR\n", 1)
        fields = dict(line.split(b" ", 1) for line in header.split(b"\n")[1:] if b" " in line)
        width, height, bands = int(fields[b"WIDTH"]), int(fields[b"HEIGHT"]), int(fields[b"DEPTH"])
    else:
        magic, width, height, maximum, rest = data.split(maxsplit=4)
        if magic != b"P6" or maximum != b"255":
            raise ValueError("bmptopnm wrote %r, maximum %r" % (magic, maximum))
        width, height, bands = int(width), int(height), 3
    return (width, height), as_rgba(rest, bands)


def read_vips(path, work):
    fields = run(["vipsheader", "-a", path]).decode().splitlines()
    header = dict(line.split(": ", 1) for line in fields if ": " in line)
    raw = os.path.join(work, "vips.raw")
    run(["vips", "rawsave", path, raw])
    with open(raw, "rb") as file:
        data = file.read()
    if header["format"] != "uchar":
        raise ValueError("vips reads %s samples" % header["format"])
    return (int(header["width"]), int(header["height"])), as_rgba(data, int(header["bands"]))


# Each reader, and what shows that it can start at all.
READERS = [("Pillow", read_pillow, None),
           ("ImageMagick", read_imagemagick, ["/usr/bin/convert", "-version"]),
           ("ffmpeg", read_ffmpeg, ["ffmpeg", "-version"]),
           ("netpbm", read_netpbm, ["bmptopnm", "-version"]),
           ("libvips", read_vips, ["vips", "--version"])]


def reason_not_started(command):
    if command is None:
        return None
    try:
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        return "%s cannot start (%s; scripts/setup.sh --test installs it)" % (command[0], error)
    return None


def check(reader, bmp, canvas, work):
    """What is wrong with what the reader shows, or None."""
    try:
        (width, height), rgba = reader(bmp, work)
    except (OSError, ValueError, KeyError, IndexError, subprocess.CalledProcessError) as error:
        details = getattr(error, "stderr", b"") or b""
        return "cannot read the BMP: %s %s" % (error, details.decode(errors="replace").strip()[-300:])
    if (width, height) != canvas.size or len(rgba) != width * height * 4:
        return "reads %dx%d in %d bytes, the canvas is %dx%d" % (width, height, len(rgba), *canvas.size)
    stride = width * 4
    shown = b"".join(rgba[y * stride:(y + 1) * stride] for y in range(height - 1, -1, -1))
    problems = []
    alpha = shown[3::4]
    if alpha.count(255) != width * height:
        problems.append("%d of %d pixels not opaque, %d fully transparent" %
                        (width * height - alpha.count(255), width * height, alpha.count(0)))
    expected = canvas.tobytes()
    if any(shown[band::4] != expected[band::3] for band in range(3)):
        wrong = [i for i in range(width * height) if shown[4 * i:4 * i + 3] != expected[3 * i:3 * i + 3]]
        first = wrong[0]
        problems.append("%d pixels of other colours, the first at x %d y %d: %s, the canvas %s" %
                        (len(wrong), first % width, first // width, shown[4 * first:4 * first + 3].hex(),
                         expected[3 * first:3 * first + 3].hex()))
    return "; ".join(problems) or None


def main():
    skipped = []
    readers = []
    for name, reader, probe in READERS:
        reason = reason_not_started(probe)
        if reason:
            skipped.append("%s: %s" % (name, reason))
        else:
            readers.append((name, reader))
    passed = failed = 0
    with tempfile.TemporaryDirectory() as work:
        os.environ["XDG_RUNTIME_DIR"] = os.path.join(work, "runtime")
        os.mkdir(os.environ["XDG_RUNTIME_DIR"], 0o700)
        os.environ.pop("DISPLAY", None)
        run([make_drawings, work])
        shutil.copy(os.path.join(source_dir, "examples", "sample.drw"), work)
        for drawing in DRAWINGS:
            path = os.path.join(work, drawing + ".drw")
            png = os.path.join(work, drawing + ".png")
            run([inspect, "--png", png, path])
            subprocess.run([blitview, "-f", path], check=True)
            with Image.open(png) as picture:
                canvas = picture.convert("RGB")
            for name, reader in readers:
                problem = check(reader, path, canvas, work)
                if problem:
                    failed += 1
                    print("%s, %s: %s" % (drawing, name, problem))
                else:
                    passed += 1
    for line in skipped:
        print("SKIP %s" % line)
    print("%d passed, %d failed" % (passed, failed))
    if failed:
        return 1
    return 77 if skipped else 0


sys.exit(main())
