#!/usr/bin/env python3
"""Writes the manual page quillbrook(1) from the program's own help.

    make_man_page.py QUILLBROOK OUTPUT

Runs `quillbrook --version`, `quillbrook --help` and `quillbrook SUB --help`
for every subcommand the help lists, and lays them out as a roff page:
NAME, SYNOPSIS (one line per subcommand), DESCRIPTION, one section per
subcommand with its options, EXIT STATUS and FILES.
"""
import os
import re
import subprocess
import sys


def run(program, *args):
    result = subprocess.run([program, *args], capture_output=True, text=True, timeout=60)
    return result.stdout


def roff(text):
    text = text.replace("\\", "\\\\").replace("-", "\\-")
    return "\n".join("\\&" + line if line.startswith((".", "'")) else line for line in text.split("\n"))


def parse(help_text):
    """(description, usage, [(section, [(term, text)])]) of one help text."""
    lines = help_text.rstrip("\n").split("\n")
    description = lines[0].strip() if lines else ""
    usage = ""
    sections = []
    for line in lines[1:]:
        if line.startswith("Usage:"):
            usage = line[len("Usage:"):].strip()
        elif line and not line.startswith(" ") and line.endswith(":"):
            sections.append((line[:-1], []))
        elif line.startswith("  ") and sections:
            match = re.match(r"\s+(\S+(?: \S+)*?)\s{2,}(.*)", line)
            if match:
                sections[-1][1].append((match.group(1), match.group(2)))
            elif sections[-1][1]:
                term, text = sections[-1][1][-1]
                sections[-1][1][-1] = (term, text + " " + line.strip())
    return description, usage, sections


def main():
    program, output = sys.argv[1], sys.argv[2]
    name = "quillbrook"
    version = run(program, "--version").strip().split()[-1] if run(program, "--version").strip() else ""
    description, _, sections = parse(run(program, "--help"))
    subcommands = dict(sections).get("Subcommands", [])

    page = [f'.TH QUILLBROOK 1 "" "quillbrook {version}" "User Commands"', ".SH NAME",
            roff(f"{name} - recover contacts, messages and files from Android phones and disks"), ".SH SYNOPSIS"]
    details = []
    for sub, summary in subcommands:
        sub_description, sub_usage, sub_sections = parse(run(program, sub, "--help"))
        usage = re.sub(r"^\S+", name, sub_usage)
        page += [".B " + roff(usage), ".br"]
        details += [".SS " + roff(f"{name} {sub}"), roff(sub_description or summary)]
        for section, entries in sub_sections:
            for term, text in entries:
                if term.startswith("-h,--help"):
                    continue
                details += [".TP", ".B " + roff(term), roff(text)]
    page += [".B " + roff(f"{name} --version"), ".br", ".B " + roff(f"{name} --help"),
             ".SH DESCRIPTION", roff(description), ".SH COMMANDS", *details,
             ".SH EXIT STATUS",
             roff("0 on success, 1 when nothing could be read or no report could be written, 2 on a usage error."),
             ".SH FILES", ".TP", ".I /usr/share/quillbrook/template.html",
             roff("the page the contacts and messages reports are made from."),
             ".SH SEE ALSO", ".BR adb (1)"]
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(page) + "\n")


if __name__ == "__main__":
    main()
