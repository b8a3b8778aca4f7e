#!/usr/bin/env python3
"""Writes the seed corpus of the page scanner's fuzz target: small contacts
and messages databases with Android's table layouts, live and deleted rows,
and a few damaged copies of them (a looping freeblock chain, a B-tree that
points back at its root, odd page sizes, a cut-off file).

The corpus folder also keeps the inputs that fuzzing found (the files named
by their hash), merged into it with libFuzzer's -merge=1."""
import os
import sqlite3
import sys
import tempfile

DATA_COLUMNS = ("_id INTEGER PRIMARY KEY AUTOINCREMENT, package_id INTEGER, mimetype_id INTEGER NOT NULL, "
                "raw_contact_id INTEGER NOT NULL, is_read_only INTEGER NOT NULL DEFAULT 0, "
                "is_primary INTEGER NOT NULL DEFAULT 0, is_super_primary INTEGER NOT NULL DEFAULT 0, "
                "data_version INTEGER NOT NULL DEFAULT 0, " +
                ", ".join("data%d TEXT" % i for i in range(1, 16)) + ", " +
                ", ".join("data_sync%d TEXT" % i for i in range(1, 5)))
SMS_COLUMNS = ("_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, person INTEGER, date INTEGER, "
               "date_sent INTEGER DEFAULT 0, protocol INTEGER, read INTEGER DEFAULT 0, status INTEGER DEFAULT -1, "
               "type INTEGER, reply_path_present INTEGER, subject TEXT, body TEXT, service_center TEXT, "
               "locked INTEGER DEFAULT 0, error_code INTEGER DEFAULT 0, seen INTEGER DEFAULT 0")


def build(path, page_size, contacts):
    db = sqlite3.connect(path)
    db.execute("PRAGMA page_size=%d" % page_size)
    db.execute("PRAGMA secure_delete=OFF")
    if contacts:
        db.execute("CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT, mimetype TEXT NOT NULL)")
        for name in ("name", "phone_v2", "email_v2"):
            db.execute("INSERT INTO mimetypes (mimetype) VALUES (?)", ("vnd.android.cursor.item/" + name,))
        db.execute("CREATE TABLE data (%s)" % DATA_COLUMNS)
        db.execute("INSERT INTO sqlite_sequence VALUES ('data', 300)")
        for i in range(40):
            db.execute("INSERT INTO data (mimetype_id, raw_contact_id, is_primary, data1, data2) VALUES (?,?,?,?,?)",
                       (1 + i % 3, 1 + i // 3, i % 2, "Ünïcode välue %d ✓" % i, str(i % 4)))
        db.execute("DELETE FROM data WHERE _id % 4 = 1")
    else:
        db.execute("CREATE TABLE sms (%s)" % SMS_COLUMNS)
        for i in range(40):
            db.execute("INSERT INTO sms (_id, thread_id, address, date, type, body, seen) VALUES (?,?,?,?,?,?,1)",
                       (3000 + i, 1 + i % 5, "+4915%07d" % (i % 5), 1409529600000 + i * 60000, 1 + i % 2,
                        "Nachricht Nummer %d — grüße" % i))
        db.execute("DELETE FROM sms WHERE _id % 3 = 0")
    db.commit()
    db.close()
    with open(path, "rb") as f:
        return bytearray(f.read())


def pages(image, page_size):
    for n in range(1, len(image) // page_size + 1):
        yield n, (n - 1) * page_size


def first_leaf_with_freeblock(image, page_size):
    for n, start in pages(image, page_size):
        if image[start] == 13 and (image[start + 1] or image[start + 2]):
            return start
    return None


def first_interior(image, page_size):
    for n, start in pages(image, page_size):
        if n > 1 and image[start] == 5:
            return n, start
    return None, None


def main(out):
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for contacts, name in ((True, "contacts"), (False, "messages")):
            image = build(os.path.join(tmp, name + ".db"), 512, contacts)
            variants = {"": image}
            # A freeblock chain whose first block points at itself.
            looped = bytearray(image)
            start = first_leaf_with_freeblock(looped, 512)
            if start is not None:
                first = looped[start + 1] * 256 + looped[start + 2]
                looped[start + first:start + first + 2] = first.to_bytes(2, "big")
                variants["-freeblock-loop"] = looped
            # An interior page whose right-most child is itself.
            cyclic = bytearray(image)
            n, start = first_interior(cyclic, 512)
            if start is not None:
                cyclic[start + 8:start + 12] = n.to_bytes(4, "big")
                variants["-btree-cycle"] = cyclic
            for field, label in ((0, "0"), (1, "1"), (1000, "1000")):
                odd = bytearray(image)
                odd[16:18] = field.to_bytes(2, "big")
                variants["-pagesize-" + label] = odd
            variants["-truncated"] = image[: len(image) * 2 // 3 + 100]
            for suffix, data in variants.items():
                with open(os.path.join(out, name + suffix + ".db"), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "page_scanner"))
