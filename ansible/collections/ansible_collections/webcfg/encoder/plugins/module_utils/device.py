# -*- coding: utf-8 -*-
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
"""HTTP access to one encoder: its state document, its schema and its
change sets, with the checks that keep a play from sending what the device
would refuse."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import hashlib
import json
import os
import re
import socket
import ssl
import time

from ansible.module_utils.common.text.converters import to_native, to_text
from ansible.module_utils.six.moves import http_client
from ansible.module_utils.six.moves.urllib.error import HTTPError, URLError
from ansible.module_utils.six.moves.urllib.parse import urlsplit
from ansible.module_utils.six.moves.urllib.request import (
    HTTPBasicAuthHandler, HTTPDigestAuthHandler, HTTPHandler, HTTPPasswordMgrWithDefaultRealm,
    HTTPRedirectHandler, HTTPSHandler, Request, build_opener)

# Options shared by every module of the collection.
DEVICE_ARGUMENT_SPEC = dict(
    url=dict(type='str', required=True),
    cgi_path=dict(type='str', default='/cgi-bin/'),
    username=dict(type='str'),
    password=dict(type='str', no_log=True),
    validate_certs=dict(type='bool', default=True),
    ca_path=dict(type='path'),
    fingerprint=dict(type='str'),
    timeout=dict(type='int', default=30),
)

STATE_PROGRAM = 'state.cgi'
# The template swap of the codec form replaces the whole boot script: it is
# an action, not a setting, and is never sent.
FORBIDDEN_RADIOS = frozenset(['ctrlts'])
# A pattern longer than this is not quoted in a refusal (the subtitle's
# lists every GB2312 character).
PATTERN_QUOTE_CHARS = 80
# Settings the state document gives only with the secrets.
SECRETS = (('wifi', 'passphrase'), ('outputs', 'rtmp_key'))
# How much of a reply a failure message quotes.
REPLY_QUOTE_CHARS = 600
# Seconds between polls while a device restarts.
RESTART_POLL_SECONDS = 1
# The confirmation window of a restart trial the device takes, in seconds.
CONFIRM_WITHIN_MIN = 10
CONFIRM_WITHIN_MAX = 3600
# A state read that finds the settings locked (503) is tried again this many
# times, after the wait the device asks for (at most the cap).
BUSY_RETRIES = 3
BUSY_WAIT_CAP_SECONDS = 10
# Shown instead of a pass phrase in results and differences.
HIDDEN = '(hidden)'


class DeviceError(Exception):
    pass


class AnswerError(DeviceError):
    """The device answered, with an HTTP error: it did not do what was asked."""

    def __init__(self, message, code, answer):
        super(AnswerError, self).__init__(message)
        self.code = code
        self.answer = answer  # the JSON answer, when it is one


class BusyError(AnswerError):
    def __init__(self, message, wait, answer=None):
        super(BusyError, self).__init__(message, 503, answer)
        self.wait = wait


class UnreachableError(DeviceError):
    """No answer: the connection was refused, dropped or timed out."""


def fingerprint_hex(text):
    """A certificate fingerprint as "sha256:AB:CD:..." (colons optional) in
    lower-case hex, or None when it is not one."""
    if not isinstance(text, str) or not text.lower().startswith('sha256:'):
        return None
    digits = text[len('sha256:'):].replace(':', '').lower()
    return digits if re.match(r'^[0-9a-f]{64}$', digits) else None


class PinnedHTTPSHandler(HTTPSHandler):
    """HTTPS whose certificate must have the pinned SHA-256 fingerprint,
    checked on the very connection the request then uses."""

    def __init__(self, context, fingerprint):
        HTTPSHandler.__init__(self, context=context)
        self.pinned = fingerprint

    def https_open(self, req):
        pinned = self.pinned

        class Connection(http_client.HTTPSConnection):
            def connect(self):
                http_client.HTTPSConnection.connect(self)
                got = hashlib.sha256(self.sock.getpeercert(binary_form=True)).hexdigest()
                if got != pinned:
                    self.sock.close()
                    raise ssl.SSLError('the certificate fingerprint sha256:%s is not the pinned one' % got)

        return self.do_open(Connection, req, context=self._context)


class NoRedirect(HTTPRedirectHandler):
    # A device answers itself; a redirect would carry the login elsewhere.
    def redirect_request(self, req, fp, code, msg, headers, newurl):
        return None


class Device(object):
    """One encoder, reached at url + cgi_path."""

    def __init__(self, params):
        url = params['url']
        parts = urlsplit(url)
        if parts.scheme not in ('http', 'https') or not parts.netloc:
            raise DeviceError("url must be http://host[:port] or https://host[:port], not %r" % url)
        path = '/' + params['cgi_path'].strip('/')
        path = path.rstrip('/') + '/'
        base = url.rstrip('/')
        self.state_url = base + path + STATE_PROGRAM
        self.username = params.get('username')
        self.password = params.get('password')
        self.validate_certs = params['validate_certs']
        self.timeout = params['timeout']
        self.https = parts.scheme == 'https'
        self.pinned = None
        if params.get('fingerprint'):
            self.pinned = fingerprint_hex(params['fingerprint'])
            if self.pinned is None:
                raise DeviceError('fingerprint must be sha256: and 64 hexadecimal digits (colons allowed), not %r'
                                  % params['fingerprint'])
            if not self.https:
                raise DeviceError('fingerprint needs an https:// url')
        # The password may go in clear (a basic login) only to a device whose
        # certificate was checked: against the CAs, or by its fingerprint.
        self.verified = self.https and (self.validate_certs or self.pinned is not None)
        self.opener = self._opener(base, params.get('ca_path'))

    def _opener(self, base, ca_path):
        handlers = [NoRedirect(), HTTPHandler()]
        if self.https:
            if self.validate_certs and self.pinned is None:
                if ca_path and os.path.isdir(ca_path):
                    context = ssl.create_default_context(capath=ca_path)
                else:
                    context = ssl.create_default_context(cafile=ca_path or None)
            else:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
                context.check_hostname = False
                context.verify_mode = ssl.CERT_NONE
            handlers.append(PinnedHTTPSHandler(context, self.pinned) if self.pinned else HTTPSHandler(context=context))
        if self.username:
            passwords = HTTPPasswordMgrWithDefaultRealm()
            passwords.add_password(None, base, self.username, self.password or '')
            handlers.append(HTTPDigestAuthHandler(passwords))
            if self.verified:
                handlers.append(HTTPBasicAuthHandler(passwords))
        return build_opener(*handlers)

    def _open(self, url, data=None, timeout=None, content_type='application/x-www-form-urlencoded',
              extra_headers=None, answer_headers=None):
        method = 'POST' if data is not None else 'GET'
        headers = dict(extra_headers or {})
        if data is not None:
            headers['Content-Type'] = content_type
        headers['User-Agent'] = 'webcfg.encoder'
        try:
            # The handlers answer the device's own challenge: digest always,
            # basic only over a checked certificate.
            request = Request(url, data=data, headers=headers)
            request.get_method = lambda: method
            response = self.opener.open(request, timeout=timeout or self.timeout)
            if answer_headers is not None:
                answer_headers.update((k.lower(), v) for k, v in response.headers.items())
            return response.read()
        except HTTPError as e:
            challenge = (e.headers.get('WWW-Authenticate') or '').lower()
            if e.code == 401 and self.username and challenge.startswith('basic') and not self.verified:
                raise AnswerError('%s %s asks for a basic login, which would send the password in clear to a '
                                  'device whose certificate is not checked; the password was not sent (use https '
                                  'with validate_certs, ca_path or fingerprint)' % (method, url), 401, None)
            try:
                body = to_text(e.read(), errors='surrogate_or_replace').strip()
            except Exception:
                body = ''
            answer = None
            if (e.headers.get('Content-Type') or '').split(';')[0].strip().lower() == 'application/json':
                try:
                    answer = json.loads(body)
                except ValueError:
                    answer = None
            words = answer_words(answer) if isinstance(answer, dict) else ''
            if not words:
                words = body[:REPLY_QUOTE_CHARS]
            detail = ': ' + words if words else ''
            # A change set, like a read, changes nothing when the device is
            # busy; a form post's 503 is reported as it was.
            if e.code == 503 and (method == 'GET' or content_type == 'application/json'):
                try:
                    wait = int(e.headers.get('Retry-After', '1'))
                except (TypeError, ValueError):
                    wait = 1
                raise BusyError('%s %s answered HTTP 503 (busy)%s' % (method, url, detail),
                                max(1, min(wait, BUSY_WAIT_CAP_SECONDS)), answer)
            raise AnswerError('%s %s answered HTTP %s %s%s' % (method, url, e.code, e.reason, detail),
                              e.code, answer)
        except (URLError, http_client.HTTPException, ssl.SSLError, socket.timeout, socket.error) as e:
            reason = getattr(e, 'reason', e)
            raise UnreachableError('%s %s failed: %s' % (method, url, to_native(reason)))

    def document(self, secrets=False, timeout=None, retries=BUSY_RETRIES):
        url = self.state_url + ('?secrets=1' if secrets else '')
        return self._json(url, timeout=timeout, retries=retries)

    def document_and_revision(self, secrets=False):
        """The document and the revision (ETag) it was read at, for a
        change set that must not overwrite a change it did not read."""
        headers = {}
        doc = self._json(self.state_url + ('?secrets=1' if secrets else ''), answer_headers=headers)
        return doc, headers.get('etag')

    def schema(self):
        return self._json(self.state_url + '?schema=1')

    def _json(self, url, data=None, timeout=None, retries=BUSY_RETRIES, extra_headers=None, answer_headers=None):
        """GETs url, or POSTs data to it as JSON, and reads the answer. A
        busy device is asked again after the wait it names."""
        for attempt in range(retries + 1):
            try:
                if data is None:
                    body = self._open(url, timeout=timeout, extra_headers=extra_headers, answer_headers=answer_headers)
                else:
                    body = self._open(url, data=data, timeout=timeout, content_type='application/json',
                                      extra_headers=extra_headers, answer_headers=answer_headers)
                break
            except BusyError as e:
                if attempt == retries:
                    raise AnswerError(to_native(e), e.code, e.answer)
                time.sleep(e.wait)
        try:
            return json.loads(to_text(body, errors='surrogate_or_strict'))
        except ValueError as e:
            raise DeviceError('%s %s did not answer JSON: %s' % ('GET' if data is None else 'POST', url,
                                                                 to_native(e)))

    def change_set(self, change, timeout=None, revision=None):
        """Posts one change set to the state program; returns its answer.
        With a revision, the device refuses it (412) when it changed since."""
        return self._json(self.state_url, data=json.dumps(change).encode('utf-8'), timeout=timeout,
                          extra_headers={'If-Match': revision} if revision else None)

    def restart(self, timeout, confirm_within, before):
        """Restarts the device and waits until it answers again after its
        start. With confirm_within (seconds) the restart is a trial: the
        device goes back to the settings it ran before unless they are
        confirmed in time, which is done as soon as it answers. before is
        the document read just before. Returns the document after the
        restart and whether a trial was confirmed."""
        asked = time.time()
        change = {'restart': {'confirm_within': confirm_within} if confirm_within else {}}
        try:
            self.change_set(change, timeout=self.timeout)
        except UnreachableError:
            pass  # the device may go down before its answer is out
        except AnswerError as e:
            # Only a 202 is followed by the restart.
            hint = ''
            if isinstance(e.answer, dict) and e.answer.get('error') == 'no record of the start':
                hint = ' (confirm_within: 0 restarts without a trial)'
            raise DeviceError('the device did not restart: %s%s' % (to_native(e), hint))
        deadline = time.time() + timeout
        last = 'no answer yet'
        confirming = False
        while True:
            doc = None
            try:
                # A poll that finds the device busy is just not an answer yet.
                doc = self.document(timeout=max(1, min(self.timeout, int(deadline - time.time()) + 1)),
                                    retries=0)
            except DeviceError as e:
                last = to_native(e)
            if doc is not None:
                # Before the restart the changes it is for are still pending.
                if doc.get('reboot_pending'):
                    last = 'changes still wait for a restart'
                elif not confirm_within:
                    return doc, False
                elif 'trial' in doc:
                    confirming = True
                    try:
                        return self.confirm(), True
                    except UnreachableError as e:
                        last = to_native(e)  # asked again, or found done, at the next poll
                elif gone_back(before, doc):
                    raise DeviceError('the device went back to the settings it ran before the restart (%s) '
                                      'and restarted again: the restart trial ended unconfirmed'
                                      % rolled_back_names(doc))
                elif confirming:
                    return doc, True  # the confirmation's answer was lost, not the confirmation
                else:
                    last = 'it answers without a restart trial'
            if time.time() >= deadline:
                if not confirm_within:
                    raise DeviceError('the device did not come back within %s s after the restart (%s)'
                                      % (timeout, last))
                raise DeviceError('the device did not answer within %s s after the restart (%s); unless its '
                                  'settings are confirmed, it goes back to its previous settings %s s after '
                                  'it starts (not before %s UTC) and restarts again'
                                  % (timeout, last, confirm_within,
                                     time.strftime('%H:%M:%S', time.gmtime(asked + confirm_within))))
            time.sleep(RESTART_POLL_SECONDS)

    def confirm(self):
        """Confirms the settings a restart trial runs with; returns the
        document the device answers with."""
        try:
            answer = self.change_set({'confirm': True})
        except AnswerError as e:
            if e.code != 409:
                raise DeviceError('the confirmation of the restart trial failed: %s' % to_native(e))
            try:
                doc = self.document()
            except DeviceError as read:
                raise DeviceError('the restart trial was over before its confirmation (%s); %s'
                                  % (to_native(e), to_native(read)))
            if doc.get('rolled_back') and 'trial' not in doc:
                now = 'it went back to the settings it ran before the restart (%s)' % rolled_back_names(doc)
            elif 'trial' in doc:
                now = 'it is going back to the settings it ran before the restart'
            else:
                now = 'it keeps the settings it restarted with'
            raise DeviceError('the restart trial was over before its confirmation (%s); %s'
                              % (to_native(e), now))
        state = answer.get('state') if isinstance(answer, dict) else None
        if not isinstance(state, dict):
            raise DeviceError('the device confirmed the restart trial but answered no document: %s'
                              % quote_reply(json.dumps(answer)))
        return state


def answer_words(answer):
    """What a JSON error answer of the state program says: its error and
    reply, or each of its refusals."""
    words = []
    if answer.get('error'):
        words.append(to_text(answer['error']))
    if answer.get('setting'):
        words.append(to_text(answer['setting']))
    if answer.get('reply'):
        words.append(to_text(answer['reply']))
    text = ': '.join(words)
    errors = answer.get('errors')
    if isinstance(errors, list) and errors:
        refusals = []
        for e in errors:
            if isinstance(e, dict):
                refusals.append('%s: %s (%s)' % (e.get('setting'), e.get('message'), e.get('rule')))
            else:
                refusals.append(to_text(e))
        text = (text + '; ' if text else '') + '; '.join(refusals)
    return quote_reply(text)


def gone_back(before, now):
    """Whether the device went back since the document before was read:
    it names settings it went back on that are new, or that it no longer
    holds as before (an older going back stays named until the next
    change set)."""
    rolled = now.get('rolled_back')
    if not isinstance(rolled, dict):
        return False
    if rolled != before.get('rolled_back'):
        return True
    for name in rolled.get('settings') or []:
        was, had = value_in(before, name)
        is_now, has = value_in(now, name)
        if had and has and not same_value(was, is_now):
            return True
    return False


def value_in(document, name):
    # The template is a member of the document, the rest are settings.
    return lookup(document if name == 'codec_template' else document.get('settings', {}), name)


def rolled_back_names(document):
    names = (document.get('rolled_back') or {}).get('settings')
    if isinstance(names, list) and names:
        return ', '.join(to_text(name) for name in names)
    return 'no setting differed'


def quote_reply(reply):
    text = reply.strip()
    if len(text) > REPLY_QUOTE_CHARS:
        text = text[:REPLY_QUOTE_CHARS] + '...'
    return text


# ---- the schema -------------------------------------------------------------

def is_group(node):
    """A section (or the overlay windows inside one): an object of settings."""
    return isinstance(node, dict) and 'properties' in node and 'x-form' not in node


def lookup(tree, path):
    node = tree
    for key in path.split('.'):
        if not isinstance(node, dict) or key not in node:
            return None, False
        node = node[key]
    return node, True


def flatten(wanted, prefix=''):
    """Dotted setting names of a nested dictionary, each with its value."""
    out = []
    for key in wanted:
        value = wanted[key]
        name = prefix + key
        if isinstance(value, dict):
            out.extend(flatten(value, name + '.'))
        else:
            out.append((name, value))
    return out


def nest(pairs):
    out = {}
    for name, value in pairs:
        node = out
        keys = name.split('.')
        for key in keys[:-1]:
            node = node.setdefault(key, {})
        node[keys[-1]] = value
    return out


def setting_schema(schema, name):
    """The schema of one setting, or None when the device has no such setting."""
    node = schema
    for key in name.split('.'):
        if not is_group(node):
            return None
        node = node['properties'].get(key)
        if node is None:
            return None
    return None if is_group(node) else node


def types_of(rule):
    kinds = rule.get('type')
    if kinds is None:
        return []
    return [kinds] if isinstance(kinds, str) else list(kinds)


def has_type(value, kind):
    if kind == 'null':
        return value is None
    if kind == 'boolean':
        return isinstance(value, bool)
    if kind == 'integer':
        return isinstance(value, int) and not isinstance(value, bool)
    if kind == 'number':
        return isinstance(value, (int, float)) and not isinstance(value, bool)
    if kind == 'string':
        return isinstance(value, str)
    if kind == 'object':
        return isinstance(value, dict)
    if kind == 'array':
        return isinstance(value, list)
    return False


def coerce(value, rule):
    """Text from a template ("4000000", "true") read as the type the setting
    takes, as Ansible's own options are."""
    if not isinstance(value, str):
        return value
    kinds = types_of(rule)
    if 'string' in kinds:
        return value
    if 'integer' in kinds and re.match(r'^-?[0-9]+$', value.strip()):
        return int(value.strip())
    if 'boolean' in kinds and value.strip().lower() in ('true', 'false', 'yes', 'no', 'on', 'off'):
        return value.strip().lower() in ('true', 'yes', 'on')
    return value


