#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: settings
short_description: Set the settings of a webcfg video encoder
description:
  - Brings the settings of one encoder to the wanted values through the device's own
    settings program C(webcfg.cgi), the one its configuration pages post to.
  - Reads the device's state document and its schema first and checks every wanted value
    against that schema; a value the schema refuses fails the task, naming the setting and
    the rule, before anything is sent.
  - Sends only the commands whose settings differ, in the order of the device's command
    list, one request per command (the radio groups of the codec form share one request).
  - Reads the document again afterwards and fails when a wanted value is not there; the
    failure quotes the device's own refusal text.
  - With C(restart), restarts the device when changes wait for it, as a trial by default;
    the device goes back to the settings it ran before unless they are confirmed within
    C(confirm_within) seconds of its start, which the module does as soon as the device
    answers again. A device that does not come back reachable thus returns to its previous
    settings by itself.
  - Supports check mode (reports what would change, sends nothing) and diff mode (old and
    new value of every setting that changes).
version_added: 1.0.0
author:
  - webcfg developers
extends_documentation_fragment:
  - webcfg.encoder.device
options:
  settings:
    description:
      - The wanted settings, laid out as the C(settings) part of the state document,
        grouped by section (C(network), C(wifi), C(outputs), C(encoder), C(capture),
        C(audio), C(picture), C(overlays), C(subtitle)), the overlay windows nested once
        more (C(mg), C(gx)).
      - Only the settings given are looked at; the others keep their values.
      - The read-only C(wifi.passphrase_set) and C(outputs.rtmp_key_set) cannot be given.
        The secrets C(wifi.passphrase) and C(outputs.rtmp_key) are compared with the stored
        ones and never shown in results or differences.
      - C(outputs.rtmp_url) is the RTMP address up to the application name
        (C(rtmp://10.0.8.5/live)), C(outputs.rtmp_key) the stream key after it; either may be
        given alone, the device keeps the other.
      - Text from a template (C("4000000"), C("true")) is read as the type the device's
        schema gives the setting.
      - A null value leaves the setting as it is (a backup holds null for a value the device
        could not read).
    type: dict
    required: true
  restart:
    description:
      - When changes wait for a restart of the device (C(reboot_pending)) after the settings
        are made, restart the device and wait until it answers again after its start, then
        confirm its settings (see C(confirm_within)).
      - Never restarts in check mode.
      - Without it, changes that wait for a restart give a warning.
    type: bool
    default: false
  confirm_within:
    description:
      - Seconds, from 10 to 3600, that the device waits after its start for the confirmation
        of its settings before it goes back to the settings it ran before the restart and
        restarts again. The module confirms as soon as the device answers.
      - Going back undoes every change made since the device's previous start, not only
        this task's.
      - C(0) restarts without a trial, for a device whose start-up does not run
        C(webcfg-boot); the device refuses a trial then.
      - When the device does not answer within C(restart_timeout), the task fails saying
        when the device goes back.
      - Only used with C(restart).
    type: int
    default: 300
  restart_timeout:
    description:
      - Seconds to wait for the device to answer again after a restart.
      - Keep it below C(confirm_within), so that the settings can still be confirmed.
    type: int
    default: 300
attributes:
  check_mode:
    support: full
    description: Reports what would change; sends nothing.
  diff_mode:
    support: full
    description: Old and new value of each setting that changes.
'''

EXAMPLES = r'''
- name: Stream over UDP to the headend and push RTMP
  webcfg.encoder.settings:
    url: "http://{{ inventory_hostname }}"
    username: admin
    password: "{{ webcfg_password }}"
    settings:
      outputs:
        transport_stream: udp
        ts_address: 10.0.8.20
        ts_port: 5000
        rtsp_rtmp: rtmp
        rtmp_url: rtmp://10.0.8.5/live
        rtmp_key: "{{ inventory_hostname }}"
  delegate_to: localhost

- name: A new bit rate, restarting the device when the change waits for it
  webcfg.encoder.settings:
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ webcfg_password }}"
    validate_certs: false
    settings:
      encoder:
        bitrate: 6000000
    restart: true
    restart_timeout: 180
    confirm_within: 600
  delegate_to: localhost

- name: The same on a device whose start-up does not run webcfg-boot
  webcfg.encoder.settings:
    url: "http://{{ inventory_hostname }}"
    username: admin
    password: "{{ webcfg_password }}"
    settings:
      encoder:
        bitrate: 6000000
    restart: true
    confirm_within: 0
  delegate_to: localhost

- name: Move the first overlay window and set the subtitle
  webcfg.encoder.settings:
    url: "http://{{ inventory_hostname }}"
    username: admin
    password: "{{ webcfg_password }}"
    settings:
      overlays:
        mg: {enabled: true, x: 64, y: 48}
      subtitle:
        enabled: true
        text: "Welcome"
  delegate_to: localhost
'''

RETURN = r'''
changes:
  description:
    - The settings that differed (and were sent, or would be in check mode), in the order
      they are sent. The pass phrase is shown as C((hidden)).
  returned: always
  type: list
  elements: dict
  sample: [{"setting": "encoder.bitrate", "before": 4000000, "after": 6000000}]
requests:
  description: The submit field of each request sent (or that would be sent), in order.
  returned: always
  type: list
  elements: str
  sample: ["codec_submit", "name3_submit"]
reboot_pending:
  description:
    - Whether changes wait for a restart of the device, as its document says after the run
      (before it, in check mode).
  returned: success
  type: bool
restarted:
  description: Whether the device was restarted.
  returned: always
  type: bool
confirmed:
  description:
    - Whether the settings the device restarted with were confirmed, ending its restart
      trial; false without a restart or with C(confirm_within=0).
  returned: always
  type: bool
