# Lists the Makefile's targets, each with the "## " note on its rule's line,
# in the Makefile's order. Fails, listing nothing, when a target has no note
# or is missing from .PHONY, or when .PHONY names a target without a rule:
# a new target can't be left out of `make help` unnoticed.
# Usage: awk -f make-help.awk Makefile
/^\.PHONY:/ {
    for (i = 2; i <= NF; i++)
        phony[$i] = 1
    next
}
/^[a-z][a-z0-9_-]*:/ && !/^[^:]*:=/ {
    name = substr($0, 1, index($0, ":") - 1)
    note = index($0, "## ")
    if (note == 0) {
        print "make help: the target " name " has no \"## \" note on its line" > "/dev/stderr"
        failed = 1
        next
    }
    targets[++count] = name
    notes[name] = substr($0, note + 3)
}
END {
    for (i = 1; i <= count; i++)
        if (!(targets[i] in phony)) {
            print "make help: the target " targets[i] " is missing from .PHONY" > "/dev/stderr"
            failed = 1
        }
    for (name in phony)
        if (!(name in notes) && !failed) {
            print "make help: .PHONY names " name ", which has no rule with a \"## \" note" > "/dev/stderr"
            failed = 1
        }
    if (failed)
        exit 1
    print "make TARGET, from the repository's root:"
    for (i = 1; i <= count; i++)
        printf "  %-14s %s\n", targets[i], notes[targets[i]]
}
