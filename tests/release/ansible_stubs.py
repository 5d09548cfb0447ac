"""What the checks of the generated Ansible task files share: the play that includes a task file, the
validators (ansible-playbook --syntax-check and ansible-lint, production profile), and stand-ins of the
Windows modules that record their calls on localhost and answer with queued results.
"""
import json
import subprocess

WRAPPER = """- name: Deploy
  hosts: all
  gather_facts: false
  environment:
    TBX_STUB_DIR: "{{ stub_dir }}"
  tasks:
    - name: Install
      ansible.builtin.import_tasks: TASKS
"""

# A stand-in for the Windows modules, run on localhost: it records its arguments and answers with the next
# result queued for it. win_command and win_package treat rc as the real ones do (win_command fails on any
# rc but 0, win_package on one not in expected_return_code and reports reboot_required for an expected 3010).
STUB = r'''#!/usr/bin/python3
# WANT_JSON
import json, os, sys
MODULE = "@MODULE@"
state = os.environ["TBX_STUB_DIR"]
args = {k: v for k, v in json.load(open(sys.argv[1])).items() if not k.startswith("_ansible")}
with open(f"{state}/calls", "a") as f:
    f.write(json.dumps([MODULE, args]) + "\n")
def take(name, default):
    try:
        queued = open(f"{state}/{name}").read().split()
    except FileNotFoundError:
        return default
    if len(queued) > 1:
        open(f"{state}/{name}", "w").write(" ".join(queued[1:]))
    return queued[0]
result = {"changed": MODULE not in ("win_reg_stat", "win_command")}
if MODULE == "win_reg_stat":
    found = take("installed-build", "")
    result = {"changed": False, "exists": bool(found)}
    if found:
        result.update(value=found, type="REG_SZ")
elif MODULE in ("win_command", "win_package"):
    outcome = take(MODULE, "0")
    if outcome == "no-rc":
        result = {"failed": True, "msg": "the file at the path cannot be reached"}
    elif outcome == "failed-rc0":
        result = {"failed": True, "rc": 0, "msg": "failed after the process ended"}
    else:
        rc = int(outcome)
        result["rc"] = rc
        expected = args.get("expected_return_code", [0]) if MODULE == "win_package" else [0]
        if rc not in expected:
            result.update(failed=True, msg=f"unexpected rc {rc}")
        if MODULE == "win_package":
            result["reboot_required"] = rc == 3010 and rc in expected
print(json.dumps(result))
'''
MODULES = ("win_reg_stat", "win_file", "win_owner", "win_acl", "win_acl_inheritance", "win_copy", "win_command",
           "win_package", "win_reboot")


def run(args, cwd, env, problems, what=""):
    """Runs a command; when `what` names it, a failure is one problem with the output's last lines."""
    done = subprocess.run(args, cwd=cwd, env=env, capture_output=True, text=True)
    if done.returncode != 0 and what:
        tail = "\n".join((done.stdout + done.stderr).strip().splitlines()[-15:])
        problems.append(f"{what} refused the task file:\n{tail}")
    return done


def validate(task_text, tmp, env, problems):
    """ansible-playbook --syntax-check and ansible-lint over the task file, with the real collection."""
    (tmp / "lint").mkdir()
    (tmp / "lint" / "ansible-task.yml").write_text(task_text)
    (tmp / "lint" / "play.yml").write_text(WRAPPER.replace("TASKS", "ansible-task.yml")
                                           .replace("  environment:\n    TBX_STUB_DIR: \"{{ stub_dir }}\"\n", ""))
    run(["ansible-playbook", "--syntax-check", "-i", "localhost,", "play.yml"], tmp / "lint", env, problems,
        "ansible-playbook --syntax-check")
    run(["ansible-lint", "--offline", "--profile", "production", "--nocolor", "play.yml"], tmp / "lint", env,
        problems, "ansible-lint --profile production")


def install_stubs(tmp):
    """The stand-in collection below tmp/stubs; its path for ANSIBLE_COLLECTIONS_PATH."""
    modules = tmp / "stubs" / "ansible_collections" / "ansible" / "windows" / "plugins" / "modules"
    modules.mkdir(parents=True)
    (modules.parents[1] / "MANIFEST.json").write_text(
        json.dumps({"collection_info": {"namespace": "ansible", "name": "windows", "version": "0.0.0"}}))
    for module in MODULES:
        (modules / f"{module}.py").write_text(STUB.replace("@MODULE@", module))
    return str(tmp / "stubs")
