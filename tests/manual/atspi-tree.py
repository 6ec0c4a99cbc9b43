#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Prints what a screen reader is told of a running tool's window, through
# the at-spi bus: each object's role, name, description and states, one per
# line, indented by depth. Run it with the tool started under the same
# session bus with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 (tests/manual/atspi-tree.sh
# does all of it). Arguments: the application's name as at-spi lists it,
# then optionally the names of buttons to press first through at-spi's own
# Action interface, as a screen reader's user would.
import sys
import time
import pyatspi

WANTED_STATES = {
    pyatspi.STATE_CHECKED: "checked",
    pyatspi.STATE_FOCUSED: "focused",
    pyatspi.STATE_SENSITIVE: "enabled",
    pyatspi.STATE_EDITABLE: "editable",
}


def describe(obj):
    states = obj.getState()
    shown = [name for state, name in WANTED_STATES.items() if states.contains(state)]
    # Qt gives each label its own relation.
    labels = [relation.getTarget(i).name
              for relation in obj.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
              for i in range(relation.getNTargets())]
    labelled = " labelled-by=%r" % labels if labels else ""
    return "%s name=%r description=%r%s [%s]" % (
        obj.getLocalizedRoleName(), obj.name, obj.description, labelled, " ".join(shown))


def walk(obj, depth, out):
    out.append("  " * depth + describe(obj))
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, out)


def find_button(obj, name):
    if obj.getRole() == pyatspi.ROLE_PUSH_BUTTON and obj.name == name:
        return obj
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        found = find_button(child, name) if child is not None else None
        if found is not None:
            return found
    return None


def main():
    wanted, presses = sys.argv[1], sys.argv[2:]
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == wanted:
            for name in presses:
                button = find_button(app, name)
                if button is None:
                    print("no button %r" % name, file=sys.stderr)
                    return 1
                button.queryAction().doAction(0)
                time.sleep(1)
            out = []
            walk(app, 0, out)
            print("\n".join(out))
            return 0
    names = [desktop.getChildAtIndex(i).name for i in range(desktop.childCount)]
    print("no application %r on the bus; there are: %s" % (wanted, names), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
