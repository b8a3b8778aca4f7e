#!/usr/bin/env python3
"""Reads the exports of quillbrook recover-db back with real parsers.

A sample phone is generated with make-sample-phone and recovered with every
format. Contacts.vcf is read by vobject, Messages.xml by xml.etree and the
CSV tables by the csv module; each is compared field by field with the
phone's truth.json and with the data of the HTML reports written beside
them. A copy of the phone then gets live rows with hostile texts (quotes,
markup, line ends of every kind, control characters, bytes that are not
UTF-8, emoji, formulas, empty values), and those are read back the same way.

Usage: export_readback_test.py --quillbrook PATH --make-sample-phone PATH
"""

import argparse
import csv
import datetime
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import vobject

CONTACT_PROPERTIES = {
    "nickname": "NICKNAME", "im": "IMPP", "phone": "TEL", "email": "EMAIL", "organization": "ORG",
    "sipAddress": "X-SIP", "postalAddress": "ADR", "website": "URL", "note": "NOTE", "others": "X-QUILLBROOK-OTHER",
}
# The contacts report's columns, by field.
REPORT_COLUMNS = {
    "name": 2, "phone": 3, "email": 4, "note": 5, "organization": 6, "postalAddress": 7, "im": 8, "nickname": 9,
    "website": 10, "others": 11,
}
TYPE_NAMES = {1: "Received", 2: "Sent", 3: "Draft", 4: "Outbox", 5: "Failed", 6: "Queued"}

failures = []
checks = [0]


def check(condition, what):
    checks[0] += 1
    if not condition:
        failures.append(what)
    return condition


def run(args, **kwargs):
    env = dict(os.environ, TZ="UTC")
    done = subprocess.run(args, env=env, capture_output=True, text=True, timeout=300, **kwargs)
    if done.returncode != 0:
        sys.exit("failed (%d): %s\n%s%s" % (done.returncode, " ".join(args), done.stdout, done.stderr))
    return done


def recover(quillbrook, phone, out):
    run([quillbrook, "recover-db", "--contacts", os.path.join(phone, "contacts2.db"),
         "--contacts-backup", os.path.join(phone, "bak", "contacts2.db"),
         "--messages", os.path.join(phone, "mmssms.db"),
         "--messages-backup", os.path.join(phone, "bak", "mmssms.db"), "--out", out])


# ---------------------------------------------------------------- readers

def report_rows(path):
    """The data table of an HTML report."""
    with open(path, encoding="utf-8") as f:
        page = f.read()
    start = page.index("var data = ") + len("var data = ")
    return json.JSONDecoder().raw_decode(page, start)[0]


def values(field):
    return field.split("|") if field else []


def card_fields(card):
    """A parsed card as the record fields it holds: field name to values."""
    fields = {"name": []}
    for child in card.getChildren():
        name = child.name.upper()
        if name == "FN":
            if child.value:
                fields["name"].insert(0, child.value)
        elif name == "X-QUILLBROOK-NAME":
            fields["name"].append(child.value)
        elif name == "ADR":
            check(child.value.box == "" and child.value.extended == "" and child.value.city == "",
                  "ADR holds the address only as its street: %r" % child.value)
            fields.setdefault("postalAddress", []).append(child.value.street)
        elif name == "ORG":
            check(len(child.value) == 1, "ORG of one component: %r" % child.value)
            fields.setdefault("organization", []).append(child.value[0])
        else:
            for field, prop in CONTACT_PROPERTIES.items():
                if prop == name:
                    fields.setdefault(field, []).append(child.value)
    return {k: v for k, v in fields.items() if v}


def is_deleted(card):
    marks = [c.value for c in card.getChildren() if c.name.upper() == "X-QUILLBROOK-DELETED"]
    check(marks in ([], ["YES"]), "deleted mark %r" % marks)
    return marks == ["YES"]


def read_cards(path):
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    for line in text.split("\r\n"):
        check(len(line.encode("utf-8")) <= 75, "line longer than 75 octets: %r" % line)
    check("\n" not in text.replace("\r\n", ""), "a bare line feed in the cards")
    cards = list(vobject.readComponents(text))
    for card in cards:
        check(card.version.value == "3.0", "version %r" % card.version.value)
        check(hasattr(card, "n") and hasattr(card, "fn"), "a card without N or FN")
    return cards


