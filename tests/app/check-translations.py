#!/usr/bin/env python3
"""Every text the sources give tr() has a finished translation in every res/translations/*.ts, with
the same %1..%9 arguments and, where the text has a keyboard mnemonic (&), one too.
Usage: check-translations.py LUPDATE SOURCE_DIR"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def messages(path):
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for m in context.iter("message"):
            key = (name, m.findtext("source"), m.findtext("comment") or "")
            t = m.find("translation")
            forms = [f.text or "" for f in t.iter("numerusform")] if m.get("numerus") == "yes" else [t.text or ""]
            found[key] = (t.get("type") or "", forms)
    return found


def arguments(text):
    return sorted(set(re.findall(r"%L?\d", text)))


def mnemonic(text):
    return re.search(r"&[^&\s]", text.replace("&&", "")) is not None


def main():
    lupdate, root = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "fresh.ts")
        subprocess.run([lupdate, "-silent", "-no-obsolete", "-locations", "none", "-extensions", "cpp,h",
                        os.path.join(root, "src"), "-ts", fresh], check=True)
        wanted = messages(fresh)
    folder = os.path.join(root, "res", "translations")
    files = sorted(f for f in os.listdir(folder) if f.endswith(".ts"))
    if not files:
        print("no translations in res/translations")
        return 1
    problems = []
    for name in files:
        have = messages(os.path.join(folder, name))
        for key in wanted:
            context, source, _ = key
            if key not in have:
                problems.append(f"{name}: [{context}] \"{source}\" is not in the file (run res/translations/update.sh)")
                continue
            kind, forms = have[key]
            if kind in ("unfinished", "vanished", "obsolete") or not all(f.strip() for f in forms):
                problems.append(f"{name}: [{context}] \"{source}\" has no finished translation")
                continue
            for f in forms:
                if arguments(f) != arguments(source) and not (len(forms) > 1 and "%n" in source):
                    problems.append(f"{name}: [{context}] \"{source}\": arguments {arguments(source)} but \"{f}\" has {arguments(f)}")
                if mnemonic(source) != mnemonic(f):
                    problems.append(f"{name}: [{context}] \"{source}\": the mnemonic (&) is kept in one and not the other: \"{f}\"")
        print(f"{name}: {len(wanted)} texts checked")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
