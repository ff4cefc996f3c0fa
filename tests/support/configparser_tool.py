#!/usr/bin/env python3
"""Reads and writes INI files with Python's configparser, for the interop tests of our INI code.

  configparser_tool.py dump <file>
      Prints every section and key in file order, one per line: "<section>\t<key>\t<value>",
      then "end <number of keys>". Exit 3 when a name or value holds a tab or line break (the
      output would be ambiguous), 4 when configparser rejects the file.
  configparser_tool.py write <file> (<section> <key> <value>)...
      Writes the triples with configparser (names keep their case), then prints "wrote <n>".
Exit 2 on bad usage. Nothing else is ever printed to stdout.
"""

import configparser
import sys


def make_parser():
    # Keys keep their case, '%' is plain text, a repeated section or key is an error.
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    return parser


def dump(path):
    parser = make_parser()
    try:
        with open(path, encoding="utf-8-sig") as f:
            parser.read_file(f)
    except configparser.Error as error:
        print(error, file=sys.stderr)
        return 4
    lines = []
    for section in parser.sections():
        for key, value in parser.items(section, raw=True):
            for text in (section, key, value):
                if any(c in text for c in "\t\r\n"):
                    print("unprintable: %r" % text, file=sys.stderr)
                    return 3
            lines.append("%s\t%s\t%s" % (section, key, value))
    for line in lines:
        print(line)
    print("end %d" % len(lines))
    return 0


def write(path, triples):
    if len(triples) % 3 != 0:
        return 2
    parser = make_parser()
    for i in range(0, len(triples), 3):
        section, key, value = triples[i:i + 3]
        if not parser.has_section(section):
            parser.add_section(section)
        parser.set(section, key, value)
    with open(path, "w", encoding="utf-8") as f:
        parser.write(f)
    print("wrote %d" % (len(triples) // 3))
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == "dump":
        return dump(argv[2])
    if len(argv) >= 3 and argv[1] == "write":
        return write(argv[2], argv[3:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