def same_value(a, b):
    # 1 and True are equal in Python but not in the document.
    return type(a) is type(b) and a == b


def check_value(name, value, rule):
    """The first rule of the setting's schema that the value breaks, as a
    sentence naming the setting and the rule; None when it passes."""
    shown = HIDDEN if rule.get('writeOnly') else json.dumps(value, ensure_ascii=False)
    kinds = types_of(rule)
    if kinds and not any(has_type(value, kind) for kind in kinds):
        return '%s: %s is not of type %s' % (name, shown, ' or '.join(kinds))
    if value is None:
        return None
    if 'enum' in rule and not any(same_value(value, choice) for choice in rule['enum']):
        return '%s: %s is not one of the allowed values (enum) %s' % (
            name, shown, ', '.join(json.dumps(choice) for choice in rule['enum']))
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        if 'minimum' in rule and value < rule['minimum']:
            return '%s: %s is less than the minimum %s' % (name, shown, rule['minimum'])
        if 'maximum' in rule and value > rule['maximum']:
            return '%s: %s is greater than the maximum %s' % (name, shown, rule['maximum'])
    if isinstance(value, str):
        if 'minLength' in rule and len(value) < rule['minLength']:
            return '%s: %s is shorter than the minimum length (minLength) %s' % (
                name, shown, rule['minLength'])
        if 'maxLength' in rule and len(value) > rule['maxLength']:
            return '%s: %s is longer than the maximum length (maxLength) %s' % (
                name, shown, rule['maxLength'])
        size = len(value.encode('utf-8'))
        if 'x-minBytes' in rule and size < rule['x-minBytes']:
            return '%s: %s is shorter than the minimum of %s bytes (x-minBytes)' % (
                name, shown, rule['x-minBytes'])
        if 'x-maxBytes' in rule and size > rule['x-maxBytes']:
            return '%s: %s is longer than the maximum of %s bytes (x-maxBytes)' % (
                name, shown, rule['x-maxBytes'])
        if 'pattern' in rule and not re.search(rule['pattern'], value):
            pattern = rule['pattern']
            if len(pattern) > PATTERN_QUOTE_CHARS:
                return '%s: %s holds a character the device cannot store (pattern)' % (name, shown)
            return '%s: %s does not match the pattern %s' % (name, shown, pattern)
    return None


