#!/usr/bin/env python3
"""The page end to end in headless Chromium: the scenario both windows play
(testing/e2e_scenario.py), as far as a page can play it, with keys sent as a
player's; files given through the file input and handed back as downloads,
or given as writable handles of the origin-private file system (the same
kind of handle as a file the player picks, whose dialog a test can't drive)
and patched in place; the accessibility tree as a screen reader reads it.

Usage: e2e_page.py CASE SITE MAKE_SAMPLE_JS SAME_STEPS
CASE: keyboard, download, in_place, edition, accessibility or large."""
import os
import shutil
import subprocess
import sys
import time

from browser import run_case
from e2e_scenario import (EU_2013_IN_SAMPLE, MEMBER, RECORD, SKIPPED, Workspace, check, memberships, names_in,
                          nation_file, others, result)
from selenium.webdriver.common.keys import Keys

CASE, SITE, MAKE_SAMPLE, SAME_STEPS = sys.argv[1:5]
ORIGINAL = nation_file(Workspace.names, [1, 2, 0, 255, 2, 1, 1, 3])
# The context menu's submenus, counted down from its first entry.
EU_MEMBERS, FREE_MOVEMENT = 2, 3


# What the page says before the browser's folder dialog, which shows no
# words of the page's.
BACKUP_FOLDER = ("Before the first patch", "Nation.dat.bak", "choose the folder to keep Nation.dat.bak in",
                 "the game's Data folder", "is kept as it is")
# The room a full disk leaves: room for an empty file, not for a nation file
# of three nations.
FULL = 400

# Whether the browser would ask before the tab closes.
LEAVING = ("const leaving = new Event('beforeunload', {cancelable: true});"
           "dispatchEvent(leaving); return leaving.defaultPrevented;")


