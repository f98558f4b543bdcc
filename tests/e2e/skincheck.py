#!/usr/bin/python3
"""Reads what a screenshot of the updater's window shows, against the skin's own bitmaps.

  skincheck.py pixel SHOT X Y                 the pixel's colour as RRGGBB
  skincheck.py start SHOT OX OY SKINDIR       which start button image is shown
  skincheck.py bar SHOT OX OY SKINDIR COLUMN  "fill" or "trough" at a column of the bar

SHOT is a screenshot of the whole screen; OX, OY the screen position of the window's client
area. The start button and the bar are told apart by comparing the shown pixels with the
bitmaps the window paints them from (magenta pixels of a button image are see-through and
are left out).
"""
import sys

from PIL import Image

START_AT = (680, 476)
START_SIZE = (120, 123)
START_IMAGES = ["start_unavailable", "start", "start_hover", "start_retry", "start_retry_hover"]
BAR_AT = (232, 479)
BAR_ROWS = range(2, 12)  # inside both bar images (the fill is 14 rows high)
KEY = (255, 0, 255)
TOLERANCE = 8  # per channel


def rgb(image, x, y):
    return image.getpixel((x, y))[:3]


def close(a, b):
    return all(abs(p - q) <= TOLERANCE for p, q in zip(a, b))


def mismatch(shot, ox, oy, image):
    """The share of the image's visible pixels that the screenshot does not show."""
    seen = wrong = 0
    for y in range(START_SIZE[1]):
        for x in range(START_SIZE[0]):
            want = rgb(image, x, y)
            if want == KEY:
                continue
            seen += 1
            if not close(want, rgb(shot, ox + START_AT[0] + x, oy + START_AT[1] + y)):
                wrong += 1
    return wrong / seen if seen else 1.0


def load(skindir, name):
    return Image.open(f"{skindir}/{name}.bmp").convert("RGB")


def main(argv):
    command, shot = argv[1], Image.open(argv[2]).convert("RGB")
    if command == "pixel":
        print("%02X%02X%02X" % rgb(shot, int(argv[3]), int(argv[4])))
        return 0
    ox, oy, skindir = int(argv[3]), int(argv[4]), argv[5]
    if command == "start":
        scores = sorted((mismatch(shot, ox, oy, load(skindir, name)), name) for name in START_IMAGES)
        best, name = scores[0]
        # An image counts as shown when nearly all its pixels are there.
        print(name if best < 0.05 else "none (closest %s, %.0f%% off)" % (name, best * 100))
        return 0
    if command == "bar":
        column = int(argv[6])
        fill, back = load(skindir, "bar_fill"), load(skindir, "bar_back")
        shown = [rgb(shot, ox + BAR_AT[0] + column, oy + BAR_AT[1] + row) for row in BAR_ROWS]
        is_fill = all(close(s, rgb(fill, column, row)) for s, row in zip(shown, BAR_ROWS))
        is_back = all(close(s, rgb(back, column, row)) for s, row in zip(shown, BAR_ROWS))
        print("unclear" if is_fill == is_back else "fill" if is_fill else "trough")
        return 0
    print("skincheck: unknown command " + command, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
