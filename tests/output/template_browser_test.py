#!/usr/bin/env python3
"""Checks the report page template in a real browser.

The pages are made the way the report writer makes them: the JSON table goes
into the first "var data = [];" and the title into the first
"<title></title>". Each page is loaded in headless Chromium; the rendered DOM
is read back with --dump-dom and compared with the data that went in. For
sorting, filtering and the print rules, a small driver script is added at the
end of the page; it clicks and types like a user and writes what it saw into
a <pre id="probe"> element of the dumped DOM.

Usage: template_browser_test.py --template output/template.html
       [--chromium chromium] [--timeout 60] [--write-pages DIR]
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
from html.parser import HTMLParser

DATA_PLACEHOLDER = "var data = [];"
TITLE_PLACEHOLDER = "<title></title>"

CONTACT_HEADER = ["ID", "Deleted", "Name", "Phone", "Email", "Note", "Organization", "Address", "IM", "Nickname",
                  "Website", "Others"]
MESSAGE_HEADER = ["ID", "Deleted", "Name", "Phone Number", "Message", "Date Time", "Type", "Text"]

HOSTILE_SCRIPT = "</script><img src=x onerror=alert(1)>"
HOSTILE_BOLD = "<b>bold</b>"
LONG_TEXT = ("Hi Zoë, the ferry to Ångström Island leaves at 07:40 from pier 3, not pier 2 as the printed timetable "
             "says. Bring the blue bag, two sandwiches and the tickets; I left them on the kitchen table next to the "
             "plant. If it rains we will take the later boat and meet at the café by the harbour instead. "
             "Call me when you land! ") * 2


def contact(id_, deleted, name, phone="", email="", note="", org="", address="", im="", nick="", web="", others=""):
    return [str(id_), "Yes" if deleted else "No", name, phone, email, note, org, address, im, nick, web, others]


CONTACT_ROWS = [
    CONTACT_HEADER,
    contact(1, False, "Zoë Ångström", "+4915112345678|+49301234567", "zoe@example.org", "Met at the\tconference\nin Uppsala",
            "Ångström Labs AB", "Lägerhyddsvägen 1, 752 37 Uppsala", "", "Zoë", "example.org/zoe"),
    contact(2, True, "Łukasz Żółć", "+48601234567", "lukasz.zolc@example.pl", "", "", "ul. Świętokrzyska 12, Warszawa"),
    contact(3, False, "王小明", "+8613800138000", "", "同事\u2028第二行", "北京某某科技有限公司"),
    contact(4, True, HOSTILE_SCRIPT, "5551234|5559876", HOSTILE_BOLD + "|<i>second</i>",
            "a & b &amp; c < d > e \"quoted\" 'single'"),
    contact(5, False, "Anna Berg", "555-0100", "anna@example.com"),
    contact(6, False, "bob", "555-0101"),
    contact(7, True, "", "", "", "", "", "", "", "", "", ""),
    contact(8, False, "Carlos Núñez", "+34 600 123 456", note=LONG_TEXT),
    contact(9, False, "Dana Ó Briain", "087 123 4567", others="birthday 1990-04-01"),
    contact(10, True, "Émile Zola", "+33 1 23 45 67 89", im="emile@im.example"),
    contact(11, False, "Fatima Al-Hassan", "+971 50 123 4567"),
    contact(12, False, "Gökhan Yılmaz", "+90 532 123 45 67", web="yilmaz.example.com.tr/a/very/long/path/segment/that/needs/wrapping"),
]

# Conversation rows, then their messages in their own order.
CONVERSATIONS = [
    (["1", "No", "Zoë Ångström", "+4915112345678"], [
        ["2023-03-01 09:15:00", "Received", "Hej! Are we still on for Saturday?"],
        ["2023-03-01 09:20:11", "Sent", LONG_TEXT],
        ["2023-05-02 18:00:00", "Received", "Tack för i lördags 😊"],
    ]),
    (["2", "Yes", "Łukasz Żółć", "+48601234567"], [
        ["2022-12-24 20:00:00", "Sent", "Wesołych Świąt!"],
        ["2023-01-01 00:00:05", "Received", "Happy New Year! 🎉"],
    ]),
    (["3", "No", "王小明", "+8613800138000"], [
        ["2023-02-14 12:00:00", "Received", "你好，明天见。"],
        ["2023-06-30 23:59:59", "Sent", "好的|没问题"],
    ]),
    (["4", "No", "Anna Berg|Anna B.", "+46701234567"], [
        ["2023-04-10 08:00:00", "Received", HOSTILE_SCRIPT],
        ["2023-04-10 08:01:00", "Sent", HOSTILE_BOLD],
        ["2023-04-11 07:30:00", "Received", "tab\there, newline\nthere, backslash \\ and \"quotes\""],
    ]),
    (["5", "Yes", "", "12345"], [
        ["2021-07-07 07:07:07", "Received", "Your code is 0420"],
    ]),
    (["6", "No", "bob", "555-0101"], [
        ["2023-01-15 10:00:00", "Sent", "ok"],
    ]),
]


def message_rows():
    rows = [MESSAGE_HEADER]
    for head, messages in CONVERSATIONS:
        rows.append(head + ["->", "-", "-", "-"])
        for date, kind, body in messages:
            rows.append(["", "", "", "", "->", date, kind, body])
    return rows


MESSAGE_ROWS = message_rows()


def splice(template, title, rows, evidence=None):
    """The page the report writer makes from the template; the evidence,
    when given, follows the data in the same script."""
    payload = json.dumps(rows, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003C")
    if evidence is not None:
        facts = json.dumps(evidence, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003C")
        payload += ";\nvar evidence = " + facts
    page = template.replace(DATA_PLACEHOLDER, "var data = " + payload + ";", 1)
    return page.replace(TITLE_PLACEHOLDER, "<title>" + title + "</title>", 1)


# ---------------------------------------------------------------------------
# A small DOM built from the dumped page.

VOID_TAGS = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}


class Element:
    def __init__(self, tag, attrs):
        self.tag = tag
        self.attrs = attrs
        self.children = []

    def classes(self):
        return set((self.attrs.get("class") or "").split())

    def text(self, skip_hidden=True):
        parts = []
        for child in self.children:
            if isinstance(child, str):
                parts.append(child)
            elif not (skip_hidden and child.attrs.get("aria-hidden") == "true"):
                parts.append(child.text(skip_hidden))
        return "".join(parts)

    def find_all(self, predicate):
        found = []
        for child in self.children:
            if isinstance(child, Element):
                if predicate(child):
                    found.append(child)
                found.extend(child.find_all(predicate))
        return found

    def find(self, predicate):
        found = self.find_all(predicate)
        return found[0] if found else None

    def by_id(self, id_):
        return self.find(lambda e: e.attrs.get("id") == id_)

    def tags(self, name):
        return self.find_all(lambda e: e.tag == name)


class TreeBuilder(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Element("#document", {})
        self.stack = [self.root]

    def handle_starttag(self, tag, attrs):
        element = Element(tag, {k: (v if v is not None else "") for k, v in attrs})
        self.stack[-1].children.append(element)
        if tag not in VOID_TAGS:
            self.stack.append(element)

    def handle_startendtag(self, tag, attrs):
        self.stack[-1].children.append(Element(tag, {k: (v if v is not None else "") for k, v in attrs}))

    def handle_endtag(self, tag):
        for depth in range(len(self.stack) - 1, 0, -1):
            if self.stack[depth].tag == tag:
                del self.stack[depth:]
                return

    def handle_data(self, data):
        self.stack[-1].children.append(data)


def parse(markup):
    builder = TreeBuilder()
    builder.feed(markup)
    builder.close()
    return builder.root


def cell_value(td):
    """The text of a table cell; values shown one per line come back "|"-joined."""
    pieces = []
    for child in td.children:
        piece = child if isinstance(child, str) else child.text(skip_hidden=True)
        if piece != "":
            pieces.append(piece)
    return "|".join(pieces)


# ---------------------------------------------------------------------------
# Running the browser.

class Browser:
    def __init__(self, executable, timeout, workdir, template):
        self.executable = executable
        self.timeout = timeout
        self.workdir = workdir
        self.template = template

    def dump(self, name, page):
        path = os.path.join(self.workdir, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(page)
        profile = tempfile.mkdtemp(prefix="profile-", dir=self.workdir)
        command = [
            self.executable, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0", "--virtual-time-budget=10000",
            "--dump-dom", "file://" + os.path.abspath(path),
        ]
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = process.communicate(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
            raise RuntimeError("%s: chromium did not finish within %d s" % (name, self.timeout))
        finally:
            shutil.rmtree(profile, ignore_errors=True)
        if process.returncode != 0:
            raise RuntimeError("%s: chromium exited with %d:\n%s" % (name, process.returncode,
                                                                    err.decode("utf-8", "replace")[-3000:]))
        console = [line for line in err.decode("utf-8", "replace").splitlines() if ":CONSOLE" in line]
        return out.decode("utf-8"), console


# ---------------------------------------------------------------------------
# Checks.

class Checks:
    def __init__(self):
        self.failures = []
        self.count = 0
        self.scope = ""

    def that(self, condition, message, *detail):
        self.count += 1
        if not condition:
            text = "[%s] %s" % (self.scope, message)
            if detail:
                text += "\n      " + "\n      ".join(repr(d) for d in detail)
            self.failures.append(text)
        return condition

    def equal(self, actual, expected, message):
        return self.that(actual == expected, message, "expected: %r" % (expected,), "actual:   %r" % (actual,))


def check_template_text(checks, template):
    checks.scope = "template file"
    checks.equal(template.count(DATA_PLACEHOLDER), 1, "holds exactly one data placeholder")
    checks.equal(template.count(TITLE_PLACEHOLDER), 1, "holds exactly one title placeholder")
    head_end = template.find("</head>")
    title_at = template.find(TITLE_PLACEHOLDER)
    data_at = template.find(DATA_PLACEHOLDER)
    checks.that(0 <= title_at < head_end, "the title placeholder is inside <head>")
    checks.that(0 <= title_at < data_at, "the title placeholder comes before the data placeholder")
    checks.that(any(line.strip() == DATA_PLACEHOLDER for line in template.splitlines()),
                "the data placeholder stands on a line of its own")
    checks.that(re.search(r"<meta\s+charset=\"?utf-8\"?", template, re.I) is not None, "declares UTF-8")
    for needle in ("http://", "https://", "src=", "@import", "url(", "<link", "//cdn"):
        checks.that(needle not in template.lower(), "refers to no outside resource (%s)" % needle)
    external_links = [h for h in re.findall(r"href\s*=\s*[\"']?([^\"'\s>]*)", template, re.I) if not h.startswith("#")]
    checks.equal(external_links, [], "links only within the page")


def check_console(checks, console):
    problems = [line for line in console if "Uncaught" in line or "Refused" in line or "Error" in line]
    checks.equal(problems, [], "the page runs without script errors or blocked loads")


def body_rows(dom):
    table = dom.by_id("report")
    tbody = table.tags("tbody")[0] if table is not None and table.tags("tbody") else None
    if tbody is None:
        return []
    return [tr for tr in tbody.tags("tr") if "data-row" in tr.attrs]


def check_static_page(checks, dom, markup, title, rows):
    """What every rendered report shows, before anyone touches it."""
    checks.equal(dom.tags("title")[0].text() if dom.tags("title") else None, title, "keeps the title")
    h1 = dom.tags("h1")
    checks.equal(h1[0].text().strip() if h1 else None, title, "shows the title as the heading")
    checks.that("Recovered with Quillbrook" in dom.text(), "names the product in the footer")
    checks.that("<img" not in markup.lower(), "no image element anywhere")

    table = dom.by_id("report")
    if not checks.that(table is not None, "has the report table"):
        return []
    header = [th.text().strip() for th in table.tags("th")]
    checks.equal(header, rows[0], "shows the header row")
    for tag in ("img", "b", "i", "script", "iframe", "a", "svg"):
        checks.equal(len(table.tags(tag)), 0, "data creates no <%s> element in the table" % tag)

    trs = body_rows(dom)
    checks.equal([int(tr.attrs["data-row"]) for tr in trs], list(range(1, len(rows))),
                 "shows every data row once, in data order")
    for tr in trs:
        index = int(tr.attrs["data-row"])
        if index >= len(rows):
            continue
        cells = [cell_value(td) for td in tr.tags("td")]
        checks.equal(cells, rows[index], "row %d shows its cells as text" % index)
    return trs


def check_deleted_marks(checks, trs, rows):
    for tr in trs:
        row = rows[int(tr.attrs["data-row"])]
        if row[0] == "":
            checks.that("is-deleted" not in tr.classes(), "a message row carries no deleted mark of its own")
            continue
        deleted = row[1] == "Yes"
        checks.equal("is-deleted" in tr.classes(), deleted, "row %s is marked deleted only when it is" % row[0])


def check_contacts(checks, browser):
    checks.scope = "contacts page"
    markup, console = browser.dump("contacts.html", splice(browser.template, "Contacts", CONTACT_ROWS))
    check_console(checks, console)
    dom = parse(markup)
    trs = check_static_page(checks, dom, markup, "Contacts", CONTACT_ROWS)
    check_deleted_marks(checks, trs, CONTACT_ROWS)
    summary = dom.by_id("report-summary")
    summary_text = " ".join(summary.text().split()) if summary is not None else ""
    checks.that("12 contacts" in summary_text and "4 deleted" in summary_text,
                "the heading counts the contacts and the deleted ones", summary_text)
    multi = [tr for tr in trs if tr.attrs.get("data-row") == "1"]
    if multi:
        phone = multi[0].tags("td")[3]
        pieces = [c if isinstance(c, str) else c.text() for c in phone.children]
        checks.equal([p for p in pieces if p], ["+4915112345678", "+49301234567"],
                     "several phone numbers show one per line")


def check_messages(checks, browser):
    checks.scope = "messages page"
    markup, console = browser.dump("messages.html", splice(browser.template, "Messages", MESSAGE_ROWS))
    check_console(checks, console)
    dom = parse(markup)
    trs = check_static_page(checks, dom, markup, "Messages", MESSAGE_ROWS)
    check_deleted_marks(checks, trs, MESSAGE_ROWS)
    summary = dom.by_id("report-summary")
    summary_text = " ".join(summary.text().split()) if summary is not None else ""
    checks.that("6 conversations" in summary_text and "12 messages" in summary_text and "2 deleted" in summary_text,
                "the heading counts conversations, messages and deleted conversations", summary_text)
    checks.equal(dom.by_id("report-evidence"), None, "a report without evidence shows no evidence block")


# Where each row was found, and a line of detail under some of them.
PROVENANCE_HEADER = MESSAGE_HEADER + ["Found in", "Detail"]
FOUND_IN = {1: "live row|backup copy", 2: "freeblock p.12 @0x1a4", 5: "freeblock p.12 @0x1a4|log frame 7 p.3 @0x88",
            13: "log frame 7 p.3 @0x88"}
DETAILS = {2: "date 1700000000123 ms, UTC+01:00 \u00b7 freeblock at page 12, offset 420",
           5: "also found: log frame 7 p.3 @0x88", 13: HOSTILE_SCRIPT + " <i>in a detail</i>", 18: "last of all"}
PROVENANCE_ROWS = [PROVENANCE_HEADER] + [row + [FOUND_IN.get(n, "live row"), DETAILS.get(n, "")]
                                         for n, row in enumerate(MESSAGE_ROWS[1:], start=1)]
EVIDENCE = {"version": "1.0.0.22", "runTime": "2026-12-09 01:23:45 UTC",
            "inputs": [{"name": "contacts2.db", "size": "188416", "sha256": "ab" * 32},
                       {"name": HOSTILE_SCRIPT, "size": "1234567890", "sha256": HOSTILE_BOLD}]}


def lines_of(visible, details):
    """The table rows a user sees: each row, then its detail line if it has one."""
    lines = []
    for n in visible:
        lines.append("row %d" % n)
        if details.get(n):
            lines.append("detail %d" % n)
    return lines


def check_provenance(checks, browser):
    checks.scope = "messages page with provenance and evidence"
    page = splice(browser.template, "Messages", PROVENANCE_ROWS, EVIDENCE)
    markup, console = browser.dump("provenance.html", page)
    check_console(checks, console)
    dom = parse(markup)
    checks.that("<img" not in markup.lower() and "<i>" not in markup.lower(), "hostile texts make no elements")
    table = dom.by_id("report")
    checks.equal([th.text().strip() for th in table.tags("th")], PROVENANCE_HEADER[:-1],
                 "\"Found in\" is a column and \"Detail\" is not")
    tbody = table.tags("tbody")[0]
    lines = [tr for tr in tbody.tags("tr") if "data-row" in tr.attrs or "data-detail-of" in tr.attrs]
    checks.equal(["row " + tr.attrs["data-row"] if "data-row" in tr.attrs else "detail " + tr.attrs["data-detail-of"]
                  for tr in lines], lines_of(range(1, len(PROVENANCE_ROWS)), DETAILS),
                 "each detail line follows its row; rows without detail have none")
    for tr in lines:
        if "data-row" in tr.attrs:
            n = int(tr.attrs["data-row"])
            checks.equal([cell_value(td) for td in tr.tags("td")], PROVENANCE_ROWS[n][:-1], "row %d shows its cells" % n)
        else:
            n = int(tr.attrs["data-detail-of"])
            tds = tr.tags("td")
            checks.equal([(td.attrs.get("colspan"), td.text()) for td in tds], [("9", DETAILS[n])],
                         "the detail of row %d is one line across the columns, as text" % n)

    block = dom.by_id("report-evidence")
    if checks.that(block is not None, "shows the evidence block"):
        words = " ".join(block.text().split())
        checks.that("Evidence" in words and "1.0.0.22" in words and "2026-12-09 01:23:45 UTC" in words,
                    "the evidence names the version and the run time", words)
        checks.equal([[td.text() for td in tr.tags("td")] for tr in block.tags("tr") if tr.tags("td")],
                     [["contacts2.db", "188,416", "ab" * 32], [HOSTILE_SCRIPT, "1,234,567,890", HOSTILE_BOLD]],
                     "the evidence lists each input's name, size and SHA-256, as text")

    actions = [
        {"step": "name ascending", "sort": "Name"},
        {"step": "detail match", "filter": "FREEBLOCK AT PAGE 12"},
        {"step": "cleared", "filter": ""},
        {"step": "deleted only", "toggle": "only-deleted"},
    ]
    probe, console = drive(browser, "provenance-driven.html", "Messages", PROVENANCE_ROWS, actions)
    check_console(checks, console)
    if not checks.equal(probe["error"], None, "the driver ran through"):
        return
    steps = {s["step"]: s for s in probe["steps"]}
    groups = message_groups()
    sorted_rows = expand(groups, [4, 6, 2, 1, 3, 5])
    checks.equal(steps["name ascending"]["shownLines"], lines_of(sorted_rows, DETAILS),
                 "sorting moves detail lines with their rows")
    checks.equal(steps["detail match"]["shownLines"], lines_of([1, 2], DETAILS), "the filter searches the details")
    checks.equal(steps["deleted only"]["shownLines"], lines_of(groups[2] + groups[5], DETAILS),
                 "detail lines show and hide with their rows")


# The evidence object is left out when it is not what the writer writes.
MALFORMED_EVIDENCE = [
    ("a string", "1.0.0.22"),
    ("a list", [EVIDENCE]),
    ("inputs that are no list", dict(EVIDENCE, inputs="contacts2.db")),
    ("a size that is a number", dict(EVIDENCE, inputs=[{"name": "a.db", "size": 5, "sha256": "ab" * 32}])),
]


def check_malformed_evidence(checks, browser):
    for label, evidence in MALFORMED_EVIDENCE:
        checks.scope = "evidence as %s" % label
        markup, console = browser.dump("evidence.html", splice(browser.template, "Contacts", CONTACT_ROWS, evidence))
        check_console(checks, console)
        dom = parse(markup)
        checks.equal(dom.by_id("report-evidence"), None, "shows no evidence block")
        checks.equal(len(body_rows(dom)), len(CONTACT_ROWS) - 1, "still shows the table")


def check_header_only(checks, browser):
    for title, rows in (("Contacts", [CONTACT_HEADER]), ("Messages", [MESSAGE_HEADER])):
        checks.scope = "%s page with no records" % title.lower()
        markup, console = browser.dump("empty-%s.html" % title.lower(), splice(browser.template, title, rows))
        check_console(checks, console)
        dom = parse(markup)
        check_static_page(checks, dom, markup, title, rows)
        table = dom.by_id("report")
        tbody_text = table.tags("tbody")[0].text() if table is not None and table.tags("tbody") else ""
        checks.that("This report holds no records." in tbody_text, "says that there are no records", tbody_text)


# The driver: clicks headers, types into the filter, and finally applies the
# print rules to the screen to see what a printout would hold.
DRIVER = r"""
<script>
addEventListener("load", async function () {
  const probe = { steps: [], error: null };
  const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
  const rows = () => Array.from(document.querySelectorAll("#report tbody tr[data-row]"));
  const visible = () => rows().filter((tr) => getComputedStyle(tr).display !== "none").map((tr) => +tr.dataset.row);
  const headerCell = (name) => Array.from(document.querySelectorAll("#report thead th")).find((th) => {
    const copy = th.cloneNode(true);
    copy.querySelectorAll("[aria-hidden=true]").forEach((e) => e.remove());
    return copy.textContent.trim() === name;
  });
  const frame = document.querySelector(".table-frame");
  const record = (step, extra) => probe.steps.push(Object.assign({
    step: step, visible: visible(), count: document.getElementById("filter-count").textContent,
    bodyText: document.querySelector("#report tbody").innerText, inPage: rows().length,
    shownLines: Array.from(document.querySelectorAll("#report tbody tr[data-row], #report tbody tr[data-detail-of]"))
      .filter((tr) => getComputedStyle(tr).display !== "none")
      .map((tr) => tr.dataset.row ? "row " + tr.dataset.row : "detail " + tr.dataset.detailOf),
    columnWidths: Array.from(document.querySelectorAll("#report thead th")).map((th) => th.getBoundingClientRect().width)
  }, extra || {}));
  try {
    for (const action of ACTIONS) {
      if (action.sort) {
        const th = headerCell(action.sort);
        if (!th) throw new Error("no header cell " + action.sort);
        (th.querySelector("button") || th).click();
        await pause(100);
        record(action.step, { ariaSort: th.getAttribute("aria-sort"), arrow: th.textContent });
      } else if ("filter" in action) {
        const box = document.getElementById("filter");
        box.value = action.filter;
        box.dispatchEvent(new Event("input", { bubbles: true }));
        await pause(400);
        record(action.step);
      } else if (action.toggle) {
        document.getElementById(action.toggle).click();
        await pause(100);
        record(action.step);
      } else if (action.scroll) {
        // On virtual time the browser may not send its scroll event before
        // the pause ends, so the driver sends one itself.
        frame.scrollTop = frame.scrollHeight;
        frame.dispatchEvent(new Event("scroll"));
        await pause(200);
        record(action.step);
      } else if (action.event) {
        dispatchEvent(new Event(action.event));
        await pause(100);
        record(action.step);
      } else if (action.print) {
        for (const sheet of Array.from(document.styleSheets)) {
          for (const rule of Array.from(sheet.cssRules)) {
            if (rule.media && /print/.test(rule.media.mediaText)) rule.media.mediaText = "all";
          }
        }
        await pause(100);
        const lead = (n) => rows().find((tr) => tr.dataset.row === String(n));
        const firstCell = (n) => getComputedStyle(lead(n).cells[0]);
        record(action.step, {
          controls: getComputedStyle(document.getElementById("controls")).display,
          theadDisplay: getComputedStyle(document.querySelector("#report thead")).display,
          rowBreak: getComputedStyle(lead(action.live)).breakInside,
          deletedEdge: [firstCell(action.deleted).borderLeftStyle, parseFloat(firstCell(action.deleted).borderLeftWidth)],
          liveEdge: [firstCell(action.live).borderLeftStyle, parseFloat(firstCell(action.live).borderLeftWidth)],
          cellColors: Array.from(document.querySelectorAll("#report td")).map((td) => getComputedStyle(td).color)
            .filter((c, i, all) => all.indexOf(c) === i),
          cellBackgrounds: Array.from(document.querySelectorAll("#report td")).map((td) => getComputedStyle(td).backgroundColor)
            .filter((c, i, all) => all.indexOf(c) === i)
        });
      } else if (action.look) {
        const lead = (n) => rows().find((tr) => tr.dataset.row === String(n));
        record(action.step, {
          deletedBackground: getComputedStyle(lead(action.deleted).cells[2]).backgroundColor,
          liveBackground: getComputedStyle(lead(action.live).cells[2]).backgroundColor,
          deletedEdge: parseFloat(getComputedStyle(lead(action.deleted).cells[0]).borderLeftWidth)
        });
      } else {
        record(action.step);
      }
    }
  } catch (e) {
    probe.error = String(e && e.stack || e);
  }
  const out = document.createElement("pre");
  out.id = "probe";
  out.textContent = JSON.stringify(probe);
  document.body.appendChild(out);
});
</script>
"""


def drive(browser, name, title, rows, actions):
    page = splice(browser.template, title, rows)
    driver = DRIVER.replace("ACTIONS", json.dumps(actions))
    at = page.rfind("</body>")
    page = page[:at] + driver + page[at:]
    markup, console = browser.dump(name, page)
    probe = parse(markup).by_id("probe")
    if probe is None:
        raise RuntimeError("%s: the driver left no result; console:\n%s" % (name, "\n".join(console)))
    return json.loads(probe.text()), console


def expand(groups, leads):
    """Row indices shown for the given conversations, each followed by its messages."""
    shown = []
    for lead in leads:
        shown.extend(groups[lead])
    return shown


def message_groups():
    groups = {}
    index = 1
    for number, (_, messages) in enumerate(CONVERSATIONS, start=1):
        groups[number] = list(range(index, index + 1 + len(messages)))
        index += 1 + len(messages)
    return groups


def check_messages_interaction(checks, browser):
    checks.scope = "messages page, sorting and filtering"
    groups = message_groups()
    actions = [
        {"step": "look", "look": True, "deleted": groups[2][0], "live": groups[1][0]},
        {"step": "name ascending", "sort": "Name"},
        {"step": "name descending", "sort": "Name"},
        {"step": "date ascending", "sort": "Date Time"},
        {"step": "date descending", "sort": "Date Time"},
        {"step": "id ascending", "sort": "ID"},
        {"step": "message match", "filter": "HAPPY new YEAR"},
        {"step": "conversation match", "filter": "王小明"},
        {"step": "markup as text", "filter": "<b>bold</b>"},
        {"step": "several conversations", "filter": "2023-04-1"},
        {"step": "no match", "filter": "zzz-nowhere"},
        {"step": "cleared", "filter": ""},
        {"step": "deleted only", "toggle": "only-deleted"},
        {"step": "print", "print": True, "deleted": groups[2][0], "live": groups[1][0]},
    ]
    probe, console = drive(browser, "messages-driven.html", "Messages", MESSAGE_ROWS, actions)
    check_console(checks, console)
    if not checks.equal(probe["error"], None, "the driver ran through"):
        return
    steps = {s["step"]: s for s in probe["steps"]}

    look = steps["look"]
    checks.that(look["deletedBackground"] != look["liveBackground"], "a deleted conversation is tinted", look)
    checks.that(look["deletedEdge"] >= 2, "a deleted conversation is barred at its left edge", look)

    expectations = [
        ("name ascending", [4, 6, 2, 1, 3, 5], "ascending"),
        ("name descending", [3, 1, 2, 6, 4, 5], "descending"),
        # By each conversation's earliest message, then by its latest.
        ("date ascending", [5, 2, 6, 3, 1, 4], "ascending"),
        ("date descending", [3, 1, 4, 6, 2, 5], "descending"),
        ("id ascending", [1, 2, 3, 4, 5, 6], "ascending"),
    ]
    for step, leads, direction in expectations:
        checks.equal(steps[step]["visible"], expand(groups, leads),
                     "%s: conversations move as groups, messages stay in their order" % step)
        checks.equal(steps[step]["ariaSort"], direction, "%s: the header tells the direction" % step)
        checks.that(re.search("[\u25B2\u25BC\u2191\u2193]", steps[step]["arrow"]) is not None,
                    "%s: the header shows a sort arrow" % step, steps[step]["arrow"])

    happy = groups[2][0] + 2
    checks.equal(steps["message match"]["visible"], [groups[2][0], happy],
                 "a matching message shows under its conversation, alone")
    checks.that("1 of 6" in steps["message match"]["count"] and "1 of 12" in steps["message match"]["count"],
                "the count tells what is shown of how many", steps["message match"]["count"])
    checks.equal(steps["conversation match"]["visible"], groups[3],
                 "a matching conversation shows with all its messages")
    checks.equal(steps["markup as text"]["visible"], [groups[4][0], groups[4][0] + 2],
                 "markup in a message is searched as the text it is")
    checks.equal(steps["several conversations"]["visible"], groups[4],
                 "messages of one day show under their conversation")
    checks.equal(steps["no match"]["visible"], [], "nothing shows when nothing matches")
    checks.that("0 of 6" in steps["no match"]["count"], "the count shows none found", steps["no match"]["count"])
    checks.that("No rows match the filter." in steps["no match"]["bodyText"], "says that nothing matches")
    checks.equal(steps["cleared"]["visible"], list(range(1, len(MESSAGE_ROWS))), "clearing the filter shows all")
    checks.equal(steps["deleted only"]["visible"], groups[2] + groups[5], "the deleted-only switch shows deleted ones")

    printed = steps["print"]
    checks.equal(printed["visible"], list(range(1, len(MESSAGE_ROWS))), "a printout holds every row, filter or not")
    checks.equal(printed["controls"], "none", "a printout leaves out the filter box")
    checks.equal(printed["theadDisplay"], "table-header-group", "a printout repeats the header on every page")
    checks.equal(printed["rowBreak"], "avoid", "a printout keeps a row on one page")
    checks.that(printed["deletedEdge"][0] != "none" and printed["deletedEdge"][1] >= 2,
                "a printout still bars deleted conversations", printed["deletedEdge"])
    checks.that(printed["liveEdge"][0] == "none" or printed["liveEdge"][1] < printed["deletedEdge"][1],
                "a printout bars live conversations less", printed["liveEdge"])
    checks.equal(printed["cellColors"], ["rgb(0, 0, 0)"], "a printout is black text")
    checks.that(all(c in ("rgb(255, 255, 255)", "rgba(0, 0, 0, 0)") for c in printed["cellBackgrounds"]),
                "a printout is on white", printed["cellBackgrounds"])


def check_contacts_interaction(checks, browser):
    checks.scope = "contacts page, sorting and filtering"
    actions = [
        {"step": "id ascending", "sort": "ID"},
        {"step": "id descending", "sort": "ID"},
        {"step": "name ascending", "sort": "Name"},
        {"step": "non-ASCII, any case", "filter": "ŁUKASZ żółć"},
        {"step": "second phone number", "filter": "5559876"},
        {"step": "note text", "filter": "CAFÉ BY THE HARBOUR"},
    ]
    probe, console = drive(browser, "contacts-driven.html", "Contacts", CONTACT_ROWS, actions)
    check_console(checks, console)
    if not checks.equal(probe["error"], None, "the driver ran through"):
        return
    steps = {s["step"]: s for s in probe["steps"]}
    checks.equal(steps["id ascending"]["visible"], list(range(1, 13)), "IDs sort as numbers, ascending")
    checks.equal(steps["id descending"]["visible"], list(range(12, 0, -1)), "IDs sort as numbers, descending")
    checks.equal(steps["name ascending"]["visible"], [4, 5, 6, 8, 9, 10, 11, 12, 2, 1, 3, 7],
                 "names sort alphabetically, letters with marks among their base letters, empty last")
    checks.equal(steps["non-ASCII, any case"]["visible"], [2], "the filter ignores case, non-ASCII too")
    checks.that("1 of 12 contacts" in steps["non-ASCII, any case"]["count"], "the count tells n of m",
                steps["non-ASCII, any case"]["count"])
    checks.equal(steps["second phone number"]["visible"], [4], "the filter finds any of several values")
    checks.equal(steps["note text"]["visible"], [8], "the filter searches long texts")


def check_large_report(checks, browser):
    """A report big enough that the page sorts and filters after a short delay."""
    checks.scope = "large messages page"
    rows = [MESSAGE_HEADER]
    leads = {}
    for number in range(1, 251):
        leads[number] = len(rows)
        rows.append([str(number), "Yes" if number % 7 == 0 else "No", "Person %d" % number, "+4670%07d" % number,
                     "->", "-", "-", "-"])
        for m in range(15):
            rows.append(["", "", "", "", "->", "2023-01-%02d 10:00:%02d" % (1 + m, number % 60),
                         "Received" if m % 2 else "Sent", "message %d to person %d." % (m, number)])
    actions = [
        {"step": "name ascending", "sort": "Name"},
        {"step": "name descending", "sort": "Name"},
        {"step": "one message", "filter": "message 3 to person 77."},
    ]
    probe, console = drive(browser, "large-driven.html", "Messages", rows, actions)
    check_console(checks, console)
    if not checks.equal(probe["error"], None, "the driver ran through"):
        return
    steps = {s["step"]: s for s in probe["steps"]}
    lead_rows = [i for i in steps["name descending"]["visible"] if rows[i][0] != ""]
    checks.equal(lead_rows, [leads[n] for n in range(250, 0, -1)], "names with numbers sort by their numbers")
    first = steps["name ascending"]["visible"][:17]
    checks.equal(first, list(range(leads[1], leads[1] + 16)) + [leads[2]],
                 "each conversation keeps its messages under it")
    checks.equal(steps["one message"]["visible"], [leads[77], leads[77] + 4], "the filter finds one message of many")
    checks.that(re.search(r"\b1 of 250 conversations\b", steps["one message"]["count"]) is not None,
                "the count is up to date after the delay", steps["one message"]["count"])


def check_on_demand(checks, browser):
    """A report too large to lay out at once: rows are drawn as the frame scrolls."""
    checks.scope = "messages page drawn on demand"
    rows = [PROVENANCE_HEADER]
    leads = {}
    details = {}
    for number in range(1, 61):
        leads[number] = len(rows)
        rows.append([str(number), "Yes" if number % 7 == 0 else "No", "Person %d" % number, "+4670%07d" % number,
                     "->", "-", "-", "-", "live row|backup copy", ""])
        for m in range(200):
            if m % 3 == 0:
                details[len(rows)] = "date %d ms, UTC+01:00" % (1700000000000 + number * 1000 + m)
            rows.append(["", "", "", "", "->", "%d-%02d-%02d %02d:%02d:00" % (2020 if number == 33 else 2023, 1 + m % 12,
                                                                         1 + m % 28, m % 24, number % 60),
                         "Received" if m % 2 else "Sent", "message %d of %d. " % (m, number) + "word " * (m * 37 % 60),
                         "live row", details.get(len(rows), "")])
    far = leads[57] + 151
    rows[far][-1] = details[far] = "freeblock at page 4242, offset 99"
    actions = [
        {"step": "opened"},
        {"step": "at the end", "scroll": True},
        {"step": "date ascending", "sort": "Date Time"},
        {"step": "far match", "filter": "PAGE 4242"},
        {"step": "cleared", "filter": ""},
        {"step": "deleted only", "toggle": "only-deleted"},
        {"step": "printing", "event": "beforeprint"},
        {"step": "printed", "event": "afterprint"},
    ]
    probe, console = drive(browser, "on-demand-driven.html", "Messages", rows, actions)
    check_console(checks, console)
    if not checks.equal(probe["error"], None, "the driver ran through"):
        return
    steps = {s["step"]: s for s in probe["steps"]}
    opened = steps["opened"]
    checks.that(0 < opened["inPage"] <= 150, "only the rows near the view are in the page", opened["inPage"])
    checks.equal(opened["shownLines"][:3], ["row 1", "row 2", "detail 2"], "the first rows are drawn with their details")
    checks.that("60 conversations, 12,000 messages" in opened["count"], "counts every row", opened["count"])
    end = steps["at the end"]
    checks.that(0 < end["inPage"] <= 150 and end["visible"][-3:] == [len(rows) - 3, len(rows) - 2, len(rows) - 1],
                "scrolled to its end, the frame shows the last conversation's last rows", end["inPage"],
                end["visible"][-3:])
    checks.equal(end["columnWidths"], opened["columnWidths"], "columns keep their widths while scrolling")
    checks.equal(steps["date ascending"]["visible"][:3], [leads[33], leads[33] + 1, leads[33] + 2],
                 "sorting puts the conversation with the earliest messages first")
    match = steps["far match"]
    checks.equal(match["shownLines"], lines_of([leads[57], far], details), "the filter finds one row far down")
    checks.that("1 of 60 conversations, 1 of 12,000 messages" in match["count"], "the count tells n of m", match["count"])
    deleted = steps["deleted only"]
    checks.that("Showing 8 of 60 conversations, 1,600 of 12,000 messages" in deleted["count"],
                "the deleted-only switch counts the deleted conversations", deleted["count"])
    checks.that(all(rows[n][1] == "Yes" for n in deleted["visible"] if rows[n][0] != "") and deleted["visible"],
                "the deleted-only switch shows deleted conversations only")
    checks.equal(steps["printing"]["inPage"], len(rows) - 1, "printing draws every row")
    checks.that(0 < steps["printed"]["inPage"] <= 150, "after printing only the rows near the view stay",
                steps["printed"]["inPage"])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--template", required=True)
    parser.add_argument("--chromium", default="chromium")
    parser.add_argument("--timeout", type=int, default=60)
    parser.add_argument("--write-pages", metavar="DIR", help="also write the plain report pages into DIR")
    args = parser.parse_args()

    with open(args.template, encoding="utf-8") as f:
        template = f.read()

    if args.write_pages:
        os.makedirs(args.write_pages, exist_ok=True)
        for name, title, rows in (("Contacts.html", "Contacts", CONTACT_ROWS), ("Messages.html", "Messages", MESSAGE_ROWS),
                                  ("Empty.html", "Contacts", [CONTACT_HEADER])):
            with open(os.path.join(args.write_pages, name), "w", encoding="utf-8") as f:
                f.write(splice(template, title, rows))

    executable = shutil.which(args.chromium)
    if executable is None:
        print("FAIL: the browser '%s' is not installed; scripts/setup.sh installs it." % args.chromium)
        return 1

    checks = Checks()
    check_template_text(checks, template)
    workdir = tempfile.mkdtemp(prefix="qb-template-")
    try:
        browser = Browser(executable, args.timeout, workdir, template)
        for scenario in (check_contacts, check_messages, check_header_only, check_messages_interaction,
                         check_contacts_interaction, check_large_report, check_provenance, check_malformed_evidence,
                         check_on_demand):
            try:
                scenario(checks, browser)
            except (RuntimeError, KeyError, IndexError, ValueError) as error:
                checks.failures.append("[%s] could not run: %s: %s" % (checks.scope, type(error).__name__, error))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    for failure in checks.failures:
        print("FAIL " + failure)
    print("%d checks, %d failed" % (checks.count, len(checks.failures)))
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
