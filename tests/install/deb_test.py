"""CPack makes the Debian package: named and versioned as the tool, holding the install tree, and
depending on every package whose library the binary links plus the ones it loads without a link.

Usage: deb_test.py CPACK CPACK_CONFIG OUTDIR   (the package stays in OUTDIR for the next test)
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CPACK, CONFIG, OUT = sys.argv[1:4]

# Loaded at run time, so no library link names them.
RUNTIME_PACKAGES = ("libqt6webenginecore6-bin", "qt6-qpa-plugins", "fonts-wqy-microhei")
FILES = ["usr/bin/pelorin", "usr/share/applications/pelorin.desktop",
         *(f"usr/share/icons/hicolor/{n}x{n}/apps/pelorin.png" for n in (128, 64, 48, 32, 16))]


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(OUT, ignore_errors=True)
        os.makedirs(OUT)
        r = subprocess.run([CPACK, "-G", "DEB", "--config", CONFIG, "-B", OUT],
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise AssertionError(f"cpack failed:\n{r.stdout}{r.stderr}")
        debs = glob.glob(os.path.join(OUT, "*.deb"))
        if len(debs) != 1:
            raise AssertionError(f"expected one .deb in {OUT}, found {debs}")
        cls.deb = debs[0]
        cls.tree = tempfile.mkdtemp(prefix="pelorin-deb-")
        run("dpkg-deb", "-x", cls.deb, cls.tree)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tree, ignore_errors=True)

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).strip()

    def depends(self):
        """The package names of Depends; an alternative counts for each of its names."""
        return {re.split(r"[\s(]", alt.strip())[0]
                for dep in self.field("Depends").split(",") for alt in dep.split("|")}

    def test_name_version_and_architecture(self):
        arch = run("dpkg", "--print-architecture").strip()
        self.assertEqual(os.path.basename(self.deb), f"pelorin_1.3_{arch}.deb")
        for name, value in [("Package", "pelorin"), ("Version", "1.3"), ("Architecture", arch)]:
            with self.subTest(field=name):
                self.assertEqual(self.field(name), value)
        self.assertTrue(self.field("Maintainer"))
        self.assertTrue(self.field("Description"))

    def test_holds_the_install_tree_under_usr_and_nothing_else(self):
        listed = {line.split()[-1].removeprefix("./")
                  for line in run("dpkg-deb", "-c", self.deb).splitlines()
                  if not line.startswith("d")}
        self.assertEqual(listed, set(FILES))
        self.assertTrue(os.access(os.path.join(self.tree, "usr/bin/pelorin"), os.X_OK))

    def test_binary_is_stripped(self):
        sections = run("readelf", "-S", "-W", os.path.join(self.tree, "usr/bin/pelorin"))
        self.assertNotIn(".debug_info", sections)
        self.assertNotIn(".symtab", sections)

    def test_depends_on_the_package_of_every_linked_library(self):
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]",
                            run("readelf", "-d", os.path.join(self.tree, "usr/bin/pelorin")))
        self.assertTrue(any(lib.startswith("libQt6WebEngine") for lib in needed), needed)
        depends = self.depends()
        for lib in needed:
            with self.subTest(library=lib):
                owners = run("dpkg", "-S", f"*/{lib}").splitlines()
                packages = {o.split(":")[0] for o in owners if not o.startswith("diversion")}
                self.assertTrue(packages & depends, f"{lib} comes from {packages}; "
                                                    f"Depends: {self.field('Depends')}")
        self.assertIn(">=", self.field("Depends"), "shlibdeps gives minimum versions")

    def test_depends_on_what_is_loaded_without_a_link(self):
        depends = self.depends()
        for package in RUNTIME_PACKAGES:
            with self.subTest(package=package):
                self.assertIn(package, depends)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
