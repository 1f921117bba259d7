#!/usr/bin/python3
"""The program as a screen reader meets it, over the desktop's accessibility bus (AT-SPI).

    atspi_check.py PROGRAM DECK WORD DEFINITION

Starts PROGRAM on DECK, a Deck of one Item, and checks what a screen reader finds and can do:
the status text and the word and definition on the Study page as accessible names; Go, the
tool-bar toggles and the answer check boxes pressed through their actions, their checked
states arriving as events; the word list's sort menu found and pressed while it is open; and
"E&xit" from the main menu. Prints one line per check; exit status 0 when all hold, 1 otherwise.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

program, deck, word, definition = sys.argv[1:5]
failures = 0
events = []  # (source name, state, value) of every checked-state change


def check(what, condition):
    global failures
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures += 1


def await_(what, find, timeout=60):
    """Runs the event loop until find() answers something, and answers it (None on time-out)."""
    deadline = time.monotonic() + timeout
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        found = find()
        if found:
            return found
        time.sleep(0.05)
    print("timed out waiting for " + what, flush=True)
    return None


def descendant(root, role, name=None, description=None):
    def matches(node):
        return (node is not None and (role is None or node.getRole() == role) and (name is None or node.name == name)
                and (description is None or node.description == description))
    return pyatspi.findDescendant(root, matches)


def act(node, *names):
    """Runs the first of the named actions that the object offers."""
    actions = node.queryAction()
    for index in range(actions.nActions):
        if actions.getName(index) in names:
            return actions.doAction(index)
    raise AssertionError(f"{node.name!r} offers none of {names}")


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def on_state_changed(event):
    if event.type.endswith(":checked"):
        events.append((event.source.name, bool(event.detail1)))


def changes_seen(*wanted):
    return lambda: all(change in events for change in wanted)


pyatspi.Registry.registerEventListener(on_state_changed, "object:state-changed:checked")
# A screen reader follows name changes; listening for them keeps the names read here up to date.
pyatspi.Registry.registerEventListener(lambda event: None, "object:property-change:accessible-name")
process = subprocess.Popen([program, deck])


def application():
    for candidate in pyatspi.Registry.getDesktop(0):
        if candidate is not None and candidate.get_process_id() == process.pid and candidate.childCount:
            return candidate
    return None


try:
    app = await_("the program on the accessibility bus", application)
    if app is None:
        sys.exit(1)
    frame = await_("the main window", lambda: descendant(app, pyatspi.ROLE_FRAME, "Glossadrome"))

    status = descendant(frame, pyatspi.ROLE_LABEL, description="Status")
    # There is no window manager to activate the window: a click on the status bar does.
    x, y, width, height = status.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")
    word_field = descendant(frame, pyatspi.ROLE_TEXT, "Word")
    check("typing starts in the Word field",
          await_("focus in the Word field", lambda: word_field.getState().contains(pyatspi.STATE_FOCUSED)))
    check("the status text is the status label's name", status is not None and status.name == deck + " loaded.")
    check("the question drop-down is named Question", descendant(frame, pyatspi.ROLE_COMBO_BOX, "Question") is not None)
    preview = descendant(frame, None, description="Preview")
    check("the preview without a picture is named No picture", preview is not None and preview.name == "No picture")

    act(descendant(frame, pyatspi.ROLE_PAGE_TAB, "Study"), "Press")
    act(descendant(frame, pyatspi.ROLE_PUSH_BUTTON, "Go"), "Press")
    question = await_("the word asked", lambda: descendant(frame, pyatspi.ROLE_LABEL, word, "Word"))
    check("Go asks the word, and the word is the label's name", question is not None)
    phase = descendant(frame, None, description="Phase")  # a picture: Q for a question, A for an answer
    check("the phase picture is named Question", phase is not None and phase.name == "Question")

    random, in_order = (descendant(frame, pyatspi.ROLE_CHECK_BOX, name) for name in ("Random", "In Order"))
    act(in_order, "Toggle", "Press")
    check("In Order reports checked and Random unchecked",
          await_("the order toggles' events", changes_seen(("In Order", True), ("Random", False))) is not None
          and checked(in_order) and not checked(random))
    act(descendant(frame, pyatspi.ROLE_CHECK_BOX, "Frequency in effect"), "Toggle", "Press")
    check("Frequency in effect reports checked and Random checked again",
          await_("the frequency toggle's events", changes_seen(("Frequency in effect", True), ("Random", True)))
          is not None)

    act(descendant(frame, pyatspi.ROLE_PUSH_BUTTON, "Answers"), "Press")
    definition_box = await_("the answer panel", lambda: descendant(frame, pyatspi.ROLE_CHECK_BOX, "Definition"))
    if definition_box is not None:
        act(definition_box, "Toggle", "Press")
    check("checking Definition reports it, and Show Answer goes down",
          await_("the answer check box's events", changes_seen(("Definition", True), ("Show Answer", True)))
          is not None)
    act(descendant(frame, pyatspi.ROLE_PUSH_BUTTON, "Go"), "Press")
    answer = await_("the definition shown", lambda: descendant(frame, pyatspi.ROLE_TEXT, definition, "Definition"))
    check("Go answers with the definition, which is the memo's name", answer is not None)
    check("the phase picture is named Answer", phase is not None and phase.name == "Answer")

    # The sort menu: the right mouse button on the word list opens it.
    act(descendant(frame, pyatspi.ROLE_PAGE_TAB, "Edit"), "Press")
    words = descendant(frame, pyatspi.ROLE_LIST, "Words")

    def sort_menu():
        for child in app:
            if child is not None and child.getRole() == pyatspi.ROLE_POPUP_MENU:
                item = descendant(child, pyatspi.ROLE_MENU_ITEM, "Decending")
                if item is not None and child.getState().contains(pyatspi.STATE_SHOWING):
                    return item
        return None

    x, y, width, height = words.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b3c")
    descending = await_("the sort menu", sort_menu)
    check("the open sort menu is in the accessibility tree", descending is not None)
    if descending is not None:
        act(descending, "Press")
        check("pressing Decending there checks it", await_("Decending checked", lambda: checked(descending)))
        pyatspi.Registry.generateKeyboardEvent(0xff1b, None, pyatspi.KEY_SYM)  # Escape closes it
        check("the closed sort menu leaves the tree", await_("the menu to close", lambda: not sort_menu()))

    # Only the list that has the focus has a focused entry.
    def click(node):
        x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")

    def entry_focused():
        return words[0].getState().contains(pyatspi.STATE_FOCUSED)

    click(words[0])
    check("the entry clicked is focused", await_("the entry focused", entry_focused))
    click(word_field)
    check("the entry is no longer focused once the focus left the list",
          await_("the entry to lose the focus", lambda: not entry_focused()))

    file_menu = descendant(frame, pyatspi.ROLE_MENU_ITEM, "File")
    act(descendant(file_menu, pyatspi.ROLE_MENU_ITEM, "Exit"), "Press")
    check("Exit from the main menu ends the program", process.wait(timeout=60) == 0)
finally:
    if process.poll() is None:
        process.kill()
        process.wait()

sys.exit(1 if failures else 0)
