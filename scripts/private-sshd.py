#!/usr/bin/env python3
"""A throwaway OpenSSH server on 127.0.0.1 that lets the test account snh-test in with a key made for the
run, to try ssh-native-host against a real server: the example extension, ssh-native-host-cli, the browser
test. The account comes from scripts/setup-test-user.sh; sshd logs a user in only when it runs as root.

    sudo scripts/private-sshd.py

Once sshd accepts connections it prints the words that log in, on one line: ssh's options and the
destination, to type into the example extension's field or after ssh-native-host-cli. It runs until
interrupted or terminated, then ends sshd and deletes its keys. When it cannot run here it says why and
exits with 77."""
import os, pwd, shutil, signal, socket, subprocess, sys, tempfile, time  # noqa: E401
from pathlib import Path

USER = "snh-test"
SSHD, KEYGEN = "/usr/sbin/sshd", "/usr/bin/ssh-keygen"
UNAVAILABLE = 77


def why_unavailable():
    if os.geteuid() != 0:
        return "sshd logs a user in only as root: run this as root"
    missing = [program for program in (SSHD, KEYGEN) if not os.access(program, os.X_OK)]
    if missing:
        return f"{' and '.join(missing)} missing: run scripts/setup.sh"
    try:
        pwd.getpwnam(USER)
    except KeyError:
        return f"no account {USER}: run scripts/setup-test-user.sh as root"
    return None


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def accepts(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


def serve(folder):
    for key in ("host", "client"):
        subprocess.run([KEYGEN, "-q", "-t", "ed25519", "-N", "", "-C", f"snh-{key}", "-f", folder / key], check=True)
    # The client key belongs to whoever ran sudo, whose browser runs ssh.
    os.chown(folder / "client", int(os.environ.get("SUDO_UID", 0)), -1)
    # sshd reads the authorized keys as the user, who must reach them.
    folder.chmod(0o711)
    port = free_port()
    Path("/run/sshd").mkdir(exist_ok=True)  # the privilege-separation directory sshd insists on
    settings = {"ListenAddress": "127.0.0.1", "Port": port, "HostKey": folder / "host",
                "AuthorizedKeysFile": folder / "client.pub", "AllowUsers": USER, "PermitRootLogin": "no",
                "PasswordAuthentication": "no", "KbdInteractiveAuthentication": "no", "UsePAM": "no",
                "StrictModes": "no", "PidFile": "none", "PrintMotd": "no", "PrintLastLog": "no"}
    # Neither the machine's sshd_config nor its pid file take part.
    sshd = subprocess.Popen([SSHD, "-D", "-f", "/dev/null", "-E", folder / "sshd.log",
                             *(f"-o{name}={value}" for name, value in settings.items())], stdin=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 10
        while not accepts(port):
            if sshd.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"sshd did not start:\n{(folder / 'sshd.log').read_text(errors='replace')}")
            time.sleep(0.05)
        # No configuration, known hosts or password prompt of the machine's: the key logs in or ssh fails.
        print(f"-F /dev/null -p {port} -i {folder / 'client'} -o IdentitiesOnly=yes -o BatchMode=yes "
              f"-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR {USER}@127.0.0.1",
              flush=True)
        sshd.wait()
    finally:
        sshd.terminate()
        sshd.wait()


def main():
    reason = why_unavailable()
    if reason:
        print(f"private-sshd: {reason}", file=sys.stderr)
        return UNAVAILABLE
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    folder = Path(tempfile.mkdtemp(prefix="snh-sshd-"))
    try:
        serve(folder)
    except KeyboardInterrupt:
        pass
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
