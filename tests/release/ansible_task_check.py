#!/usr/bin/env python3
"""Checks the Ansible task file that scripts/release writes, with Ansible itself.

    ansible_task_check.py TASK_FILE BUILD [README]

ansible-playbook --syntax-check and ansible-lint (production profile) accept it; run on localhost against
stand-ins of the Windows modules, it installs only when the build differs, fails whenever the launcher cannot
run or ends with anything but 0, 1707 or 3010, retries 1618 and restarts on 3010; and the README shows the very
task of the demo release. Prints one line per problem and exits 1 when there is any.
"""
import json
import os
import pathlib
import re
import sys
import tempfile

import ansible_stubs

task_file = pathlib.Path(sys.argv[1])
build = sys.argv[2]
readme = pathlib.Path(sys.argv[3]) if len(sys.argv) > 3 else None
problems = []
# name, installed build, /check results, launcher results (one per run), fails, launcher runs, restarts
other = str(int(build) - 1)
SCENARIOS = [
    ("this build installed", build, "", "", False, 0, 0),
    ("an older build installed", other, "0", "0", False, 1, 0),
    ("nothing installed, restart asked", "", "0", "3010", False, 1, 1),
    ("success as 1707", "", "0", "1707", False, 1, 0),
    ("installer failure", "", "0", "1603", True, 1, 0),
    ("launcher refuses with -1", other, "0", "-1", True, 1, 0),
    ("launcher cannot be started (no rc)", "", "0", "no-rc", True, 1, 0),
    ("module failure with rc 0", "", "0", "failed-rc0", True, 1, 0),
    ("installer busy, then free", "", "0", "1618 0", False, 2, 0),
    ("installer busy throughout", "", "0", "1618", True, 4, 0),
    ("preflight refuses the options", "", "-80", "0", True, 0, 0),
    ("preflight cannot start the launcher", "", "no-rc", "0", True, 0, 0),
    ("preflight finds the installer busy", "", "1618", "0", False, 1, 0),
]


def run(args, cwd, env, what=""):
    return ansible_stubs.run(args, cwd, env, problems, what)


with tempfile.TemporaryDirectory() as tmp:
    tmp = pathlib.Path(tmp)
    env = dict(os.environ, ANSIBLE_NOCOLOR="1", ANSIBLE_LOCAL_TEMP=str(tmp / "ansible-tmp"),
               ANSIBLE_HOME=str(tmp / "ansible-home"))
    ansible_stubs.validate(task_file.read_text(), tmp, env, problems)

    # The behaviour, against the stand-ins: one host a scenario, the real conditions, no wait between retries.
    stubs = ansible_stubs.install_stubs(tmp)
    tasks = task_file.read_text()
    if len(re.findall(r"^ +delay: \d+$", tasks, re.M)) != 1:
        problems.append("the task file has not exactly one retry delay")
    (tmp / "task.yml").write_text(re.sub(r"^( +delay:) \d+$", r"\1 0", tasks, flags=re.M))
    (tmp / "play.yml").write_text(ansible_stubs.WRAPPER.replace("TASKS", "task.yml"))
    inventory = []
    for i, (name, installed, check, package, *_) in enumerate(SCENARIOS):
        state = tmp / "state" / f"s{i}"
        state.mkdir(parents=True)
        for file, content in (("installed-build", installed), ("win_command", check), ("win_package", package)):
            if content:
                (state / file).write_text(content)
        (state / "calls").write_text("")
        inventory.append(f"s{i} ansible_connection=local ansible_python_interpreter={sys.executable} stub_dir={state}")
    (tmp / "hosts").write_text("\n".join(inventory) + "\n")
    env["ANSIBLE_COLLECTIONS_PATH"] = stubs
    done = run(["ansible-playbook", "-i", "hosts", "play.yml"], tmp, env)
    recap = dict(re.findall(r"^(s\d+)\s*:.*failed=(\d+)", done.stdout, re.M))
    for i, (name, installed, check, package, fails, runs, restarts) in enumerate(SCENARIOS):
        calls = [json.loads(line) for line in (tmp / "state" / f"s{i}" / "calls").read_text().splitlines()]
        seen = [module for module, _ in calls]
        if f"s{i}" not in recap:
            problems.append(f"{name}: not in the play recap:\n{done.stdout[-2000:]}{done.stderr[-2000:]}")
            continue
        outcome = (recap[f"s{i}"] != "0", seen.count("win_package"), seen.count("win_reboot"))
        if outcome != (fails, runs, restarts):
            problems.append(f"{name}: (failed, launcher runs, restarts) {outcome}, expected {(fails, runs, restarts)}")
        if runs and not fails:
            # The launcher runs from a folder the task made, with its own access list, before copying into it.
            args = {module: a for module, a in calls}
            folder = args["win_file"]["path"]
            grants = {a["user"]: a["rights"] for module, a in calls if module == "win_acl"}
            order = [seen.index(m) for m in ("win_file", "win_owner", "win_acl", "win_acl_inheritance", "win_copy",
                                             "win_command", "win_package")]
            checks = [
                (folder.startswith("C:\\Program Files\\"), f"folder {folder} not below Program Files"),
                (args["win_owner"]["user"] == "S-1-5-32-544", "folder not owned by Administrators"),
                (grants == {"S-1-5-18": "FullControl", "S-1-5-32-544": "FullControl", "S-1-5-32-545": "ReadAndExecute"},
                 f"folder grants {grants}"),
                (args["win_acl_inheritance"]["state"] == "absent" and not args["win_acl_inheritance"]["reorganize"],
                 "folder keeps inherited entries"),
                (order == sorted(order), f"steps out of order: {seen}"),
                (args["win_copy"]["dest"] == args["win_package"]["path"] == folder + "\\tbx-setup.exe",
                 "the launcher is not run from the folder it was copied to"),
                (" /check " in args["win_command"]["cmd"], "no preflight with /check"),
            ]
            problems += [f"{name}: {why}" for ok, why in checks if not ok]

if readme:
    # The README shows the generated task of the demo release, between its marker and the fence's end.
    text = readme.read_text(encoding="utf-8")
    shown = re.search(r"<!-- deploy/ansible-task\.yml of the demo release -->\n```yaml\n(.*?)```", text, re.S)
    if not shown:
        problems.append(f"{readme} shows no generated Ansible task")
    elif shown.group(1) != task_file.read_text():
        problems.append(f"{readme} shows another Ansible task than the release writes")

for problem in problems:
    print(f"ansible: {problem}")
sys.exit(1 if problems else 0)
