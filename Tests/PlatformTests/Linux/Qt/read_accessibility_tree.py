#!/usr/bin/python3
"""Prints every accessible element of the applications on the AT-SPI bus, one per line:
role<TAB>name<TAB>description<TAB>states<TAB>text. Exits 3 when the bus cannot be reached, 4 when no
element named like argv[1] shows up within the time allowed."""
import sys
import time

try:
    import pyatspi
except ImportError:
    print("pyatspi is not installed", file=sys.stderr)
    sys.exit(3)


def walk(node, out, depth=0):
    if node is None or depth > 40:
        return
    try:
        role = node.getRoleName()
        name = node.name or ""
        description = node.description or ""
        states = ",".join(
            pyatspi.stateToString(s) for s in node.getState().getStates()
            if s in (pyatspi.STATE_CHECKED, pyatspi.STATE_ENABLED))
    except Exception:
        return
    text = ""
    try:
        words = node.queryText()
        text = words.getText(0, words.characterCount)
    except Exception:
        pass
    out.append(f"{role}\t{name}\t{description}\t{states}\t{text}")
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            walk(node.getChildAtIndex(i), out, depth + 1)
        except Exception:
            pass


def main():
    wanted = sys.argv[1] if len(sys.argv) > 1 else ""
    deadline = time.monotonic() + 20
    lines = []
    reached = False
    while time.monotonic() < deadline:
        try:
            desktop = pyatspi.Registry.getDesktop(0)
            reached = True
        except Exception as error:
            # The bus may still be starting.
            if time.monotonic() + 0.2 >= deadline or not reached and time.monotonic() > deadline - 10:
                print(f"the AT-SPI bus cannot be reached: {error}", file=sys.stderr)
                sys.exit(3)
            time.sleep(0.2)
            continue
        lines = []
        for i in range(desktop.childCount):
            walk(desktop.getChildAtIndex(i), lines)
        if any(wanted in line for line in lines):
            print("\n".join(lines))
            return 0
        time.sleep(0.2)
    print("\n".join(lines))
    return 4


sys.exit(main())
