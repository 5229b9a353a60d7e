"""`cmake --install` gives a desktop what it looks for: the program on bin/, a valid desktop entry
that names it, and the theme icons with the program icon's own pixels; the installed program's
window carries the class the entry names and the icon in every size.

Usage: install_tree_test.py CMAKE BUILD_DIR OUTDIR ICON.ico   (on an X desktop)
"""
import configparser
import os
import re
import shutil
import subprocess
import sys
import unittest

import desktop

CMAKE, BUILD, OUT, ICO = sys.argv[1:5]
PREFIX = os.path.join(OUT, "prefix")
SIZES = (128, 64, 48, 32, 16)


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def rgba(image):
    """The pixels of an image as 8-bit RGBA bytes, decoded by ImageMagick."""
    return subprocess.run(["convert", image, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout


def ico_images():
    """{size: ImageMagick's index of that image in the icon file}."""
    sizes = run("identify", "-format", "%w %h\n", ICO).split("\n")
    return {int(w): i for i, (w, h) in enumerate(s.split() for s in sizes if s) if w == h}


class InstallTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(OUT, ignore_errors=True)
        r = subprocess.run([CMAKE, "--install", BUILD, "--prefix", PREFIX],
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise AssertionError(f"cmake --install failed:\n{r.stdout}{r.stderr}")
        cls.entry_path = os.path.join(PREFIX, "share/applications/pelorin.desktop")
        parser = configparser.RawConfigParser(strict=True)
        parser.optionxform = str  # keys are case-sensitive
        parser.read(cls.entry_path, encoding="utf-8")
        cls.entry = parser["Desktop Entry"]

    def test_installs_exactly_the_files_a_desktop_reads(self):
        found = {os.path.relpath(os.path.join(d, f), PREFIX)
                 for d, _, files in os.walk(PREFIX) for f in files}
        expected = {"bin/pelorin", "share/applications/pelorin.desktop",
                    *(f"share/icons/hicolor/{n}x{n}/apps/pelorin.png" for n in SIZES)}
        self.assertEqual(found, expected)
        self.assertTrue(os.access(os.path.join(PREFIX, "bin/pelorin"), os.X_OK))

    def test_desktop_entry_is_valid(self):
        r = subprocess.run(["desktop-file-validate", self.entry_path], capture_output=True,
                           text=True)
        self.assertEqual((r.returncode, r.stdout + r.stderr), (0, ""))

    def test_desktop_entry_names_the_installed_program(self):
        cases = [
            ("Type", "Application"),
            ("Name", "Pelorin"),
            ("Exec", "pelorin"),
            ("Icon", "pelorin"),
            ("Terminal", "false"),
            ("Categories", "Network;WebBrowser;"),
            ("StartupWMClass", "pelorin"),
        ]
        for key, value in cases:
            with self.subTest(key=key):
                self.assertEqual(self.entry.get(key), value)
        # The Chinese name is the one the window's title shows, and each name has its comment.
        zh = self.entry.get("Name[zh_CN]")
        self.assertTrue(zh and zh in desktop.TITLE and not zh.isascii(), zh)
        self.assertTrue(self.entry.get("Comment"))
        self.assertFalse(self.entry.get("Comment[zh_CN]", "").isascii())
        # Exec names the binary the tree installs, and Icon the theme icons it installs.
        self.assertTrue(os.path.exists(os.path.join(PREFIX, "bin", self.entry["Exec"].split()[0])))
        for n in SIZES:
            self.assertTrue(os.path.exists(os.path.join(
                PREFIX, f"share/icons/hicolor/{n}x{n}/apps/{self.entry['Icon']}.png")))

    def test_theme_icons_have_the_program_icon_pixels(self):
        images = ico_images()
        for n in SIZES:
            with self.subTest(size=n):
                png = os.path.join(PREFIX, f"share/icons/hicolor/{n}x{n}/apps/pelorin.png")
                self.assertEqual(run("identify", "-format", "%m %wx%h", png), f"PNG {n}x{n}")
                self.assertIn(n, images, f"the icon file has no {n}x{n} image")
                self.assertEqual(rgba(png), rgba(f"{ICO}[{images[n]}]"))

    def test_window_carries_the_entry_class_and_the_icon(self):
        with desktop.Tool(os.path.join(PREFIX, "bin/pelorin")) as tool:
            wid = str(tool.window())
            wm_class = run("xprop", "-id", wid, "WM_CLASS")
            self.assertIn(f'= "pelorin", "{self.entry["StartupWMClass"]}"', wm_class)
            # _NET_WM_ICON: width, height, then width*height ARGB cardinals, for each image.
            raw = run("xprop", "-id", wid, "-notype", "-f", "_NET_WM_ICON", "32c", "_NET_WM_ICON")
            values = [int(v) for v in re.findall(r"\d+", raw.partition("=")[2])]
            icons = {}
            while len(values) >= 2:
                w, h = values[0], values[1]
                icons[(w, h)] = values[2:2 + w * h]
                values = values[2 + w * h:]
            self.assertEqual(set(icons), {(n, n) for n in SIZES})
            # The 16-pixel image is the icon file's: same alpha everywhere, same colour where
            # opaque (a premultiplied round trip may shift partly transparent colours).
            ico16 = rgba(f"{ICO}[{ico_images()[16]}]")
            for i, argb in enumerate(icons[(16, 16)]):
                r, g, b, a = ico16[4 * i:4 * i + 4]
                self.assertEqual(argb >> 24, a, f"alpha of pixel {i}")
                if a == 255:
                    self.assertEqual(argb & 0xFFFFFF, (r << 16) | (g << 8) | b, f"pixel {i}")
            desktop.run("wmctrl", "-i", "-c", wid)
            self.assertEqual(tool.wait_exit(30), 0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
