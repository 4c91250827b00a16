#!/usr/bin/python
# -*- coding: utf-8 -*-
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: settings
short_description: Set the settings of a webcfg video encoder
description:
  - Brings the settings of one encoder to the wanted values through the device's state
    program C(state.cgi), whose change sets run the same commands as its configuration
    pages.
  - Reads the device's state document and its schema first and checks every wanted value
    against that schema; a value the schema refuses fails the task, naming the setting and
    the rule, before anything is sent.
  - Sends the settings that differ as one change set (C(POST state.cgi)) with the revision
    of the document it read (C(If-Match)); the device applies all of it or none, and refuses
    it when it was changed since. Then the module reads it again and compares anew, up to
    C(retries) times; it never overwrites a change it did not read.
  - A refusal fails the task with the device's words; the device is then as it was. When
    the answer is lost, the module reads the device again and says whether the change was
    applied.
  - With C(restart), restarts the device when changes wait for it, as a trial by default;
    the device goes back to the settings it ran before unless they are confirmed within
    C(confirm_within) seconds of its start, which the module does as soon as the device
    answers again. A device that does not come back reachable thus returns to its previous
    settings by itself.
  - Supports check mode (reports what would change, sends nothing) and diff mode (old and
    new value of every setting that changes).
version_added: 1.0.0
author:
  - webcfg developers (@webcfg)
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
    default: {}
  codec_template:
    description:
      - The encoder's factory template (C(aac) or C(mp3)). Swapping it resets the settings it
        holds; it goes first, in the same change set as the settings, which are then all sent
        to be set after the swap.
    type: str
  backup:
    description:
      - A backup as the C(state) module's C(dest) writes it (read it with
        C(lookup('file', path) | from_json)). Its template and settings are wanted, but for
        those of C(per_device); C(settings) goes over them. Its read-only settings are left out.
      - Its secrets are kept out of every log and result like those of C(settings).
    type: dict
  per_device:
    description:
      - Settings of a backup that belong to the device it came from, left as the device holds
        them. C([]) restores them too.
    type: list
    elements: str
    default: [network.ip, network.mac, wifi.address]
  ignore_unknown:
    description:
      - Leave out settings this device does not have (a backup of a newer device), with a
        warning and in C(skipped), instead of refusing the whole task.
    type: bool
    default: false
  restart:
    description:
      - When changes wait for a restart of the device (C(reboot_pending)) after the settings
        are made, restart the device and wait until it answers again after its start, then
        confirm its settings (see C(confirm_within)).
      - Never restarts in check mode, but reports the restart it would do (C(restarted)).
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
  retries:
    description:
      - How many times a change set refused because the device was changed since it was
        read (HTTP 412) is tried again after reading the device anew. The task then fails
        naming the conflict.
    type: int
    default: 3
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
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ vault_webcfg_password }}"
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
    password: "{{ vault_webcfg_password }}"
    fingerprint: "{{ webcfg_fingerprint }}"
    settings:
      encoder:
        bitrate: 6000000
    restart: true
    restart_timeout: 180
    confirm_within: 600
  delegate_to: localhost

- name: The same on a device whose start-up does not run webcfg-boot
  webcfg.encoder.settings:
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ vault_webcfg_password }}"
    settings:
      encoder:
        bitrate: 6000000
    restart: true
    confirm_within: 0
  delegate_to: localhost

- name: Move the first overlay window and set the subtitle
  webcfg.encoder.settings:
    url: "https://{{ inventory_hostname }}"
    username: admin
    password: "{{ vault_webcfg_password }}"
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
  description:
    - Each change set sent, in order (more than one after a conflict), the secrets shown as
      C((hidden)). Empty in check mode and when nothing differed.
  returned: always
  type: list
  elements: dict
  sample: [{"settings": {"encoder": {"bitrate": 6000000}}}]
skipped:
  description: The settings left out because this device does not have them (C(ignore_unknown)).
  returned: when some were
  type: list
  elements: str
answer:
  description:
    - What the device answered to the last change set, C(status) (null when no answer came)
      and C(body) (its refusal, or what it changed and its new revision).
  returned: always
  type: dict
  sample: {"status": 200, "body": {"changed": ["encoder.bitrate"], "revision": "9c1e4f0a2b7d3e61"}}
reboot_pending:
  description:
    - Whether changes wait for a restart of the device, as its document says after the run
      (before it, in check mode).
  returned: success
  type: bool
restarted:
  description: Whether the device was restarted (in check mode, whether it would be).
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

import json

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_native

