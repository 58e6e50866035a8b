"""Writes the named character references of HTML as a C++ array, from Python's own table.

Usage: python3 make_html_entities.py OUT
Each row is {"name", "UTF-8 text"}; a name that ends in ';' must be written with
it, the others are the old names that may stand without it. Rows are sorted by name.
"""
import html.entities
import sys


def c_string(text):
    return '"' + ''.join('\\x%02x' % b for b in text.encode('utf-8')) + '"'


rows = sorted(html.entities.html5.items())
with open(sys.argv[1], 'w', encoding='ascii') as out:
    out.write('// Generated from html.entities.html5; do not edit.\n')
    for name, text in rows:
        out.write('    {"%s", %s},\n' % (name, c_string(text)))
