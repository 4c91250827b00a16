#!/usr/bin/python
# -*- coding: utf-8 -*-
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: state
short_description: Read the state document of a webcfg video encoder
description:
  - Reads the state document of one encoder from its C(state.cgi) and returns it under the
    key C(state), for C(register), facts and backups.
  - Changes nothing on the device.
version_added: 1.0.0
author:
  - webcfg developers (@webcfg)
extends_documentation_fragment:
  - webcfg.encoder.device
options:
  secrets:
    description:
      - Also read the secrets, the Wi-Fi pass phrase (C(settings.wifi.passphrase)) and the
        RTMP stream key (C(settings.outputs.rtmp_key)).
      - Without C(dest) the result then holds them in clear text; use C(no_log) on the task.
    type: bool
    default: false
  dest:
    description:
      - Also save a backup to this file on the control machine, readable by its owner only
        (mode 0600), replacing the file whole. The directory must exist.
      - The backup holds C(schema) (the document's version), C(codec_template) and the
        C(settings) a restore can set, keys in a stable order; nothing the device reports of
        itself (the detected input, C(reboot_pending)), so that it changes only when the
        device was configured. The settings module's C(backup) option restores it.
      - The file keeps the secrets read with C(secrets); the returned C(state) then leaves
        them out, so the task needs no C(no_log).
      - Reports C(changed) when the file's content changes.
    type: path
attributes:
  check_mode:
    support: full
    description: Reads the device; with C(dest), reports whether the file would change
      and writes nothing.
'''

EXAMPLES = r'''
- name: Read the device's document
  webcfg.encoder.state:
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ vault_webcfg_password }}"
  delegate_to: localhost
  register: encoder

- name: Show the bit rate
  ansible.builtin.debug:
    msg: "{{ encoder.state.settings.encoder.bitrate }}"

- name: Back up the settings, pass phrase included, to a file on the control machine
  webcfg.encoder.state:
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ vault_webcfg_password }}"
    fingerprint: "{{ webcfg_fingerprint }}"
    secrets: true
    dest: "/srv/backups/{{ inventory_hostname }}.json"
  delegate_to: localhost
'''

RETURN = r'''
state:
  description:
    - The state document of the device, as C(state.cgi) gives it (without the pass phrase
      when C(dest) is given).
  returned: success
  type: dict
  contains:
    schema:
      description: Version of the document layout.
      type: int
      sample: 1
    settings:
      description: The settings, grouped by section.
      type: dict
    device:
      description: Facts about the device that are not settings (model, input, detected format).
      type: dict
    codec_template:
      description: The audio codec template the boot script comes from (C(aac), C(mp3)) or null.
      type: str
    reboot_pending:
      description: Whether changes wait for a restart.
      type: bool
    unreadable:
      description: Settings files of the device that could not be read.
      type: list
      elements: str
saved_to:
  description: The file the document was saved to.
  returned: when C(dest) is given
  type: str
'''

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_bytes, to_native

from ansible_collections.webcfg.encoder.plugins.module_utils.device import (
    DEVICE_ARGUMENT_SPEC, Device, DeviceError, backup_of, without_secrets)


def save(module, dest, document):
    """Writes the document to dest whole (a temporary file beside it, renamed
    over it), owner-only; returns whether the content changed."""
    data = to_bytes(json.dumps(document, indent=2, ensure_ascii=False, sort_keys=True) + '\n')
    try:
        with open(dest, 'rb') as f:
            if f.read() == data:
                if (os.stat(dest).st_mode & 0o777) == 0o600:
                    return False
    except (IOError, OSError):
        pass
    if module.check_mode:
        return True
    directory = os.path.dirname(os.path.abspath(dest))
    try:
        fd, temp = tempfile.mkstemp(prefix='.webcfg-', dir=directory)  # mode 0600
    except (IOError, OSError) as e:
        module.fail_json(msg='cannot write in %s: %s' % (directory, to_native(e)))
    try:
        with os.fdopen(fd, 'wb') as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(temp, 0o600)
        os.rename(temp, dest)
    except (IOError, OSError) as e:
        os.unlink(temp)
        module.fail_json(msg='cannot write %s: %s' % (dest, to_native(e)))
    return True


def main():
    argument_spec = dict(DEVICE_ARGUMENT_SPEC)
    argument_spec.update(secrets=dict(type='bool', default=False),
                         dest=dict(type='path'))
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    try:
        document = Device(module.params).document(secrets=module.params['secrets'])
    except DeviceError as e:
        module.fail_json(msg=to_native(e))
    dest = module.params['dest']
    if not dest:
        module.exit_json(changed=False, state=document)
    try:
        schema = Device(module.params).schema()
    except DeviceError as e:
        module.fail_json(msg=to_native(e))
    changed = save(module, dest, backup_of(document, schema))
    without_secrets(document)
    # Not "dest": AnsibleModule would add file details, "state" among them.
    module.exit_json(changed=changed, state=document, saved_to=dest)


if __name__ == '__main__':
    main()
