#!/usr/bin/python3
# Drives velta-event-config-manager on a host for the role: checks an archive,
# imports it, makes up for owed restarts, reads the applied record and goes
# back to the previous snapshot, each in check mode as well.

DOCUMENTATION = r"""
module: quor_admin_events_import
short_description: Check and import an event registration configuration archive
description:
  - C(check) runs C(velta-event-config-manager --check) on the archive, with
    the installed manager or, before the package is installed, the one
    unpacked from the package file (C(checker)).
  - C(import) checks, runs C(--diff --json) and imports with C(-i --json)
    (and C(--restart-if-changed) when C(restart)) when something would change
    and the task is not in check mode. On a host without the manager, check
    mode reports the archive's files as the diff.
  - C(restart) retries the restarts the host still owes (C(--restart-pending)).
  - C(status) returns C(--status --json) (applied archive, drift, owed restarts).
  - C(rollback) restores the newest snapshot, taken before the last import.
options:
  action:
    description: What to do.
    type: str
    choices: [check, import, restart, status, rollback]
    default: import
  manager:
    description: Path of the installed velta-event-config-manager on the host.
    type: path
    required: true
  checker:
    description: A manager unpacked from the package file, used while the package is not installed.
    type: path
    default: ""
  archive:
    description: Path of the archive on the host (check and import).
    type: path
    default: ""
  root:
    description: System root for the manager (QUOR_ADMIN_EVENTS_ROOT); empty for "/".
    type: str
    default: ""
  restart:
    description: Restart the units that read changed files (import, rollback).
    type: bool
    default: false
  signer_key:
    description:
      - The reference machine's public key (its C(key.pub)), whose archives the host trusts.
      - An import adds it to the host's C(/etc/quor-admin-events/trusted-signers); a check
        and check mode only check against the list with it, in the staging folder.
    type: str
    default: ""
  allow_unsigned:
    description: Admit an archive that is unsigned or signed by a key the host does not trust (C(--allow-unsigned)).
    type: bool
    default: false
"""

RETURN = r"""
files:
  description: Files the import changed, or would change in check mode, as system paths.
  type: list
  elements: str
  returned: always
services:
  description: Units restarted, or that a run would restart ("syslog-ng", "auditd").
  type: list
  elements: str
  returned: always
status:
  description: The host's applied record (status), empty when the manager is not installed.
  type: dict
  returned: always
"""

import json
import os
import tarfile

from ansible.module_utils.basic import AnsibleModule

DIFF_NOTHING = 0
DIFF_CHANGES = 3
EVENTS_FILE = "/etc/velta-syslog.conf"
SYSLOG_NG_CONF_DIR = "/etc/syslog-ng/conf.d/"
AUDIT_RULES_FILE = "/etc/audit/rules.d/velta-syslog.rules"
AUDIT_DAEMON = "/sbin/auditd"
MANIFEST = "quor-admin-events-manifest.json"
TRUSTED_SIGNERS = "/etc/quor-admin-events/trusted-signers"
SIGNATURE_NAMESPACE = "quor-admin-events-archive"
SNAPSHOT_DIR = "/var/lib/quor-admin-events/snapshots"
MISSING_LIBRARIES = "error while loading shared libraries"


class Manager:
    def __init__(self, module):
        self.module = module
        params = module.params
        self.root = params["root"]
        self.installed = self.usable(params["manager"])
        self.path = self.installed or self.usable(params["checker"])

    def usable(self, path):
        """The path when the manager there can run (the unpacked one needs
        the package's dependencies, which a new host may lack)."""
        if not path or not os.access(path, os.X_OK):
            return None
        rc, out, err = self.module.run_command([path, "--version"], environ_update=self.environment())
        return path if rc == 0 or MISSING_LIBRARIES not in err else None

    def environment(self):
        return {"QUOR_ADMIN_EVENTS_ROOT": self.root}

    def run(self, *arguments):
        return self.module.run_command([self.path] + list(arguments), environ_update=self.environment())

    def run_ok(self, *arguments, accepted=(0,)):
        rc, out, err = self.run(*arguments)
        if rc not in accepted:
            self.module.fail_json(
                msg="velta-event-config-manager %s failed (exit %d):\n%s" % (arguments[0], rc, (err or out).strip()),
                rc=rc,
                stdout=out,
                stderr=err,
            )
        return rc, out

    def run_json(self, *arguments, accepted=(0,)):
        rc, out = self.run_ok(*arguments, accepted=accepted)
        return rc, self.parse(arguments[0], out)

    def parse(self, verb, out):
        try:
            return json.loads(out)
        except ValueError as error:
            self.module.fail_json(msg="velta-event-config-manager %s --json printed no summary: %s" % (verb, error), stdout=out)

    def status(self):
        return self.run_json("--status", "--json")[1] if self.path else {}