from ansible_collections.webcfg.encoder.plugins.module_utils.device import (
    CONFIRM_WITHIN_MAX, CONFIRM_WITHIN_MIN, DEVICE_ARGUMENT_SPEC, HIDDEN, SECRETS, AnswerError, Device,
    DeviceError, UnreachableError, drop, lookup, merged, nest, same_value, secret_values, validate,
    without_secrets)


def shown(change, key):
    return HIDDEN if change['secret'] else change[key]


def described(changes):
    return [{'setting': c['setting'], 'before': shown(c, 'before'), 'after': shown(c, 'after')} for c in changes]


def changes_between(wanted, current, every=False):
    """The wanted settings whose values the device does not hold (every
    one with every), in the device's command order (its schema's)."""
    changes = []
    for name, value, rule in wanted:
        before, _found = lookup(current, name)
        if same_value(before, value) and not every:
            continue
        changes.append({'setting': name, 'before': before, 'after': value, 'order': rule['x-form']['order'],
                        'secret': bool(rule.get('writeOnly'))})
    return sorted(changes, key=lambda c: c['order'])


def change_set_of(changes, key='after'):
    """The changes as a change set: the template beside the settings."""
    out = {}
    settings = [(c['setting'], c[key] if key == 'after' else shown(c, 'after'))
                for c in changes if c['setting'] != 'codec_template']
    if settings:
        out['settings'] = nest(settings)
    for c in changes:
        if c['setting'] == 'codec_template':
            out['codec_template'] = c['after']
    return out


def sent_as(change_set, changes):
    """The change set as the result shows it: the secrets hidden."""
    return change_set_of(changes, key='shown')


def wanted_tree(params):
    """The settings wanted: a backup's, without the settings of the device's
    own (per_device), with the settings option over them; and the template."""
    tree = {}
    template = params['codec_template']
    backup = params['backup']
    if backup is not None:
        tree = backup.get('settings') if isinstance(backup.get('settings'), dict) else {}
        for name in params['per_device']:
            tree = drop(tree, name)
        if template is None:
            template = backup.get('codec_template')
    return merged(tree, params['settings'] or {}), template


def apply_once(module, device, wanted, template, secrets, result):
    """Reads the device, and sends what differs as one change set with the
    revision it read. Returns (document after, None) or (None, the 412
    answer) when the device changed since it was read."""
    document, revision = device.document_and_revision(secrets=secrets)
    module.no_log_values.update(secret_values(document))
    # A template swap resets the settings it holds: then every wanted one
    # goes with it, to be set after the swap.
    swap = template is not None and template != document.get('codec_template')
    changes = changes_between(wanted, document.get('settings', {}), every=swap)
    if swap:
        changes.insert(0, {'setting': 'codec_template', 'before': document.get('codec_template'),
                           'after': template, 'order': -1, 'secret': False})
    result['changes'] = described(changes)
    result['changed'] = bool(changes)
    result['diff'] = dict(before=nest([(c['setting'], shown(c, 'before')) for c in changes]),
                          after=nest([(c['setting'], shown(c, 'after')) for c in changes]))
    if not changes or module.check_mode:
        return document, None
    change_set = change_set_of(changes)
    result['requests'].append(sent_as(change_set, changes))
    try:
        answer = device.change_set(change_set, revision=revision)
    except AnswerError as e:
        result['answer'] = {'status': e.code, 'body': e.answer}
        if e.code == 412:
            return None, e
        result['changed'] = False
        module.fail_json(msg='the device refused the change set, nothing was changed: %s' % to_native(e), **result)
    except UnreachableError as e:
        # The device may have applied the set and lost only its answer: what
        # it holds now says which.
        result['answer'] = {'status': None, 'body': None}
        try:
            now = device.document(secrets=secrets)
        except DeviceError as again:
            module.fail_json(msg='the device did not answer the change set (%s), nor a read after it (%s): '
                             'whether it was applied is not known' % (to_native(e), to_native(again)), **result)
        module.no_log_values.update(secret_values(now))
        left = changes_between(wanted, now.get('settings', {}))
        if not left:
            module.warn('the answer to the change set was lost (%s); the device holds every wanted value'
                        % to_native(e))
            return now, None
        held = len(changes) - len(left)
        result['changed'] = False
        module.fail_json(msg='the device did not answer the change set (%s); it holds %s of the %s changes, '
                         'so it applied none of them (a change set is applied whole or not at all)'
                         % (to_native(e), 'none' if held == 0 else held, len(changes)), **result)
    result['answer'] = {'status': 200, 'body': {'changed': answer.get('changed'),
                                                'revision': answer.get('revision')}}
    state = answer.get('state')
    if not isinstance(state, dict):
        raise DeviceError('the device applied the change set but answered no document')
    return state, None


