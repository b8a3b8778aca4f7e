#!/usr/bin/env python3
"""Writes the seed corpora of the log, journal and freelist fuzz targets:
write-ahead logs over several checkpoints (with stale frames behind a
restart), journals in PERSIST mode and cut short, databases whose bulk
deletes left freelist trunk and leaf pages, and damaged copies of each.

The corpus folders also keep the inputs that fuzzing found (named by their
hash), merged into them with libFuzzer's -merge=1."""
import os
import shutil
import sqlite3
import sys
import tempfile

SMS = ("CREATE TABLE sms (_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, person INTEGER, "
       "date INTEGER, type INTEGER, body TEXT, seen INTEGER DEFAULT 0)")


def insert(db, first, count, text="Nachricht"):
    for i in range(first, first + count):
        db.execute("INSERT INTO sms VALUES (?, ?, ?, NULL, ?, 1, ?, 1)",
                   (i, i % 4, "+49301234%d" % i, 1409529600000 + i, "%s %d über den See" % (text, i)))


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def damaged(data, step, value):
    b = bytearray(data)
    for i in range(40, len(b), step):
        b[i] = value
    return bytes(b)


def main(root):
    work = tempfile.mkdtemp()
    try:
        # Logs: a checkpoint, a restart, inserts and deletes left in the log.
        path = os.path.join(work, "wal.db")
        db = sqlite3.connect(path, isolation_level=None)
        db.execute("PRAGMA page_size=1024")
        db.execute("PRAGMA journal_mode=WAL")
        db.execute("PRAGMA wal_autocheckpoint=0")
        db.execute(SMS)
        insert(db, 1, 30)
        db.execute("PRAGMA wal_checkpoint(PASSIVE)")
        insert(db, 31, 6, "Im Log")
        db.execute("DELETE FROM sms WHERE _id % 5 = 0")
        wal = read(path + "-wal")
        db.close()
        out = os.path.join(root, "wal_reader")
        write(out, "seed-log", wal)
        write(out, "seed-log-cut", wal[:len(wal) * 2 // 3])
        write(out, "seed-log-damaged", damaged(wal, 97, 0x5A))
        write(out, "seed-header-only", wal[:32])

        # Journals: PERSIST (header zeroed) and a transaction cut short.
        path = os.path.join(work, "journal.db")
        db = sqlite3.connect(path, isolation_level=None)
        db.execute("PRAGMA page_size=1024")
        db.execute("PRAGMA journal_mode=PERSIST")
        db.execute(SMS)
        insert(db, 1, 40)
        db.execute("DELETE FROM sms WHERE _id % 4 = 0")
        journal = read(path + "-journal")
        db.execute("BEGIN")
        db.execute("DELETE FROM sms WHERE _id < 20")
        db.execute("PRAGMA cache_spill=1")
        hot = read(path + "-journal")
        db.execute("ROLLBACK")
        db.close()
        out = os.path.join(root, "journal_reader")
        write(out, "seed-persist", journal)
        write(out, "seed-hot", hot)
        write(out, "seed-two-segments", hot + journal)
        write(out, "seed-damaged", damaged(journal, 131, 0xFF))

        # Freelists: a bulk delete on 512-byte pages, trunk and leaves.
        path = os.path.join(work, "free.db")
        db = sqlite3.connect(path, isolation_level=None)
        db.execute("PRAGMA page_size=512")
        db.execute("PRAGMA auto_vacuum=NONE")
        db.execute(SMS)
        insert(db, 1, 80)
        db.execute("DELETE FROM sms WHERE _id < 60")
        free = read(path)
        db.close()
        out = os.path.join(root, "freelist_walk")
        write(out, "seed-bulk-delete", free)
        b = bytearray(free)
        first = int.from_bytes(b[32:36], "big")
        if first:
            # The first trunk points back at itself.
            at = (first - 1) * 512
            b[at:at + 4] = first.to_bytes(4, "big")
        write(out, "seed-trunk-loop", bytes(b))
        write(out, "seed-damaged", damaged(free, 61, 0x0D))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus"))
