"""Packs the release folder into one zip a Chinese Windows opens as it is.

Each entry's name is stored in code page 936, as Windows' own zip folder
(and every tool that reads names in the system's code page) reads a name
without the UTF-8 flag, and again in UTF-8 in an Info-ZIP Unicode Path
field (0x7075), which 7-Zip, WinRAR and Info-ZIP's unzip prefer.

Usage: make_zip.py ZIP-FILE FOLDER NAME...   (NAME: a file of FOLDER, in order)
"""
import os
import struct
import sys
import time
import zipfile
import zlib


class Cp936Name(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("gbk"), self.flag_bits & ~0x800


def unicode_path_field(name):
    raw = name.encode("gbk")
    utf8 = name.encode("utf-8")
    body = struct.pack("<BI", 1, zlib.crc32(raw)) + utf8
    return struct.pack("<HH", 0x7075, len(body)) + body


def main(zip_path, folder, names):
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name in names:
            path = f"{folder}/{name}"
            with open(path, "rb") as source:
                data = source.read()
            entry = Cp936Name(name, date_time=time.localtime(os.path.getmtime(path))[:6])
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            if any(ord(c) > 127 for c in name):
                entry.extra = unicode_path_field(name)
            archive.writestr(entry, data)


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
