#!/usr/bin/python3 -S
# Debian's own interpreter, without the site folder: the agent starts a tool for every call,
# and a version manager's wrapper in front of python3 would cost more than the tool itself.
"""A fake of Android's shell commands, for the phone-side agent's tests on a PC.

Installed as `content`, `cmd`, `pm`, `dumpsys`, `getprop`, `am` and `stat` (links to this
file; the name it is called by picks the tool). They print what the real tools print, in
the formats and with the quirks the agent must survive: values never escaped, NULL
printed as NULL, "No result found." for no rows, errors on standard error with exit 0,
SMS writes silently ignored (the shell user's default), package lists unordered with
comma-joined uids in the Android 16 style, a "Hidden system packages" block after
"Packages:".

The phone lives in $FAKE_ANDROID_DIR: phone.db (SQLite: sms, raw_contacts, contacts, data,
audio, images, video), phone.json (properties, battery, packages, settings, switches) and
am.log (intents started). make_phone.py builds one from a data set. Switches in
phone.json: "delay_ms" (each call of content takes this long, as a VM start does),
"sms_writes" (true: SMS changes are applied), "package_style" ("android10" or
"android16"), "no_sms_app" (am start finds no activity), "hang" (a list of tool names
that never answer).
"""
import fcntl
import json
import os
import random
import re
import sqlite3
import sys
import time

DIR = os.environ.get("FAKE_ANDROID_DIR", ".")
DB = os.path.join(DIR, "phone.db")
CONF = os.path.join(DIR, "phone.json")

# URI -> (table, implicit condition)
TABLES = {
    "content://sms": ("sms", "type IN (1,2)"),
    "content://sms/inbox": ("sms", "type=1"),
    "content://sms/sent": ("sms", "type=2"),
    "content://com.android.contacts/data": ("data", ""),
    "content://com.android.contacts/data/phones": ("data", "mimetype='vnd.android.cursor.item/phone_v2'"),
    "content://com.android.contacts/raw_contacts": ("raw_contacts", ""),
    "content://com.android.contacts/contacts": ("contacts", ""),
    "content://media/external/audio/media": ("audio", ""),
    "content://media/external/images/media": ("images", ""),
    "content://media/external/video/media": ("video", ""),
    "content://media/external/video/thumbnails": ("video_thumbnails", ""),
}


def conf():
    with open(CONF, encoding="utf-8") as f:
        return json.load(f)


def save_conf(c):
    tmp = CONF + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(c, f, ensure_ascii=False, indent=1)
    os.replace(tmp, CONF)


def out(text):
    sys.stdout.buffer.write(text.encode("utf-8"))


def err(text):
    sys.stderr.buffer.write(text.encode("utf-8"))


def provider_error(authority, exception):
    err("Error while accessing provider:%s\n%s\n\tat com.android.commands.content.Content$Command.execute(Content.java)\n"
        % (authority, exception))
    sys.exit(0)  # content never sets an exit status


def split_uri(uri):
    """Table, implicit condition and a row id for content://.../ID."""
    if uri in TABLES:
        return TABLES[uri] + (None,)
    base, _, tail = uri.rpartition("/")
    if tail.isdigit() and base in TABLES:
        return TABLES[base] + (int(tail),)
    return None, None, None


def format_value(v):
    if v is None:
        return "NULL"
    if isinstance(v, float):
        return repr(v)
    return str(v)


def parse_binds(args, sdk):
    binds = {}
    i = 0
    while i < len(args):
        if args[i] == "--bind" and i + 1 < len(args):
            spec = args[i + 1]
            if sdk >= 30:
                parts = re.split(r"(?<!\\):", spec, maxsplit=2)
                parts = [p.replace("\\:", ":") for p in parts]
            else:
                parts = spec.split(":", 2)
            if len(parts) != 3:
                out("usage: ...\n[ERROR] Invalid binding arg: %s\n" % spec)
                sys.exit(0)
            col, kind, val = parts
            if kind in "il":
                val = int(val)
            elif kind in "fd":
                val = float(val)
            elif kind == "n":
                val = None
            binds[col] = val
            i += 2
        else:
            i += 1
    return binds


