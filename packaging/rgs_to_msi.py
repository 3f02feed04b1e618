#!/usr/bin/env python3
"""The package's Registry table, made from qev.dll's own registration script.

  rgs_to_msi.py SCRIPT.rgs --component ID --file ID --out Registry.idt

The package writes the registry itself (no self-registration), and it must
write what `regsvr32 /n /i:user qev.dll` writes, so the table is made from the
same script (resources/qev.rgs) at build time and the two cannot drift.

The script is read as the add-in's registrar reads it (addin/registrar.h) and
moved as its per-user run moves it (PerUserMappings() in addin/registrar.cpp):
the classes root to Software\\Classes and the machine's Outlook add-in list to
the same path, both under the root Windows Installer picks by the installation
mode (-1: HKCU per user, HKLM with ALLUSERS=1). Uninstalling removes what the
registrar's unregistration removes:
  - a ForceRemove key is a "*" row: created on install, deleted whole on uninstall;
  - a key's values are the component's, removed on uninstall (and with them the
    key when nothing is left in it);
  - a key of neither kind without values is a "+" row, created on install
    (qev.rgs has none: each of its keys holds a value or is ForceRemove);
  - NoRemove keys are only passed through.
%MODULE% becomes the installed path of qev.dll ([#FILE]); %APPID% is empty, as
in the DLL's own registration. Anything the package cannot express the same
way (Delete keys, keys outside the mapped areas) stops the build.
"""
import argparse
import hashlib
import sys

ROOT_BY_MODE = -1  # msidbRegistryRootHKMU: the user's or the machine's, by ALLUSERS

# (script root, path under it) -> path under the root of the installation mode.
MAPPINGS = [
    ("HKCR", "", "Software\\Classes"),
    ("HKLM", "Software\\Microsoft\\Office\\Outlook\\Addins", "Software\\Microsoft\\Office\\Outlook\\Addins"),
]
ROOT_NAMES = {"HKCR": "HKCR", "HKEY_CLASSES_ROOT": "HKCR", "HKCU": "HKCU", "HKEY_CURRENT_USER": "HKCU",
              "HKLM": "HKLM", "HKEY_LOCAL_MACHINE": "HKLM"}
MARKS = ("noremove", "forceremove", "delete")


class ScriptError(Exception):
    pass


def tokens(text):
    """(text, quoted, line) for each token; tokens are separated by white space."""
    i, line = 0, 1
    while i < len(text):
        c = text[i]
        if c <= " " or c == "\ufeff":
            line += c == "\n"
            i += 1
            continue
        start = line
        if c == "'":
            raw, i = "", i + 1
            while True:
                if i >= len(text):
                    raise ScriptError(f"line {start}: unterminated quoted text")
                if text[i] == "'":
                    if text[i + 1:i + 2] == "'":
                        raw, i = raw + "'", i + 2
                        continue
                    i += 1
                    break
                line += text[i] == "\n"
                raw, i = raw + text[i], i + 1
            yield raw, True, start
        else:
            j = i
            while j < len(text) and not (text[j] <= " " or text[j] == "\ufeff"):
                j += 1
            yield text[i:j], False, start
            i = j


