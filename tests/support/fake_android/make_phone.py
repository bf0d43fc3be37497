#!/usr/bin/env python3
"""Builds a fake Android phone from a data set file (the stand-in agent's format).

    make_phone.py DATASET PHONE_DIR ROOT [--sms N]

PHONE_DIR receives phone.db and phone.json for the fake tools (fake_android.py); ROOT is
the phone's file system as the agent sees it with --root: ROOT/sdcard holds the data set's
files (sparse, at their listed sizes) in the folders Android keeps them in, and each app's
package file under ROOT/data/app is a zip archive holding its launcher icon (a PNG made
from the package name, stored as package builders store pictures), after sparse bytes
that bring it to the listed size. --sms N makes
N messages instead of the data set's, for big-phone measurements.
"""
import datetime
import hashlib
import io
import json
import os
import sqlite3
import struct
import sys
import zipfile
import zlib

SCHEMA = """
CREATE TABLE sms(_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, person INTEGER, date INTEGER,
                 date_sent INTEGER, read INTEGER, seen INTEGER, status INTEGER, type INTEGER, subject TEXT, body TEXT);
CREATE TABLE contacts(_id INTEGER PRIMARY KEY, display_name TEXT);
CREATE TABLE raw_contacts(_id INTEGER PRIMARY KEY, contact_id INTEGER, account_type TEXT, account_name TEXT,
                          deleted INTEGER DEFAULT 0);
CREATE TABLE data(_id INTEGER PRIMARY KEY, raw_contact_id INTEGER, contact_id INTEGER, mimetype TEXT, data1 TEXT,
                  data2 INTEGER, data3 TEXT, display_name TEXT, is_primary INTEGER DEFAULT 0);
CREATE TABLE audio(_id INTEGER PRIMARY KEY, _data TEXT, title TEXT, album TEXT, artist TEXT, duration INTEGER,
                   _size INTEGER, date_added INTEGER, date_modified INTEGER, mime_type TEXT, is_ringtone INTEGER);
CREATE TABLE images(_id INTEGER PRIMARY KEY, _data TEXT, _size INTEGER, datetaken INTEGER, date_added INTEGER,
                    date_modified INTEGER, mime_type TEXT);
CREATE TABLE video(_id INTEGER PRIMARY KEY, _data TEXT, _size INTEGER, duration INTEGER, date_added INTEGER,
                   date_modified INTEGER, mime_type TEXT);
CREATE TABLE video_thumbnails(_id INTEGER PRIMARY KEY, _data TEXT, video_id INTEGER, kind INTEGER, width INTEGER,
                              height INTEGER);
"""

# Where each listing's files live on an Android phone.
FOLDERS = {"ringtone": "/sdcard/Ringtones", "cache": None, "folder": None}


def sparse(root, path, size):
    local = root + path
    os.makedirs(os.path.dirname(local), exist_ok=True)
    with open(local, "wb") as f:
        f.truncate(int(size))


def icon_png(package, side=48):
    """A square PNG in a colour of the package's own."""
    r, g, b = hashlib.sha256(package.encode()).digest()[:3]
    rows = b"".join(b"\0" + bytes((r, g, b)) * side for _ in range(side))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def id3_with_cover(picture):
    """An ID3 2.3 tag holding one front-cover picture, then padding."""
    body = b"\x00image/png\x00\x03cover\x00" + picture
    tag = b"APIC" + struct.pack(">I", len(body)) + b"\x00\x00" + body + b"\x00" * 64
    n = len(tag)
    return b"ID3\x03\x00\x00" + bytes(((n >> 21) & 0x7f, (n >> 14) & 0x7f, (n >> 7) & 0x7f, n & 0x7f)) + tag


