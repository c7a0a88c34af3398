#!/usr/bin/env python3
"""Packs a skin folder into the skin archive (ZIP), reproducibly.

Entries are the folder's files with "/" separators, sorted by name, deflated,
all dated 1980-01-01 00:00:00 with fixed attributes, so the same folder always
gives the same bytes. README files are not packed.

    make_skin_zip.py <skin folder> <archive>
"""
import os
import sys
import zipfile


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    root, out = sys.argv[1], sys.argv[2]
    names = []
    for folder, _, files in os.walk(root):
        for name in files:
            if name.lower().startswith("readme"):
                continue
            path = os.path.join(folder, name)
            names.append(os.path.relpath(path, root).replace(os.sep, "/"))
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w") as archive:
        for name in sorted(names):
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 0
            with open(os.path.join(root, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(tmp, out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
