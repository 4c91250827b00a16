# -*- coding: utf-8 -*-
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
# The collection's own rules, without a device: how answers and refusals
# read, what a restore leaves out, what a backup holds, which secrets are
# hidden, and when a device counts as gone back.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import pytest

from ansible_collections.webcfg.encoder.plugins.module_utils import device

SCHEMA = {
    'properties': {
        'encoder': {'properties': {
            'ttl': {'type': ['integer', 'null'], 'minimum': 1, 'maximum': 255,
                    'x-form': {'order': 30, 'submit': 'ttl_submit', 'field': 'ttl'}},
        }},
        'wifi': {'properties': {
            'passphrase': {'type': ['string', 'null'], 'writeOnly': True, 'pattern': '^[ !#-~]{8,63}$',
                           'x-form': {'order': 28, 'submit': 'passkey_submit', 'field': 'passkey'}},
            'passphrase_set': {'type': ['boolean', 'null'], 'readOnly': True},
        }},
    },
}


@pytest.mark.parametrize('answer, words', [
    ({'error': 'refused', 'setting': 'encoder.bitrate', 'reply': 'error: tc cannot be read'},
     'refused: encoder.bitrate: error: tc cannot be read'),
    ({'errors': [{'setting': 'encoder.ttl', 'rule': 'maximum', 'message': 'must be at most 255'}]},
     'encoder.ttl: must be at most 255 (maximum)'),
    ({'error': 'changed', 'revision': 'abc'}, 'changed'),
    ({'error': 'x' * 700}, 'x' * device.REPLY_QUOTE_CHARS + '...'),
])
def test_an_error_answer_reads_as_its_words(answer, words):
    assert device.answer_words(answer) == words


@pytest.mark.parametrize('wanted, ignore_unknown, read_only, checked, errors, unknown', [
    ({'encoder': {'ttl': '32'}}, False, False, [('encoder.ttl', 32)], [], []),
    ({'encoder': {'ttl': 300}}, False, False, [], ['encoder.ttl: 300 is greater than the maximum 255'], []),
    ({'encoder': {'knob': 1}}, False, False, [],
     ['encoder.knob: not a setting of this device (additionalProperties)'], []),
    ({'encoder': {'knob': 1, 'ttl': 9}}, True, False, [('encoder.ttl', 9)], [], ['encoder.knob']),
    ({'wifi': {'passphrase_set': True}}, False, False, [], ['wifi.passphrase_set: is read-only (readOnly)'], []),
    ({'wifi': {'passphrase_set': True}}, False, True, [], [], []),
    ({'wifi': {'passphrase': 'short'}}, False, False, [],
     ['wifi.passphrase: (hidden) does not match the pattern ^[ !#-~]{8,63}$'], []),
    ({'encoder': {'ttl': None}}, False, False, [], [], []),
])
def test_wanted_settings_are_checked_against_the_schema(wanted, ignore_unknown, read_only, checked, errors, unknown):
    got, problems, skipped = device.validate(SCHEMA, wanted, ignore_unknown=ignore_unknown,
                                             skip_read_only=read_only)
    assert [(name, value) for name, value, _rule in got] == checked
    assert problems == errors
    assert skipped == unknown


def test_a_backup_holds_the_template_and_the_writable_settings_only():
    document = {'schema': 3, 'codec_template': 'aac', 'reboot_pending': True, 'device': {'input': 'hdmi'},
                'settings': {'encoder': {'ttl': 64}, 'wifi': {'passphrase': 'p' * 9, 'passphrase_set': True}}}
    assert device.backup_of(document, SCHEMA) == {
        'schema': 3, 'codec_template': 'aac', 'settings': {'encoder': {'ttl': 64}, 'wifi': {'passphrase': 'p' * 9}}}


def test_the_device_own_settings_are_dropped_from_a_copy():
    tree = {'network': {'ip': '10.0.0.2', 'netmask': '255.0.0.0'}, 'wifi': {'address': '10.0.0.3'}}
    out = device.drop(device.drop(tree, 'network.ip'), 'wifi.address')
    assert out == {'network': {'netmask': '255.0.0.0'}, 'wifi': {}}
    assert tree['network']['ip'] == '10.0.0.2', 'the original stays'
    assert device.merged(out, {'network': {'ip': '10.0.0.9'}}) == {
        'network': {'netmask': '255.0.0.0', 'ip': '10.0.0.9'}, 'wifi': {}}


def test_secrets_are_found_and_taken_out_of_a_document():
    doc = {'settings': {'wifi': {'passphrase': 'phrase-123', 'ssid': 'n'}, 'outputs': {'rtmp_key': 'k-9'}}}
    assert sorted(device.secret_values(doc)) == ['k-9', 'phrase-123']
    assert device.without_secrets(doc) == {'settings': {'wifi': {'ssid': 'n'}, 'outputs': {}}}


@pytest.mark.parametrize('before, now, gone', [
    ({}, {'rolled_back': {'settings': ['network.netmask']}}, True),
    ({'rolled_back': {'settings': ['encoder.ttl']}, 'settings': {'encoder': {'ttl': 5}}},
     {'rolled_back': {'settings': ['encoder.ttl']}, 'settings': {'encoder': {'ttl': 5}}}, False),
    ({'rolled_back': {'settings': ['encoder.ttl']}, 'settings': {'encoder': {'ttl': 5}}},
     {'rolled_back': {'settings': ['encoder.ttl']}, 'settings': {'encoder': {'ttl': 6}}}, True),
    ({}, {}, False),
])
def test_a_going_back_is_told_from_an_older_one(before, now, gone):
    assert device.gone_back(before, now) is gone