def read_messages(path):
    root = ET.parse(path).getroot()
    check(root.tag == "smses", "root element %r" % root.tag)
    messages = list(root)
    check(root.get("count") == str(len(messages)), "count %r for %d messages" % (root.get("count"), len(messages)))
    attributes = ["protocol", "address", "date", "type", "subject", "body", "toa", "sc_toa", "service_center",
                  "read", "status", "locked", "date_sent", "readable_date", "contact_name"]
    for m in messages:
        check(m.tag == "sms" and sorted(m.keys()) == sorted(attributes), "sms element %r" % m.attrib)
    return messages


def read_csv(path):
    with open(path, encoding="utf-8", newline="") as f:
        check(f.read(1) == "\ufeff", "%s begins with the byte order mark" % path)
        return list(csv.reader(f))


def utc_text(milliseconds):
    return datetime.datetime.fromtimestamp(milliseconds // 1000, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S")


# ---------------------------------------------------------------- the sample phone

def findable(row):
    return row["state"] in ("live", "addedAfterCheckpoint", "deletedAfterCheckpoint") or carvable(row)


def carvable(row):
    return row["intactInCurrent"] or row["intactInBackup"]


def check_contacts(truth, cards, report):
    # Cards and report rows: one to one, in order, with every value.
    rows = report[1:]
    check(len(cards) == len(rows), "%d cards for %d report rows" % (len(cards), len(rows)))
    for card, row in zip(cards, rows):
        fields = card_fields(card)
        for field, column in REPORT_COLUMNS.items():
            check(fields.get(field, []) == values(row[column]),
                  "card %s %s: %r, report %r" % (row[0], field, fields.get(field), row[column]))
        check(is_deleted(card) == (row[1] == "Yes"), "card %s deleted mark" % row[0])

    # Every raw contact a copy still holds has a card with exactly its values
    # (a group membership as its group's title); those the phone only marked
    # deleted are deleted.
    in_current = {r["rawContactId"] for r in truth["dataRows"] if r["state"] in ("live", "addedAfterCheckpoint")}
    pending = set(truth["pendingDeletes"])
    check(len(pending) == 2, "pending deletes in the sample: %r" % pending)
    expected = {}
    for r in truth["dataRows"]:
        if r["state"] in ("transient", "deletedBeforeCheckpoint") or r["data1"] is None:
            continue
        expected.setdefault(r["rawContactId"], {}).setdefault(r["field"], set()).add(r.get("shown", r["data1"]))
    parsed = [({k: set(v) for k, v in card_fields(c).items()}, is_deleted(c)) for c in cards]
    for raw, fields in expected.items():
        want = (fields, raw not in in_current or raw in pending)
        check(want in parsed, "no card holds raw contact %d as %r" % (raw, want))

    # Every value carving can find is in some card, under its property, or
    # (a value a live contact no longer holds) among the report's earlier
    # values, which cards leave out: restored onto a phone they would come
    # back as current values.
    earlier_column = report[0].index("Earlier values")
    earlier = {piece.split(": ", 1)[1] for row in rows for piece in values(row[earlier_column])}
    names = {r["rawContactId"]: r["data1"] for r in truth["dataRows"] if r["field"] == "name"}
    for r in truth["dataRows"]:
        if r["data1"] is None or not carvable(r):
            continue
        shown = r.get("shown", r["data1"])
        check(any(shown in fields.get(r["field"], ()) for fields, _ in parsed) or shown in earlier,
              "carved %s %r of %s in no card" % (r["field"], r["data1"], names.get(r["rawContactId"])))


def check_messages(truth, messages, report, table):
    # Every message the recovery can find is there once, with the date as
    # stored; nothing else is.
    got = [(m.get("address"), m.get("body"), int(m.get("date")), int(m.get("type"))) for m in messages]
    known = {(r["address"], r["body"], r["date"], r["type"]) for r in truth["smsRows"]}
    for r in truth["smsRows"]:
        if findable(r):
            key = (r["address"], r["body"], r["date"], r["type"])
            check(got.count(key) == 1, "sms %d %r found %d times" % (r["id"], r["body"], got.count(key)))
    for key in got:
        check(key in known, "sms never on the phone: %r" % (key,))
    for m in messages:
        check(m.get("readable_date") == utc_text(int(m.get("date"))), "readable date of %r" % m.attrib)
        check((m.get("protocol"), m.get("subject"), m.get("read"), m.get("status"), m.get("locked")) ==
              ("0", "null", "1", "-1", "0"), "fixed attributes of %r" % m.attrib)

    # The report's messages, in its order, with the names of their
    # conversations; the CSV table row by row.
    expected_xml, expected_csv = [], []
    conversation = None
    for row in report[1:]:
        if row[0]:
            conversation = row
            continue
        name = conversation[2].split("|")[0] or "(Unknown)"
        expected_xml.append((row[7], row[5], row[6], name))
        expected_csv.append(conversation[:4] + [row[5], row[6], row[7]])
    seen = [(m.get("body"), m.get("readable_date"), "Received" if m.get("type") == "1" else "Sent",
             m.get("contact_name")) for m in messages]
    check(seen == expected_xml, "messages differ from the report")
    check(table[0] == ["Conversation", "Conversation Deleted", "Name", "Phone Number", "Date Time", "Type", "Deleted",
                       "Text"], "messages table header %r" % table[0])
    check(len(table) - 1 == len(expected_csv), "%d table rows for %d messages" % (len(table) - 1, len(expected_csv)))
    deleted_of = {}
    for r in truth["smsRows"]:
        live = r["state"] in ("live", "addedAfterCheckpoint")
        deleted_of[(r["address"], r["body"], utc_text(r["date"]))] = None if live and carvable(r) else not live
    for row, want in zip(table[1:], expected_csv):
        kind = row[5] if row[5] in ("Received",) else "Sent"
        check(row[:5] + [kind, row[7]] == want, "table row %r, report %r" % (row, want))
        check(row[5] in TYPE_NAMES.values(), "type %r" % row[5])
        flag = deleted_of.get((row[3], row[7], row[4]))
        if flag is not None:
            check(row[6] == ("Yes" if flag else "No"), "deleted mark of %r" % row)


def check_contacts_table(table, report):
    # The report's fields, then the SIP address the report leaves out; where
    # each value was found stays in the report.
    check(table[0] == report[0][:12] + ["SIP Address"], "contacts table header %r" % table[0])
    check([row[:12] for row in table[1:]] == [row[:12] for row in report[1:]], "contacts table differs from the report")


def check_sample(args, work):
    phone = os.path.join(work, "phone")
    run([args.make_sample_phone, "--out", phone])
    out = os.path.join(work, "out")
    recover(args.quillbrook, phone, out)
    with open(os.path.join(phone, "truth.json"), encoding="utf-8") as f:
        truth = json.load(f)
    contacts_report = report_rows(os.path.join(out, "Contacts.html"))
    messages_report = report_rows(os.path.join(out, "Messages.html"))
    check_contacts(truth, read_cards(os.path.join(out, "Contacts.vcf")), contacts_report)
    check_contacts_table(read_csv(os.path.join(out, "Contacts.csv")), contacts_report)
    check_messages(truth, read_messages(os.path.join(out, "Messages.xml")), messages_report,
                   read_csv(os.path.join(out, "Messages.csv")))
    return phone


# ---------------------------------------------------------------- hostile texts

HOSTILE_RAW_ID = 900001
HOSTILE_CONTACT = {
    "name": "Zoë \"Q\" O'Brien; Jr., \\ the 2nd 🎉",
    "phone_v2": "+33 6 12 34 56 78",
    "email_v2": "a,b;c@example.com",
    "note": "line one\nline two\r\nline three & <tag> </script> \x01 end\rlast",
    "organization": "A;B,C\\D & Co",
    "postal-address_v2": "1 rue de l'Église\n75011 Paris",
    "nickname": "=SUM(A1:A9)",
    "website": "http://example.com/a,b;c?x=1&y=<2>",
    "im": "",
}
LONG_NOTE = "Grüße aus München 🍺, " * 12
HOSTILE_BODIES = [
    "Tom & Jerry <3 \"quoted\" 'single' >\nsecond line\r\nthird\ttab 😀",
    "",
    "\x01\x02 bell\x07 and a lone CR\r.",
    b"bad \xff\xfe bytes \xc0\xaf",
    "@SUM(1+1)*cmd|' /C calc'!A0",
    "+",
]


def cleaned(text):
    """What every export makes of a record text."""
    if isinstance(text, bytes):
        text = text.decode("utf-8", errors="replace")
    return "".join("\ufffd" if ord(c) < 0x20 and c not in "\t\n\r" else c for c in text)


def vcard_text(text):
    return cleaned(text).replace("\r\n", "\n").replace("\r", "\n")


def csv_text(text):
    text = cleaned(text)
    if text[:1] in ("=", "@") or (text[:1] in ("+", "-") and not (
            len(text) > 1 and all(c.isdigit() or c in " -.,()/|+" for c in text[1:]))):
        return "'" + text
    return text


def add_hostile_rows(phone):
    db = sqlite3.connect(os.path.join(phone, "contacts2.db"))
    ids = dict((name, i) for i, name in db.execute("SELECT _id, mimetype FROM mimetypes"))
    for kind, value in list(HOSTILE_CONTACT.items()) + [("note", LONG_NOTE)]:
        db.execute("INSERT INTO data (mimetype_id, raw_contact_id, data1) VALUES (?, ?, ?)",
                   (ids["vnd.android.cursor.item/" + kind], HOSTILE_RAW_ID, value))
    db.commit()
    db.close()
    db = sqlite3.connect(os.path.join(phone, "mmssms.db"))
    for n, body in enumerate(HOSTILE_BODIES):
        db.execute("INSERT INTO sms (thread_id, address, date, type, body) VALUES (?, ?, ?, ?, ?)",
                   (9001, "+33 6 12 34 56 78", 1700000000000 + n * 61001, 1 + n % 2, body))
    db.commit()
    db.close()


def check_hostile(args, work, sample):
    phone = os.path.join(work, "hostile")
    shutil.copytree(sample, phone)
    add_hostile_rows(phone)
    out = os.path.join(work, "hostile-out")
    recover(args.quillbrook, phone, out)

    cards = [c for c in read_cards(os.path.join(out, "Contacts.vcf"))
             if card_fields(c).get("name") == [vcard_text(HOSTILE_CONTACT["name"])]]
    if check(len(cards) == 1, "the hostile contact: %d cards" % len(cards)):
        fields = card_fields(cards[0])
        kinds = {"phone_v2": "phone", "email_v2": "email", "postal-address_v2": "postalAddress"}
        for kind, value in HOSTILE_CONTACT.items():
            field = kinds.get(kind, kind)
            want = [vcard_text(value)] if value else []
            if field == "note":
                want.append(vcard_text(LONG_NOTE))
            check(fields.get(field, []) == want, "hostile %s: %r, wanted %r" % (field, fields.get(field), want))
        check(not is_deleted(cards[0]), "the hostile contact is live")

    rows = [r for r in read_csv(os.path.join(out, "Contacts.csv")) if r[2] == csv_text(HOSTILE_CONTACT["name"])]
    if check(len(rows) == 1, "the hostile contact: %d table rows" % len(rows)):
        row = rows[0]
        check(row[3] == csv_text(HOSTILE_CONTACT["phone_v2"]) and row[4] == HOSTILE_CONTACT["email_v2"] and
              row[5] == cleaned(HOSTILE_CONTACT["note"]) + "|" + cleaned(LONG_NOTE) and
              row[6] == HOSTILE_CONTACT["organization"] and row[9] == csv_text(HOSTILE_CONTACT["nickname"]),
              "hostile contact row %r" % row)

    messages = [m for m in read_messages(os.path.join(out, "Messages.xml"))
                if m.get("address") == HOSTILE_CONTACT["phone_v2"]]
    check([m.get("body") for m in messages] == [cleaned(b) for b in HOSTILE_BODIES],
          "hostile bodies: %r" % [m.get("body") for m in messages])
    check(all(m.get("contact_name") == vcard_text(HOSTILE_CONTACT["name"]) for m in messages),
          "hostile conversation named after its contact")
    table = [r for r in read_csv(os.path.join(out, "Messages.csv")) if r[3] == HOSTILE_CONTACT["phone_v2"]]
    check([r[7] for r in table] == [csv_text(b) for b in HOSTILE_BODIES], "hostile table bodies: %r" % table)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillbrook", required=True)
    parser.add_argument("--make-sample-phone", required=True)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="qb-export-readback-")
    try:
        sample = check_sample(args, work)
        check_hostile(args, work, sample)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures[:60]:
        print("FAIL:", failure)
    if failures:
        print("%d checks failed" % len(failures))
        return 1
    print("exports read back: all %d checks passed" % checks[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
