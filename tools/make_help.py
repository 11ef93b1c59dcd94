#!/usr/bin/python3
"""Builds the help page from the Markdown user guide.

    make_help.py <guide.md> <screenshot folder> <output.html>

Writes <output.html> (with a table of contents and the page's own style) and
copies the pictures the guide names from <screenshot folder> into a
"screenshots" folder beside it. A picture that does not exist yet becomes a
short note in the page. Files are replaced only when their contents change,
each through a temporary file renamed into place. Needs python3-markdown.
"""
import html
import os
import re
import shutil
import sys
import tempfile

import markdown

STYLE = """
body { font-family: "Noto Sans", "DejaVu Sans", sans-serif; max-width: 60em; margin: 2em auto;
       padding: 0 1.5em; color: #22293a; line-height: 1.5; }
h1, h2, h3 { color: #1d3f7a; }
h1 { border-bottom: 3px solid #2f6fdb; padding-bottom: .2em; }
h2 { border-bottom: 1px solid #d5dae3; padding-bottom: .15em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #c3cad6; padding: .35em .7em; text-align: left; vertical-align: top; }
th { background: #eef2f8; }
code { background: #f2f4f7; padding: 0 .25em; border-radius: 3px; }
pre { background: #f2f4f7; padding: .8em; border-radius: 4px; overflow-x: auto; }
pre code { padding: 0; }
img { max-width: 100%; border: 1px solid #c3cad6; border-radius: 4px; }
.toc { background: #f7f9fc; border: 1px solid #d5dae3; border-radius: 4px; padding: .5em 1.5em;
       display: inline-block; }
.missing { color: #8593ad; font-style: italic; }
"""


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    # A temporary name of its own: several build folders may run this at once.
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(os.path.abspath(path)), suffix=".tmp")
    with os.fdopen(fd, "wb") as f:
        f.write(data)
    os.chmod(tmp, 0o644)
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    guide, shots, output = sys.argv[1:]
    with open(guide, encoding="utf-8") as f:
        text = f.read()
    out_dir = os.path.dirname(os.path.abspath(output))
    os.makedirs(os.path.join(out_dir, "screenshots"), exist_ok=True)

    def picture(match):
        alt, ref = match.group(1), match.group(2)
        name = os.path.basename(ref)
        source = os.path.join(shots, name)
        if not os.path.isfile(source):
            return "*(%s: the picture is made by scripts/screenshots.sh.)*" % alt
        with open(source, "rb") as f:
            write_if_changed(os.path.join(out_dir, "screenshots", name), f.read())
        return "![%s](screenshots/%s)" % (alt, name)

    text = re.sub(r"!\[([^\]]*)\]\(screenshots/([^)]+)\)", picture, text)
    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"],
                             extension_configs={"toc": {"toc_depth": "2-3"}}, output_format="html5")
    body = body.replace("<em>(", '<em class="missing">(')
    title = re.search(r"^# (.+)$", text, re.M)
    page = ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>%s</title>\n'
            "<style>%s</style>\n</head>\n<body>\n%s\n</body>\n</html>\n"
            % (html.escape(title.group(1) if title else "LumoEditor"), STYLE, body))
    write_if_changed(output, page.encode("utf-8"))


if __name__ == "__main__":
    main()
