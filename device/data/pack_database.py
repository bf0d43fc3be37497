"""Packs the device database document into its archive: pack_database.py <xml> <archive>.
The entry is named "my.dt" and deflated; the entry time is fixed so builds are repeatable."""
import os
import sys
import zipfile

source, archive = sys.argv[1], sys.argv[2]
os.makedirs(os.path.dirname(archive), exist_ok=True)
with open(source, "rb") as f:
    data = f.read()
info = zipfile.ZipInfo("my.dt", date_time=(2020, 1, 1, 0, 0, 0))
info.compress_type = zipfile.ZIP_DEFLATED
with zipfile.ZipFile(archive + ".part", "w") as z:
    z.writestr(info, data)
os.replace(archive + ".part", archive)
