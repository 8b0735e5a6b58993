#!/usr/bin/env python3
"""scripts/bundle-page.py on small pages of its own: the module forms it
takes, bundled and run by Node as the browser runs the page's script (each
module once, after those it imports, the names each imports being the
ones exported), and those it refuses, each with its words, so that a page
it can't bundle whole fails the build.

Usage: bundle_page_test.py NODE"""
import importlib.util
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "bundle-page.py")
spec = importlib.util.spec_from_file_location("bundle_page", SCRIPT)
bundle_page = importlib.util.module_from_spec(spec)
spec.loader.exec_module(bundle_page)
NODE = "/usr/bin/node"

PAGE = ('<link rel="icon" href="icon.png">\n<link rel="stylesheet" href="page.css">\n'
        '<script type="module" src="main.js"></script>\n')
ICON = b"\x89PNG-not-really"

# Each page: its modules, and what main.js prints when run.
BUNDLED = [
    ("one of each form", {
        "main.js": 'import { twice, NAME as name } from "./parts.js";\nimport make from "./made.js";\n'
                   'console.log(twice(2), name, make().kind);\n',
        "parts.js": 'export const NAME = "parts";\nexport function twice(n) {\n  return n * 2;\n}\n',
        "made.js": "const made = () => ({ kind: 'made' });\nexport default made;\n",
    }, "4 parts made"),
    ("imports over lines, and an async function and a class exported", {
        "main.js": 'import {\n  later,\n  Counter,\n} from "./parts.js";\n'
                   "later().then((n) => console.log(n, new Counter().next()));\n",
        "parts.js": "export async function later() {\n  return 1;\n}\n"
                    "export class Counter {\n  next() {\n    return 2;\n  }\n}\n",
    }, "1 2"),
    ("a module imported twice runs once, before both", {
        "main.js": 'import { a } from "./a.js";\nimport { b } from "./b.js";\nconsole.log(a, b, globalThis.runs);\n',
        "a.js": 'import { shared } from "./shared.js";\nexport const a = shared + 1;\n',
        "b.js": 'import { shared } from "./shared.js";\nexport const b = shared + 2;\n',
        "shared.js": "globalThis.runs = (globalThis.runs || 0) + 1;\nexport const shared = 10;\n",
    }, "11 12 1"),
    ("the same name in two modules, each its own", {
        "main.js": 'import { value } from "./other.js";\nconst own = 1;\nconsole.log(own, value);\n',
        "other.js": "const own = 2;\nexport const value = own;\n",
    }, "1 2"),
]

REFUSED = [
    ("an export of let", {"main.js": "export let count = 0;\n"}, "export let count"),
    ("an export list", {"main.js": "const a = 1;\nexport { a };\n"}, "export { a }"),
    ("a namespace import", {"main.js": 'import * as all from "./x.js";\n', "x.js": ""}, "import * as all"),
    ("a package import", {"main.js": 'import { a } from "lib";\n'}, "imports lib"),
    ("an import of a file not there", {"main.js": 'import { a } from "./gone.js";\n'}, "gone.js"),
    ("modules importing one another", {
        "main.js": 'import { a } from "./a.js";\n',
        "a.js": 'import { b } from "./b.js";\nexport const a = 1;\n',
        "b.js": 'import { a } from "./a.js";\nexport const b = 2;\n',
    }, "a.js -> b.js -> a.js"),
    ("a script that would end the page's early", {"main.js": 'console.log("</script>");\n'}, "</script"),
]


class BundlePage(unittest.TestCase):
    def bundle(self, root, modules):
        for name, text in modules.items():
            with open(os.path.join(root, name), "w", encoding="utf-8") as written:
                written.write(text)
        for name, data in (("index.html", PAGE.encode()), ("icon.png", ICON), ("page.css", b"p { color: red; }\n")):
            with open(os.path.join(root, name), "wb") as written:
                written.write(data)
        out = os.path.join(root, "out.html")
        bundle_page.main(out, os.path.join(root, "index.html"), "--depfile", os.path.join(root, "out.d"))
        with open(out, encoding="utf-8") as page:
            return page.read()

    def test_bundled_as_the_browser_runs_modules(self):
        for what, modules, printed in BUNDLED:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                page = self.bundle(root, modules)
                script = re.search(r'<script type="module">\n(.*)</script>', page, re.S)[1]
                ran = subprocess.run([NODE, "--input-type=module", "-e", script], capture_output=True, text=True,
                                     timeout=60)
                self.assertEqual((ran.returncode, ran.stdout.strip()), (0, printed), ran.stderr)

    def test_the_page_holds_everything(self):
        with tempfile.TemporaryDirectory() as root:
            page = self.bundle(root, BUNDLED[0][1])
            self.assertIn('<link rel="icon" href="data:image/png;base64,iVBORy1ub3QtcmVhbGx5">', page)
            self.assertIn("<style>\np { color: red; }\n</style>", page)
            self.assertNotRegex(page, r'(src|href)="(?!data:)')
            with open(os.path.join(root, "out.d"), encoding="utf-8") as deps:
                read = sorted(os.path.basename(path) for path in deps.read().split(": ", 1)[1].split())
            self.assertEqual(read, ["icon.png", "index.html", "made.js", "main.js", "page.css", "parts.js"])

    def test_refused(self):
        for what, modules, words in REFUSED:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                with self.assertRaises(bundle_page.BundleError) as refused:
                    self.bundle(root, modules)
                self.assertIn(words, str(refused.exception))
                self.assertFalse(os.path.exists(os.path.join(root, "out.html")), "no page is left")


if __name__ == "__main__":
    NODE = sys.argv.pop(1) if len(sys.argv) > 1 else NODE
    unittest.main()
