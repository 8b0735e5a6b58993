#!/usr/bin/env python3
"""Writes the web page as one file that needs nothing beside it, so that it
works opened from the disk as well as from a web server: a browser gives a
page opened from a file no other file (each file is an origin of its own),
neither a module it imports nor the WebAssembly it fetches. Into the HTML
go the style sheet (<style>), the icon (a data: address), and the page's
ES modules with the program, bundled into one <script type="module">.

The project bundles with this script of its own rather than a bundler from
the npm registry: the page's modules import and export in a few plain forms
(below), which it rewrites line by line, and any other form fails the build
rather than make a page that fails in the browser; the build downloads
nothing and needs no Node to write the page, and the page stays readable
as the files it came from.

Each module becomes a function run once, in the order its imports need,
whose exports are the object it returns; an import takes the names from
that object. The forms, each at the start of a line:
  import { a, b as c } from "./x.js";     (the braces may span lines)
  import x from "./x.js";                 (x is the default export)
  export function f / export async function f / export class C
  export const NAME = ...                 (one name)
  export default NAME;
No import may come round to the module importing it, and an export is
never reassigned (an export of let or var is refused), which is where an
object returned once would differ from a module's live names.

Usage: bundle-page.py OUT HTML [--resolve NAME=PATH]... [--depfile FILE]
  HTML's <link rel="icon">, <link rel="stylesheet"> and
  <script type="module" src> name files beside it, or NAME=PATH given.
"""
import base64
import os
import re
import sys

IMPORT = re.compile(
    r'^import\s+(?:(?P<default>[A-Za-z_$][\w$]*)|\{(?P<names>[^}]*)\})\s+from\s+"(?P<source>[^"]+)";?[ \t]*$', re.M)
EXPORT_DECLARATION = re.compile(r"^export\s+((?:async\s+)?function\*?|class|const)\s+([A-Za-z_$][\w$]*)", re.M)
EXPORT_DEFAULT = re.compile(r"^export\s+default\s+([A-Za-z_$][\w$]*)\s*;?[ \t]*$", re.M)
# What is left of a module statement once the forms above are rewritten.
LEFT_OVER = re.compile(r"^\s*(?:import\b\s*[\w{*\"']|export\b)", re.M)

ICON = re.compile(r'<link rel="icon" href="([^"]+)">')
STYLE = re.compile(r'<link rel="stylesheet" href="([^"]+)">')
SCRIPT = re.compile(r'<script type="module" src="([^"]+)"></script>')


class BundleError(Exception):
    pass


class Files:
    """The files the page is made of: by a name given, else by path."""

    def __init__(self, resolved):
        self.resolved = resolved
        self.read = []

    def path(self, name, beside):
        if os.path.basename(name) in self.resolved:
            return self.resolved[os.path.basename(name)]
        return os.path.normpath(os.path.join(os.path.dirname(beside), name))

    def text(self, path):
        return self.bytes(path).decode("utf-8")

    def bytes(self, path):
        try:
            with open(path, "rb") as content:
                data = content.read()
        except OSError as error:
            raise BundleError(f"{path}: {error.strerror}") from error
        self.read.append(path)
        return data


def module_name(path):
    """The name of the module's exports in the bundle."""
    return "__" + re.sub(r"\W", "_", os.path.basename(path))


def imported_names(names, path):
    """`{ a, b as c }` as a destructuring: `{ a, b: c }`."""
    parts = []
    for part in (word.strip() for word in names.split(",")):
        if not part:
            continue
        match = re.fullmatch(r"([A-Za-z_$][\w$]*)(?:\s+as\s+([A-Za-z_$][\w$]*))?", part)
        if not match:
            raise BundleError(f"{path}: an import the bundle can't take: {part!r}")
        parts.append(match[1] if not match[2] else f"{match[1]}: {match[2]}")
    return "{ " + ", ".join(parts) + " }"


