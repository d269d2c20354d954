#!/usr/bin/env python3
"""Doxygen input filter: lets Doxygen read the headers' plain // comments.

The public headers document themselves in ordinary comments: a block of //
lines above a declaration, and a trailing // after a member.  This filter
hands Doxygen the same text as documentation comments, line for line (so the
line numbers of its warnings stay true):
  - the comment block that opens the file documents the file (\\file);
  - a block of // lines becomes ///, a trailing // becomes ///<;
  - banner lines (// ====) and comments inside function bodies stay plain.
"""
import os
import re
import sys

BANNER = re.compile(r"^\s*//\s*[=\-*]{3,}")
FULL = re.compile(r"^(\s*)//(?![/!])(.*)$")
CLASS = re.compile(r"^\s*(template\s*<.*>\s*)?(class|struct)\s+\w+[^;]*$")
TRAIL = re.compile(r"^(\s*[^\s/].*?[;,{)}\]])(\s+)//(?![/!<])\s?(.*)$")


def text(t):
    """Comment text kept as text: backslashes (registry keys such as
    HKEY_LOCAL_MACHINE\\SOFTWARE), angle brackets and at signs are not markup.
    Code spans in backticks are literal already and stay as they are."""
    parts = re.split(r"(`[^`]*`)", t)
    for i in range(1, len(parts), 2):
        if '"' in parts[i]:  # a quote would open a quoted run in Doxygen
            parts[i] = "<tt>" + re.sub(r'([\\"<>@&])', r"\\\1", parts[i][1:-1]) + "</tt>"
    for i in range(0, len(parts), 2):
        p = re.sub(r"([\\<>@])", r"\\\1", parts[i])
        parts[i] = re.sub(r"(?<![\w])::", r"\\::", p)
    return "".join(parts)


def doc(line):
    """A plain comment line as a documentation line."""
    m = FULL.match(line)
    return m.group(1) + "///" + text(m.group(2))


def code_part(line):
    """The line without its comment and string literals (for brace counting)."""
    line = re.sub(r'"(\\.|[^"\\])*"', '""', line)
    line = re.sub(r"'(\\.|[^'\\])*'", "''", line)
    return line.split("//", 1)[0]


def main(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    out = []
    # Depth of braces that belong to function bodies (a '{' after ')' or
    # after 'const'/'noexcept'/'override' or an initialiser list), so
    # comments inside them are left alone.  Classes and namespaces count as
    # scope, not body.
    stack = []  # True for a function body
    head = True  # still in the file's opening comment block
    opening = []
    prev_code = ""
    for i, line in enumerate(lines):
        in_body = any(stack)
        if head:
            if FULL.match(line) and not BANNER.match(line):
                opening.append(len(out))
                out.append(doc(line))
                continue
            head = False
            if opening:
                out[opening[-1]] += " \\file"
        if BANNER.match(line):
            out.append("")
        elif not in_body and FULL.match(line):
            # A block that a blank line parts from the next declaration is a
            # section note, not documentation...
            k = i
            while k < len(lines) and FULL.match(lines[k]) and not BANNER.match(lines[k]):
                k += 1
            j = k
            while j < len(lines) and not lines[j].strip():
                j += 1
            # ...except before a class, which it introduces.
            before_class = j > k and j < len(lines) and CLASS.match(lines[j])
            if k < len(lines) and (lines[k].strip() or before_class) and not BANNER.match(lines[k]):
                out.append(doc(line))
            else:
                out.append(line)
        elif not in_body and TRAIL.match(line) and '"' not in line.split("//", 1)[0]:
            m = TRAIL.match(line)
            out.append(f"{m.group(1)}{m.group(2)}///< " + text(m.group(3)))
        else:
            out.append(line)
        code = code_part(line)
        for j, ch in enumerate(code):
            if ch == "{":
                before = (prev_code + " " + code[:j]).rstrip()
                is_body = bool(re.search(r"(\)|\bconst|\bnoexcept|\boverride|\bfinal|\bmutable|->\s*[\w:<>]+)\s*$", before))
                if re.search(r"\b(class|struct|union|namespace|enum)\b[^;()]*$", before):
                    is_body = False
                stack.append(is_body)
            elif ch == "}" and stack:
                stack.pop()
        if code.strip():
            prev_code = code
    group_runs(lines, out)
    sys.stdout.write("\n".join(out))


ACCESS = re.compile(r"^\s*(public|protected|private)\s*:")
MULTI_FIELD = re.compile(r"^\s*[\w:]+\s+\w+(\s*=\s*[^,;()]+)?(\s*,\s*\w+(\s*=\s*[^,;()]+)?)+\s*;")
SCOPE = re.compile(r"\b(class|struct|union|enum|namespace)\b[^;()]*$")


def group_runs(lines, out):
    """A comment above a run of declarations (no blank line or comment between
    them) speaks for the whole run, as a reader of the header takes it: such
    a run becomes a Doxygen member group, whose documentation every member
    shares (DISTRIBUTE_GROUP_DOC).  Runs that define a class, struct or enum
    are left alone (groups do not nest).  The markers go on existing lines so
    line numbers stay true."""
    n = len(lines)
    is_doc = [bool(FULL.match(lines[x])) and out[x].lstrip().startswith("///") for x in range(n)]
    opens, closes = set(), set()
    i = 0
    while i < n:
        if not is_doc[i]:
            i += 1
            continue
        start = i
        while i < n and is_doc[i]:
            i += 1
        k = i  # first line of the run
        depth = 0
        decls = 0
        scoped = False
        stmt = ""  # the declaration read so far (a class head may span lines)
        j = k
        while j < n:
            line = lines[j]
            if depth == 0 and (not line.strip() or FULL.match(line) or ACCESS.match(line) or BANNER.match(line)):
                break
            code = code_part(line)
            closes_scope = False
            for ch_i, ch in enumerate(code):
                if ch == "{":
                    if depth == 0 and SCOPE.search((stmt + " " + code[:ch_i]).rstrip()):
                        scoped = True
                    depth += 1
                elif ch == "}":
                    if depth == 0:
                        closes_scope = True
                        break
                    depth -= 1
                    if depth == 0:
                        decls += 1
                elif ch == ";" and depth == 0:
                    decls += 1
            if closes_scope:
                break
            stmt = re.split(r"[;{}]", stmt + " " + code)[-1]
            j += 1
        # A body followed by ';' counts twice, which only makes the count
        # generous: a run of one line is a group only when it declares
        # several fields.
        macro = any(lines[x].lstrip().startswith("#") for x in range(k, j))
        # Several fields declared on one line (int r = 1, g = 2;) are a run too.
        fields = j - k == 1 and MULTI_FIELD.match(lines[k])
        if (decls >= 2 and j - k >= 2 or fields) and not scoped and not macro and depth == 0:
            # The group opens on the first declaration, after the comment: a
            # marker on the comment's own line would cut its brief at the
            # line's end.
            opens.add(k)
            if os.environ.get("QRN_DOC_GROUPS"):  # for a writer checking what each comment covers
                sys.stderr.write(f"{sys.argv[1]}:{start + 1}-{j}: {lines[start].strip()}\n")
            if j < n:
                closes.add(j)
            else:
                out[-1] += " /**@}*/"
            i = j
        else:
            i = k
    for x in range(n):
        marks = ("/**@}*/ " if x in closes else "") + ("/**@{*/ " if x in opens else "")
        if marks:
            out[x] = re.sub(r"^(\s*)", lambda m: m.group(1) + marks, out[x], count=1)


if __name__ == "__main__":
    main(sys.argv[1])