def option(args, name):
    for i, a in enumerate(args[:-1]):
        if a == name:
            return args[i + 1]
    return None


def content(args):
    c = conf()
    time.sleep(c.get("delay_ms", 0) / 1000.0)
    if not args:
        out("usage: adb shell content [subcommand] [options]\n[ERROR] No command\n")
        return 0
    verb, rest = args[0], args[1:]
    uri = option(rest, "--uri")
    if uri is None:
        out("usage: ...\n[ERROR] Content provider URI not specified. Did you specify --uri argument?\n")
        return 0
    table, implicit, row_id = split_uri(uri)
    authority = uri.split("/")[2] if uri.count("/") >= 2 else uri
    if table is None:
        provider_error(authority, "java.lang.IllegalArgumentException: Unknown URI " + uri)
    db = sqlite3.connect(DB, timeout=30)
    conditions = [x for x in (implicit, "_id=%d" % row_id if row_id is not None else "") if x]
    where = option(rest, "--where")
    if where:
        if table == "sms" and re.search(r"\bselect\b", where, re.I):
            out("No result found.\n")  # the restricted view refuses sub-queries with nothing
            return 0
        conditions.append("(" + where + ")")
    condition = " WHERE " + " AND ".join(conditions) if conditions else ""
    sdk = int(c["props"].get("ro.build.version.sdk", "34"))
    try:
        if verb == "query":
            projection = option(rest, "--projection")
            cols = [p.strip() for p in re.split(r"\s*:\s*", projection)] if projection else ["*"]
            if table in ("data", "contacts", "raw_contacts", "audio", "images", "video"):
                for col in cols:  # strict providers take column names only
                    if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", col):
                        provider_error(authority, "java.lang.IllegalArgumentException: Invalid column " + col)
            sort = option(rest, "--sort")
            sql = "SELECT %s FROM %s%s%s" % (",".join(cols), table, condition,
                                            " ORDER BY " + sort if sort else (" ORDER BY date DESC" if table == "sms" else ""))
            cur = db.execute(sql)
            names = [d[0] for d in cur.description]
            rows = cur.fetchall()
            if not rows:
                out("No result found.\n")
            for i, row in enumerate(rows):
                out("Row: %d %s\n" % (i, ", ".join("%s=%s" % (n, format_value(v)) for n, v in zip(names, row))))
            return 0
        if table == "sms" and not c.get("sms_writes"):
            return 0  # the WRITE_SMS app-op is "ignore" for the shell user: nothing happens
        binds = parse_binds(rest, sdk)
        if verb == "insert":
            insert(db, table, binds)
        elif verb == "update":
            if binds:
                db.execute("UPDATE %s SET %s%s" % (table, ",".join("%s=?" % k for k in binds), condition), list(binds.values()))
        elif verb == "delete":
            delete(db, table, condition)
        else:
            out("usage: ...\n[ERROR] Unsupported operation: %s\n" % verb)
            return 0
        db.commit()
    except sqlite3.Error as e:
        provider_error(authority, "android.database.sqlite.SQLiteException: %s" % e)
    return 0


def insert(db, table, binds):
    if table == "raw_contacts":
        contact = (db.execute("SELECT COALESCE(MAX(_id),0)+1 FROM contacts").fetchone()[0])
        db.execute("INSERT INTO contacts(_id, display_name) VALUES(?, NULL)", (contact,))
        binds = dict(binds, contact_id=contact, deleted=0)
        binds.pop("starred", None)
    elif table == "data":
        raw = binds.get("raw_contact_id")
        found = db.execute("SELECT contact_id FROM raw_contacts WHERE _id=?", (raw,)).fetchone()
        if not found:
            return  # the provider would throw; the agent reads again and sees nothing
        binds = dict(binds, contact_id=found[0])
        if binds.get("mimetype") == "vnd.android.cursor.item/name":
            db.execute("UPDATE contacts SET display_name=? WHERE _id=?", (binds.get("data1"), found[0]))
            db.execute("UPDATE data SET display_name=? WHERE contact_id=?", (binds.get("data1"), found[0]))
        binds["display_name"] = db.execute("SELECT display_name FROM contacts WHERE _id=?", (found[0],)).fetchone()[0]
    cols = list(binds)
    db.execute("INSERT INTO %s(%s) VALUES(%s)" % (table, ",".join(cols), ",".join("?" * len(cols))), [binds[k] for k in cols])


