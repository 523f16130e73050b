#!/usr/bin/env python3
"""Signs drill's Windows packages as a release does, with a throw-away code-signing certificate
made here with openssl, and checks both signatures with osslsigncode verify: the program, the
package, and the program inside the package, which must be the signed one. Without a certificate
the same step makes unsigned packages and the build says so in one line; with a wrong password it
fails and leaves no package behind.

The packaging step is the build's own (build_msi.cmake and sign.cmake, with the arguments that the
build passes them); @WORK@ in its arguments stands for this test's scratch folder.

Usage: msi_signing.py --state-command CMD... --build-command CMD...
"""

import os
import subprocess
import sys
import tempfile
import unittest

PASSWORD = 'a "test" pass; with $HOME in it'
PRODUCT_NAME = "Сложение чисел"

commands = {}


def run(command, work, **env):
    """Runs a command of the build with @WORK@ filled in, in the environment given (and never in
    one with the developer's own certificate)."""
    environment = {k: v for k, v in os.environ.items() if not k.startswith("DRILL_SIGN_")}
    environment.update(env)
    return subprocess.run([arg.replace("@WORK@", work) for arg in command], env=environment,
                          capture_output=True, text=True)


def verify(path, ca_file):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca_file, "-in", path],
                          capture_output=True, text=True)


class Signing(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="drill-signing-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.work])
        self.msi = self.argument("-DOUTPUT=")
        self.exe = self.argument("-DEXE_OUTPUT=")
        # A self-signed certificate for code signing, and its key, in a password-protected
        # PKCS #12 file as an organisation gets one.
        self.cert = os.path.join(self.work, "cert.pem")
        key = os.path.join(self.work, "key.pem")
        self.pfx = os.path.join(self.work, "signing.pfx")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=drill test signing", "-keyout", key, "-out", self.cert,
                        "-addext", "keyUsage=critical,digitalSignature",
                        "-addext", "extendedKeyUsage=codeSigning"],
                       capture_output=True, check=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", self.cert,
                        "-out", self.pfx, "-passout", "env:PFX_PASSWORD"],
                       env=dict(os.environ, PFX_PASSWORD=PASSWORD), capture_output=True,
                       check=True)

    def argument(self, prefix):
        """Where the build command puts a file, in this test's scratch folder."""
        value, = [arg[len(prefix):] for arg in commands["build"] if arg.startswith(prefix)]
        return value.replace("@WORK@", self.work)

    def build(self, **env):
        return run(commands["build"], self.work, **env)

    def assertVerified(self, path):
        result = verify(path, self.cert)
        self.assertEqual(result.returncode, 0, f"{path}:\n{result.stdout}{result.stderr}")
        self.assertIn("Signature verification: ok", result.stdout)
        self.assertIn("Subject: /CN=drill test signing", result.stdout)

    def test_signed_program_inside_signed_package(self):
        result = self.build(DRILL_SIGN_PFX=self.pfx, DRILL_SIGN_PASSWORD=PASSWORD)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertVerified(self.exe)
        # Verifies only if nothing changed the package after it was signed: its tables are
        # finished before, not after.
        self.assertVerified(self.msi)
        properties = subprocess.run(["msiinfo", "export", self.msi, "Property"],
                                    capture_output=True, check=True).stdout.decode()
        self.assertIn(f"ProductName\t{PRODUCT_NAME}", properties)

        unpacked = os.path.join(self.work, "unpacked")
        subprocess.run(["msiextract", "-C", unpacked, self.msi], capture_output=True,
                       check=True)
        packed = [os.path.join(folder, name) for folder, _, names in os.walk(unpacked)
                  for name in names if name == "Drill.exe"]
        self.assertEqual(len(packed), 1, packed)
        self.assertVerified(packed[0])
        with open(packed[0], "rb") as inside, open(self.exe, "rb") as outside:
            self.assertTrue(inside.read() == outside.read(),
                            "the package carries another Drill.exe than the signed one")

    def test_without_certificate_unsigned_and_said_once(self):
        result = self.build()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        for path in (self.exe, self.msi):
            self.assertNotEqual(verify(path, self.cert).returncode, 0, f"{path} is signed")

        state = run(commands["state"], self.work)
        self.assertEqual(state.returncode, 0, state.stderr)
        said = [line for line in (state.stdout + state.stderr).splitlines() if line.strip()]
        self.assertEqual(len(said), 1, said)
        self.assertIn("not signed", said[0])

    def test_certificate_given_or_taken_away_remakes_the_packages(self):
        # The build makes the packages again when the note of the certificate changes, and only
        # then; the note never holds the password.
        state_file = os.path.join(self.work, "state.txt")
        run(commands["state"], self.work)
        with open(state_file) as file:
            unsigned = file.read()
        signed_env = dict(DRILL_SIGN_PFX=self.pfx, DRILL_SIGN_PASSWORD=PASSWORD)
        run(commands["state"], self.work, **signed_env)
        with open(state_file) as file:
            signed = file.read()
        self.assertNotEqual(signed, unsigned)
        self.assertNotIn(PASSWORD, signed)
        os.utime(state_file, (1, 1))
        run(commands["state"], self.work, **signed_env)
        self.assertEqual(os.path.getmtime(state_file), 1, "the note changed, the certificate not")

    def test_wrong_password_fails_and_leaves_no_package(self):
        result = self.build(DRILL_SIGN_PFX=self.pfx, DRILL_SIGN_PASSWORD="not the password")
        self.assertNotEqual(result.returncode, 0, result.stdout + result.stderr)
        for path in (self.exe, self.msi):
            self.assertFalse(os.path.exists(path), f"{path} was left behind unsigned")
        self.assertNotIn("not the password", result.stdout + result.stderr)


def main():
    markers = {"--state-command": "state", "--build-command": "build"}
    current = None
    for arg in sys.argv[1:]:
        if arg in markers:
            current = commands.setdefault(markers[arg], [])
        elif current is None:
            sys.exit(__doc__)
        else:
            current.append(arg)
    if set(commands) != set(markers.values()):
        sys.exit(__doc__)
    unittest.main(argv=[sys.argv[0], "-v"])


if __name__ == "__main__":
    main()
