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


def splice(template, title, rows):
    """The page the report writer makes from the template."""
    payload = json.dumps(rows, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003C")
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
  const record = (step, extra) => probe.steps.push(Object.assign({
    step: step, visible: visible(), count: document.getElementById("filter-count").textContent,
    bodyText: document.querySelector("#report tbody").innerText
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
                         check_contacts_interaction, check_large_report):
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
