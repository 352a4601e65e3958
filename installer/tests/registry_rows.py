#!/usr/bin/env python3
"""Registry exports (reg export, UTF-16) as rows, and the rows one export
adds to another:
  registry_rows.py rows EXPORT.reg                 every row of the export
  registry_rows.py added BEFORE.reg AFTER.reg      rows of AFTER not in BEFORE
A row is "KEY" for a key (so that empty keys count) or "KEY\tNAME=VALUE" for a
value ("@" the default value). Keys are given relative to the classes root or
the machine (HKEY_CURRENT_USER\\Software\\Classes\\X and
HKEY_LOCAL_MACHINE\\Software\\Classes\\X both become "Classes:X"; other machine
keys "Machine:..."), case-folded as the registry folds them; string values
unescaped, other types as their export text."""
import re
import sys


def read(path):
    with open(path, 'rb') as f:
        data = f.read()
    text = data.decode('utf-16') if data[:2] in (b'\xff\xfe', b'\xfe\xff') else data.decode('utf-8')
    # Continued lines (long binary values) are joined.
    return text.replace('\\\r\n', '').replace('\\\n', '').splitlines()


def place(key):
    for prefix, name in (('HKEY_CURRENT_USER\\Software\\Classes', 'Classes'),
                         ('HKEY_LOCAL_MACHINE\\Software\\Classes', 'Classes'),
                         ('HKEY_LOCAL_MACHINE', 'Machine'),
                         ('HKEY_CURRENT_USER', 'User')):
        if key.lower() == prefix.lower():
            return name + ':'
        if key.lower().startswith(prefix.lower() + '\\'):
            return name + ':' + key[len(prefix) + 1:].lower()
    return key.lower()


def unquote(text):
    return re.sub(r'\\(.)', r'\1', text)


def rows(path):
    result = set()
    key = None
    for line in read(path):
        line = line.lstrip('\ufeff')
        if line.startswith('[') and line.endswith(']'):
            key = place(line[1:-1])
            result.add(key)
            continue
        if key is None or not line.strip():
            continue
        match = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if not match:
            continue
        name = '@' if match.group(1) == '@' else unquote(match.group(2))
        value = match.group(3)
        string = re.match(r'^"((?:[^"\\]|\\.)*)"$', value)
        value = unquote(string.group(1)) if string else value
        result.add('%s\t%s=%s' % (key, name.lower(), value))
    return result


def main(argv):
    if len(argv) == 3 and argv[1] == 'rows':
        found = rows(argv[2])
    elif len(argv) == 4 and argv[1] == 'added':
        found = rows(argv[3]) - rows(argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    for row in sorted(found):
        print(row)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
