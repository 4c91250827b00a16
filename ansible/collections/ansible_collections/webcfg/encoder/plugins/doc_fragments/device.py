# -*- coding: utf-8 -*-
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  url:
    description:
      - Base address of the device, C(http://host:port) or C(https://host).
      - The module runs on the control machine and reaches the device over HTTP or HTTPS.
    type: str
    required: true
  cgi_path:
    description:
      - Path under C(url) where the device serves C(webcfg.cgi) and C(state.cgi).
    type: str
    default: /cgi-bin/
  username:
    description:
      - Login name of the device's web server. A digest login always works; a basic login,
        which sends the password in clear, only over https to a device whose certificate
        is checked (C(validate_certs) with the system's CAs or C(ca_path), or
        C(fingerprint)). Otherwise the password is not sent and the task fails.
      - Leave out for a device without a login.
    type: str
  password:
    description:
      - Password of C(username).
    type: str
  validate_certs:
    description:
      - Check the device's HTTPS certificate against the system's CAs (or C(ca_path)).
        For a device with a self-signed certificate give its C(fingerprint) instead of
        turning this off.
    type: bool
    default: true
  ca_path:
    description:
      - A CA certificate file (PEM) or a directory of them to check the device's
        certificate against, instead of the system's.
    type: path
  fingerprint:
    description:
      - The SHA-256 fingerprint of the device's own certificate, C(sha256:) and 64
        hexadecimal digits (colons allowed, as C(openssl x509 -noout -fingerprint -sha256)
        prints them). The certificate must match it on every connection; the CAs and
        the name are then not looked at. Per device, e.g. an inventory variable.
    type: str
  timeout:
    description:
      - Seconds to wait for each HTTP answer of the device.
    type: int
    default: 30
notes:
  - "Runs on the control machine (C(connection: local) or C(delegate_to: localhost));
    nothing is installed on the device."
'''
