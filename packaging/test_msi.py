#!/usr/bin/env python3
"""The package end to end under Wine, in a prefix of its own made afresh.

  test_msi.py --wine-run WINE_RUN --prefix DIR --msi qev-N.msi --next qev-N+1.msi
              --bin-dir FOLDER_OF_QEV_DLL --qevtrace EXE --modules lang/de-de/qev.txtui,...
              --sim qev-sim.exe --scenario FILE.scn (its transcript FILE.expected beside it)

The keys a package writes are compared with the keys `regsvr32` writes in the
same prefix from the same build's qev.dll (per user: /n /i:user), so that the
package and the DLL's own registration cannot part. Then: per-user install,
repair of a module deleted by hand, upgrade to the next version, uninstall
after the DLL was deleted by hand; per machine into a folder given with
INSTALLDIR, which the upgrade and the uninstall find without being told;
per user with CATCHUP=1, which writes the add-in's catch-up setting.

After each installation and upgrade the simulated Outlook finds the add-in
as Outlook does (`qev-sim.exe --installed`: the Addins key, the ProgID, the
class, its server path; it resolves them itself, as Wine 8's COM does not
find a class registered per user) and plays the scenario through the
installed qev.dll and modules; after each removal it finds nothing.

The registry is read from the prefix's hive files (user.reg, system.reg)
after the Wine server has written them out: one process start per step.
"""
import argparse
import filecmp
import os
import re
import shutil
import subprocess
import sys
import time

PRODUCT = "Marlowcrest Antispam for Outlook"
CLSID = "{4190EC4D-6B01-4CF9-9DE5-088485114359}"
# Where the add-in's keys lie, under the user's or the machine's hive. The
# Windows Installer's own records (Classes\Installer) are not the add-in's.
AREAS = ("software\\classes\\", "software\\microsoft\\office\\", "software\\marlowcrest\\")
SKIP = ("software\\classes\\installer\\",)
# regsvr32 also registers the type library and its interfaces (Wine does it
# machine-wide even per user); the package does not: the add-in loads the
# library from its own file and is called in its own apartment.
REGSVR32_ONLY = tuple(f"software\\classes\\{node}{kind}\\" for node in ("", "wow6432node\\")
                      for kind in ("typelib", "interface"))
# The package's own record of its folder (for later runs without INSTALLDIR).
PACKAGE_ONLY = ("software\\marlowcrest\\qev",)
# Office's type library and its interfaces, which the simulated Outlook
# registers as Outlook's machines have them: neither the package's nor
# regsvr32's.
OFFICE_IDS = ("{2df8d04c-5bfa-101b-bde5-00aa0044de52}", "{000c0395-0000-0000-c000-000000000046}",
              "{000c03a7-0000-0000-c000-000000000046}", "{000c0396-0000-0000-c000-000000000046}")
timings = {}


def fail(message):
    sys.exit(f"FAILED: {message}")


class Wine:
    def __init__(self, wine_run, prefix):
        self.wine_run, self.prefix = wine_run, prefix
        server = "/usr/lib/wine/wineserver"
        self.server = server if os.access(server, os.X_OK) else "wineserver"
        self.env = dict(os.environ, WINEPREFIX=prefix)

    def run(self, *args, timed=None):
        start = time.monotonic()
        done = subprocess.run([self.wine_run, *args], env=self.env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL)
        if timed:
            timings[timed] = time.monotonic() - start
        if done.returncode != 0:
            fail(f"{' '.join(args)} exited with {done.returncode}\n{done.stdout}{done.stderr}")

    def play(self, out, err, timed=None):
        """qev-sim.exe --installed on the scenario, its output into files (Wine's
        services keep a pipe open after the program ends): its exit status."""
        start = time.monotonic()
        with open(out, "w") as stdout, open(err, "w") as stderr:
            status = subprocess.run([self.wine_run, args.sim, "--installed", windows_path(args.scenario)],
                                    env=self.env, stdout=stdout, stderr=stderr, stdin=subprocess.DEVNULL).returncode
        if timed:
            timings[timed] = time.monotonic() - start
        return status

    def hives(self):
        """{'user'|'machine': {key (lower case): (key, {name: data})}} of the add-in's areas."""
        subprocess.run([self.server, "-w"], env=self.env, check=True)
        return {hive: read_hive(os.path.join(self.prefix, file))
                for hive, file in (("user", "user.reg"), ("machine", "system.reg"))}

    def host_path(self, windows_path):
        """C:\\x\\y -> PREFIX/drive_c/x/y"""
        drive, rest = windows_path.split(":", 1)
        return os.path.join(self.prefix, f"drive_{drive.lower()}", *[p for p in rest.split("\\") if p])


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_hive(file):
    keys, current = {}, None
    text = open(file, encoding="utf-8", errors="replace").read().replace("\\\n", "")
    for line in text.splitlines():
        if line.startswith("["):
            name = line[1:line.rindex("]")].replace("\\\\", "\\")
            low = name.lower() + "\\"
            current = None
            if low.startswith(AREAS) and not low.startswith(SKIP) and not any(i in low for i in OFFICE_IDS):
                current = keys.setdefault(name.lower(), (name, {}))[1]
        elif current is not None and line and line[0] in '@"':
            match = re.match(r'(@|"(?:[^"\\]|\\.)*")=(.*)', line)
            if match:
                current[match.group(1)] = match.group(2).strip()
    return keys