state:
  description: The state document of the device after the run (without the secrets).
  returned: success
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_native

from ansible_collections.webcfg.encoder.plugins.module_utils.device import (
    CONFIRM_WITHIN_MAX, CONFIRM_WITHIN_MIN, DEVICE_ARGUMENT_SPEC, HIDDEN, Device, DeviceError,
    field_parts, lookup, nest, quote_reply, refusal, requests_for, same_value, secret_values,
    validate, without_secrets)


def shown(change, key):
    return HIDDEN if change['secret'] else change[key]


def run(module, device, progress):
    params = module.params
    within = params['confirm_within']
    if within != 0 and not CONFIRM_WITHIN_MIN <= within <= CONFIRM_WITHIN_MAX:
        module.fail_json(msg='confirm_within: %s is neither 0 nor from %s to %s seconds'
                         % (within, CONFIRM_WITHIN_MIN, CONFIRM_WITHIN_MAX), changed=False)
    schema = device.schema()
    wanted, errors = validate(schema, params['settings'])
    if errors:
        module.fail_json(msg="refused by the device's schema, nothing sent: " + '; '.join(errors),
                         errors=errors, changed=False)
    # A part of a field goes joined with the other part as the device holds
    # it, which only the secrets show.
    secrets = any(rule.get('writeOnly') or 'part' in rule['x-form'] for _name, _value, rule in wanted)
    for _name, value, rule in wanted:
        if rule.get('writeOnly') and isinstance(value, str):
            module.no_log_values.add(value)
    document = device.document(secrets=secrets)
    module.no_log_values.update(secret_values(document))
    current = document.get('settings', {})
    parts = field_parts(schema)

    changes = []
    for name, value, rule in wanted:
        before, _found = lookup(current, name)
        if same_value(before, value):
            continue
        change = {'setting': name, 'before': before, 'after': value,
                  'form': rule['x-form'], 'secret': bool(rule.get('writeOnly'))}
        if 'part' in rule['x-form']:
            change['parts'] = parts.get(rule['x-form'].get('field'), {})
        changes.append(change)
    posts = requests_for(changes, current)
    ordered = [name for post in posts for name in post['settings']]
    by_name = dict((change['setting'], change) for change in changes)
    changes = [by_name[name] for name in ordered]

    result = dict(
        changed=bool(changes),
        changes=[{'setting': c['setting'], 'before': shown(c, 'before'), 'after': shown(c, 'after')}
                 for c in changes],
        requests=[post['submit'] for post in posts],
        restarted=False,
        confirmed=False,
        diff=dict(before=nest([(c['setting'], shown(c, 'before')) for c in changes]),
                  after=nest([(c['setting'], shown(c, 'after')) for c in changes])),
    )
    if module.check_mode:
        result['reboot_pending'] = bool(document.get('reboot_pending'))
        module.exit_json(**result)

    refused = None
    replies = {}
    for post in posts:
        # From here on a failure may follow a change: the device may also
        # have acted on a request whose answer was lost.
        progress['sent'] = True
        try:
            reply = device.post([(post['submit'], '')] + post['fields'])
        except DeviceError as e:
            raise DeviceError('%s (while sending %s)' % (to_native(e), ', '.join(post['settings'])))
        for name in post['settings']:
            replies[name] = reply
        lines = refusal(reply)
        if lines:
            refused = (post, lines, reply)
            break  # the rest of the settings may build on this one

    after = device.document(secrets=secrets)
    module.no_log_values.update(secret_values(after))
    missing = []
    for change in changes:
        now, _found = lookup(after.get('settings', {}), change['setting'])
        if not same_value(now, change['after']):
            reply = replies.get(change['setting'])
            if refused and change['setting'] in refused[0]['settings']:
                reply = None  # quoted with the refusal
            missing.append('%s: wanted %s, the device has %s%s' % (
                change['setting'], shown(change, 'after'), HIDDEN if change['secret'] else now,
                '' if reply is None else ' (its reply: %s)' % quote_reply(reply)))
    if refused or missing:
        parts = []
        if refused:
            post, lines, reply = refused
            rest = '' if post is posts[-1] else '; the later requests were not sent'
            parts.append('the device refused %s (%s): %s%s; its reply: %s'
                         % (', '.join(post['settings']), post['submit'], ', '.join(lines), rest,
                            quote_reply(reply)))
        if missing:
            parts.append('not set on the device: ' + '; '.join(missing))
        result['msg'] = ' -- '.join(parts)
        result['reboot_pending'] = bool(after.get('reboot_pending'))
        result['state'] = without_secrets(after)
        module.fail_json(**result)

    if params['restart'] and after.get('reboot_pending'):
        progress['sent'] = True
        after, result['confirmed'] = device.restart(params['restart_timeout'], within, after)
        result['restarted'] = True
        result['changed'] = True
    result['reboot_pending'] = bool(after.get('reboot_pending'))
    result['state'] = without_secrets(after)
    if result['reboot_pending']:
        module.warn('changes wait for a restart of the device (restart: true restarts it)')
    module.exit_json(**result)


def main():
    argument_spec = dict(DEVICE_ARGUMENT_SPEC)
    argument_spec.update(
        settings=dict(type='dict', required=True),
        restart=dict(type='bool', default=False),
        restart_timeout=dict(type='int', default=300),
        confirm_within=dict(type='int', default=300),
    )
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    progress = {'sent': False}
    try:
        run(module, Device(module.params), progress)
    except DeviceError as e:
        module.fail_json(msg=to_native(e), changed=progress['sent'])


if __name__ == '__main__':
    main()
