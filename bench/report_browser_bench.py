#!/usr/bin/env python3
"""Times a large Messages report in headless Chromium.

Makes a report of 50,000 messages in conversations of 50 to 500 messages,
with the "Found in" and "Detail" columns and the evidence object, spliced
into the page template the way the report writer does it. Each page is
loaded in headless Chromium, driven over its DevTools pipe in real time, and
timed from within the page:

  first table   from the start of navigation until the table's rows are in
                the page, laid out and the next frame has been drawn;
  sort by ...   from the click on a column header until the rows stand in
                their new order, laid out and drawn.

The same report is timed with the template as it is on another revision
(by default main) for comparison. Each figure is the median of --runs loads.

Usage: bench/report_browser_bench.py [--template output/template.html]
       [--baseline-revision main] [--messages 50000] [--runs 3]
       [--chromium chromium]
"""

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

HEADER = ["ID", "Deleted", "Name", "Phone Number", "Message", "Date Time", "Type", "Text", "Found in", "Detail"]
WORDS = ("the ferry leaves at seven from pier three bring the blue bag and two sandwiches call me when you land "
         "meeting moved to thursday see you at the café by the harbour tickets are on the kitchen table").split()
SOURCES = ["live row", "backup copy", "freeblock p.%d @0x%x", "log frame %d p.%d @0x%x"]


def source(rng):
    kind = rng.randrange(4)
    if kind < 2:
        return SOURCES[kind]
    if kind == 2:
        return SOURCES[2] % (rng.randrange(2, 400), rng.randrange(0x40, 0xff0))
    return SOURCES[3] % (rng.randrange(1, 90), rng.randrange(2, 400), rng.randrange(0x40, 0xff0))