class Reader:
    def __init__(self, text, replace):
        self.toks = list(tokens(text))
        self.pos = 0
        self.replace = replace

    def peek(self):
        return self.toks[self.pos] if self.pos < len(self.toks) else None

    def take(self, what="more"):
        """The next token, whatever it is; what names it for the error."""
        tok = self.peek()
        if tok is None:
            raise ScriptError(f"end of script: {what} expected")
        self.pos += 1
        return tok

    def expect(self, punct):
        tok = self.take(f"'{punct}'")
        if tok[1] or tok[0] != punct:
            raise ScriptError(f"line {tok[2]}: '{punct}' expected")

    def is_punct(self, what):
        tok = self.peek()
        return tok is not None and not tok[1] and tok[0] == what

    def text(self, tok):
        """A token with its %NAME% replaced; %% is one %."""
        raw, out, i = tok[0], "", 0
        while i < len(raw):
            if raw[i] != "%":
                # The table's columns are formatted text: a literal bracket is escaped.
                out, i = out + {"[": "[\\[]", "]": "[\\]]"}.get(raw[i], raw[i]), i + 1
                continue
            close = raw.find("%", i + 1)
            if close < 0:
                raise ScriptError(f"line {tok[2]}: '%' without its closing '%'")
            name = raw[i + 1:close]
            if not name:
                out += "%"
            elif name.upper() in self.replace:
                out += self.replace[name.upper()]
            else:
                raise ScriptError(f"line {tok[2]}: no value for %{name}%")
            i = close + 1
        return out

    def value(self):
        """TYPE DATA after '=', as the Registry table's Value column."""
        kind = self.take("type")
        data = self.take("data")
        t = kind[0].lower()
        if t == "s":
            text = self.text(data)
            return "##" + text[1:] if text.startswith("#") else text
        if t == "e":
            return "#%" + self.text(data)
        if t == "d":
            try:
                return "#" + str(int(data[0], 0))
            except ValueError:
                raise ScriptError(f"line {data[2]}: not a number: {data[0]}")
        if t == "b":
            return "#x" + data[0]
        raise ScriptError(f"line {kind[2]}: unknown type {kind[0]}")

    def key(self):
        """{name, mark, default, values, subkeys, line}"""
        tok = self.take("key name")
        mark = None
        if not tok[1] and tok[0].lower() in MARKS:
            mark = tok[0].lower()
            tok = self.take("key name")
        key = {"name": self.text(tok), "mark": mark, "default": None, "values": [], "subkeys": [], "line": tok[2]}
        if self.is_punct("="):
            self.expect("=")
            key["default"] = self.value()
        if self.is_punct("{"):
            self.expect("{")
            while not self.is_punct("}"):
                nxt = self.peek()
                if nxt is not None and not nxt[1] and nxt[0].lower() == "val":
                    self.take()
                    name = self.text(self.take("value name"))
                    self.expect("=")
                    key["values"].append((name, self.value()))
                else:
                    key["subkeys"].append(self.key())
            self.expect("}")
        return key

    def roots(self):
        out = []
        while self.peek() is not None:
            tok = self.take()
            root = ROOT_NAMES.get(tok[0].upper())
            if tok[1] or root is None:
                raise ScriptError(f"line {tok[2]}: unknown root {tok[0]}")
            self.expect("{")
            keys = []
            while not self.is_punct("}"):
                keys.append(self.key())
            self.expect("}")
            out.append((root, keys))
        return out


def mapped(root, path):
    """The path under the mode's root, or None when path is only a parent of a mapped area."""
    low = path.lower()
    for from_root, from_path, to_path in MAPPINGS:
        if root != from_root:
            continue
        fp = from_path.lower()
        if not fp or low == fp or low.startswith(fp + "\\"):
            rest = path[len(from_path):].lstrip("\\")
            return to_path + ("\\" + rest if rest else "")
        if fp.startswith(low + "\\"):
            return None
    raise ScriptError(f"{root}\\{path} lies outside the areas a per-user installation writes")


def rows(roots, component):
    out = []

    def row(key_path, name, value):
        ident = "reg" + hashlib.sha1(f"{key_path}|{name}".lower().encode()).hexdigest()[:16].upper()
        out.append((ident, str(ROOT_BY_MODE), key_path, name, value, component))

    def walk(root, parent, key):
        path = parent + "\\" + key["name"] if parent else key["name"]
        where = mapped(root, path)
        if where is None:
            if key["mark"] not in (None, "noremove") or key["default"] is not None or key["values"]:
                raise ScriptError(f"line {key['line']}: {path} is a parent of the mapped areas: "
                                  "it may only be passed through")
        elif key["mark"] == "delete":
            raise ScriptError(f"line {key['line']}: Delete keys have no place in the package")
        else:
            if key["mark"] == "forceremove":
                row(where, "*", "")
            elif key["default"] is None and not key["values"] and key["mark"] is None:
                row(where, "+", "")
            if key["default"] is not None:
                row(where, "", key["default"])
            for name, value in key["values"]:
                row(where, name, value)
        for sub in key["subkeys"]:
            walk(root, path, sub)

    for root, keys in roots:
        for key in keys:
            walk(root, "", key)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("script")
    parser.add_argument("--component", required=True, help="the component that owns the rows (qev.dll's)")
    parser.add_argument("--file", required=True, help="the File table key of qev.dll, for %%MODULE%%")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    raw = open(args.script, "rb").read()
    text = raw[2:].decode("utf-16-le") if raw[:2] == b"\xff\xfe" else raw.decode("utf-8-sig")
    try:
        table = rows(Reader(text, {"MODULE": f"[#{args.file}]", "APPID": ""}).roots(), args.component)
    except ScriptError as error:
        sys.exit(f"{args.script}: {error}")
    lines = ["Registry\tRoot\tKey\tName\tValue\tComponent_", "s72\ti2\tl255\tL255\tL0\ts72", "Registry\tRegistry"]
    lines += ["\t".join(r) for r in table]
    with open(args.out, "w", encoding="utf-8", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