def package_file(root, path, size, package):
    """The app's package: sparse bytes, then a zip with its manifest and launcher icons."""
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("AndroidManifest.xml", b"\0" * 64, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("res/mipmap-hdpi-v4/ic_launcher.png", icon_png(package, 24), compress_type=zipfile.ZIP_STORED)
        z.writestr("res/mipmap-xxxhdpi-v4/ic_launcher.png", icon_png(package), compress_type=zipfile.ZIP_STORED)
    data = archive.getvalue()
    sparse(root, path, max(0, int(size) - len(data)))
    with open(root + path, "ab") as f:
        f.write(data)


def main():
    args = sys.argv[1:]
    sms_count = None
    if "--sms" in args:
        i = args.index("--sms")
        sms_count = int(args[i + 1])
        del args[i:i + 2]
    dataset, phone_dir, root = args
    os.makedirs(phone_dir, exist_ok=True)
    db_path = os.path.join(phone_dir, "phone.db")
    if os.path.exists(db_path):
        os.remove(db_path)
    db = sqlite3.connect(db_path)
    db.executescript(SCHEMA)
    device, packages, sms = {}, [], []
    with open(dataset, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n").rstrip("\r")
            if not line or line.startswith("#"):
                continue
            f_ = line.split("\t")
            kind = f_[0]
            if kind == "device":
                device[f_[1]] = f_[2]
            elif kind == "sms":
                sms.append(f_[1:8])
            elif kind == "contact":
                cid, name, number = int(f_[1]), f_[2], f_[3]
                db.execute("INSERT INTO contacts VALUES(?,?)", (cid, name))
                db.execute("INSERT INTO raw_contacts(_id, contact_id) VALUES(?,?)", (cid, cid))
                db.execute("INSERT INTO data(raw_contact_id, contact_id, mimetype, data1, display_name) VALUES(?,?,?,?,?)",
                           (cid, cid, "vnd.android.cursor.item/name", name, name))
                db.execute("INSERT INTO data(raw_contact_id, contact_id, mimetype, data1, data2, display_name)"
                           " VALUES(?,?,?,?,2,?)", (cid, cid, "vnd.android.cursor.item/phone_v2", number, name))
            elif kind == "music":
                _id, album, singer, path, seconds, size, ring = f_[1:8]
                db.execute("INSERT INTO audio(_id,_data,title,album,artist,duration,_size,date_added,is_ringtone)"
                           " VALUES(?,?,?,?,?,?,?,?,?)", (int(_id), path, os.path.basename(path), album, singer,
                                                          int(seconds) * 1000, int(size), 1700000000, int(ring)))
                sparse(root, path, size)
                if int(_id) == 500:  # one tagged song with a cover, at its listed size
                    with open(root + path, "r+b") as f:
                        f.write(id3_with_cover(icon_png(path, 64)))
            elif kind == "picture":
                _id, path, taken, size = f_[1:5]
                db.execute("INSERT INTO images(_id,_data,_size,datetaken,date_added) VALUES(?,?,?,?,?)",
                           (int(_id), path, int(size), int(taken) * 1000, int(taken)))
                sparse(root, path, size)
            elif kind == "video":
                _id, path, size = f_[1:4]
                db.execute("INSERT INTO video(_id,_data,_size,date_added) VALUES(?,?,?,?)", (int(_id), path, int(size), 1700000000))
                sparse(root, path, size)
                # The media store's thumbnail of every other video (a phone keeps one once a
                # gallery has shown the video).
                if int(_id) % 2 == 0:
                    thumb = "/sdcard/DCIM/.thumbnails/video-%s.png" % _id
                    os.makedirs(os.path.dirname(root + thumb), exist_ok=True)
                    with open(root + thumb, "wb") as f:
                        f.write(icon_png(path, 64))
                    db.execute("INSERT INTO video_thumbnails(_data,video_id,kind,width,height) VALUES(?,?,1,64,64)",
                               (thumb, int(_id)))
            elif kind == "app":
                size, location, name, package, version, code, installed = f_[1:8]
                stamp = datetime.datetime.utcfromtimestamp(int(installed)).strftime("%Y-%m-%d %H:%M:%S")
                path = "/data/app/~~Ab%d==/%s-Cd==/base.apk" % (len(packages), package)
                packages.append({"name": package, "path": path, "versionCode": int(code), "versionName": version,
                                 "uid": 10100 + len(packages), "firstInstallTime": stamp, "label": name})
                package_file(root, path, size, package)
            elif kind == "file":
                listing, path, _type, size = f_[1], f_[2], f_[3], f_[4]
                if listing == "folder":
                    os.makedirs(root + path, exist_ok=True)
                elif listing == "ringtone":
                    sparse(root, "/sdcard/Ringtones/" + os.path.basename(path), size)
                else:
                    sparse(root, path, size)
    if sms_count is not None:
        sms = [[str(i), str(i % 25 + 1), "+86 138 0000 %04d" % (i % 25), str(1764000000000 + i * 60000),
                str(1 + i % 2), "1", "message %d, with a comma and\na second line" % i] for i in range(1, sms_count + 1)]
    for _id, thread, number, date, typ, read, body in sms:
        db.execute("INSERT INTO sms(_id,thread_id,address,date,type,read,body) VALUES(?,?,?,?,?,?,?)",
                   (int(_id), int(thread), number, int(date), int(typ), int(read), body))
    db.commit()
    gib = 1 << 30
    phone = {
        "props": {
            "ro.product.model": device.get("model", "Fake"),
            "ro.product.brand": device.get("maker", "Fake"),
            "ro.product.manufacturer": device.get("maker", "Fake"),
            "ro.build.version.release": "14",
            "ro.build.version.sdk": "34",
            "ro.product.cpu.abi": "x86_64",
            "ro.serialno": device.get("serial", "FAKE0001"),
        },
        "battery": {"AC powered": "false", "USB powered": "true", "Wireless powered": "false", "Max charging current": 500000,
                    "status": 2, "health": 2, "present": "true", "level": int(device.get("battery", "50")), "scale": 100,
                    "voltage": 4123, "temperature": 285, "technology": "Li-ion"},
        "storage": {"/data": [4096, 64 * gib // 4096, 20 * gib // 4096], "/sdcard": [4096, 64 * gib // 4096, 20 * gib // 4096]},
        "packages": packages,
        "settings": {"system": {}},
        "delay_ms": 0,
        "sms_writes": False,
        "package_style": "android10",
    }
    os.makedirs(root + "/data/local/tmp", exist_ok=True)
    with open(os.path.join(phone_dir, "phone.json"), "w", encoding="utf-8") as f:
        json.dump(phone, f, ensure_ascii=False, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
