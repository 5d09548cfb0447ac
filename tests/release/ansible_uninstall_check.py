#!/usr/bin/env python3
"""Checks the Ansible uninstall task file that scripts/release writes, with Ansible itself.

    ansible_uninstall_check.py TASK_FILE

ansible-playbook --syntax-check and ansible-lint (production profile) accept it; run on localhost against
stand-ins of the Windows modules, it runs the launcher's /uninstall only when the kit is installed, checks it
first with /check, fails whenever the launcher cannot run or ends with anything but 0, 1641 or 3010, retries
1618, restarts on 3010 and removes the launcher's folder after a success. Prints one line per problem and exits
1 when there is any.
"""
import json
import os
import pathlib
import re
import sys
import tempfile

import ansible_stubs

task_file = pathlib.Path(sys.argv[1])
problems = []

# name, installed build, launcher results in order (the /check first, then each run), fails, runs, restarts
SCENARIOS = [
    ("nothing installed", "", "", False, 0, 0),
    ("removed", "12", "0 0", False, 1, 0),
    ("removed, restart asked", "12", "0 3010", False, 1, 1),
    ("removed, Windows restarting", "12", "0 1641", False, 1, 0),
    ("a removal failed", "11", "0 1603", True, 1, 0),
    ("the launcher refuses with -1", "12", "0 -1", True, 1, 0),
    ("the launcher cannot be started (no rc)", "12", "0 no-rc", True, 1, 0),
    ("installer busy, then free", "12", "0 1618 0", False, 2, 0),
    ("installer busy throughout", "12", "0 1618 1618 1618 1618", True, 4, 0),
    ("preflight refuses", "12", "-1", True, 0, 0),
    ("preflight finds the installer busy", "12", "1618 0", False, 1, 0),
]

with tempfile.TemporaryDirectory() as tmp:
    tmp = pathlib.Path(tmp)
    env = dict(os.environ, ANSIBLE_NOCOLOR="1", ANSIBLE_LOCAL_TEMP=str(tmp / "ansible-tmp"),
               ANSIBLE_HOME=str(tmp / "ansible-home"))
    tasks = task_file.read_text()
    ansible_stubs.validate(tasks, tmp, env, problems)
    if "\r" in tasks:
        problems.append("CR in a file for the controller")
    if re.search(r"\{[0-9A-F-]{36}\}", tasks):
        problems.append("a product code: the launcher decides what to remove")

    stubs = ansible_stubs.install_stubs(tmp)
    if len(re.findall(r"^ +delay: \d+$", tasks, re.M)) != 1:
        problems.append("the task file has not exactly one retry delay")
    (tmp / "task.yml").write_text(re.sub(r"^( +delay:) \d+$", r"\1 0", tasks, flags=re.M))
    (tmp / "play.yml").write_text(ansible_stubs.WRAPPER.replace("TASKS", "task.yml"))
    inventory = []
    for i, (name, installed, results, *_) in enumerate(SCENARIOS):
        state = tmp / "state" / f"s{i}"
        state.mkdir(parents=True)
        for file, content in (("installed-build", installed), ("win_command", results)):
            if content:
                (state / file).write_text(content)
        (state / "calls").write_text("")
        inventory.append(f"s{i} ansible_connection=local ansible_python_interpreter={sys.executable} stub_dir={state}")
    (tmp / "hosts").write_text("\n".join(inventory) + "\n")
    env["ANSIBLE_COLLECTIONS_PATH"] = stubs
    done = ansible_stubs.run(["ansible-playbook", "-i", "hosts", "play.yml"], tmp, env, problems)
    recap = dict(re.findall(r"^(s\d+)\s*:.*failed=(\d+)", done.stdout, re.M))
    for i, (name, installed, results, fails, runs, restarts) in enumerate(SCENARIOS):
        calls = [json.loads(line) for line in (tmp / "state" / f"s{i}" / "calls").read_text().splitlines()]
        if f"s{i}" not in recap:
            problems.append(f"{name}: not in the play recap:\n{done.stdout[-2000:]}{done.stderr[-2000:]}")
            continue
        commands = [args["cmd"] for module, args in calls if module == "win_command"]
        launcher_runs = [cmd for cmd in commands if " /check " not in cmd]
        seen = [module for module, _ in calls]
        outcome = (recap[f"s{i}"] != "0", len(launcher_runs), seen.count("win_reboot"))
        if outcome != (fails, runs, restarts):
            problems.append(f"{name}: (failed, launcher runs, restarts) {outcome}, expected {(fails, runs, restarts)}")
        if runs:
            checks = [
                (commands and " /check /uninstall " in commands[0], f"no preflight first: {commands}"),
                (all(" /uninstall /s " in cmd for cmd in launcher_runs), f"not the launcher's uninstall: {commands}"),
            ]
            problems += [f"{name}: {why}" for ok, why in checks if not ok]
        removed = [args for module, args in calls if module == "win_file" and args.get("state") == "absent"]
        if bool(removed) != (runs > 0 and not fails):
            problems.append(f"{name}: the launcher's folder {'removed' if removed else 'kept'}")

for problem in problems:
    print(f"ansible uninstall: {problem}")
sys.exit(1 if problems else 0)