def delete(db, table, condition):
    if table == "contacts":
        ids = [r[0] for r in db.execute("SELECT _id FROM contacts" + condition)]
        for i in ids:
            db.execute("DELETE FROM data WHERE contact_id=?", (i,))
            db.execute("DELETE FROM raw_contacts WHERE contact_id=?", (i,))
            db.execute("DELETE FROM contacts WHERE _id=?", (i,))
        return
    db.execute("DELETE FROM %s%s" % (table, condition))


def package_list(c, args):
    style = c.get("package_style", "android10")
    lines = []
    for p in c["packages"]:
        if "-3" in args and p.get("system"):
            continue
        line = "package:"
        if "-f" in args:
            line += p["path"] + "="
        line += p["name"]
        if "--show-versioncode" in args:
            line += " versionCode:%s" % p["versionCode"]
        if "-U" in args:
            uid = str(p["uid"])
            if style == "android16":
                uid += ",%d" % (p["uid"] + 1000000)
            line += " uid:" + uid
        lines.append(line)
    if style == "android16":
        random.shuffle(lines)
    out("".join(l + "\n" for l in lines))
    return 0


def package(args):
    c = conf()
    if not args:
        out("Package manager (package) commands:\n")
        return 0
    if args[0] == "list" and args[1:2] == ["packages"]:
        return package_list(c, args[2:])
    if args[0] == "install":
        path = args[-1]
        try:
            with open(path, "rb") as f:
                head = f.read(2)
        except OSError:
            err("Exception occurred while executing 'install':\njava.lang.IllegalArgumentException: Error: Can't open file: %s\n" % path)
            return 1
        if head != b"PK":
            out("Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse %s]\n" % path)
            return 1
        name = "com.example.installed%d" % len(c["packages"])
        c["packages"].append({"name": name, "path": "/data/app/~~Zz==/%s-Yy==/base.apk" % name, "versionCode": 1,
                              "versionName": "1.0", "uid": 10500 + len(c["packages"]), "firstInstallTime": "2026-12-01 10:00:00"})
        save_conf(c)
        out("Success\n")
        return 0
    if args[0] == "path" and len(args) >= 2:
        found = [p for p in c["packages"] if p["name"] == args[1]]
        if not found:
            return 1
        out("package:%s\n" % found[0]["path"])
        return 0
    if args[0] == "uninstall":
        name = args[-1]
        kept = [p for p in c["packages"] if p["name"] != name]
        if len(kept) == len(c["packages"]):
            out("Failure [DELETE_FAILED_INTERNAL_ERROR]\n")
            return 1
        c["packages"] = kept
        save_conf(c)
        out("Success\n")
        return 0
    out("Unknown command: %s\n" % args[0])
    return 1


def settings(args):
    c = conf()
    if len(args) >= 4 and args[0] == "put":
        c.setdefault("settings", {}).setdefault(args[1], {})[args[2]] = args[3]
        save_conf(c)
        return 0
    if len(args) >= 3 and args[0] == "get":
        out("%s\n" % c.get("settings", {}).get(args[1], {}).get(args[2], "null"))
        return 0
    err("Invalid command: %s\n" % " ".join(args))
    return 1


def cmd(args):
    if not args:
        out("cmd: no service specified; use -l to list all services\n")
        return 20
    if args[0] == "package":
        return package(args[1:])
    if args[0] == "settings":
        return settings(args[1:])
    err("cmd: Can't find service: %s\n" % args[0])
    return 20