def validate(schema, wanted, ignore_unknown=False, skip_read_only=False):
    """Checks every wanted setting against the device's schema. Returns the
    settings with their values coerced, the list of refusals, and the
    settings left out as unknown (with ignore_unknown)."""
    errors = []
    checked = []
    unknown = []
    if not isinstance(wanted, dict):
        return checked, ['settings: must be a dictionary laid out as the settings of the state document'], unknown
    for name, value in flatten(wanted):
        if value is None:
            continue  # no value known (a backup of an unreadable file): left as it is
        rule = setting_schema(schema, name)
        if rule is None:
            if ignore_unknown:
                unknown.append(name)
            else:
                errors.append('%s: not a setting of this device (additionalProperties)' % name)
            continue
        value = coerce(value, rule)
        if rule.get('readOnly'):
            if not skip_read_only:
                errors.append('%s: is read-only (readOnly)' % name)
            continue
        problem = check_value(name, value, rule)
        if problem:
            errors.append(problem)
            continue
        form = rule.get('x-form')
        if not isinstance(form, dict) or 'order' not in form or 'submit' not in form:
            errors.append('%s: the device gives no way to set it (no x-form)' % name)
            continue
        if form.get('radio') in FORBIDDEN_RADIOS:
            errors.append('%s: is set through the codec template swap, which is not a setting' % name)
            continue
        checked.append((name, value, rule))
    return checked, errors, unknown


