"""Prints the texts of the labels the program shows, one per line, read through the desktop's
accessibility bus (AT-SPI), as a screen reader reads them: the name, and after a tab the value
(the description) where there is one. Roles given after the program's name ("push button",
"progress bar") are read instead of labels. Without an argument it only starts the
accessibility bus and its registry, so that a program started afterwards registers there."""
import sys

import pyatspi


def texts(accessible, out, roles=("label",)):
    try:
        if (accessible.getRoleName() in roles
                and accessible.getState().contains(pyatspi.STATE_SHOWING)):
            out.append("\t".join(filter(None, [accessible.name, accessible.description])))
        for i in range(accessible.childCount):
            texts(accessible.getChildAtIndex(i), out, roles)
    except Exception:  # a label that went away while it was read
        pass
    return out


desktop = pyatspi.Registry.getDesktop(0)
if len(sys.argv) > 1:
    for app in desktop:
        if app is not None and app.name == sys.argv[1]:
            print("\n".join(texts(app, [], sys.argv[2:] or ["label"])))
