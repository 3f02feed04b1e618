#!/usr/bin/env python3
"""Makes the add-in's language and layout modules from their sources.

  texts/LANG.txt       the UI texts of one language (lang/LANG/qev.txtui)
  pictures/pictures.py the button pictures (ui/ltr/qev.ui, ui/rtl/qev.ui, and qev.dll's own)

  make_ui_modules.py --out DIR --rc           resource scripts for windres, with the
                                              string-table blocks and pictures they name
  make_ui_modules.py --out DIR --cpp FILE     the same bytes as C++ data for the
                                              in-memory world's libraries

Both builds take the string-table blocks and pictures made here, so the
Windows modules and the in-memory ones hold the same bytes.
"""

import argparse
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # the build writes nothing into the source tree
sys.path.insert(0, os.path.join(HERE, "pictures"))
import pictures  # noqa: E402

BASE_NAME = "qev"
# Every language module holds exactly these texts: the command bar's name, the
# seven buttons' captions, and the ribbon's tab, groups and buttons.
TEXT_NUMBERS = [301] + list(range(302, 315, 2)) + list(range(400, 433))
BAR_FACE = (192, 192, 192)  # the command bar's face colour behind the 16-bit bitmaps

# ---- texts ----


def unescape(text, where):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = text[i + 1:i + 2]
        if nxt == "n":
            out.append("\n")
        elif nxt == "\\":
            out.append("\\")
        else:
            sys.exit(f"{where}: unknown escape \\{nxt}")
        i += 2
    return "".join(out)


def read_texts(path):
    texts = {}
    with open(path, encoding="utf-8") as f:
        for lineno, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            where = f"{path}:{lineno}"
            number, _, text = line.partition(" ")
            if not number.isdigit():
                sys.exit(f"{where}: a line starts with the text's number")
            n = int(number)
            if n in texts:
                sys.exit(f"{where}: text {n} given twice")
            texts[n] = unescape(text, where)
    missing = [n for n in TEXT_NUMBERS if n not in texts]
    extra = [n for n in texts if n not in TEXT_NUMBERS]
    if missing or extra:
        sys.exit(f"{path}: missing texts {missing}, unknown texts {extra}")
    return texts