class Signers:
    """The host's trusted signers with the reference machine's key: written
    into the host's list by an import, laid beside the archive otherwise."""

    def __init__(self, module):
        self.module = module
        params = module.params
        self.path = params["root"] + TRUSTED_SIGNERS
        self.staged = os.path.join(os.path.dirname(params["archive"]), "trusted-signers")
        self.allow_unsigned = params["allow_unsigned"]
        try:
            with open(self.path, "rb") as listed:
                self.current = listed.read().decode("utf-8")
        except FileNotFoundError:
            self.current = ""
        except (OSError, UnicodeDecodeError) as error:
            module.fail_json(msg="%s: %s" % (self.path, error))
        self.line = self.entry(params["signer_key"])

    def entry(self, key):
        fields = key.split()
        if not fields:
            return ""
        if len(fields) < 2 or not fields[0].startswith(("ssh-", "ecdsa-", "sk-")):
            self.module.fail_json(msg="signer_key is not an OpenSSH public key: %s" % key.strip())
        known = any(line.split()[-2:] == fields[:2] for line in self.current.splitlines() if len(line.split()) >= 2)
        if known:
            return ""
        principal = fields[2] if len(fields) > 2 and all(c.isalnum() or c in "@._-" for c in fields[2]) else "reference"
        return '%s namespaces="%s" %s %s\n' % (principal, SIGNATURE_NAMESPACE, fields[0], fields[1])

    def combined(self):
        return self.current + ("\n" if self.current and not self.current.endswith("\n") else "") + self.line

    def trust(self):
        """Adds the key to the host's list; True when the list changed."""
        if not self.line:
            return False
        folder = os.path.dirname(self.path)
        os.makedirs(folder, mode=0o755, exist_ok=True)
        temporary = os.path.join(folder, ".trusted-signers.new")
        with open(temporary, "w", encoding="utf-8") as written:
            written.write(self.combined())
        os.chmod(temporary, 0o644)
        self.module.atomic_move(temporary, self.path)
        self.current = self.combined()
        self.line = ""
        return True

    def arguments(self):
        """The manager's options for a check against the list as it will be."""
        arguments = ["--allow-unsigned"] if self.allow_unsigned else []
        if self.line:
            with open(self.staged, "w", encoding="utf-8") as written:
                written.write(self.combined())
            arguments += ["--trusted-signers", self.staged]
        return arguments


def services_for(files, root):
    """The units that read the changed files, as the manager's
    --restart-if-changed picks them (the logrotate file needs none)."""
    services = []
    if any(name == EVENTS_FILE or name.startswith(SYSLOG_NG_CONF_DIR) for name in files):
        services.append("syslog-ng")
    if AUDIT_RULES_FILE in files and os.path.exists(root + AUDIT_DAEMON):
        services.append("auditd")
    return services


def archive_as_diff(module, archive):
    """The archive's files as a diff against nothing: what a host without the
    package would get."""
    try:
        with tarfile.open(archive, "r:gz") as tar:
            members = [member for member in tar.getmembers() if member.isfile() and member.name != MANIFEST]
            diffs = []
            for member in members:
                content = tar.extractfile(member).read().decode("utf-8", "replace")
                diffs.append(dict(before_header="/dev/null", after_header="/" + member.name, before="", after=content))
    except (OSError, tarfile.TarError) as error:
        module.fail_json(msg="%s: %s" % (archive, error))
    return ["/" + member.name for member in members], diffs


def check(module, manager):
    if not manager.path:
        # Repository installs: the import checks it right after the install.
        module.exit_json(changed=False, files=[], services=[], status={}, msg="no manager on the host yet")
    manager.run_ok("--check", module.params["archive"], *Signers(module).arguments())
    module.exit_json(changed=False, files=[], services=[], status={})


