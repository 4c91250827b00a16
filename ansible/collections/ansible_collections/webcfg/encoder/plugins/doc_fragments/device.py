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
      - Login name of the device's web server. Digest and basic logins both work; the
        device's challenge picks one.
      - Leave out for a device without a login.
    type: str
  password:
    description:
      - Password of C(username).
    type: str
  validate_certs:
    description:
      - Check the device's HTTPS certificate. Set to C(false) only for a device with a
        self-signed certificate on a trusted network.
    type: bool
    default: true
  timeout:
    description:
      - Seconds to wait for each HTTP answer of the device.
    type: int
    default: 30
notes:
  - "Runs on the control machine (C(connection: local) or C(delegate_to: localhost));
    nothing is installed on the device."
'''