def dumpsys(args):
    c = conf()
    if args[:1] == ["battery"]:
        b = c["battery"]
        out("Current Battery Service state:\n")
        for key in ("AC powered", "USB powered", "Wireless powered", "Dock powered", "Max charging current",
                    "Max charging voltage", "Charge counter", "status", "health", "present", "level", "scale",
                    "voltage", "temperature", "technology", "Charging state", "Charging policy"):
            if key in b:
                out("  %s: %s\n" % (key, b[key]))
        return 0
    if args[:1] == ["package"] and len(args) >= 2:
        name = args[1]
        found = [p for p in c["packages"] if p["name"] == name]
        if not found:
            out("Unable to find package: %s\n" % name)
            return 0
        p = found[0]
        out("Activity Resolver Table:\n  Non-Data Actions:\n\nPackages:\n")
        out("  Package [%s] (1a2b3c):\n    userId=%d\n    versionCode=%s minSdk=24 targetSdk=34\n" % (name, p["uid"], p["versionCode"]))
        if p.get("versionName") is not None:
            out("    versionName=%s\n" % p["versionName"])
        out("    timeStamp=%s\n    lastUpdateTime=%s\n" % (p["firstInstallTime"], p["firstInstallTime"]))
        out("    User 0: ceDataInode=4242 installed=true hidden=false suspended=false stopped=false\n")
        out("      firstInstallTime=%s\n" % p["firstInstallTime"])
        if p.get("system"):
            out("\nHidden system packages:\n  Package [%s] (4d5e6f):\n    versionCode=1 minSdk=24 targetSdk=34\n"
                "    versionName=factory\n      firstInstallTime=2009-01-01 00:00:00\n" % name)
        return 0
    if args[:1] == ["notification"]:
        out("Current Notification Manager state:\n  Notification List:\n")
        return 0
    out("Can't find service: %s\n" % (args[0] if args else ""))
    return 0


def getprop(args):
    props = conf()["props"]
    if args:
        out(props.get(args[0], "") + "\n")
        return 0
    for k in sorted(props):
        out("[%s]: [%s]\n" % (k, props[k]))
    return 0


def am(args):
    c = conf()
    if args[:1] != ["start"]:
        out("usage: am [subcommand] [options]\n")
        return 0 if args[:1] == ["help"] else 1
    action, data = option(args, "-a"), option(args, "-d") or ""
    if c.get("no_sms_app"):
        err("Error: Activity not started, unable to resolve Intent { act=%s dat=%s flg=0x10000000 (has extras) }\n"
            % (action, data))
        return 1
    extras = {}
    for i, a in enumerate(args[:-2]):
        if a == "--es":
            extras[args[i + 1]] = args[i + 2]
    with open(os.path.join(DIR, "am.log"), "a", encoding="utf-8") as f:
        f.write(json.dumps({"action": action, "data": data, "extras": extras}, ensure_ascii=False) + "\n")
    masked = re.sub(r"(?<=:).*", lambda m: "x" * len(m.group(0)), data)
    out("Starting: Intent { act=%s dat=%s (has extras) }\n" % (action, masked))
    return 0


def stat(args):
    fmt = option(args, "-c")
    path = args[-1]
    if "-f" in args:
        storage = conf().get("storage", {})
        for key, (size, blocks, free) in storage.items():
            if path.rstrip("/").endswith(key):
                out(fmt.replace("%s", str(size)).replace("%b", str(blocks)).replace("%a", str(free)) + "\n")
                return 0
        try:
            v = os.statvfs(path)
        except OSError as e:
            err("stat: '%s': %s\n" % (path, e.strerror))
            return 1
        out(fmt.replace("%s", str(v.f_frsize)).replace("%b", str(v.f_blocks)).replace("%a", str(v.f_bavail)) + "\n")
        return 0
    try:
        s = os.stat(path)
    except OSError as e:
        err("stat: '%s': %s\n" % (path, e.strerror))
        return 1
    out(fmt.replace("%s", str(s.st_size)).replace("%Y", str(int(s.st_mtime))).replace("%n", path) + "\n")
    return 0


TOOLS = {"content": content, "cmd": cmd, "pm": lambda a: package(a), "dumpsys": dumpsys, "getprop": getprop,
         "am": am, "stat": stat}


def main():
    tool = os.path.basename(sys.argv[0])
    if tool not in TOOLS:
        err("fake_android: call me as one of %s\n" % ", ".join(sorted(TOOLS)))
        return 2
    if tool in conf().get("hang", []):
        while True:
            time.sleep(3600)
    return TOOLS[tool](sys.argv[1:])


if __name__ == "__main__":
    sys.exit(main())
