#!/usr/bin/env python3
"""The page end to end in headless Chromium, Firefox and WebKit: the
scenario every window plays (testing/e2e_scenario.py), played by the page's
driver (browser.PageDriver) in each engine, with keys sent as a player's,
files given through the file input or dropped on the page and handed back
as downloads; then, in Chromium, what a page does otherwise:
files given as writable handles of the origin-private file system (the same
kind of handle as a file the player picks, whose dialog a test can't drive)
and patched in place, the 01/02 edition's size of file, a large file, the
accessibility tree as a screen reader reads it, and a browser that can't
start the program. from_disk plays the scenario's load, ticks and patches
on the page opened from the disk (the build's web zip, unpacked), then
patches the 01/02 edition's file by download to the Linux build's bytes.

Usage: e2e_page.py CASE[.ENGINE] SITE MAKE_SAMPLE_JS SAME_STEPS
       e2e_page.py --list
ENGINE: firefox or webkit; Chromium's entries are named by the case alone."""
import glob
import os
import subprocess
import sys
import tempfile
import time
import zipfile

import e2e_scenario as e2e
from e2e_scenario import MEMBER, RECORD, SKIPPED, Workspace, check, names_in, nation_file, others, result
from engines import Keys

# Set as a case starts: --list needs neither the browser nor Selenium.
SITE = MAKE_SAMPLE = SAME_STEPS = None
ORIGINAL = nation_file(Workspace.names, [1, 2, 0, 255, 2, 1, 1, 3])
FREE_MOVEMENT = e2e.FREE_MOVEMENT
# The scenario's cases a page plays: those with no path given at start but
# a file dropped on the page.
SCENARIO = ("load_tick_patch", "sample_given_at_start")
# The engines besides Chromium, each case of theirs an entry CASE.ENGINE:
# the scenario's, and those of the page's own that need nothing Chromium
# alone has.
OTHER_ENGINES = ("firefox", "webkit")
# And the zip's page opened from the disk, which every engine must open.
IN_EVERY_ENGINE = (*SCENARIO, "from_disk")


# What the page says before the browser's folder dialog, which shows no
# words of the page's.
BACKUP_FOLDER = ("Before the first patch", "Nation.dat.bak", "choose the folder to keep Nation.dat.bak in",
                 "the game's Data folder", "is kept as it is")
# The room a full disk leaves: room for an empty file, not for a nation file
# of three nations.
FULL = 400
# A second file of the origin-private file system.
OTHER = nation_file(["Andorra", "Malta", "Wales"], [1, 1, 1])