def import_archive(module, manager):
    params = module.params
    archive = params["archive"]
    if not manager.installed and not module.check_mode:
        module.fail_json(msg="%s: velta-event-config-manager is not installed" % params["manager"])
    if not manager.path:
        files, diffs = archive_as_diff(module, archive)
        services = services_for(files, manager.root) if params["restart"] else []
        module.exit_json(changed=True, files=files, services=services, status={}, diff=diffs, msg="the package would be installed and the archive imported")
    signers = Signers(module)
    signature = signers.arguments()
    manager.run_ok("--check", archive, *signature)
    rc, summary = manager.run_json("--diff", archive, "--json", *signature, accepted=(DIFF_NOTHING, DIFF_CHANGES))
    files = [change["path"] for change in summary.get("changes", [])]
    result = dict(changed=rc == DIFF_CHANGES, files=files, services=[], status={}, signer=summary.get("signer", ""))
    if result["changed"]:
        result["diff"] = dict(prepared=summary.get("diff", ""))
    # The reference key goes into the host's list once an archive it signed passed the check.
    trusted = not module.check_mode and signers.trust()
    result["changed"] = rc == DIFF_CHANGES or trusted or (module.check_mode and bool(signers.line))
    if module.check_mode or rc != DIFF_CHANGES:
        result["services"] = services_for(files, manager.root) if params["restart"] and rc == DIFF_CHANGES else []
        module.exit_json(**result)
    signature = signers.arguments()

    arguments = ["-i", archive, "--json"] + signature + (["--restart-if-changed"] if params["restart"] else [])
    rc, out, err = manager.run(*arguments)
    summary = manager.parse("-i", out)
    result.update(changed=bool(summary.get("changed")) or trusted, files=summary.get("files", []), services=sorted(summary.get("restarted", {})))
    if rc != 0:
        # Imported files stay imported; a failed restart stays owed.
        module.fail_json(msg="velta-event-config-manager -i failed (exit %d):\n%s" % (rc, err.strip()), rc=rc, stdout=out, stderr=err, **result)
    result["status"] = manager.status()
    module.exit_json(**result)


def restart(module, manager):
    pending = manager.status().get("pendingRestarts", [])
    if not pending or module.check_mode:
        module.exit_json(changed=bool(pending), files=[], services=pending, status={})
    rc, out, err = manager.run("--restart-pending", "--json")
    summary = manager.parse("--restart-pending", out)
    result = dict(changed=bool(summary.get("changed")), files=[], services=sorted(summary.get("restarted", {})), status={})
    if rc != 0:
        module.fail_json(msg="velta-event-config-manager --restart-pending failed (exit %d):\n%s" % (rc, err.strip()), rc=rc, **result)
    module.exit_json(**result)


def rollback(module, manager):
    if not manager.path:
        module.fail_json(msg="%s: velta-event-config-manager is not installed" % module.params["manager"])
    _, listing = manager.run_ok("--list-snapshots")
    names = [line.split("\t")[0] for line in listing.splitlines() if line.strip()]
    if not names:
        module.fail_json(msg="no snapshot to go back to")
    snapshot = names[-1]
    if module.check_mode:
        rc, summary = manager.run_json("--diff", manager.root + SNAPSHOT_DIR + "/" + snapshot, "--json", accepted=(DIFF_NOTHING, DIFF_CHANGES))
        files = [change["path"] for change in summary.get("changes", [])]
        module.exit_json(changed=rc == DIFF_CHANGES, files=files, services=[], status={}, snapshot=snapshot, diff=dict(prepared=summary.get("diff", "")))
    arguments = ["--restore", snapshot, "--json"] + (["--restart-if-changed"] if module.params["restart"] else [])
    rc, out, err = manager.run(*arguments)
    summary = manager.parse("--restore", out)
    result = dict(changed=bool(summary.get("changed")), files=summary.get("files", []), services=sorted(summary.get("restarted", {})), snapshot=snapshot)
    if rc != 0:
        module.fail_json(msg="velta-event-config-manager --restore failed (exit %d):\n%s" % (rc, err.strip()), rc=rc, **result)
    module.exit_json(status=manager.status(), **result)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            action=dict(type="str", default="import", choices=["check", "import", "restart", "status", "rollback"]),
            manager=dict(type="path", required=True),
            checker=dict(type="path", default=""),
            archive=dict(type="path", default=""),
            root=dict(type="str", default=""),
            restart=dict(type="bool", default=False),
            signer_key=dict(type="str", default="", no_log=False),
            allow_unsigned=dict(type="bool", default=False),
        ),
        required_if=[("action", "check", ["archive"]), ("action", "import", ["archive"])],
        supports_check_mode=True,
    )
    action = module.params["action"]
    if action != "check" and action != "import":
        # Only check and import may use the manager unpacked from the package file.
        module.params["checker"] = ""
    manager = Manager(module)
    if action == "check":
        check(module, manager)
    elif action == "import":
        import_archive(module, manager)
    elif action == "restart":
        restart(module, manager)
    elif action == "rollback":
        rollback(module, manager)
    module.exit_json(changed=False, files=[], services=[], status=manager.status())


if __name__ == "__main__":
    main()
