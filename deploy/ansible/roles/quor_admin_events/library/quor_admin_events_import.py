#!/usr/bin/python3
# Imports an event registration configuration archive with
# velta-event-config-manager: --check first, --diff to learn whether anything
# would change (shown in diff mode), then -i --json unless in check mode.

DOCUMENTATION = r"""
module: quor_admin_events_import
short_description: Check and import an event registration configuration archive
description:
  - Runs C(velta-event-config-manager --check), then C(--diff), then
    C(-i --json) when the import would change something and the task is
    not in check mode.
  - Reports the diff in diff mode and which services need a restart.
options:
  manager:
    description: Path of velta-event-config-manager on the host.
    type: path
    required: true
  archive:
    description: Path of the archive on the host.
    type: path
    required: true
  root:
    description: System root for the manager (QUOR_ADMIN_EVENTS_ROOT); empty for "/".
    type: str
    default: ""
"""

RETURN = r"""
files:
  description: Files the import changed, as system paths.
  type: list
  elements: str
  returned: always
services:
  description: Units to restart because of the import ("syslog-ng", "auditd").
  type: list
  elements: str
  returned: always
"""

import json

from ansible.module_utils.basic import AnsibleModule

DIFF_NOTHING = 0
DIFF_CHANGES = 3
EVENTS_FILE = "/etc/velta-syslog.conf"
SYSLOG_NG_CONF_DIR = "/etc/syslog-ng/conf.d/"
AUDIT_RULES_FILE = "/etc/audit/rules.d/velta-syslog.rules"


def services_for(files):
    """The units that read the changed files, as the manager's
    --restart-if-changed picks them (the logrotate file needs none)."""
    services = []
    if any(name == EVENTS_FILE or name.startswith(SYSLOG_NG_CONF_DIR) for name in files):
        services.append("syslog-ng")
    if AUDIT_RULES_FILE in files:
        services.append("auditd")
    return services


def main():
    module = AnsibleModule(
        argument_spec=dict(
            manager=dict(type="path", required=True),
            archive=dict(type="path", required=True),
            root=dict(type="str", default=""),
        ),
        supports_check_mode=True,
    )
    manager = module.params["manager"]
    archive = module.params["archive"]
    environment = {"QUOR_ADMIN_EVENTS_ROOT": module.params["root"]}

    def run(*arguments):
        return module.run_command([manager] + list(arguments), environ_update=environment)

    def fail(verb, rc, out, err):
        module.fail_json(
            msg="velta-event-config-manager %s failed (exit %d):\n%s" % (verb, rc, (err or out).strip()),
            rc=rc,
            stdout=out,
            stderr=err,
        )

    rc, out, err = run("--check", archive)
    if rc != 0:
        fail("--check", rc, out, err)

    rc, diff_text, err = run("--diff", archive)
    if rc not in (DIFF_NOTHING, DIFF_CHANGES):
        fail("--diff", rc, diff_text, err)
    result = dict(changed=rc == DIFF_CHANGES, files=[], services=[])
    if result["changed"]:
        result["diff"] = dict(prepared=diff_text)
    if module.check_mode or not result["changed"]:
        module.exit_json(**result)

    rc, out, err = run("-i", archive, "--json")
    if rc != 0:
        fail("-i", rc, out, err)
    try:
        summary = json.loads(out)
        changed = bool(summary["changed"])
        files = [str(name) for name in summary.get("files", [])]
    except (ValueError, KeyError, TypeError) as error:
        module.fail_json(msg="velta-event-config-manager -i --json printed no summary: %s" % error, stdout=out, stderr=err)
    result.update(changed=changed, files=files, services=services_for(files))
    module.exit_json(**result)


if __name__ == "__main__":
    main()