def run(module, device, progress, result):
    params = module.params
    within = params['confirm_within']
    if within != 0 and not CONFIRM_WITHIN_MIN <= within <= CONFIRM_WITHIN_MAX:
        module.fail_json(msg='confirm_within: %s is neither 0 nor from %s to %s seconds'
                         % (within, CONFIRM_WITHIN_MIN, CONFIRM_WITHIN_MAX), **result)
    schema = device.schema()
    tree, template = wanted_tree(params)
    wanted, errors, unknown = validate(schema, tree, ignore_unknown=params['ignore_unknown'],
                                       skip_read_only=params['backup'] is not None)
    if unknown:
        result['skipped'] = unknown
        module.warn('not settings of this device, left out: %s' % ', '.join(unknown))
    if template is not None and template not in (schema.get('$defs', {}).get('codec_template', {}).get('enum') or []):
        errors.append('codec_template: %s is not one of the templates of this device (enum)' % json.dumps(template))
    if errors:
        module.fail_json(msg="refused by the device's schema, nothing sent: " + '; '.join(errors),
                         errors=errors, **result)
    # A secret is compared with the one the device holds, which only the
    # secrets show.
    secrets = any(rule.get('writeOnly') for _name, _value, rule in wanted)
    for _name, value, rule in wanted:
        if rule.get('writeOnly') and isinstance(value, str):
            module.no_log_values.add(value)

    # A device changed by someone else between the read and the change set
    # is read again: the wanted values are compared anew, never overwritten
    # blindly.
    for attempt in range(params['retries'] + 1):
        progress['sent'] = bool(result['requests'])
        after, conflict = apply_once(module, device, wanted, template, secrets, result)
        if conflict is None:
            break
        result['conflicts'] = attempt + 1
    else:
        result['changed'] = False
        module.fail_json(msg='the device was changed by someone else between each read and change set (%s times, '
                         'HTTP 412); nothing of this task was applied: %s' % (params['retries'] + 1, to_native(conflict)),
                         **result)
    progress['sent'] = bool(result['requests'])
    if result['requests']:
        result['changed'] = True

    if params['restart'] and after.get('reboot_pending'):
        if module.check_mode:
            result['restarted'] = True  # what it would do
            result['changed'] = True
        else:
            progress['sent'] = True
            after, result['confirmed'] = device.restart(params['restart_timeout'], within, after)
            result['restarted'] = True
            result['changed'] = True
    elif params['restart'] and module.check_mode and result['changes']:
        result['restarted'] = True  # the changes would wait for a restart
    result['reboot_pending'] = bool(after.get('reboot_pending'))
    result['state'] = without_secrets(after)
    if result['reboot_pending'] and not params['restart']:
        module.warn('changes wait for a restart of the device (restart: true restarts it)')
    module.exit_json(**result)


class SettingsModule(AnsibleModule):
    """The secrets inside the settings are hidden from the invocation log
    (syslog or the journal) as no_log options are: Ansible logs the
    invocation before the module runs."""

    def _log_invocation(self):
        backup = self.params.get('backup')
        for settings in (self.params.get('settings'), backup.get('settings') if isinstance(backup, dict) else None):
            for section, name in SECRETS:
                group = settings.get(section) if isinstance(settings, dict) else None
                value = group.get(name) if isinstance(group, dict) else None
                if isinstance(value, str) and value:
                    self.no_log_values.add(value)
        super(SettingsModule, self)._log_invocation()


def main():
    argument_spec = dict(DEVICE_ARGUMENT_SPEC)
    argument_spec.update(
        settings=dict(type='dict', default={}),
        codec_template=dict(type='str'),
        backup=dict(type='dict'),
        per_device=dict(type='list', elements='str', default=['network.ip', 'network.mac', 'wifi.address']),
        ignore_unknown=dict(type='bool', default=False),
        restart=dict(type='bool', default=False),
        restart_timeout=dict(type='int', default=300),
        confirm_within=dict(type='int', default=300),
        retries=dict(type='int', default=3),
    )
    module = SettingsModule(argument_spec=argument_spec, supports_check_mode=True)
    progress = {'sent': False}
    result = dict(changed=False, changes=[], requests=[], answer=None, restarted=False, confirmed=False)
    try:
        run(module, Device(module.params), progress, result)
    except DeviceError as e:
        result['changed'] = progress['sent']
        module.fail_json(msg=to_native(e), **result)


if __name__ == '__main__':
    main()
