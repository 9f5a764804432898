"""Adds up the JUnit XML files of a test run and prints one closing line."""
import pathlib
import sys
import xml.etree.ElementTree as ET

root = pathlib.Path(sys.argv[1])
passed = failed = skipped = 0
for xml in sorted(root.rglob("*.xml")):
    try:
        tree = ET.parse(xml)
    except ET.ParseError:
        print(f"unreadable result file: {xml}", file=sys.stderr)
        failed += 1
        continue
    for case in tree.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            print(f"failed: {xml.stem}: {case.get('classname', '')}.{case.get('name', '')}", file=sys.stderr)
        elif case.find("skipped") is not None or case.get("result") == "skipped" or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
print(f"summary: {passed} passed, {failed} failed, {skipped} skipped")
sys.exit(1 if failed else 0)
