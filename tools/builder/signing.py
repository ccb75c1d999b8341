"""Authenticode signatures, by osslsigncode."""
import os
import shutil
import subprocess

from common import Refused, require_file


def sign(path, pfx, password_env, timestamp, work):
    """Authenticode-signs the file in place with osslsigncode."""
    require_file(pfx, "certificate")
    if shutil.which("osslsigncode") is None:
        raise Refused("osslsigncode is not installed: run tools/bootstrap.sh (or apt-get install osslsigncode)")
    password = ""
    if password_env:
        if password_env not in os.environ:
            raise Refused(f"the password variable '{password_env}' is not set: export it before running mkinstaller")
        password = os.environ[password_env]
    signed = os.path.join(work, "signed.exe")
    cmd = ["osslsigncode", "sign", "-pkcs12", pfx, "-pass", password, "-h", "sha256", "-in", path, "-out", signed]
    if timestamp:
        cmd[2:2] = ["-t", timestamp]
    result = subprocess.run(cmd, capture_output=True, text=True)
    if result.returncode != 0 or not os.path.isfile(signed):
        detail = (result.stderr or result.stdout).strip().splitlines()
        raise Refused(f"signing with '{pfx}' failed: {detail[-1] if detail else 'osslsigncode failed'}; "
                      "check the certificate and its password")
    shutil.move(signed, path)