def members_of(data):
    return [data[i * RECORD + MEMBER] for i in range(len(data) // RECORD)]


def write(root, name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
    return path


def tick_preset(page, submenu, year):
    """From the list, its context menu by the keyboard (Shift+F10): the
    year `year` steps down in the submenu `submenu` steps down."""
    page.chord(Keys.SHIFT, Keys.F10)
    page.wait(lambda: page.js("return document.querySelector('.menu') !== null"), "the context menu opens")
    page.keys(*([Keys.ARROW_DOWN] * submenu), Keys.ARROW_RIGHT, *([Keys.ARROW_DOWN] * year), Keys.ENTER)


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

    # Enter right after start presses Load; a cancel leaves the list empty
    # and the keyboard on Load.
    page.open()
    page.without_file_handles()
    page.keys(Keys.ENTER)
    check(page.wait(lambda: page.note() == "Locate your Nation.dat file", "the dialog's title"),
          "Enter right after start presses Load: the page says what the dialog is for")
    page.cancel_file()
    check(page.wait(lambda: page.note() == "", "the dialog goes"), "a cancel ends the load")
    check(page.rows() == [] and page.focused() == "cmdLoad", "nothing listed, Load has the keyboard again")


def download(page, root):
    """Through the file input, patched files handed over as downloads."""
    nation = write(root, "Game/Nation.dat", ORIGINAL)
    refused = write(root, "Wrong/Nation.dat", ORIGINAL[:291])
    page.open()
    page.without_file_handles()
    page.note_launches()

    # With nothing loaded, the context menu's entries are greyed out and do
    # nothing.
    page.keys(Keys.TAB)
    page.chord(Keys.SHIFT, Keys.F10)
    entries = page.wait(lambda: page.js("return [...document.querySelectorAll('.menu .item')]"
                                        ".map((item) => item.getAttribute('aria-disabled'))"), "the menu opens")
    check(entries and all(state == "true" for state in entries), f"with nothing loaded every entry is greyed: {entries}")
    page.keys(Keys.ARROW_DOWN, Keys.ARROW_DOWN, Keys.ARROW_RIGHT, Keys.ENTER)
    check(page.no_dialog(), "with nothing loaded, the context menu's entries do nothing")
    page.keys(Keys.ESCAPE)
    check(page.js("return document.querySelector('.menu') === null") and page.focused() == "lstNations",
          "Escape closes the menu, the list has the keyboard again")

    # The keyboard stays on Patch after its message: Enter presses it again.
    page.alt("p")
    page.message("ERROR", "a patch before any load", "Please load Nation.dat first")
    check(page.focused() == "cmdPatch", f"after the message Patch has the keyboard: {page.focused()}")
    page.keys(Keys.ENTER)
    page.message("ERROR", "Enter on Patch", "Please load Nation.dat first")

    # E-Mail Me hands its address over without leaving the page, which
    # would make the browser ask whether to leave it.
    page.alt("a")
    check(page.wait(lambda: page.launched() == ["mailto:nation-editor@example.org"], "the address handed over")
          and page.left() == 0, f"E-Mail Me hands its address to the browser, the page not left: {page.launched()}, "
                                f"left {page.left()} times")

    # A file of the wrong length is refused, and the dialog comes again.
    page.alt("l")
    page.choose_file(refused)
    page.message("ERROR", "a file of 291 bytes", "This is NOT the Nations.dat file. Pick Again")
    page.choose_file(nation)
    page.wait(lambda: page.rows(), "the nation file is listed")
    rows = page.rows()
    check([row[0] for row in rows] == Workspace.names, f"the nations listed as the file names them: {rows}")
    check([row[1] for row in rows] == [False, True, False, False, True, False, False, False],
          "ticked where the file holds 2 alone")
    check(page.focused() == "cmdLoad", f"after the dialog Load has the keyboard: {page.focused()}")

    # Tab reaches the list and its first nation, Space ticks it; typing a
    # name finds it, its space included; a space on its own ticks it.
    page.keys(Keys.TAB, Keys.SPACE)
    check(page.rows()[0][1:] == (True, True, "changed, not yet patched"),
          f"Space ticks Albania, bold, told to a screen reader as changed: {page.rows()[0]}")
    page.type("south korea")
    time.sleep(1.3)
    page.keys(Keys.SPACE)
    page.type("cote")
    time.sleep(1.3)
    page.keys(Keys.SPACE)
    check(page.focused() == "row:C\u00f4te d'Ivoire", f"typed without its accent, a name is found: {page.focused()}")
    check(page.downloads_since(0) == [], "ticking hands nothing over")
    check(page.js(LEAVING), "closing the tab with a file loaded and not patched asks first")

    page.alt("e")
    question = page.dialog()
    check(question and question["title"] == "Cm3 Tallowmere" and question["buttons"] == ["Yes", "No"]
          and "You have not patched the file. Are you sure you want to exit?" in question["text"],
          f"the exit question: {question}")
    page.keys(Keys.ESCAPE)
    check(not page.no_dialog(0.5), "Escape does not leave the question")
    page.answer("n", "No")
    check(not page.ended() and page.focused() == "cmdExit", "No keeps the editor, Exit has the keyboard")

    # The first patch hands over the file as it was, then the patched file.
    since = time.time()
    page.alt("p")
    page.message("Cm3 Tallowmere", "the first patch", "Nation.dat.bak", "before this first patch")
    page.message("SUCCESS", "the first patch", "File Patched Succesfully")
    handed = page.handed_over(since, ["Nation.dat.bak", "Nation.dat"])
    patched = handed.get("Nation.dat", b"")
    check(handed.get("Nation.dat.bak") == ORIGINAL, "the backup handed over is the file as it was")
    check(members_of(patched) == [2, 2, 1, 2, 2, 1, 2, 1],
          f"the patch wrote the ticks, Albania's by Space, South Korea's and C\u00f4te d'Ivoire's found by name: "
          f"{members_of(patched)}")
    check(len(patched) == len(ORIGINAL) and others(patched) == others(ORIGINAL), "no other byte changed")
    check("put it in place of the old Nation.dat" in page.note(), f"the page says what to do with it: {page.note()!r}")
    check(not any(row[2] for row in page.rows()), "after the patch no nation stands out")
    check(not page.js(LEAVING), "after the patch the tab closes without asking")

    since = time.time()
    page.alt("m")
    page.alt("p")
    page.message("SUCCESS", "make all, then patch", "File Patched Succesfully")
    handed = page.handed_over(since, ["Nation.dat"])
    check(members_of(handed.get("Nation.dat", b"")) == [2] * 8 and list(handed) == ["Nation.dat"],
          f"make all, then patch, hands over 2 in every record, and no second backup: {sorted(handed)}")

    # The members of 2004 from the context menu: the file lacks most.
    page.chord(Keys.SHIFT, Keys.TAB)
    tick_preset(page, EU_MEMBERS, 1)
    said = page.message("Cm3 Tallowmere", "the members of 2004", "2004", "Denmark", "Cyprus")
    check(said is not None and "Austria" not in said["text"].split("so none was ticked for them")[-1],
          "Austria is not named missing")
    since = time.time()
    page.alt("p")
    page.message("SUCCESS", "the members of 2004", "File Patched Succesfully")
    ticks = members_of(page.handed_over(since, ["Nation.dat"]).get("Nation.dat", b""))
    check(ticks == [1, 2, 2, 1, 2, 1, 1, 2], f"the members of 2004 ticked alone: Austria, Belgium, England, Wales: "
                                              f"{ticks}")

    # Free movement in 2021, after the United Kingdom's transition: the
    # file's England and Wales are named as unticked.
    page.chord(Keys.SHIFT, Keys.TAB)
    tick_preset(page, FREE_MOVEMENT, 5)
    page.message("Cm3 Tallowmere", "free movement in 2021", "Iceland", "Switzerland",
                 "members in the file but not in the European Union, the EEA and Switzerland in 2021", "England, Wales")
    since = time.time()
    page.alt("p")
    page.message("SUCCESS", "free movement in 2021", "File Patched Succesfully")
    ticks = members_of(page.handed_over(since, ["Nation.dat"]).get("Nation.dat", b""))
    check(ticks == [1, 2, 2, 1, 1, 1, 1, 1], f"free movement in 2021: Austria and Belgium alone: {ticks}")

    page.alt("v")
    check(page.launched() == ["mailto:nation-editor@example.org", "https://www.example.org/"],
          f"the web site button hands its address to the browser: {page.launched()}")

    # The sample file, dropped on the page: the members of 2013, all in it,
    # and one message that says what the preset ticked.
    sample = os.path.join(root, "Sample", "Nation.dat")
    os.makedirs(os.path.dirname(sample))
    subprocess.run(["/usr/bin/node", MAKE_SAMPLE, sample], check=True)
    page.drop("Nation.dat", open(sample, "rb").read())
    page.wait(lambda: page.rows() and page.rows()[0][0] == "Albania" and len(page.rows()) > 8, "the sample is listed")
    page.focus_list()
    tick_preset(page, EU_MEMBERS, 3)
    page.message("Cm3 Tallowmere", "the members of 2013 in the sample", "31 nations are ticked now", "Newly ticked: ")
    check(page.no_dialog(), "the sample holds every member of 2013: one message alone")
    since = time.time()
    page.alt("p")
    page.message("Cm3 Tallowmere", "the sample's first patch", "Nation.dat.bak")
    page.message("SUCCESS", "the sample's first patch", "File Patched Succesfully")
    handed = page.handed_over(since, ["Nation.dat.bak", "Nation.dat"])
    patched = os.path.join(page.downloads, "Nation.dat")
    ticked = {name for name, member in zip(names_in(patched), memberships(patched)) if member == 2}
    check(ticked == EU_2013_IN_SAMPLE, f"the members of 2013 ticked in the sample: {sorted(ticked ^ EU_2013_IN_SAMPLE)}")
    check(handed.get("Nation.dat.bak") == open(sample, "rb").read(), "its backup is the sample as it was")

    # Loaded again and not patched: exit asks, and Yes ends the editor.
    page.drop("Nation.dat", open(sample, "rb").read())
    page.wait(lambda: not any(row[2] for row in page.rows()) and page.rows()[7][1], "the sample is listed again")
    page.alt("e")
    page.message("Cm3 Tallowmere", "exit after a load", "Are you sure you want to exit?", key="y")
    check(page.wait(page.ended, "Yes ends the editor"), "Yes ends the editor")


def in_place(page, root):
    """Writable handles: the file patched where it is, its backup in the
    folder the player chooses for it once, which the browser remembers for
    the file; each patch one press of Patch, whatever the browser asks; a
    full disk leaves nothing behind."""
    page.open()
    page.private_file("Nation.dat", ORIGINAL)
    page.pick_private("Nation.dat", away=True)
    page.alt("l")
    page.wait(lambda: len(page.rows()) == 8, "the file is listed")
    page.keys(Keys.TAB, Keys.SPACE)

    # The browser's prompt for leave to write the file uses the press of
    # Patch up; the page's message on the backup's folder gives the folder
    # dialog its click. The message that follows comes up before the window
    # is active again: once it is, the keyboard comes to the message
    # afresh, for a screen reader to say it.
    page.alt("p")
    page.message("Cm3 Tallowmere", "the first patch in place", *BACKUP_FOLDER)
    page.dialog()
    page.window_back()
    check(page.wait(lambda: page.focused_since_back() == ["dialog SUCCESS", "button OK"], "the message's keyboard"),
          f"the window active again, the keyboard goes to the message, then its button: {page.focused_since_back()}")
    page.message("SUCCESS", "the first patch in place", "File Patched Succesfully")
    patched = page.private_bytes("Nation.dat")
    check(members_of(patched) == [2, 2, 1, 1, 2, 1, 1, 1] and others(patched) == others(ORIGINAL),
          f"patched in place, only membership bytes changed: {members_of(patched)}")
    asked = page.picked()
    check(asked == {"prompts": ["file:Nation.dat"],
                    "folders": [{"id": "nation-backup", "mode": "readwrite", "startIn": "Nation.dat",
                                 "note": "Choose the folder to keep Nation.dat.bak in"}]},
          f"one press of Patch: leave to write the file, then the folder dialog, beside the file, for leave to "
          f"write there, while the line under the window says what it is for: {asked}")
    check(page.private_bytes("Nation.dat.bak") == ORIGINAL, "the backup is the file as it was")
    check(page.private_names() == ["Nation.dat", "Nation.dat.bak"], f"nothing else is left: {page.private_names()}")
    check(page.downloads_since(0) == [], "nothing is downloaded")

    page.alt("m")
    page.alt("p")
    page.message("SUCCESS", "a second patch", "File Patched Succesfully")
    check(members_of(page.private_bytes("Nation.dat")) == [2] * 8, "make all, then patch: 2 in every record")

    # The same file loaded again, its changes dropped: its backup is found
    # in its folder and kept as it is, and nothing is asked.
    page.focus_list()
    page.keys(Keys.SPACE)
    page.alt("l")
    page.wait(lambda: [row[1:3] for row in page.rows()] == [(True, False)] * 8, "the file is listed again")
    page.keys(Keys.TAB, Keys.SPACE)
    page.alt("p")
    page.message("SUCCESS", "a patch after the file is loaded again", "File Patched Succesfully")
    check(members_of(page.private_bytes("Nation.dat"))[0] == 1 and page.picked() == asked,
          f"loaded again and patched, with nothing asked: {page.picked()}")
    check(page.private_bytes("Nation.dat.bak") == ORIGINAL, "the backup is still the file as it first was")

    # Another visit, as after the browser restarts: its prompts come again,
    # for the file and the folder chosen before, each on one click, and the
    # backup stays as it was.
    page.open()
    page.pick_private("Nation.dat")
    page.alt("l")
    page.wait(lambda: len(page.rows()) == 8, "the file is listed in another visit")
    page.keys(Keys.TAB, Keys.SPACE)
    page.alt("p")
    page.message("Cm3 Tallowmere", "a patch in another visit", "Nation.dat.bak", "chosen for it before",
                 "press OK, then allow it")
    page.message("SUCCESS", "a patch in another visit", "File Patched Succesfully")
    asked = page.picked()
    check(asked == {"prompts": ["file:Nation.dat", "directory:"], "folders": []},
          f"in another visit, leave to write the file and the folder, no folder dialog: {asked}")
    check(members_of(page.private_bytes("Nation.dat"))[0] == 2, "the patch of another visit is written")
    check(page.private_bytes("Nation.dat.bak") == ORIGINAL, "the backup is still the file as it first was")

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
    page.message("ERROR", "a file changed since the load", "has changed since it was loaded. Nothing was written")
    check(page.private_bytes("Nation.dat") == bytes(changed), "the changed file is left as it was")

    # A file whose backup the player gives no folder: nothing is patched.
    other = nation_file(["Andorra", "Malta", "Wales"], [1, 1, 1])
    page.private_file("Other.dat", other)
    page.pick_private("Other.dat", chosen=False)
    page.alt("l")
    page.wait(lambda: [row[0] for row in page.rows()] == ["Andorra", "Malta", "Wales"], "the other file is listed")
    page.alt("m")
    page.alt("p")
    page.message("Cm3 Tallowmere", "no folder for the backup", "Other.dat.bak", "choose the folder")
    page.message("ERROR", "no folder for the backup", "Other.dat.bak", "no folder was chosen for it",
                 "Nothing was patched")
    check(page.private_bytes("Other.dat") == other, "the file without a backup is left as it was")

    # Asked again after the cancel, the folder is chosen, and the backup
    # made in it; the folder is not asked for again.
    page.pick_private("Other.dat")
    page.alt("p")
    page.message("Cm3 Tallowmere", "the folder asked for again after a cancel", "Other.dat.bak", "choose the folder")
    page.message("SUCCESS", "the backup in the folder chosen after a cancel", "File Patched Succesfully")
    check(page.private_bytes("Other.dat.bak") == other and members_of(page.private_bytes("Other.dat")) == [2] * 3,
          "the backup is the file as it was, and the file is patched")
    asked = page.picked()

    # A full disk: the file can't be written, and nothing of the browser's
    # copy of it is left; a copy an earlier failure left goes with the next
    # patch.
    page.focus_list()
    page.keys(Keys.SPACE)
    page.storage_left(FULL)
    page.alt("p")
    page.message("ERROR", "a patch on a full disk", "Other.dat", "could not be patched")
    page.storage_left(None)
    check(members_of(page.private_bytes("Other.dat")) == [2] * 3, "the file that could not be patched is as it was")
    check(page.private_names() == ["Nation.dat", "Nation.dat.bak", "Other.dat", "Other.dat.bak"],
          f"the failed patch left nothing: {page.private_names()}")
    page.private_file("Other.dat.crswap", other)
    page.alt("p")
    page.message("SUCCESS", "a patch after a copy was left", "File Patched Succesfully")
    check(members_of(page.private_bytes("Other.dat")) == [1, 2, 2]
          and page.private_names() == ["Nation.dat", "Nation.dat.bak", "Other.dat", "Other.dat.bak"],
          f"a patch takes away the browser's copy an earlier failure left: {page.private_names()}")

    # The backup gone, and a full disk: a new one can't be written, and
    # nothing of it is left; with room, it is made again, nothing asked.
    page.private_remove("Other.dat.bak")
    page.focus_list()
    page.keys(Keys.SPACE)
    page.storage_left(FULL)
    page.alt("p")
    page.message("ERROR", "the backup on a full disk", "Other.dat.bak", "could not be made", "Nothing was patched")
    page.storage_left(None)
    check(members_of(page.private_bytes("Other.dat")) == [1, 2, 2], "the file whose backup failed is as it was")
    check(page.private_names() == ["Nation.dat", "Nation.dat.bak", "Other.dat"],
          f"the failed backup left nothing: {page.private_names()}")
    page.alt("p")
    page.message("SUCCESS", "the backup made again", "File Patched Succesfully")
    check(members_of(page.private_bytes("Other.dat.bak")) == [1, 2, 2]
          and members_of(page.private_bytes("Other.dat")) == [2] * 3 and page.picked() == asked,
          f"with room, the backup is the file as it was before this patch, with nothing asked: {page.picked()}")

    # A link to a nation file, dropped from the disk: the browser opens no
    # link, and the page says to open the file it leads to.
    real = write(root, "Linked/Game.dat", ORIGINAL)
    link = os.path.join(root, "Linked", "Nation.dat")
    os.symlink(real, link)
    page.drop_path(link)
    page.message("ERROR", "a link dropped", "Nation.dat", "opens no link to a file", "Open the file it leads to")
    page.drop_path(real)
    check(page.wait(lambda: len(page.rows()) == 8, "the file the link leads to is listed"),
          "the file the link leads to, dropped, opens")

    # Dropped files: one of the wrong length is refused and the list stays;
    # a nation file opens.
    page.drop("Nation.dat", ORIGINAL[:291])
    page.message("ERROR", "a dropped file of 291 bytes", "This is NOT the Nations.dat file. Pick Again")
    check(page.no_dialog() and len(page.rows()) == 8, "the list stays as it was, no dialog after it")
    page.drop("Nation.dat", nation_file(["Andorra", "Malta"], [2, 1]))
    check(page.wait(lambda: [row[0] for row in page.rows()] == ["Andorra", "Malta"], "the dropped file is listed"),
          "a nation file dropped on the page opens")


def edition(page, root):
    """The 01/02 edition's size, 213 nations with names such as "São Tomé &
    Principe": the same steps give the same bytes as the Linux build's
    commands, in place and by download."""
    if not os.access(SAME_STEPS, os.X_OK):
        print(f"SKIPPED: the Linux build's {SAME_STEPS} is missing (make build)")
        sys.exit(SKIPPED)
    original_path = os.path.join(root, "Edition", "Nation.dat")
    os.makedirs(os.path.dirname(original_path))
    subprocess.run([SAME_STEPS, "--edition-0102", original_path], check=True)
    original = open(original_path, "rb").read()
    names = names_in(original_path)
    sao = names.index("S\u00e3o Tom\u00e9 & Principe")
    linux = write(root, "Linux/Nation.dat", original)
    subprocess.run([SAME_STEPS, linux, "free:2004", f"tick:{sao}", "patch"], check=True)
    expected = open(linux, "rb").read()

    def steps():
        check(page.wait(lambda: page.js("const row = document.querySelector('.row');"
                                        "return row && row.getAttribute('aria-setsize') === '213'"), "213 listed"),
              "213 nations listed")
        page.keys(Keys.TAB)
        tick_preset(page, FREE_MOVEMENT, 1)
        page.message("Cm3 Tallowmere", "free movement in 2004", "2004")
        page.type("sao")
        check(page.focused() == "row:S\u00e3o Tom\u00e9 & Principe", f"'sao' finds S\u00e3o Tom\u00e9: {page.focused()}")
        time.sleep(1.3)
        page.keys(Keys.SPACE)
        page.alt("p")

    page.open()
    page.private_remove("Nation.dat.bak")
    page.private_file("Nation.dat", original)
    page.pick_private("Nation.dat")
    page.alt("l")
    steps()
    page.message("Cm3 Tallowmere", "the patch in place", *BACKUP_FOLDER)
    page.message("SUCCESS", "the patch in place", "File Patched Succesfully")
    check(page.private_bytes("Nation.dat") == expected,
          "in place: the same bytes as the Linux build's commands given the same steps")
    check(page.private_bytes("Nation.dat.bak") == open(linux + ".bak", "rb").read() == original,
          "and the same backup, the file as it was")

    page.open()
    page.without_file_handles()
    load_by_dialog(page, original_path)
    since = time.time()
    steps()
    page.message("Cm3 Tallowmere", "the first patch by download", "Nation.dat.bak")
    page.message("SUCCESS", "the patch by download", "File Patched Succesfully")
    handed = page.handed_over(since, ["Nation.dat.bak", "Nation.dat"])
    check(handed.get("Nation.dat") == expected,
          "by download: the same bytes as the Linux build's commands given the same steps")
    check(handed.get("Nation.dat.bak") == original, "and the original as the backup")


def accessibility(page, root):
    """The page as a screen reader reads it, from Chromium's accessibility
    tree."""
    page.open()
    page.private_file("Nation.dat", ORIGINAL)
    page.pick_private("Nation.dat")
    page.alt("l")
    page.wait(lambda: len(page.rows()) == 8, "the file is listed")
    page.keys(Keys.TAB, Keys.SPACE)

    nodes = page.accessibility_tree()
    by_id = {node["nodeId"]: node for node in nodes}

    def value(node, key):
        return (node.get(key) or {}).get("value")

    def prop(node, name):
        return next((p["value"].get("value") for p in node.get("properties", []) if p["name"] == name), None)

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

    lists = [node for node in nodes if value(node, "role") == "list"]
    check(len(lists) == 1 and value(lists[0], "name") == "Nations", f"one list, named Nations: {lists}")
    if lists:
        items = below(lists[0], "listitem")
        boxes = [below(item, "checkbox") for item in items]
        read = [(value(box[0], "name"), prop(box[0], "checked"), value(box[0], "description")) for box in boxes if box]
        check(len(items) == 8 and len(read) == 8, f"each of the 8 nations a list item holding a check box: {read}")
        expected = [(name, "true" if ticked else "false", "changed, not yet patched" if i == 0 else None)
                    for i, (name, ticked) in enumerate(zip(Workspace.names, [1, 1, 0, 0, 1, 0, 0, 0]))]
        check(read == expected, f"each check box named by its nation, checked as ticked, the changed one described: "
                                f"{read}")
    helps = [node for node in nodes if value(node, "role") == "textbox"]
    check(len(helps) == 1 and value(helps[0], "name") == "Help"
          and "make a backup of the nation.dat" in (value(helps[0], "value") or ""),
          f"the help box, named Help, holds the help text: {[(value(n, 'name'), value(n, 'value')) for n in helps]}")
    buttons = {value(node, "name"): prop(node, "keyshortcuts") for node in nodes if value(node, "role") == "button"}
    check(buttons.get("Load Nations") == "Alt+L" and buttons.get("E-Mail Me") == "Alt+A",
          f"the buttons named by their text, with their access keys: {buttons}")

    page.alt("e")
    page.dialog()
    nodes = page.accessibility_tree()
    dialogs = [node for node in nodes if value(node, "role") == "alertdialog"]
    check(len(dialogs) == 1 and value(dialogs[0], "name") == "Cm3 Tallowmere"
          and "Are you sure you want to exit?" in (value(dialogs[0], "description") or ""),
          f"the question is a dialog named by its title, described by its text: {dialogs}")
    check(page.focused() != "cmdExit" and page.dialog()["focused"], "the keyboard is in the dialog")
    page.answer("n", "No")
    check(page.focused() == "cmdExit", "after the dialog the keyboard is back on Exit")

    page.focus_list()
    page.chord(Keys.SHIFT, Keys.F10)
    page.wait(lambda: page.js("return document.querySelector('.menu') !== null"), "the menu opens")
    nodes = page.accessibility_tree()
    menus = [node for node in nodes if value(node, "role") == "menu"]
    items = [value(node, "name") for node in nodes if value(node, "role") == "menuitem"]
    check(len(menus) == 1 and items[:2] == ["Tick all nations", "Untick all nations"],
          f"the context menu is a menu of items named without their '&': {items}")
    page.keys(Keys.ESCAPE)


def large(page, root):
    """At 32,767 nations the list draws only the rows in view."""
    count = 32767
    data = nation_file([f"Nation {i}" for i in range(count)], [1 + (i % 2) for i in range(count)])
    page.open()
    page.private_file("Nation.dat", data)
    page.pick_private("Nation.dat")
    started = time.monotonic()
    page.alt("l")
    page.wait(lambda: page.js("const row = document.querySelector('.row');"
                              "return row && row.getAttribute('aria-setsize') === '32767'"), "32,767 listed", 60)
    took = time.monotonic() - started
    drawn = page.js("return document.querySelectorAll('.row').length")
    check(0 < drawn < 40, f"only the rows in view are drawn: {drawn}")
    page.keys(Keys.TAB, Keys.END)
    check(page.focused() == "row:Nation 32766", f"End reaches the last nation: {page.focused()}")
    page.keys(Keys.SPACE)
    page.alt("m")
    check(all(row[1] for row in page.rows()), "make all ticks the rows in view")
    page.alt("p")
    page.message("Cm3 Tallowmere", "a patch of 32,767 nations", *BACKUP_FOLDER)
    page.message("SUCCESS", "a patch of 32,767 nations", "File Patched Succesfully")
    check(members_of(page.private_bytes("Nation.dat")) == [2] * count, "every record patched")
    print(f"32,767 nations listed {took:.2f} s after Alt+L (the speed is make bench's)")


CASES = {"keyboard": keyboard, "download": download, "in_place": in_place, "edition": edition,
         "accessibility": accessibility, "large": large}

if __name__ == "__main__":
    if CASE not in CASES:
        sys.exit(f"no such case: {CASE}")
    skipped = run_case(CASE, SITE, CASES[CASE])
    sys.exit(skipped if skipped is not None else result())
