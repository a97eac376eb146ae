"""Reads a program's own help, the source of its manual page and its shell completion.

The help of both programs has the same shape: a title line ("ravir 1.0.0 - what it is") or a
Usage line with a description, headings ending in ":" ("Commands:", "Options:"), items indented
by two spaces whose description starts after a gap of two or more spaces (or on the next line,
indented further), and plain paragraphs. `ravir help COMMAND` gives one command's usage line,
its summary and its details in the same shape.
"""
import os
import re
import subprocess

ITEM = re.compile(r"^( {2,})(\S(?:.*?\S)?)(?: {2,}(\S.*))?$")


def run_help(program, *args):
    """The program's help text: run without a display, in English, under the program's name."""
    env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8", LANGUAGE="")
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    out = subprocess.run([program, *args], env=env, check=True, capture_output=True,
                         text=True).stdout
    # Qt's help names the program by the path it was started with.
    name = os.path.basename(program)
    return out.replace(program, name)


def blocks(text):
    """Splits help text into ("para", [lines]), ("heading", title) and ("items", [(tag, text)])
    blocks, in order."""
    result = []
    para = []
    items = None

    def flush():
        nonlocal para, items
        if para:
            result.append(("para", para))
        if items:
            result.append(("items", items))
        para, items = [], None

    for raw in text.splitlines():
        line = raw.rstrip()
        if not line:
            flush()
            continue
        if not line.startswith(" "):
            if items is not None:
                flush()
            if re.fullmatch(r"[A-Z][A-Za-z ]*:", line):
                flush()
                result.append(("heading", line[:-1]))
            elif line.startswith("--") and para and para[-1].endswith((".", ":")):
                # A sentence about an option, starting a line, starts a paragraph of its own.
                flush()
                para.append(line)
            else:
                para.append(line)
            continue
        m = ITEM.match(line)
        if m is None:  # one space: a paragraph's line all the same
            para.append(line.strip())
            continue
        indent = len(m.group(1))
        if para:
            flush()
        if items is None:
            items = []
        if items and indent > items[-1][2]:
            # The description's next line, or a description below its tag.
            tag, desc, tag_indent = items[-1]
            items[-1] = (tag, (desc + " " + line.strip()).strip(), tag_indent)
        else:
            items.append((m.group(2), m.group(3) or "", indent))
    flush()
    return [(kind, [(t, d) for t, d, _ in value] if kind == "items" else value)
            for kind, value in result]


def commands(help_text):
    """The command names listed under "Commands:", in order."""
    names = []
    in_commands = False
    for kind, value in blocks(help_text):
        if kind == "heading":
            in_commands = value == "Commands"
        elif kind == "items" and in_commands:
            names += [tag.split()[0] for tag, _ in value]
            in_commands = False
    return names