def changed(before, after, module=None):
    """Keys of after that are new or whose values differ; the path of the
    registered qev.dll in a value becomes %MODULE%."""
    out = {}
    for low, (name, values) in after.items():
        if low in before and before[low][1] == values:
            continue
        if module:
            values = {n: v.replace(reg_escaped(module), "%MODULE%") for n, v in values.items()}
        out[low] = values
    return out


def without(keys, prefixes):
    return {k: v for k, v in keys.items() if not (k + "\\").startswith(prefixes)}


def compare(what, got, expected):
    if got != expected:
        lines = [f"{what}: the keys differ"]
        for key in sorted(set(got) | set(expected)):
            if got.get(key) != expected.get(key):
                lines.append(f"  {key}\n    package:  {got.get(key)}\n    regsvr32: {expected.get(key)}")
        fail("\n".join(lines))


def reg_escaped(path):
    return path.replace("\\", "\\\\")


def products():
    """The DisplayVersion of every installed-programs entry of the product (hives written out)."""
    found = []
    for file in ("user.reg", "system.reg"):
        text = open(os.path.join(args.prefix, file), encoding="utf-8", errors="replace").read()
        for block in text.split("\n\n"):
            if block.startswith("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\") and \
                    f'"DisplayName"="{PRODUCT}"' in block:
                version = re.search(r'"DisplayVersion"="([^"]*)"', block)
                found.append(version.group(1) if version else "?")
    return sorted(found)


def install_dir(wine, hive_keys):
    entry = hive_keys.get(PACKAGE_ONLY[0])
    if not entry or '"InstallDir"' not in entry[1]:
        fail("the package did not record its folder")
    value = entry[1]['"InstallDir"'].strip('"').replace("\\\\", "\\")
    return value, wine.host_path(value)


def check_files(folder, modules, bin_dir, qevtrace):
    expected = {"qev.dll": os.path.join(bin_dir, "qev.dll"), "qevtrace.exe": qevtrace}
    expected.update({m: os.path.join(bin_dir, m) for m in modules})
    present = {os.path.relpath(os.path.join(d, f), folder) for d, _, files in os.walk(folder) for f in files}
    if present != set(expected):
        fail(f"installed files {sorted(present)}, expected {sorted(expected)}")
    for rel, source in expected.items():
        if not filecmp.cmp(os.path.join(folder, rel), source, shallow=False):
            fail(f"{rel} is not the build's")


def msiinfo(*args):
    done = subprocess.run(["msiinfo", *args], capture_output=True, text=True)
    if done.returncode != 0 or done.stderr.strip():
        fail(f"msiinfo {' '.join(args)}: {done.returncode}\n{done.stderr}")
    return done.stdout


def msi_properties(msi):
    """The Property table, after every table of the package was read without an error."""
    for table in msiinfo("tables", msi).split():
        msiinfo("export", msi, table)
    out = msiinfo("export", msi, "Property")
    return dict(line.split("\t", 1) for line in out.splitlines()[3:] if "\t" in line)


def play(wine, hive, server, when):
    """The scenario through the installed add-in: the transcript it must
    print, found through hive's Addins key and classes at server."""
    out, err = (os.path.join(os.path.dirname(args.prefix), f"installed.{kind}") for kind in ("out", "err"))
    status = wine.play(out, err, timed=f"scenario {when}")
    got = open(out, encoding="utf-8").read() + f"exit {status}\n"
    expected = open(re.sub(r"\.scn$", ".expected", args.scenario), encoding="utf-8").read()
    found = open(err, encoding="utf-8", errors="replace").read()
    if got != expected:
        fail(f"the installed add-in's transcript differs\n--- got:\n{got}--- expected:\n{expected}--- stderr:\n{found}")
    named = f"the {hive}'s Addins key (LoadBehavior 3), class {CLSID} of the {hive}'s classes, server {server}"
    if named not in found:
        fail(f"not found as installed for the {hive} ({named}):\n{found}")


def play_finds_nothing(wine):
    out, err = (os.path.join(os.path.dirname(args.prefix), f"installed.{kind}") for kind in ("out", "err"))
    status = wine.play(out, err)
    found = open(err, encoding="utf-8", errors="replace").read()
    if status != 3 or "qev.Connect is not registered with Outlook" not in found:
        fail(f"after removal the simulated Outlook still found something (exit {status}):\n{found}")


def step(text):
    print(f"== {text}", flush=True)


parser = argparse.ArgumentParser()
for option in ("--wine-run", "--prefix", "--msi", "--next", "--bin-dir", "--qevtrace", "--modules", "--sim",
               "--scenario"):
    parser.add_argument(option, required=True)
args = parser.parse_args()
modules = args.modules.split(",")

step("the package's tables read by msiinfo: product, manufacturer, version, one upgrade code")
this, nxt = msi_properties(args.msi), msi_properties(args.next)
for props in (this, nxt):
    for name in ("ProductName", "Manufacturer", "ProductVersion", "UpgradeCode", "ProductCode"):
        if not props.get(name):
            fail(f"no {name} in the package")
if this["ProductName"] != PRODUCT or this["Manufacturer"] != "Marlowcrest":
    fail(f"product {this['ProductName']!r} by {this['Manufacturer']!r}")
if this["UpgradeCode"] != nxt["UpgradeCode"] or this["ProductCode"] == nxt["ProductCode"]:
    fail("two versions must share the upgrade code and differ in the product code")
print(f"   {this['ProductName']} {this['ProductVersion']} -> {nxt['ProductVersion']}, upgrade code {this['UpgradeCode']}")

step("a fresh prefix")
subprocess.run([Wine(args.wine_run, args.prefix).server, "-k"], env=dict(os.environ, WINEPREFIX=args.prefix),
               capture_output=True)
shutil.rmtree(args.prefix, ignore_errors=True)
wine = Wine(args.wine_run, args.prefix)
wine.run("cmd", "/c", "exit")
msi, msi_next, dll = windows_path(args.msi), windows_path(args.next), windows_path(os.path.join(args.bin_dir, "qev.dll"))
baseline = wine.hives()

step("what regsvr32 writes, per user and per machine")
wine.run("regsvr32", "/s", "/n", "/i:user", dll)
by_regsvr32_user = changed(baseline["user"], wine.hives()["user"], dll)
wine.run("regsvr32", "/s", "/u", "/n", "/i:user", dll)
wine.run("regsvr32", "/s", dll)
by_regsvr32_machine = without(changed(baseline["machine"], wine.hives()["machine"], dll), REGSVR32_ONLY)
wine.run("regsvr32", "/s", "/u", dll)
if not any(CLSID.lower() in key for key in by_regsvr32_user):
    fail(f"regsvr32 /n /i:user wrote no class key: {sorted(by_regsvr32_user)}")
baseline = wine.hives()

step("per user: msiexec /i /qn, and the scenario through the installed add-in")
wine.run("msiexec", "/i", msi, "/qn", timed="install per user")
now = wine.hives()
folder_win, folder = install_dir(wine, now["user"])
if not re.search(r"\\AppData\\Local\\Programs\\Marlowcrest Antispam\\$", folder_win):
    fail(f"installed per user into {folder_win}")
module = folder_win + "qev.dll"
compare("per user", without(changed(baseline["user"], now["user"], module), PACKAGE_ONLY), by_regsvr32_user)
if changed(baseline["machine"], now["machine"]):
    fail(f"a per-user installation wrote the machine's keys: {sorted(changed(baseline['machine'], now['machine']))}")
check_files(folder, modules, args.bin_dir, args.qevtrace)
if products() != [this["ProductVersion"]]:
    fail(f"installed programs: {products()}")
play(wine, "user", module, "per user")

step("repair: a module deleted by hand is back after installing the same version again")
# (msiexec /f, the other way to repair, fails in Wine 8 whatever it is given.)
os.remove(os.path.join(folder, modules[0]))
wine.run("msiexec", "/i", msi, "/qn", timed="repair")
check_files(folder, modules, args.bin_dir, args.qevtrace)

step("upgrade to the next version: one installation, the same keys, the scenario through it")
wine.run("msiexec", "/i", msi_next, "/qn", timed="upgrade")
now = wine.hives()
compare("after the upgrade", without(changed(baseline["user"], now["user"], module), PACKAGE_ONLY),
        by_regsvr32_user)
check_files(folder, modules, args.bin_dir, args.qevtrace)
if products() != [nxt["ProductVersion"]]:
    fail(f"installed programs after the upgrade: {products()}")
play(wine, "user", module, "after the upgrade")
check_files(folder, modules, args.bin_dir, args.qevtrace)

step("uninstall after qev.dll was deleted by hand: no key, no file left, no add-in found")
os.remove(os.path.join(folder, "qev.dll"))
wine.run("msiexec", "/x", msi_next, "/qn", timed="uninstall per user")
now = wine.hives()
left = changed(baseline["user"], now["user"])
if left or products():
    fail(f"left after uninstalling: {sorted(left)} {products()}")
if os.path.exists(folder):
    fail(f"{folder} is still there")
play_finds_nothing(wine)

step("per machine into the product's folder: /i ALLUSERS=1 INSTALLDIR=..., upgrade and /x without INSTALLDIR, "
     "the scenario after each installation")
product_folder = "C:\\Product\\"
wine.run("msiexec", "/i", msi, "ALLUSERS=1", f"INSTALLDIR={product_folder}", "/qn", timed="install per machine")
now = wine.hives()
folder_win, folder = install_dir(wine, now["machine"])
if folder_win != product_folder:
    fail(f"installed per machine into {folder_win}")
compare("per machine", without(changed(baseline["machine"], now["machine"], folder_win + "qev.dll"), PACKAGE_ONLY),
        by_regsvr32_machine)
if changed(baseline["user"], now["user"]):
    fail(f"a per-machine installation wrote the user's keys: {sorted(changed(baseline['user'], now['user']))}")
check_files(folder, modules, args.bin_dir, args.qevtrace)
play(wine, "machine", folder_win + "qev.dll", "per machine")
check_files(folder, modules, args.bin_dir, args.qevtrace)
# Wine 8 does not find the installation's context by itself: without
# ALLUSERS=1 it would remove the product's record and the user's keys only.
wine.run("msiexec", "/i", msi_next, "ALLUSERS=1", "/qn", timed="upgrade per machine")
wine.hives()
check_files(folder, modules, args.bin_dir, args.qevtrace)
if products() != [nxt["ProductVersion"]]:
    fail(f"installed programs after the upgrade: {products()}")
play(wine, "machine", folder_win + "qev.dll", "after the upgrade per machine")
wine.run("msiexec", "/x", msi_next, "ALLUSERS=1", "/qn", timed="uninstall per machine")
now = wine.hives()
left = changed(baseline["machine"], now["machine"])
if left or products() or os.path.exists(folder):
    fail(f"left after uninstalling: {sorted(left)} {products()}, folder there: {os.path.exists(folder)}")
play_finds_nothing(wine)

step("per user with CATCHUP=1: the add-in's catch-up setting is on; uninstalling takes it away")
wine.run("msiexec", "/i", msi, "CATCHUP=1", "/qn", timed="install with CATCHUP=1")
now = wine.hives()
setting = now["user"].get(PACKAGE_ONLY[0], ("", {}))[1].get('"CatchUp"')
if setting != "dword:00000001":
    fail(f"CATCHUP=1 wrote CatchUp={setting!r} in the user's key")
wine.run("msiexec", "/x", msi, "/qn", timed="uninstall with CATCHUP=1")
now = wine.hives()
left = changed(baseline["user"], now["user"])
if left or products():
    fail(f"left after uninstalling: {sorted(left)} {products()}")

print("== passed; seconds under Wine: " + ", ".join(f"{k} {v:.1f}" for k, v in timings.items()))
