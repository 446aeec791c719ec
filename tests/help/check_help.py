"""Checks the compiled help file with the CHM tools of libchm-bin.

Usage: check_help.py HvaneHelp.chm
"""
import html.parser
import os
import posixpath
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

CHM = None
SYSTEM_CONTENTS, SYSTEM_INDEX, SYSTEM_DEFAULT_TOPIC, SYSTEM_TITLE = 0, 1, 2, 3


def tool(name):
    path = shutil.which(name) or os.path.join("/usr/bin", name)
    if not os.path.exists(path):
        raise AssertionError(f"{name} not found: install the Debian package libchm-bin")
    return path


class Links(html.parser.HTMLParser):
    """Collects hrefs, anchor names and sitemap 'Local' parameters of one page."""

    def __init__(self, text):
        super().__init__()
        self.hrefs, self.anchors, self.locals = [], set(), []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "a" and "href" in attrs:
            self.hrefs.append(attrs["href"])
        if tag == "a" and "name" in attrs:
            self.anchors.add(attrs["name"])
        if "id" in attrs:
            self.anchors.add(attrs["id"])
        if tag == "link" and "href" in attrs:
            self.hrefs.append(attrs["href"])
        if tag == "param" and attrs.get("name", "").lower() == "local":
            self.locals.append(attrs.get("value", ""))


class CompiledHelp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        listing = subprocess.run([tool("enum_chmLib"), CHM], stdout=subprocess.PIPE, text=True, check=True)
        cls.names = {line.split("\t")[-1].strip() for line in listing.stdout.splitlines() if "\t" in line}
        subprocess.run([tool("extract_chmLib"), CHM, cls.folder],
                       stdout=subprocess.DEVNULL, check=True)
        cls.system = cls.read_system()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    @classmethod
    def read_system(cls):
        with open(os.path.join(cls.folder, "#SYSTEM"), "rb") as f:
            data = f.read()
        entries, at = {}, 4                      # after the version number
        while at + 4 <= len(data):
            code, length = struct.unpack("<HH", data[at:at + 4])
            entries[code] = data[at + 4:at + 4 + length]
            at += 4 + length
        return {code: value.split(b"\0")[0].decode("latin-1") for code, value in entries.items()}

    def read(self, name):
        with open(os.path.join(self.folder, name), encoding="latin-1") as f:
            return f.read()

    def pages(self):
        return sorted(n[1:] for n in self.names if n.endswith(".html"))

    def contents_pages(self):
        return [local for local in Links(self.read(self.system[SYSTEM_CONTENTS])).locals]

    def assert_target_exists(self, page, href):
        target, _, anchor = href.partition("#")
        target = posixpath.normpath(posixpath.join(posixpath.dirname(page), target)) if target else page
        self.assertIn("/" + target, self.names, f"{page} refers to {href}")
        if anchor:
            self.assertIn(anchor, Links(self.read(target)).anchors, f"{page} refers to {href}")

    def test_title_is_horavane_help(self):
        self.assertEqual(self.system.get(SYSTEM_TITLE), "Horavane Help")

    def test_contents_index_and_default_topic_are_in_the_file(self):
        for code in (SYSTEM_CONTENTS, SYSTEM_INDEX, SYSTEM_DEFAULT_TOPIC):
            with self.subTest(entry=code):
                self.assertIn("/" + self.system[code], self.names)

    def test_every_contents_page_is_in_the_file(self):
        pages = self.contents_pages()
        self.assertGreaterEqual(len(pages), 5)
        for local in pages:
            with self.subTest(page=local):
                self.assertIn("/" + local.partition("#")[0], self.names)
                self.assertGreater(os.path.getsize(os.path.join(self.folder, local.partition("#")[0])), 500)

    def test_every_page_can_be_reached_from_the_contents(self):
        listed = {local.partition("#")[0] for local in self.contents_pages()}
        self.assertEqual(set(self.pages()) - listed, set())

    def test_index_entries_lead_to_existing_pages_and_anchors(self):
        index = self.system[SYSTEM_INDEX]
        entries = Links(self.read(index)).locals
        self.assertGreater(len(entries), 10)
        for local in entries:
            with self.subTest(entry=local):
                self.assert_target_exists(index, local)

    def test_links_between_pages_resolve(self):
        for page in self.pages():
            for href in Links(self.read(page)).hrefs:
                if href.startswith(("http:", "https:", "mailto:")):
                    continue
                with self.subTest(page=page, href=href):
                    self.assert_target_exists(page, href)


if __name__ == "__main__":
    CHM = sys.argv[1]
    unittest.main(argv=sys.argv[:1], verbosity=2)
