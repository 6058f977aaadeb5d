#!/usr/bin/python3
"""Fails, naming each one, when a picture that a guide shows is missing from the repository
(the pictures are made by scripts/screenshots and committed). A guide that shows no picture at
all fails too, so that a link syntax this check does not read cannot pass unnoticed.

usage: check_doc_images.py GUIDE.md...
"""
import os
import re
import sys

# Markdown ![alt](path "title") and HTML <img src="path">.
IMAGE = re.compile(r'!\[[^\]]*\]\(\s*<?([^)>\s]+)>?[^)]*\)|<img\s[^>]*src="([^"]+)"')


def missing(guide):
    with open(guide, encoding='utf-8') as f:
        links = [a or b for a, b in IMAGE.findall(f.read())]
    if not links:
        return ['no picture at all']
    folder = os.path.dirname(os.path.abspath(guide))
    return [link for link in links if not os.path.isfile(os.path.join(folder, link))]


def main(guides):
    failed = False
    for guide in guides:
        for name in missing(guide):
            print('%s: %s' % (guide, name if name == 'no picture at all' else 'missing picture ' + name))
            failed = True
    return 1 if failed or not guides else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
