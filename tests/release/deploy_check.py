#!/usr/bin/env python3
"""Checks the deployment data of one release folder against what the payload and the launcher are.

    deploy_check.py OUT KEY=VALUE...

Keys: CODE (the kit's product code), BUILD, VERSION, DISPLAY_VERSION (the kit database's ProductVersion),
SHA256 (of OUT/tbx-setup.exe), URL (the --installer-url given, or empty). Prints one line per problem and exits
1 when there is any.
"""
import json
import pathlib
import sys

import jsonschema
import yaml

SCHEMAS = pathlib.Path(__file__).resolve().parent / "winget-schema-1.6.0"
WINGET_ID = "Zoltsys.ZoltDevelopmentKit"

out = pathlib.Path(sys.argv[1]) / "deploy"
want = dict(arg.split("=", 1) for arg in sys.argv[2:])
problems = []


def expect(what, ok):
    if not ok:
        problems.append(what)


def read(name):
    with open(out / name, encoding="utf-8", newline="") as f:
        return f.read()


def schema_errors(manifest, kind):
    """Every way the manifest breaks the official schema of its kind, as 'path: message' texts."""
    schema = json.loads((SCHEMAS / f"manifest.{kind}.1.6.0.json").read_text(encoding="utf-8"))
    validator = (jsonschema.Draft202012Validator if "2020-12" in schema["$schema"] else jsonschema.Draft7Validator)
    validator.check_schema(schema)
    return [f"{'/'.join(map(str, e.absolute_path)) or '(top)'}: {e.message}" for e in validator(schema).iter_errors(manifest)]


# Files that Windows tools read end their lines with CR LF; the Ansible task is read on the controller.
for name in ("deployment.txt", "return-codes.csv", "intune-detection.ps1",
             *(f"winget/{WINGET_ID}{part}.yaml" for part in ("", ".locale.en-US", ".installer"))):
    text = read(name)
    expect(f"{name}: not CR LF throughout", "\r\n" in text and "\n" not in text.replace("\r\n", ""))
for name in ("ansible-task.yml", "ansible-uninstall-task.yml"):
    expect(f"{name}: CR in a file for the controller", "\r" not in read(name))

# The commands and the detection rule: BuildNumber of this build, never the product code alone.
key = f"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zoltsys\\Zolt Development Kit\\{want['VERSION']}"
text = read("deployment.txt")
for part in ("Uninstall command: tbx-setup.exe /uninstall /s REBOOT=ReallySuppress",
             "Uninstall preflight: tbx-setup.exe /check /uninstall /s REBOOT=ReallySuppress",
             "Preflight:         tbx-setup.exe /check /s REBOOT=ReallySuppress", f"Key:        {key}",
             "Value name: BuildNumber", f"Data:       {want['BUILD']} (string, equals)", "View:       64-bit"):
    expect(f"deployment.txt lacks '{part}'", part in text)
script = read("intune-detection.ps1")
for part in (key.split("\\", 1)[1], f"GetValue('BuildNumber') -eq '{want['BUILD']}'", "RegistryView]::Registry64",
             "Write-Output"):
    expect(f"intune-detection.ps1 lacks '{part}'", part in script)

# Success is 0, 1707 and 3010 for every tool; 1618 is a retry.
codes = {row.split(",")[0]: row.split(",")[1:2] for row in read("return-codes.csv").splitlines()[1:]}
expect(f"return codes {codes}", codes == {"0": ["success"], "1707": ["success"], "3010": ["soft reboot"],
                                          "1641": ["hard reboot"], "1618": ["retry"]})

tasks = yaml.safe_load(read("ansible-task.yml"))
probe = tasks[0]["ansible.windows.win_reg_stat"]
expect("ansible: the installed build is not read from BuildNumber",
       probe["name"] == "BuildNumber" and probe["path"] == "HKLM:\\" + key.split("\\", 1)[1])
expect("ansible: the install does not depend on the build", f"!= '{want['BUILD']}'" in tasks[1]["when"])
expect("ansible: a product code decides", want["CODE"] not in read("ansible-task.yml"))
removal = yaml.safe_load(read("ansible-uninstall-task.yml"))
expect("ansible uninstall: not gated on this version's kit key",
       removal[0]["ansible.windows.win_reg_stat"]["path"] == "HKLM:\\" + key.split("\\", 1)[1]
       and removal[1]["when"] == "tbx_installed.exists")

# winget: three manifests of one version, each valid against its schema, that map the uninstall entry's
# version to this build's package version.
manifests = {kind: yaml.safe_load(read(f"winget/{WINGET_ID}{part}.yaml"))
             for kind, part in (("version", ""), ("defaultLocale", ".locale.en-US"), ("installer", ".installer"))}
for kind, manifest in manifests.items():
    expect(f"winget {kind}: ManifestType {manifest.get('ManifestType')}", manifest.get("ManifestType") == kind)
    expect(f"winget {kind}: another package version", manifest.get("PackageVersion") == manifests["version"]["PackageVersion"])
installer = manifests["installer"]
entry = installer["Installers"][0]
expect("winget: InstallerSha256 is not the launcher's", entry["InstallerSha256"] == want["SHA256"].upper())
expect("winget: ProductCode", entry["ProductCode"] == want["CODE"])
expect("winget: 1707 is not a success", 1707 in installer.get("InstallerSuccessCodes", []))
arp = entry.get("AppsAndFeaturesEntries", [{}])[0]
expect(f"winget: the uninstall entry's version {arp.get('DisplayVersion')} is not mapped",
       arp.get("DisplayVersion") == want["DISPLAY_VERSION"] and arp.get("ProductCode") == want["CODE"])
errors = {kind: schema_errors(manifest, kind) for kind, manifest in manifests.items()}
header = read(f"winget/{WINGET_ID}.installer.yaml").splitlines()[1]
if want["URL"]:
    expect(f"winget: InstallerUrl {entry.get('InstallerUrl')}", entry.get("InstallerUrl") == want["URL"])
    for kind, found in errors.items():
        expect(f"winget {kind} breaks the 1.6.0 schema: {found}", not found)
else:
    # Incomplete, and saying so: the missing address is the one thing the schema refuses.
    expect("winget: an address without --installer-url", "InstallerUrl" not in entry)
    expect(f"winget: no INCOMPLETE note, but '{header}'", header.startswith("# INCOMPLETE: no InstallerUrl"))
    expect(f"winget without an address: {errors}",
           errors == {"version": [], "defaultLocale": [], "installer": ["Installers/0: 'InstallerUrl' is a required property"]})

for problem in problems:
    print(f"deploy: {problem}")
sys.exit(1 if problems else 0)
