"""Every translatable text of the code has a finished English translation.

Usage: check_translations.py LUPDATE SOURCE_DIR WORK_DIR
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

lupdate, source, work = sys.argv[1:4]
fresh = work + "/rasmik_fresh.ts"
subprocess.run([lupdate, "-silent", "-locations", "none", "-source-language", "fa", "-target-language", "en",
                source + "/src", "-ts", fresh], check=True)


def messages(path):
    out = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for m in context.iter("message"):
            out[(name, m.findtext("source"))] = m.find("translation")
    return out


code = messages(fresh)
kept = messages(source + "/translations/rasmik_en.ts")
faults = []
if not code:
    faults.append("lupdate found no text in the code")
for key in code:
    if key not in kept:
        faults.append("no English for %r" % (key,))
for key, translation in kept.items():
    if key not in code:
        faults.append("not in the code any more: %r" % (key,))
        continue
    text = translation.text or ""
    if translation.get("type") in ("unfinished", "vanished", "obsolete") or not text.strip():
        faults.append("unfinished: %r" % (key,))
    if re.search("[\u0600-\u06ff]", text):
        faults.append("Persian left in the English of %r: %r" % (key, text))
    src = key[1]
    if sorted(re.findall(r"%\d", src)) != sorted(re.findall(r"%\d", text)):
        faults.append("other placeholders in %r: %r" % (key, text))
    if src.count("\n") != text.count("\n") or src.endswith(" ") != text.endswith(" "):
        faults.append("other line breaks or end in %r: %r" % (key, text))
for f in faults:
    print(f)
print("%d texts, %d faults" % (len(code), len(faults)))
sys.exit(1 if faults else 0)
