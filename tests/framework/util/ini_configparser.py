#!/usr/bin/env python3
"""Python's configparser on one side of the INI interop test of INIClass.

  ini_configparser.py dump <file>
      Prints every section and key in file order, one per line: "<section>\t<key>\t<value>".
  ini_configparser.py write <file> (<section> <key> <value>)...
      Writes the triples with configparser (names keep their case).
Exit 2 on bad usage, 4 when configparser rejects the file.
"""

import configparser
import sys


def make_parser():
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
    for section in parser.sections():
        for key, value in parser.items(section):
            print(f"{section}\t{key}\t{value}")
    return 0


def write(path, triples):
    parser = make_parser()
    for section, key, value in triples:
        if not parser.has_section(section):
            parser.add_section(section)
        parser.set(section, key, value)
    with open(path, "w", encoding="utf-8") as f:
        parser.write(f)
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "dump":
        return dump(argv[2])
    if len(argv) >= 3 and argv[1] == "write" and (len(argv) - 3) % 3 == 0:
        rest = argv[3:]
        return write(argv[2], [rest[i:i + 3] for i in range(0, len(rest), 3)])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
