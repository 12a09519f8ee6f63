"""Draws the start-up icon (huaji) as the application's PNG icons for the
desktop: packaging/share/icons/hicolor/<size>x<size>/apps/mirelo.png.

Regenerate with:   python3 tools/icons/make_app_icons.py

Pure standard library, like make_def_icon.py: the same artwork from
draw_icons.py, rendered by raster.py at the sizes desktops ask for.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from draw_icons import ICONS  # noqa: E402
from make_def_icon import REPO, png_file  # noqa: E402
from raster import render  # noqa: E402

SIZES = (16, 32, 48, 64, 128, 256)
NAME = "mirelo"
TARGET = os.path.join(REPO, "packaging", "share", "icons", "hicolor")


def icon_path(root, size):
    return os.path.join(root, "%dx%d" % (size, size), "apps", NAME + ".png")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=TARGET, help="the hicolor folder to write into")
    options = parser.parse_args()
    draw = {name: picture for name, _number, picture in ICONS}["huaji"]
    for size in SIZES:
        path = icon_path(options.output, size)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(png_file(render(draw(48.0 / size), size)))


if __name__ == "__main__":
    main()