def write(root, name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
    return path


def driver(page):
    """The scenario's driver for a case of the page's own, its messages
    answered and its menu chosen from as in the scenario."""
    from browser import PageDriver
    return PageDriver(page, None)


def message(page, title, *wanted):
    return e2e.message(driver(page), title, *wanted)


def load_by_dialog(page, path):
    page.alt("l")
    page.choose_file(path)
    name = os.path.basename(path)
    return page.wait(lambda: page.js("return document.querySelector('.row') !== null"), f"{name} is listed")


def keyboard(page, root):
    """Tab and Shift+Tab walk every control in the design's order, the help
    box included, and Enter presses the button it reaches. A page's order
    ends at its edges, where the browser's own controls follow: it does not
    come round as a window's does."""
    order = ["cmdLoad", "lstNations", "cmdPatch", "cmdAllEEC", "RichTextBox1", "cmdExit", "cmdURL", "cmdEMail"]
    page.open()
    check(page.focused() == "cmdLoad", f"at start Load has the keyboard: {page.focused()}")
    walked = []
    for _ in range(7):
        page.keys(Keys.TAB)
        walked.append(page.focused())
    check(walked == order[1:], f"Tab walks the controls in the design's order: {walked}")
    walked = []
    for _ in range(7):
        page.chord(Keys.SHIFT, Keys.TAB)
        walked.append(page.focused())
    check(walked == order[-2::-1], f"Shift+Tab walks them back: {walked}")
    page.open()
    page.keys(*[Keys.TAB] * 5, Keys.ENTER)
    check(page.wait(page.ended, "the editor ends"), "Tab five times from Load, then Enter: Exit ends the editor")
    check("The editor has ended" in page.note(), f"the page says the editor has ended: {page.note()!r}")


def in_place(page, root):
    """Writable handles: the file patched where it is, its backup in the
    folder the player chooses for it once, which the browser remembers for
    the file; each patch one press of Patch, whatever the browser asks; a
    full disk leaves nothing behind."""
    for step in (first_in_place, loaded_again, another_visit, backup_ticks, no_backup_folder, full_disk,
                 dropped):
        step(page, root)


def loaded_and_ticked(page):
    """The page opened, Nation.dat loaded by its handle, and its first
    nation, Albania, ticked by Tab and Space."""
    page.open()
    page.private_file("Nation.dat", ORIGINAL)
    page.pick_private("Nation.dat")
    page.alt("l")
    page.wait(lambda: len(page.rows()) == 8, "the file is listed")
    page.keys(Keys.TAB, Keys.SPACE)


def first_in_place(page, root):
    """The file patched where it is, its backup in the folder the player
    chooses for it once."""
    loaded_and_ticked(page)

    # The browser's prompt for leave to write the file uses the press of
    # Patch up; the page's message on the backup's folder gives the folder
    # dialog its click.
    page.alt("p")
    message(page, "Cm3 Tallowmere", *BACKUP_FOLDER)
    check(page.dialog()["focused"], "the keyboard is in the message that follows")
    message(page, "SUCCESS", "File Patched Succesfully")
    check(page.note() == "8 nations loaded from Nation.dat",
          f"the line under the window tells the load again once the folder dialog is over: {page.note()!r}")
    patched = page.private_bytes("Nation.dat")
    check(e2e.members_of(patched) == [2, 2, 1, 1, 2, 1, 1, 1] and others(patched) == others(ORIGINAL),
          f"patched in place, only membership bytes changed: {e2e.members_of(patched)}")
    asked = page.picked()
    check(asked == {"prompts": ["file:Nation.dat"],
                    "folders": [{"id": "nation-backup", "mode": "readwrite", "startIn": "Nation.dat",
                                 "note": "Choose the folder to keep Nation.dat.bak in"}]},
          f"one press of Patch: leave to write the file, then the folder dialog, beside the file, for leave to "
          f"write there, while the line under the window says what it is for: {asked}")
    check(page.private_bytes("Nation.dat.bak") == ORIGINAL, "the backup is the file as it was")
    check(page.private_names() == ["Nation.dat", "Nation.dat.bak"], f"nothing else is left: {page.private_names()}")
    check(page.downloads_since(0) == [], "nothing is downloaded")


def loaded_again(page, root):
    """A second patch, then the same file loaded again, its changes dropped:
    its backup is found in its folder and kept as it is, and nothing is
    asked."""
    asked = page.picked()
    page.alt("m")
    page.alt("p")
    message(page, "SUCCESS", "File Patched Succesfully")
    check(e2e.members_of(page.private_bytes("Nation.dat")) == [2] * 8, "make all, then patch: 2 in every record")

    # The same file loaded again, its changes dropped: its backup is found
    # in its folder and kept as it is, and nothing is asked.
    page.focus_list()
    page.keys(Keys.SPACE)
    page.alt("l")
    page.wait(lambda: [row[1:3] for row in page.rows()] == [(True, False)] * 8, "the file is listed again")
    page.keys(Keys.TAB, Keys.SPACE)
    page.alt("p")
    message(page, "SUCCESS", "File Patched Succesfully")
    check(e2e.members_of(page.private_bytes("Nation.dat"))[0] == 1 and page.picked() == asked,
          f"loaded again and patched, with nothing asked: {page.picked()}")
    check(page.private_bytes("Nation.dat.bak") == ORIGINAL, "the backup is still the file as it first was")


def another_visit(page, root):
    # Another visit, as after the browser restarts: its prompts come again,
    # for the file and the folder chosen before, each on one click, and the
    # backup stays as it was.
    page.open()
    page.pick_private("Nation.dat")
    page.alt("l")
    page.wait(lambda: len(page.rows()) == 8, "the file is listed in another visit")
    page.keys(Keys.TAB, Keys.SPACE)
    page.alt("p")
    message(page, "Cm3 Tallowmere", "Nation.dat.bak", "chosen for it before",
                 "press OK, then allow it")
    message(page, "SUCCESS", "File Patched Succesfully")
    asked = page.picked()
    check(asked == {"prompts": ["file:Nation.dat", "directory:"], "folders": []},
          f"in another visit, leave to write the file and the folder, no folder dialog: {asked}")
    check(e2e.members_of(page.private_bytes("Nation.dat"))[0] == 2, "the patch of another visit is written")
    check(page.private_bytes("Nation.dat.bak") == ORIGINAL, "the backup is still the file as it first was")


def backup_ticks(page, root):
    # The ticks of the backup, from the menu the backup adds.
    page.chord(Keys.SHIFT, Keys.TAB)
    page.chord(Keys.SHIFT, Keys.F10)
    labels = page.wait(lambda: page.js("return [...document.querySelectorAll('.menu .item')].map((i) => i.textContent)"),
                       "the menu opens")
    check(labels and labels[-1] == "Ticks from the backup", f"the menu offers the backup's ticks: {labels}")
    page.keys(Keys.END, Keys.ENTER)
    check(page.wait(lambda: [row[1] for row in page.rows()] == [False, True, False, False, True, False, False, False],
                    "the backup's ticks"), "the backup's ticks")

    # Another program changes a membership byte: the patch would set it
    # back, so it is refused and writes nothing.
    changed = bytearray(page.private_bytes("Nation.dat"))
    changed[7 * RECORD + MEMBER] = 1
    page.private_file("Nation.dat", bytes(changed))
    page.alt("p")
    message(page, "ERROR", "has changed since it was loaded. Nothing was written")
    check(page.private_bytes("Nation.dat") == bytes(changed), "the changed file is left as it was")


def no_backup_folder(page, root):
    # A file whose backup the player gives no folder: nothing is patched.
    page.private_file("Other.dat", OTHER)
    page.pick_private("Other.dat", chosen=False)
    page.alt("l")
    page.wait(lambda: [row[0] for row in page.rows()] == ["Andorra", "Malta", "Wales"], "the other file is listed")
    page.alt("m")
    # Escape on the message that leads to the folder dialog declines it:
    # no dialog, nothing patched, said once.
    folders = len(page.picked()["folders"])
    page.alt("p")
    e2e.message(driver(page), "Cm3 Tallowmere", "Other.dat.bak", "choose the folder", key="Escape")
    message(page, "ERROR", "Other.dat.bak", "no folder was chosen for it", "Nothing was patched")
    check(len(page.picked()["folders"]) == folders, "Escape on the message opens no folder dialog")
    check(page.no_dialog(), "and nothing more is said")
    page.alt("p")
    message(page, "Cm3 Tallowmere", "Other.dat.bak", "choose the folder")
    message(page, "ERROR", "Other.dat.bak", "no folder was chosen for it",
                 "Nothing was patched")
    check(page.private_bytes("Other.dat") == OTHER, "the file without a backup is left as it was")

    # Asked again after the cancel, the folder is chosen, and the backup
    # made in it; the folder is not asked for again.
    page.pick_private("Other.dat")
    page.alt("p")
    message(page, "Cm3 Tallowmere", "Other.dat.bak", "choose the folder")
    message(page, "SUCCESS", "File Patched Succesfully")
    check(page.private_bytes("Other.dat.bak") == OTHER and e2e.members_of(page.private_bytes("Other.dat")) == [2] * 3,
          "the backup is the file as it was, and the file is patched")


def full_disk(page, root):
    asked = page.picked()
    # A full disk: the file can't be written, and nothing of the browser's
    # copy of it is left; a copy an earlier failure left goes with the next
    # patch.
    page.focus_list()
    page.keys(Keys.SPACE)
    page.storage_left(FULL)
    page.alt("p")
    # Named as the player knows it, not by the page's own folder.
    message(page, "ERROR", 'The file "Other.dat" could not be patched')
    page.storage_left(None)
    check(e2e.members_of(page.private_bytes("Other.dat")) == [2] * 3, "the file that could not be patched is as it was")
    check(page.private_names() == ["Nation.dat", "Nation.dat.bak", "Other.dat", "Other.dat.bak"],
          f"the failed patch left nothing: {page.private_names()}")
    page.private_file("Other.dat.crswap", OTHER)
    page.alt("p")
    message(page, "SUCCESS", "File Patched Succesfully")
    check(e2e.members_of(page.private_bytes("Other.dat")) == [1, 2, 2]
          and page.private_names() == ["Nation.dat", "Nation.dat.bak", "Other.dat", "Other.dat.bak"],
          f"a patch takes away the browser's copy an earlier failure left: {page.private_names()}")

    # The backup gone, and a full disk: a new one can't be written, and
    # nothing of it is left; with room, it is made again, nothing asked.
    page.private_remove("Other.dat.bak")
    page.focus_list()
    page.keys(Keys.SPACE)
    page.storage_left(FULL)
    page.alt("p")
    message(page, "ERROR", 'The backup "Other.dat.bak" could not be made', "Nothing was patched")
    page.storage_left(None)
    check(e2e.members_of(page.private_bytes("Other.dat")) == [1, 2, 2], "the file whose backup failed is as it was")
    check(page.private_names() == ["Nation.dat", "Nation.dat.bak", "Other.dat"],
          f"the failed backup left nothing: {page.private_names()}")
    page.alt("p")
    message(page, "SUCCESS", "File Patched Succesfully")
    check(e2e.members_of(page.private_bytes("Other.dat.bak")) == [1, 2, 2]
          and e2e.members_of(page.private_bytes("Other.dat")) == [2] * 3 and page.picked() == asked,
          f"with room, the backup is the file as it was before this patch, with nothing asked: {page.picked()}")


def dropped(page, root):
    # A link to a nation file, dropped from the disk: the browser opens no
    # link, and the page says to open the file it leads to.
    real = write(root, "Linked/Game.dat", ORIGINAL)
    link = os.path.join(root, "Linked", "Nation.dat")
    os.symlink(real, link)
    page.drop_path(link)
    message(page, "ERROR", "Nation.dat", "opens no link to a file", "Open the file it leads to")
    page.drop_path(real)
    check(page.wait(lambda: len(page.rows()) == 8, "the file the link leads to is listed"),
          "the file the link leads to, dropped, opens")

    # Dropped files: one of the wrong length is refused and the list stays;
    # a nation file opens.
    page.drop("Nation.dat", ORIGINAL[:291])
    message(page, "ERROR", "This is NOT the Nations.dat file. Pick Again")
    check(page.no_dialog() and len(page.rows()) == 8, "the list stays as it was, no dialog after it")
    page.drop("Nation.dat", nation_file(["Andorra", "Malta"], [2, 1]))
    check(page.wait(lambda: [row[0] for row in page.rows()] == ["Andorra", "Malta"], "the dropped file is listed"),
          "a nation file dropped on the page opens")


def edition_files(root):
    """The 01/02 edition's size of file, 213 nations with names such as "São
    Tomé & Principe", and the bytes the Linux build's commands make of it
    given the steps below: (its path, its bytes, the patched bytes)."""
    if not os.access(SAME_STEPS, os.X_OK):
        print(f"SKIPPED: the Linux build's {SAME_STEPS} is missing (make build)")
        sys.exit(SKIPPED)
    original_path = os.path.join(root, "Edition", "Nation.dat")
    os.makedirs(os.path.dirname(original_path))
    subprocess.run([SAME_STEPS, "--edition-0102", original_path], check=True)
    original = open(original_path, "rb").read()
    sao = names_in(original_path).index("S\u00e3o Tom\u00e9 & Principe")
    linux = write(root, "Linux/Nation.dat", original)
    subprocess.run([SAME_STEPS, linux, "free:2004", f"tick:{sao}", "patch"], check=True)
    check(open(linux + ".bak", "rb").read() == original, "the Linux build's backup is the file as it was")
    return original_path, original, open(linux, "rb").read()


def edition_steps(page):
    """The edition's file listed: the free movement of 2004 ticked, São Tomé
    found by its name and ticked, and Patch pressed."""
    check(page.wait(lambda: page.js("const list = document.querySelector('.list .rows');"
                                    "return list.getAttribute('aria-rowcount') === '213' && list.querySelector('.row') !== null"), "213 listed"),
          "213 nations listed")
    e2e.tick_preset(driver(page), FREE_MOVEMENT, 1, tab_from_load=True)
    message(page, "Cm3 Tallowmere", "2004")
    page.type("sao")
    check(page.focused() == "row:S\u00e3o Tom\u00e9 & Principe", f"'sao' finds S\u00e3o Tom\u00e9: {page.focused()}")
    time.sleep(1.3)
    scrolled = "return document.querySelector('.list .rows').scrollTop"
    top = page.js(scrolled)
    page.keys(Keys.SPACE)
    # A browser scrolls a page down at Space unless the list keeps the key.
    time.sleep(0.5)
    check(page.js(scrolled) == top, f"Space leaves the list where it was: {top}, {page.js(scrolled)}")
    page.alt("p")


def edition_by_download(page, original_path, original, expected):
    """The edition's file given through the file input and patched by
    download, as in a browser that can't write a file in place."""
    page.open()
    page.without_file_handles()
    # A browser names a download after one of the same name otherwise.
    for name in os.listdir(page.downloads):
        os.remove(os.path.join(page.downloads, name))
    load_by_dialog(page, original_path)
    since = time.time()
    edition_steps(page)
    message(page, "Cm3 Tallowmere", "Nation.dat.bak")
    message(page, "SUCCESS", "File Patched Succesfully")
    handed = page.handed_over(since, ["Nation.dat.bak", "Nation.dat"])
    check(handed.get("Nation.dat") == expected,
          "by download: the same bytes as the Linux build's commands given the same steps")
    check(handed.get("Nation.dat.bak") == original, "and the original as the backup")


def edition(page, root):
    """The 01/02 edition's file: the same steps give the same bytes as the
    Linux build's commands, in place and by download."""
    original_path, original, expected = edition_files(root)
    page.open()
    page.private_remove("Nation.dat.bak")
    page.private_file("Nation.dat", original)
    page.pick_private("Nation.dat")
    page.alt("l")
    edition_steps(page)
    message(page, "Cm3 Tallowmere", *BACKUP_FOLDER)
    message(page, "SUCCESS", "File Patched Succesfully")
    check(page.private_bytes("Nation.dat") == expected,
          "in place: the same bytes as the Linux build's commands given the same steps")
    check(page.private_bytes("Nation.dat.bak") == original, "and the same backup, the file as it was")
    edition_by_download(page, original_path, original, expected)


def from_disk(page, root):
    """The zip's page opened from the disk: the scenario's load, ticks and
    patches, then the edition's file patched to the Linux build's bytes."""
    edition = edition_files(root)
    scenario_case("load_tick_patch")(page, root)
    edition_by_download(page, *edition)


def value(node, key):
    """A value of a node of Chromium's accessibility tree."""
    return (node.get(key) or {}).get("value")


def prop(node, name):
    return next((p["value"].get("value") for p in node.get("properties", []) if p["name"] == name), None)


def accessible_list(nodes):
    """The list as a screen reader reads it, Albania ticked by hand."""
    by_id = {node["nodeId"]: node for node in nodes}

    def below(node, role):
        found = []
        for child in node.get("childIds", []):
            child = by_id.get(child)
            if child is None:
                continue
            if value(child, "role") == role:
                found.append(child)
            found += below(child, role)
        return found

    # A grid, which a screen reader hands the keys to, each row a check box
    # named by its nation, checked or not; the current one its active
    # descendant.
    grids = [node for node in nodes if value(node, "role") == "grid"]
    check(len(grids) == 1 and value(grids[0], "name") == "Nations", f"one grid, named Nations: {grids}")
    if grids:
        boxes = below(grids[0], "checkbox")
        read = [(value(box, "name"), prop(box, "checked"), value(box, "description")) for box in boxes]
        expected = [(name, "true" if ticked else "false", "changed, not yet patched" if i == 0 else None)
                    for i, (name, ticked) in enumerate(zip(Workspace.names, [1, 1, 0, 0, 1, 0, 0, 0]))]
        check(read == expected and len(below(grids[0], "row")) == 8,
              f"each of the 8 nations a row with a check box named by it, checked as ticked, "
              f"the changed one described: {read}")
        active = [related.get("idref") for p in grids[0].get("properties", []) if p["name"] == "activedescendant"
                  for related in p["value"].get("relatedNodes", [])]
        check(active == ["nation-0"], f"the grid's active descendant is its current row's box, Albania's: {active}")


def positions(page):
    """Where each drawn row says it stands, and of how many rows: a screen
    reader's "row 3", which a list that draws only some of its rows must
    tell itself."""
    return page.js("""const grid = document.querySelector('.list .rows');
        return [...document.querySelectorAll('.row')].sort((a, b) => a.dataset.row - b.dataset.row)
        .map((row) => [Number(row.getAttribute('aria-rowindex')), Number(grid.getAttribute('aria-rowcount'))]);""")


def accessibility(page, root):
    """The page as a screen reader reads it, from Chromium's accessibility
    tree."""
    loaded_and_ticked(page)

    check(page.note() == "8 nations loaded from Nation.dat", f"the load told as a status: {page.note()!r}")
    nodes = page.accessibility_tree()
    accessible_list(nodes)
    check(positions(page) == [[i + 1, 8] for i in range(8)], f"each row's place in the list: {positions(page)}")
    # The list is one Tab stop, rows and all, after a load as before it.
    page.keys(Keys.TAB)
    check(page.focused() == "cmdPatch", f"Tab from the list reaches Patch: {page.focused()}")
    page.chord(Keys.SHIFT, Keys.TAB)
    check(page.focused() == "row:Albania", f"Shift+Tab comes back to the list's current row: {page.focused()}")
    helps = [node for node in nodes if value(node, "role") == "textbox"]
    check(len(helps) == 1 and value(helps[0], "name") == "Help"
          and "make a backup of the nation.dat" in (value(helps[0], "value") or ""),
          f"the help box, named Help, holds the help text: {[(value(n, 'name'), value(n, 'value')) for n in helps]}")
    caret = page.js("const help = document.getElementById('RichTextBox1'); help.focus();"
                    "return [help.selectionStart, help.selectionEnd];")
    check(caret == [0, 0], f"the help box read from its first line, where its caret is: {caret}")
    buttons = {value(node, "name"): prop(node, "keyshortcuts") for node in nodes if value(node, "role") == "button"}
    check(buttons.get("Load Nations") == "Alt+L" and buttons.get("E-Mail Me") == "Alt+A",
          f"the buttons named by their text, with their access keys: {buttons}")

    page.alt("e")
    page.dialog()
    nodes = page.accessibility_tree()
    dialogs = [node for node in nodes if value(node, "role") == "dialog"]
    check(len(dialogs) == 1 and value(dialogs[0], "name") == "Cm3 Tallowmere"
          and "Are you sure you want to exit?" in (value(dialogs[0], "description") or ""),
          f"the question is a dialog named by its title, described by its text: {dialogs}")
    check(page.focused() != "cmdExit" and page.dialog()["focused"], "the keyboard is in the dialog")
    d = driver(page)
    d.press("n")
    check(d.gone("Cm3 Tallowmere"), "No closes the question")
    check(page.focused() == "cmdExit", "after the dialog the keyboard is back on Exit")

    page.focus_list()
    page.chord(Keys.SHIFT, Keys.F10)
    page.wait(lambda: page.js("return document.querySelector('.menu') !== null"), "the menu opens")
    nodes = page.accessibility_tree()
    menus = [node for node in nodes if value(node, "role") == "menu"]
    items = [value(node, "name") for node in nodes if value(node, "role") == "menuitem"]
    check(len(menus) == 1 and items[:2] == ["Tick all nations", "Untick all nations"],
          f"the context menu is a menu of items named without their '&': {items}")
    submenu(page)
    page.keys(Keys.ESCAPE)
    check(page.focused() == "row:Albania", f"Escape gives the list the keyboard back: {page.focused()}")


def submenu(page):
    """A submenu told as expanded while it is open; Left and Escape in it
    close it alone, the keyboard back on the entry that opened it."""
    def expanded():
        return page.js("""const at = document.activeElement;
            return [at.textContent, [...document.querySelectorAll('.menu [aria-haspopup]')]
                .map((item) => item.getAttribute('aria-expanded')), document.querySelectorAll('.menu').length];""")
    opener = "Tick only the EU members of"
    for close in (Keys.ARROW_LEFT, Keys.ESCAPE):
        page.keys(Keys.ARROW_DOWN, Keys.ARROW_DOWN, Keys.ARROW_RIGHT)
        shown = expanded()
        check(shown[1:] == [["true", "false"], 2], f"the submenu open, its entry told as expanded: {shown}")
        page.keys(close)
        shown = expanded()
        check(shown == [opener, ["false", "false"], 1],
              f"{close!r} closes the submenu alone, the keyboard back on its entry: {shown}")
        page.keys(Keys.HOME)


def large(page, root):
    """At 32,767 nations the list draws only the rows in view."""
    count = 32767
    data = nation_file([f"Nation {i}" for i in range(count)], [1 + (i % 2) for i in range(count)])
    page.open()
    page.private_file("Nation.dat", data)
    page.pick_private("Nation.dat")
    started = time.monotonic()
    page.alt("l")
    page.wait(lambda: page.js("const list = document.querySelector('.list .rows');"
                              "return list.getAttribute('aria-rowcount') === '32767' && list.querySelector('.row') !== null"), "32,767 listed", 60)
    took = time.monotonic() - started
    drawn = page.js("return document.querySelectorAll('.row').length")
    check(0 < drawn < 40, f"only the rows in view are drawn: {drawn}")
    page.keys(Keys.TAB, Keys.END)
    check(page.focused() == "row:Nation 32766", f"End reaches the last nation: {page.focused()}")
    page.chord(Keys.CONTROL, Keys.HOME)
    check(page.focused() == "row:Nation 0", f"Ctrl+Home the first: {page.focused()}")
    page.chord(Keys.CONTROL, Keys.END)
    check(page.focused() == "row:Nation 32766", f"and Ctrl+End the last again: {page.focused()}")
    check(positions(page)[-1] == [count, count], f"which says it is the last of {count}: {positions(page)[-1:]}")
    page.keys(Keys.SPACE)
    page.alt("m")
    check(all(row[1] for row in page.rows()), "make all ticks the rows in view")
    page.alt("p")
    message(page, "Cm3 Tallowmere", *BACKUP_FOLDER)
    message(page, "SUCCESS", "File Patched Succesfully")
    check(e2e.members_of(page.private_bytes("Nation.dat")) == [2] * count, "every record patched")
    print(f"32,767 nations listed {took:.2f} s after Alt+L (the speed is make bench's)")


def scenario_case(name):
    """A case of the scenario every window plays, on files of its own."""
    def play(page, root):
        from browser import PageDriver
        space = Workspace(["/usr/bin/node", MAKE_SAMPLE])
        try:
            e2e.play(name, PageDriver(page, space), space)
        finally:
            space.remove()
    return play


# Ways a browser may fail to start the program: what the page is given
# before its own scripts run.
FAILED_STARTS = [
    ("no WebAssembly", "delete window.WebAssembly;"),
    ("its WebAssembly refused", "WebAssembly.instantiate = async () => { throw new Error('refused'); };"),
    ("its script stopped before the program starts",
     "const add = window.addEventListener; window.addEventListener = function (type, ...rest) {"
     " if (type === 'keydown') throw new Error('no keys'); return add.call(this, type, ...rest); };"),
    ("a call of the page's failing once the controls are drawn",
     "HTMLElement.prototype.focus = function () { throw new Error('no focus'); };"),
]


def not_started(page, root):
    """A browser that can't start the program: the page says so in words,
    and shows no control, none to look usable."""
    for what, before_load in FAILED_STARTS:
        added = page.cdp("Page.addScriptToEvaluateOnNewDocument", source=before_load)["identifier"]
        page.engine.get(page.address)
        said = page.wait(lambda: page.js("const said = document.getElementById('not-started');"
                                         "return !said.hidden && said.textContent"), f"{what}: the page says so")
        check(said == "The editor could not start in this browser.", f"{what}: the page says so: {said!r}")
        shown = page.js("return [...document.querySelectorAll('.control, .menu')]"
                        ".filter((shown) => shown.checkVisibility()).map((shown) => shown.id || shown.className)")
        check(shown == [], f"{what}: no control shown: {shown}")
        page.cdp("Page.removeScriptToEvaluateOnNewDocument", identifier=added)
    # Then a start that works: the window, and none of those words.
    page.open()
    shown = page.js("return [document.getElementById('editor').checkVisibility(),"
                    " document.getElementById('not-started').hidden, document.getElementById('note').textContent]")
    check(shown == [True, True, ""], f"the program started: its window shown, nothing said: {shown}")


def unpacked_zip(root):
    """The web zip of the build unpacked in `root`: the folder of its page."""
    zips = glob.glob(os.path.join(os.path.dirname(os.path.abspath(SITE)), "nation-editor-*-web.zip"))
    check(len(zips) == 1, f"one web zip beside the site: {zips}")
    with zipfile.ZipFile(zips[0]) as unpacked:
        unpacked.extractall(root)
        folders = {name.split("/")[0] for name in unpacked.namelist()}
    return os.path.join(root, folders.pop())


CASES = {**{name: scenario_case(name) for name in SCENARIO}, "keyboard": keyboard, "in_place": in_place,
         "edition": edition, "accessibility": accessibility, "large": large, "not_started": not_started,
         "from_disk": from_disk}
# The cases played on the page opened from the disk, the zip's unpacked,
# with nothing else beside it.
FROM_DISK = {"from_disk"}


def main():
    global SITE, MAKE_SAMPLE, SAME_STEPS
    if sys.argv[1:] == ["--list"]:
        print("\n".join([*CASES, *(f"{case}.{engine}" for engine in OTHER_ENGINES for case in IN_EVERY_ENGINE)]))
        return 0
    entry, SITE, MAKE_SAMPLE, SAME_STEPS = sys.argv[1:5]
    case, _, engine = entry.partition(".")
    from browser import run_case
    engine = engine or "chromium"
    if case in FROM_DISK:
        with tempfile.TemporaryDirectory(prefix="e2e-page-zip-") as root:
            skipped = run_case(case, unpacked_zip(root), CASES[case], engine, from_disk=True)
    else:
        skipped = run_case(case, SITE, CASES[case], engine)
    return skipped if skipped is not None else result()


if __name__ == "__main__":
    sys.exit(main())
