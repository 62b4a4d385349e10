#!/usr/bin/python3
# A screen reader's view of the window, for the tests: reads the accessible tree of the running
# program over the accessibility bus with pyatspi and carries out one request.
#
#   at_client.py tree                     every node below the drawing area, one JSON per line
#   at_client.py act NAME [ROLE]          the first action of the node
#   at_client.py value NAME NUMBER        sets a slider's value
#   at_client.py text NAME TEXT           sets an entry's whole text
#   at_client.py type NAME TEXT           deletes an entry's text and inserts TEXT, no Return
#   at_client.py focus SECONDS            prints READY, then the name of the first entry that
#                                         gains the focus
#   at_client.py poll SECONDS PERIOD      reads the whole tree every PERIOD seconds
# Exit status 0 on success, 1 when the request failed, 2 when the window was not found.
import json
import sys
import time

import pyatspi


def area(seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None or app.name != "quavermill":
                continue
            for frame in app:
                if frame is None or frame.name != "Quavermill":
                    continue
                for child in frame:
                    if child is not None and child.getRoleName() == "panel" and child.name == "Quavermill":
                        return child
        time.sleep(0.2)
    print("no window on the accessibility bus", file=sys.stderr)
    sys.exit(2)


def describe(node, path):
    states = sorted(pyatspi.stateToString(s) for s in node.getState().getStates())
    c = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    out = {"path": path, "role": node.getRoleName(), "name": node.name, "states": states,
           "extents": [c.x, c.y, c.width, c.height]}
    try:
        a = node.queryAction()
        out["actions"] = [a.getName(i) for i in range(a.nActions)]
    except NotImplementedError:
        out["actions"] = []
    try:
        v = node.queryValue()
        out["value"] = [v.minimumValue, v.maximumValue, v.currentValue]
    except NotImplementedError:
        pass
    try:
        t = node.queryText()
        out["text"] = t.getText(0, -1)
        out["caret"] = t.caretOffset
    except NotImplementedError:
        pass
    return out


def walk(node, path, out):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        out.append(describe(child, path + [i]))
        walk(child, path + [i], out)
    return out


def find(root, name, role=None):
    for i in range(root.childCount):
        child = root.getChildAtIndex(i)
        if child is None:
            continue
        if child.name == name and (role is None or child.getRoleName() == role):
            return child
        found = find(child, name, role)
        if found is not None:
            return found
    return None


def node_or_exit(name, role=None):
    node = find(area(), name, role)
    if node is None:
        print("no node named %r" % name, file=sys.stderr)
        sys.exit(1)
    return node


def wait_focus(seconds):
    names = []

    def on_event(event):
        if event.detail1 == 1 and event.source.getRoleName() == "entry":
            names.append(event.source.name)
            pyatspi.Registry.stop()

    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:focused")
    area()
    print("READY", flush=True)

    def give_up():
        pyatspi.Registry.stop()
        return False

    from gi.repository import GLib
    GLib.timeout_add(int(seconds * 1000), give_up)
    pyatspi.Registry.start()
    if not names:
        return 1
    print(names[0])
    return 0


def main(argv):
    command = argv[1]
    if command == "tree":
        for node in walk(area(), [], []):
            print(json.dumps(node, ensure_ascii=False))
        return 0
    if command == "act":
        node = node_or_exit(argv[2], argv[3] if len(argv) > 3 else None)
        return 0 if node.queryAction().doAction(0) else 1
    if command == "value":
        node_or_exit(argv[2], "slider").queryValue().currentValue = float(argv[3])
        return 0
    if command == "text":
        return 0 if node_or_exit(argv[2], "entry").queryEditableText().setTextContents(argv[3]) else 1
    if command == "type":
        edit = node_or_exit(argv[2], "entry").queryEditableText()
        edit.deleteText(0, edit.characterCount)
        return 0 if edit.insertText(0, argv[3], len(argv[3])) else 1
    if command == "focus":
        return wait_focus(float(argv[2]))
    if command == "poll":
        end = time.time() + float(argv[2])
        while time.time() < end:
            walk(area(), [], [])
            time.sleep(float(argv[3]))
        return 0
    print("unknown command " + command, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