def string_blocks(texts):
    """{block id: bytes}: text n is entry n % 16 of block n // 16 + 1, each
    entry a 16-bit count of UTF-16 units followed by the units."""
    blocks = {}
    for n in sorted(texts):
        blocks.setdefault(n // 16 + 1, [""] * 16)[n % 16] = texts[n]
    out = {}
    for block, entries in blocks.items():
        data = bytearray()
        for text in entries:
            units = text.encode("utf-16-le")
            if len(units) // 2 > 0xFFFF:
                sys.exit(f"a text of block {block} is longer than 65535 units")
            data += struct.pack("<H", len(units) // 2) + units
        out[block] = bytes(data)
    return out

# ---- pictures ----


def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def bmp_resource(rows):
    """A BITMAP resource: BITMAPINFOHEADER and bottom-up 16-bit pixels
    (x1r5g5b5), the picture laid over the bar's face colour."""
    width, height = len(rows[0]), len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            def over(c, face):
                return (c * a + face * (255 - a) + 127) // 255
            r5 = over(r, BAR_FACE[0]) >> 3
            g5 = over(g, BAR_FACE[1]) >> 3
            b5 = over(b, BAR_FACE[2]) >> 3
            pixels += struct.pack("<H", (r5 << 10) | (g5 << 5) | b5)
        pixels += b"\0" * (-len(pixels) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 16, 0, len(pixels), 2835, 2835, 0, 0)
    return header + bytes(pixels)


def bmp_file(resource):
    return b"BM" + struct.pack("<IHHI", 14 + len(resource), 0, 0, 14 + 40) + resource


def picture_set(mirrored):
    """[(type, id, bytes)] of one layout: the seven bitmaps and seven PNGs."""
    out = []
    for key, png_id, bitmap_id, glyph, directional in pictures.BUTTONS:
        rows = pictures.paint(glyph(), mirrored and directional)
        out.append(("bitmap", bitmap_id, bmp_resource(rows)))
        out.append(("png", png_id, png(rows)))
    return sorted(out, key=lambda r: (r[0], r[1]))

# ---- modules ----


def modules(texts_dir):
    """[(relative path, [(type, id, bytes)])], and qev.dll's own resources."""
    ltr = picture_set(False)
    rtl = picture_set(True)
    found = []
    for name in sorted(os.listdir(texts_dir)):
        if name.endswith(".txt"):
            lang = name[:-4]
            blocks = string_blocks(read_texts(os.path.join(texts_dir, name)))
            found.append((f"lang\\{lang}\\{BASE_NAME}.txtui", [("string", b, blocks[b]) for b in sorted(blocks)]))
    found.append((f"ui\\ltr\\{BASE_NAME}.ui", ltr))
    found.append((f"ui\\rtl\\{BASE_NAME}.ui", rtl))
    return found, ltr


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # Unchanged files keep their time, so that nothing is rebuilt for them.
    if os.path.exists(path):
        with open(path, "rb") as f:
            if f.read() == data:
                return
    with open(path, "wb") as f:
        f.write(data)


RC_TYPES = {"bitmap": "BITMAP", "png": "PNG", "string": "6"}  # 6: RT_STRING, its blocks as they are


def resource_file(kind, ident, data):
    return f"{kind}/{ident}" + {"bitmap": ".bmp", "png": ".png", "string": ".bin"}[kind]


def write_rc(out, found, addin):
    def script(path, resources, description):
        folder = path.replace("\\", "/").rsplit("/", 1)[0]
        lines = ["// Generated by resources/make_ui_modules.py; do not edit.", "#include <winver.h>",
                 '#include "qev_version.h"', "LANGUAGE 0, 0", ""]
        for kind, ident, data in resources:
            file = f"{folder}/{resource_file(kind, ident, data)}"
            write(os.path.join(out, file), bmp_file(data) if kind == "bitmap" else data)
            lines.append(f'{ident} {RC_TYPES[kind]} "{file}"')
        lines += ["", "VS_VERSION_INFO VERSIONINFO", "FILEVERSION QEV_VERSION_BINARY",
                  "PRODUCTVERSION QEV_VERSION_BINARY",
                  "FILEOS VOS_NT_WINDOWS32", "FILETYPE VFT_DLL", "BEGIN", '    BLOCK "StringFileInfo"', "    BEGIN",
                  '        BLOCK "000004B0"', "        BEGIN", f'            VALUE "FileDescription", "{description}"',
                  '            VALUE "FileVersion", QEV_VERSION_TEXT',
                  '            VALUE "ProductVersion", QEV_VERSION_TEXT',
                  f'            VALUE "OriginalFilename", "{path.rsplit(chr(92), 1)[1]}"', "        END", "    END",
                  '    BLOCK "VarFileInfo"', "    BEGIN", '        VALUE "Translation", 0x0000, 1200', "    END", "END", ""]
        return "\n".join(lines).encode()

    for path, resources in found:
        kind, name = path.split("\\")[:2]
        description = f"qev UI texts ({name})" if kind == "lang" else f"qev UI pictures ({name})"
        write(os.path.join(out, f"{kind}-{name}.rc"), script(path, resources, description))
    # qev.dll's own pictures, included by resources/qev.rc.
    lines = ["// Generated by resources/make_ui_modules.py; do not edit."]
    for kind, ident, data in addin:
        file = f"addin/{resource_file(kind, ident, data)}"
        write(os.path.join(out, file), bmp_file(data) if kind == "bitmap" else data)
        lines.append(f'{ident} {RC_TYPES[kind]} "{file}"')
    write(os.path.join(out, "addin-pictures.rc"), ("\n".join(lines) + "\n").encode())


CPP_TYPES = {"bitmap": "Bitmap", "png": "Png", "string": "StringTable"}


def write_cpp(path, found, addin):
    lines = ["// Generated by resources/make_ui_modules.py; do not edit.", '#include "host/fake/fake_modules.h"', "",
             "namespace host::fake {", "namespace {", ""]
    names = {}

    def array(data):
        if data in names:
            return names[data]
        name = f"kData{len(names)}"
        names[data] = name
        body = ",".join(str(b) for b in data)
        lines.append(f"constexpr std::uint8_t {name}[] = {{{body}}};")
        return name

    def table(name, resources):
        entries = []
        for kind, ident, data in resources:
            entries.append(f"    {{ResourceType::{CPP_TYPES[kind]}, {ident}, {array(data)}, {len(data)}}},")
        lines.append(f"constexpr BuiltResource {name}[] = {{")
        lines.extend(entries)
        lines.append("};")

    for i, (_, resources) in enumerate(found):
        table(f"kModule{i}", resources)
    table("kAddin", addin)
    lines += ["", "constexpr BuiltModule kModules[] = {"]
    for i, (module_path, resources) in enumerate(found):
        escaped = module_path.replace("\\", "\\\\")
        lines.append(f'    {{u"{escaped}", kModule{i}, {len(resources)}}},')
    lines += ["};", "", "}  // namespace", "",
              "std::span<const BuiltModule> BuiltUiModules() noexcept", "{", "    return kModules;", "}", "",
              "std::span<const BuiltResource> BuiltAddinResources() noexcept", "{", "    return kAddin;", "}", "",
              "}  // namespace host::fake", ""]
    write(path, "\n".join(lines).encode())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--rc", action="store_true")
    parser.add_argument("--cpp")
    args = parser.parse_args()
    found, addin = modules(os.path.join(HERE, "texts"))
    if args.rc:
        write_rc(args.out, found, addin)
    if args.cpp:
        write_cpp(args.cpp, found, addin)


if __name__ == "__main__":
    main()