def drop(tree, name):
    """tree without the setting name ("section.name"), as a copy."""
    out = json.loads(json.dumps(tree))
    node = out
    keys = name.split('.')
    for key in keys[:-1]:
        node = node.get(key) if isinstance(node, dict) else None
    if isinstance(node, dict):
        node.pop(keys[-1], None)
    return out


def merged(base, over):
    out = json.loads(json.dumps(base))
    for key, value in (over or {}).items():
        if isinstance(value, dict) and isinstance(out.get(key), dict):
            out[key] = merged(out[key], value)
        else:
            out[key] = value
    return out


def backup_of(document, schema):
    """What a backup holds: the template and every setting a restore can
    set, with the document's schema version; nothing that changes by itself
    (what the device detects, what waits for a restart)."""
    settings = {}
    for name, value in flatten(document.get('settings') or {}):
        rule = setting_schema(schema, name)
        if rule is None or rule.get('readOnly'):
            continue
        settings = merged(settings, nest([(name, value)]))
    return {'schema': document.get('schema'), 'codec_template': document.get('codec_template'),
            'settings': settings}


def without_secrets(document):
    """The document without the values only the secrets show."""
    settings = document.get('settings', {})
    for section, name in SECRETS:
        group = settings.get(section)
        if isinstance(group, dict):
            group.pop(name, None)
    return document


def secret_values(document):
    """The secrets a document read with them holds, to keep out of logs."""
    found = []
    for section, name in SECRETS:
        value = document.get('settings', {}).get(section, {}).get(name)
        if isinstance(value, str) and value:
            found.append(value)
    return found