def report_rows(messages, seed=7):
    rng = random.Random(seed)
    rows = [HEADER]
    number = 0
    written = 0
    while written < messages:
        number += 1
        size = min(rng.randrange(50, 501), messages - written)
        deleted = rng.random() < 0.15
        found = "|".join(sorted({source(rng) for _ in range(rng.randrange(1, 3))}))
        rows.append([str(number), "Yes" if deleted else "No", "Person %d %s" % (number, rng.choice(WORDS).title()),
                     "+4670%07d" % rng.randrange(10 ** 7), "->", "-", "-", "-", found,
                     "thread %d · also found: backup copy" % number if deleted else ""])
        stamp = 1_600_000_000_000 + rng.randrange(10 ** 11)
        for m in range(size):
            stamp += rng.randrange(1000, 10 ** 8)
            words = rng.randrange(2, 60)
            text = " ".join(rng.choice(WORDS) for _ in range(words))
            where = source(rng)
            detail = "" if where == "live row" else "date %d ms, UTC+01:00 · %s" % (stamp, where)
            rows.append(["", "", "", "", "->", "2023-%02d-%02d %02d:%02d:%02d" % (
                1 + stamp // 10 ** 9 % 12, 1 + stamp // 10 ** 7 % 28, stamp // 10 ** 5 % 24, stamp // 1000 % 60,
                stamp // 10 % 60), "Received" if m % 3 else "Sent", text, where, detail])
        written += size
    return rows


EVIDENCE = {
    "version": "1.0.0.22",
    "runTime": "2026-12-09 01:23:45 UTC",
    "inputs": [
        {"name": "mmssms.db", "size": "31457280", "sha256": "9f" * 32},
        {"name": "mmssms.db-wal", "size": "4194304", "sha256": "a0" * 32},
    ],
}

# Written after the template's script: by then the table is drawn.
PROBE = """
<script>
(function () {
  document.body.offsetHeight;
  var rowsAt = performance.now();
  var rows = document.querySelectorAll("#report tbody tr[data-row]").length;
  requestAnimationFrame(function () {
    setTimeout(function () {
      var probe = document.createElement("pre");
      probe.id = "probe";
      probe.hidden = true;
      probe.textContent = JSON.stringify({ rowsAt: rowsAt, drawnAt: performance.now(), rows: rows });
      document.body.appendChild(probe);
    }, 0);
  });
})();
</script>
"""

SORT = """
(async function (name) {
  const th = Array.from(document.querySelectorAll("#report thead th"))
    .find((cell) => cell.querySelector(".sort-label").textContent === name);
  const tick = () => new Promise((resolve) => setTimeout(resolve, 0));
  const start = performance.now();
  th.querySelector("button").click();
  while (document.body.classList.contains("busy") || th.getAttribute("aria-sort") === "none") await tick();
  document.body.offsetHeight;
  await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
  return performance.now() - start;
})
"""


def splice(template, title, rows, evidence):
    payload = json.dumps(rows, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003C")
    facts = json.dumps(evidence, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003C")
    page = template.replace("var data = [];", "var data = " + payload + ";\nvar evidence = " + facts + ";", 1)
    page = page.replace("<title></title>", "<title>" + title + "</title>", 1)
    at = page.rfind("</body>")
    return page[:at] + PROBE + page[at:]


class DevTools:
    """Chromium driven over --remote-debugging-pipe: one page, in real time."""

    def __init__(self, executable, workdir, timeout):
        self.profile = tempfile.mkdtemp(prefix="profile-", dir=workdir)
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def descriptors():
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)

        self.process = subprocess.Popen(
            [executable, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-extensions",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--window-size=1280,900", "--user-data-dir=" + self.profile, "--remote-debugging-pipe", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=descriptors, pass_fds=(3, 4),
            start_new_session=True)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.timeout = timeout
        self.buffer = b""
        self.events = []
        self.next_id = 0
        self.attached = None
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.attached = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable")

    def read(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if self.attached:
            message["sessionId"] = self.attached
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.read()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            found = [e for e in self.events if e.get("method") == method]
            if found:
                self.events = [e for e in self.events if e.get("method") != method]
                return found[0]
            self.events.append(self.read())

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True, "timeout": self.timeout * 1000})
        if "exceptionDetails" in result:
            raise RuntimeError(json.dumps(result["exceptionDetails"])[:2000])
        return result["result"].get("value")

    def close(self):
        try:
            self.process.kill()
            self.process.wait()
        finally:
            os.close(self.to_browser)
            os.close(self.from_browser)
            shutil.rmtree(self.profile, ignore_errors=True)


def time_page(executable, workdir, path, timeout):
    browser = DevTools(executable, workdir, timeout)
    try:
        browser.call("Page.navigate", {"url": "file://" + os.path.abspath(path)})
        browser.wait_for("Page.loadEventFired")
        probe = browser.evaluate("""new Promise(function (resolve) {
          (function look() {
            var probe = document.getElementById("probe");
            if (probe) resolve(JSON.parse(probe.textContent)); else setTimeout(look, 20);
          })();
        })""")
        figures = {"first table": probe["drawnAt"], "rows in page": probe["rows"]}
        for column in ("Name", "Date Time"):
            figures["sort by " + column] = browser.evaluate(SORT + "(%s)" % json.dumps(column))
        return figures
    finally:
        browser.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--template", default=os.path.join(root, "output", "template.html"))
    parser.add_argument("--baseline-revision", default="main",
                        help="also time the template of this revision; empty to skip")
    parser.add_argument("--messages", type=int, default=50000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--chromium", default="chromium")
    parser.add_argument("--timeout", type=int, default=180)
    args = parser.parse_args()

    executable = shutil.which(args.chromium)
    if executable is None:
        print("the browser '%s' is not installed; scripts/setup.sh installs it." % args.chromium)
        return 1
    templates = []
    with open(args.template, encoding="utf-8") as f:
        templates.append(("this template", f.read()))
    if args.baseline_revision:
        baseline = subprocess.run(["git", "-C", root, "show", args.baseline_revision + ":output/template.html"],
                                  check=True, capture_output=True).stdout.decode("utf-8")
        templates.append(("template of " + args.baseline_revision, baseline))

    rows = report_rows(args.messages)
    workdir = tempfile.mkdtemp(prefix="qb-report-bench-")
    try:
        print("Messages report: %d messages in %d conversations, %d columns"
              % (args.messages, sum(1 for r in rows[1:] if r[0]), len(HEADER)))
        for label, template in templates:
            path = os.path.join(workdir, "Messages.html")
            with open(path, "w", encoding="utf-8") as f:
                f.write(splice(template, "Messages", rows, EVIDENCE))
            runs = [time_page(executable, workdir, path, args.timeout) for _ in range(args.runs)]
            print("%s (median of %d):" % (label, len(runs)))
            for name in runs[0]:
                value = statistics.median(run[name] for run in runs)
                if name == "rows in page":
                    print("  %-18s %8d" % (name, value))
                else:
                    print("  %-18s %8.0f ms" % (name, value))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
