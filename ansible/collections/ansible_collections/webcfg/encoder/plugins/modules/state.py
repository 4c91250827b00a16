#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: webcfg developers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

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
  - webcfg developers
extends_documentation_fragment:
  - webcfg.encoder.device
options:
  secrets:
    description:
      - Also read the Wi-Fi pass phrase (C(settings.wifi.passphrase)).
      - The result then holds the pass phrase in clear text; use C(no_log) on the task.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: The module only reads, in check mode as otherwise.
'''

EXAMPLES = r'''
- name: Read the device's document
  webcfg.encoder.state:
    url: "http://{{ inventory_hostname }}"
    username: admin
    password: "{{ webcfg_password }}"
  delegate_to: localhost
  register: encoder

- name: Show the bit rate
  ansible.builtin.debug:
    msg: "{{ encoder.state.settings.encoder.bitrate }}"

- name: Back up the settings, pass phrase included
  webcfg.encoder.state:
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ webcfg_password }}"
    validate_certs: false
    secrets: true
  delegate_to: localhost
  register: saved
  no_log: true
'''

RETURN = r'''
state:
  description:
    - The state document of the device, as C(state.cgi) gives it.
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
'''

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_native

from ansible_collections.webcfg.encoder.plugins.module_utils.device import (
    DEVICE_ARGUMENT_SPEC, Device, DeviceError)


def main():
    argument_spec = dict(DEVICE_ARGUMENT_SPEC)
    argument_spec.update(secrets=dict(type='bool', default=False))
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    try:
        document = Device(module.params).document(secrets=module.params['secrets'])
    except DeviceError as e:
        module.fail_json(msg=to_native(e))
    module.exit_json(changed=False, state=document)


if __name__ == '__main__':
    main()