def rewritten(path, code, imports):
    """The module's code as a function's body, and what it exports. Each
    import's path goes into `imports`, in order."""
    def take_import(match):
        source = match["source"]
        if not source.startswith("./"):
            raise BundleError(f"{path}: imports {source}: the bundle takes only ./ files")
        imports.append(source)
        name = module_name(source)
        if match["default"]:
            return f"const {match['default']} = {name}.default;"
        return f"const {imported_names(match['names'], path)} = {name};"

    exports = []

    def take_declaration(match):
        exports.append(match[2])
        return match[1] + " " + match[2]

    def take_default(match):
        exports.append(f"default: {match[1]}")
        return ""

    code = IMPORT.sub(take_import, code)
    code = EXPORT_DECLARATION.sub(take_declaration, code)
    code = EXPORT_DEFAULT.sub(take_default, code)
    left = LEFT_OVER.search(code)
    if left:
        line = code[left.start():].split("\n", 1)[0]
        raise BundleError(f"{path}: a module statement the bundle can't take: {line.strip()!r}")
    return code, exports


def bundled(entry, files):
    """The entry's modules as one script, each module after those it
    imports."""
    done, running, parts = set(), [], []

    def add(path):
        if path in done:
            return
        if path in running:
            cycle = running[running.index(path):] + [path]
            raise BundleError("modules import one another round: " + " -> ".join(map(os.path.basename, cycle)))
        running.append(path)
        imports = []
        code, exports = rewritten(path, files.text(path), imports)
        for source in imports:
            add(files.path(source, path))
        running.pop()
        done.add(path)
        parts.append(f"// {os.path.basename(path)}\nconst {module_name(path)} = (() => {{\n{code.rstrip()}\n"
                     f"return {{ {', '.join(exports)} }};\n}})();\n")

    add(entry)
    names = [module_name(path) for path in done]
    if len(set(names)) != len(names):
        raise BundleError("two modules of the same file name: " + ", ".join(sorted(names)))
    return "\n".join(parts)


def inline(text, closing, what):
    """Text put between <tag> and </tag>, which it must not end early."""
    if re.search(closing, text, re.I) or "<!--" in text:
        raise BundleError(f"{what} holds {closing} or <!--, which would end it early in the page")
    return text


def page(html_path, files):
    html = files.text(html_path)
    counts = {}

    def replace(pattern, make):
        nonlocal html
        html, counts[pattern.pattern] = pattern.subn(lambda match: make(files.path(match[1], html_path)), html)

    replace(ICON, lambda path: '<link rel="icon" href="data:image/png;base64,'
            + base64.b64encode(files.bytes(path)).decode() + '">')
    replace(STYLE, lambda path: "<style>\n" + inline(files.text(path), "</style", path) + "</style>")
    replace(SCRIPT, lambda path: '<script type="module">\n'
            + inline(bundled(path, files), "</script", "the bundled script") + "</script>")
    if counts[SCRIPT.pattern] != 1:
        raise BundleError(f"{html_path}: the page needs one <script type=\"module\" src>")
    return html


def main(out, html, *options):
    resolved, depfile = {}, None
    words = iter(options)
    for word in words:
        if word == "--resolve":
            name, _, path = next(words).partition("=")
            resolved[name] = path
        elif word == "--depfile":
            depfile = next(words)
        else:
            raise BundleError(f"unknown option: {word}")
    files = Files(resolved)
    text = page(html, files)
    # Written beside, then put in its place: a build stopped halfway leaves
    # no page that looks whole.
    with open(out + ".partial", "w", encoding="utf-8", newline="\n") as written:
        written.write(text)
    os.replace(out + ".partial", out)
    if depfile:
        with open(depfile, "w", encoding="utf-8") as deps:
            deps.write(f"{out}: " + " ".join(path.replace(" ", "\\ ") for path in files.read) + "\n")


if __name__ == "__main__":
    try:
        main(*sys.argv[1:])
    except BundleError as error:
        print(f"bundle-page.py: {error}", file=sys.stderr)
        sys.exit(1)
