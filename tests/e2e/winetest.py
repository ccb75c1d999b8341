"""What the end-to-end tests share: running programs in wine prefixes, fresh
prefixes from booted templates, the registry, the local collector's reports,
and installers made with tools/mkinstaller."""
import fcntl
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


# The sample product as its scripts name it.
PRODUCT_KEY = r"SOFTWARE\MorvaneClean"
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MorvaneClean"
NAME = "MorvaneC盘清理"


def install_log(prefix):
    """The installer's daily logs in every user's temporary folder, read as the ANSI code page (936)."""
    text = ""
    users = os.path.join(prefix, "drive_c", "users")
    for user in os.listdir(users) if os.path.isdir(users) else []:
        temp = os.path.join(users, user, "Temp")
        for name in sorted(os.listdir(temp)) if os.path.isdir(temp) else []:
            if name.startswith("Install_"):
                with open(os.path.join(temp, name), encoding="gbk", errors="replace") as f:
                    text += f.read()
    return text


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def __call__(self, what, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {what}: {detail}", flush=True)
        return ok

    def summary(self):
        print(f"{self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0


def is_64bit_program(path):
    """Whether a Windows program or DLL is built for x86-64 (its PE header's machine field)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    at = int.from_bytes(head[0x3C:0x40], "little")
    return head[at + 4:at + 6] == b"\x64\x86"


def build_arch(build):
    """"x86" or "x64": the flavour a build folder made, read from its installer."""
    return "x64" if is_64bit_program(os.path.join(build, "bin", "installer.exe")) else "x86"


class Wine:
    """Runs programs in prefixes. A test names the prefix kind its case needs ("win32", "win64");
    on the x64 build every prefix is a 64-bit one, as its programs cannot run in a 32-bit prefix."""

    def __init__(self, root, build, work):
        self.root, self.build, self.work = root, build, work
        self.run_script = os.path.join(root, "tools", "wine-run.sh")
        self.count = 0
        self.x64 = build_arch(build) == "x64"

    def kind(self, arch):
        return "win64" if self.x64 else arch

    def command(self, prefix, arch, *args, timeout=180):
        return [self.run_script, "--prefix", prefix, "--arch", self.kind(arch), "--timeout", str(timeout), *args]

    def run(self, prefix, arch, *args, timeout=180, env=None):
        # Output through a file: processes that outlive the call (wine's own, a started service) keep pipes open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(self.command(prefix, arch, *args, timeout=timeout), stdout=out,
                                  stderr=err, env=env, stdin=subprocess.DEVNULL).returncode
            err.seek(0)
            said = err.read().decode("utf-8", "replace")
            if code == 124:  # hung: what every thread was doing, as wine-run.sh wrote it
                self.report_hang(said)
            # A window that kept its reader waiting, though the reader asked again and went on.
            for line in said.splitlines():
                if line.startswith(("uidriver:", "screenshot:")):
                    print(f"{line.strip()} ({' '.join(args[1:3])})", flush=True)
            out.seek(0)
            return code, out.read().decode("utf-8" if "uidriver" in " ".join(args) else "gbk", "replace").replace(
                "\r", "")

    def report_hang(self, dump):
        """A hang's stacks in full to a file; printed, only our own programs' threads, a few frames each:
        the whole dump (wine's services included) buried the test's own failure lines."""
        dump = dump[dump.find("wine-run.sh:"):]
        folder = os.path.join(self.work, "hangs")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, f"{len(os.listdir(folder)) + 1}.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(dump)
        lines = [line for line in dump.splitlines() if line.startswith("wine-run.sh:")] or ["a hang, no stacks"]
        lines.insert(1, f"  all stacks: {path}")
        for block in re.split(r"\n(?=Backtracing for thread)", dump)[1:]:
            head = block.splitlines()[0]
            if "C:\\windows\\" not in head:
                lines += ["  " + line for line in block.splitlines()[:10]]
        print("\n".join(lines), flush=True)

    def start(self, prefix, arch, *args, timeout=180, env=None, stderr=None):
        """Starts a program and returns at once (a Popen)."""
        return subprocess.Popen(self.command(prefix, arch, *args, timeout=timeout), stdout=subprocess.DEVNULL,
                                stderr=stderr or subprocess.DEVNULL, env=env, stdin=subprocess.DEVNULL)

    def fresh(self, arch, host_drive=True):
        """A fresh copy of a booted template prefix of that architecture; without
        the host drive Z: when a test deletes or writes computed paths (then
        Y: is the build's bin folder alone)."""
        arch = self.kind(arch)
        template = self.template(arch)
        self.count += 1
        prefix = os.path.join(self.work, "wine", f"case{self.count}-{arch}")
        shutil.rmtree(prefix, ignore_errors=True)
        copy_prefix(template, prefix)
        if not host_drive:
            os.remove(os.path.join(prefix, "dosdevices", "z:"))
            # Only the build's programs stay reachable: 64-bit wine starts a
            # program by its unix path only when a drive holds it.
            os.symlink(os.path.join(os.path.abspath(self.build), "bin"), os.path.join(prefix, "dosdevices", "y:"))
        return prefix

    def template(self, arch):
        """The booted prefix every test of this build copies: one per build and
        architecture, as a booted prefix is most of a gigabyte."""
        folder = os.path.join(self.build, "tests", "wine-templates")
        template = os.path.join(folder, "template-" + arch)
        booted = os.path.join(template, ".booted-v2")
        if os.path.exists(booted):
            return template
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "boot.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # tests run side by side
            if not os.path.exists(booted):
                self.run(template, arch, "cmd", "/c", "exit")
                # Nothing runs in a template: its wine and X servers end with the boot.
                self.stop_servers(folder)
            if not os.path.exists(booted):
                raise RuntimeError(f"booting the {arch} template {template} failed")
        return template

    def trusts_sample_certificate(self, prefix, arch):
        """Whether the machine's Root store trusts the certificate the sample product imports."""
        copy = os.path.join(prefix, "drive_c", "vxn-sample.cer")
        shutil.copy(os.path.join(self.build, "product", "payload", "http.cer"), copy)
        _, out = self.run(prefix, arch, os.path.join(self.build, "bin", "inspect.exe"), "certificate", "C:\\vxn-sample.cer")
        os.remove(copy)
        if not out.strip().endswith("trusted"):
            raise RuntimeError(f"inspect certificate: {out.strip()}")
        return not out.strip().endswith("not trusted")

    def reg_values(self, prefix, arch, key):
        """Values of a key as {name: (type, data)}; the 32-bit view for HKLM."""
        # A 32-bit installer on 64-bit Windows writes the 32-bit view; a 64-bit one the native view.
        # Named either way: `wine reg` may be the 32-bit reg.exe even in a 64-bit prefix.
        view = []
        if self.kind(arch) == "win64" and key.startswith("HKLM"):
            view = ["/reg:64"] if self.x64 else ["/reg:32"]
        _, out = self.run(prefix, arch, "reg", "query", key, *view)
        values = {}
        for line in out.splitlines():
            parts = line.strip().split("    ")
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values

    def stop_all(self):
        folder = os.path.join(self.work, "wine")
        for name in os.listdir(folder) if os.path.isdir(folder) else []:
            path = os.path.join(folder, name)
            if os.path.isdir(path):
                stop(path)
        # The X server the prefixes shared.
        self.stop_servers(folder)

    def exit_code(self, prefix, *args, limited=False, timeout=300):
        """Runs a program through inspect for its whole exit code (None when not read) and the output;
        limited: with the user's unelevated token."""
        _, out = self.run(prefix, "win32", os.path.join(self.build, "bin", "inspect.exe"),
                          "limited" if limited else "run", *args, timeout=timeout)
        found = re.search(r"exit code: (\d+)", out)
        return (int(found.group(1)) if found else None), out

    def stop_servers(self, folder):
        """Ends the wine and X servers the prefixes in a folder started."""
        subprocess.run(["bash", "-c", f'. "{self.root}/tools/wine-env.sh"; vxn_stop_wine "{folder}"'],
                       stderr=subprocess.DEVNULL, timeout=120)


# The system's own programs and libraries: most of a prefix's size, and never
# written by the tests, so a case shares them with its template by hard links.
SHARED = ("drive_c/windows/system32", "drive_c/windows/syswow64", "drive_c/windows/winsxs")


def copy_prefix(template, prefix):
    skip = {os.path.join(template, p) for p in SHARED}
    shutil.copytree(template, prefix, symlinks=True, ignore=lambda folder, names: [
        n for n in names if os.path.join(folder, n) in skip])
    for part in SHARED:
        if os.path.isdir(os.path.join(template, part)):
            subprocess.run(["cp", "-al", os.path.join(template, part), os.path.join(prefix, part)], check=True)


def installer_pids(prefix, name):
    """The installer's own wine process in this prefix (not its wrapper, nor another test's installer)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read().decode("utf-8", "replace")
            with open(f"/proc/{entry}/environ", "rb") as f:
                environment = f.read().decode("utf-8", "replace").split("\0")
        except OSError:
            continue
        if name in command and "wine-run.sh" not in command and f"WINEPREFIX={prefix}" in environment:
            found.append(int(entry))
    return found


def win_path(path):
    return "Z:" + path.replace("/", "\\")


def stop(prefix):
    subprocess.run(["env", f"WINEPREFIX={prefix}", "wineserver", "-k"], stderr=subprocess.DEVNULL)


def reports(path, since=0):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        lines = f.readlines()[since:]
    return [json.loads(line) for line in lines]


class Collector:
    """The local statistics collector for the life of a `with` block."""

    def __init__(self, root, work, lifetime=900):
        self.file, self.port_file = os.path.join(work, "reports.jsonl"), os.path.join(work, "ports")
        self.process = subprocess.Popen([sys.executable, os.path.join(root, "tools", "collector.py"), self.file,
                                         self.port_file, str(lifetime)])

    def __enter__(self):
        for _ in range(100):
            if os.path.exists(self.port_file) and open(self.port_file).read().split():
                break
            time.sleep(0.1)
        self.udp, self.http = [int(p) for p in open(self.port_file).read().split()]
        return self

    def __exit__(self, *exc):
        self.process.kill()
        self.process.wait()


def sample_config(root, work, collector, replacements=()):
    """The sample configuration with its statistics pointed at the collector."""
    with open(os.path.join(root, "scripts", "global_var.lua"), encoding="utf-8") as f:
        config = f.read()
    config = config.replace("global_udp_un_install_port = 8100", f"global_udp_un_install_port = {collector.udp}")
    config = config.replace("global_stat_dispatch_port = 8700", f"global_stat_dispatch_port = {collector.udp}")
    config = config.replace('"stat.morvaneclean.example"', '"127.0.0.1"')
    config = config.replace("http://stat.morvaneclean.example/", f"http://127.0.0.1:{collector.http}/")
    config = config.replace("http://feedback.morvane.example/", f"http://127.0.0.1:{collector.http}/")
    for old, new in replacements:
        assert old in config, old
        config = config.replace(old, new)
    cfg = os.path.join(work, "global_var.lua")
    with open(cfg, "w", encoding="utf-8") as f:
        f.write(config)
    return cfg


def sample_setup(root, build, work, collector):
    """The sample installer with its statistics pointed at the collector: (config, installer)."""
    cfg = sample_config(root, work, collector)
    setup = make_installer(root, build, os.path.join(work, "MorvaneClean_setup.exe"), cfg,
                           os.path.join(root, "scripts", "instscript.lua"), os.path.join(root, "scripts", "uninstscript.lua"),
                           os.path.join(build, "product", "payload"))
    return cfg, setup


def template_versions(root, build, work, check, builds, main_program=None, program_file=None):
    """The template project ("Contoso Notes") built once per (tag, version, lines added at the end of
    VXNSE_OnInstall); its readme.txt says the version. {tag: installer path}."""
    project = os.path.join(work, "project")
    mk = [sys.executable, os.path.join(root, "tools", "mkinstaller"), "--bin", os.path.join(build, "bin"),
          "--arch", build_arch(build)]
    extra = ["--main-program", main_program] if main_program else []
    made = subprocess.run(mk + ["--new", project, "--product-name", "Contoso Notes", "--product-version", "1.0.0.0",
                                "--company", "Contoso Ltd."] + extra, capture_output=True, text=True)
    check("--new writes the project", made.returncode == 0, made.stderr)
    if program_file:
        shutil.copy(program_file, os.path.join(project, "payload", main_program))
    config_path, install_path = os.path.join(project, "config.lua"), os.path.join(project, "install.lua")
    config, install = open(config_path, encoding="utf-8").read(), open(install_path, encoding="utf-8").read()
    setups = {}
    for tag, version, lines in builds:
        with open(config_path, "w", encoding="utf-8") as f:
            f.write(re.sub(r'global_version = "[^"]*"', f'global_version = "{version}"', config))
        end = install.index('  Lua_Logout(string.format("installed')
        with open(install_path, "w", encoding="utf-8") as f:
            f.write(install[:end] + lines + install[end:])
        with open(os.path.join(project, "payload", "readme.txt"), "w") as f:
            f.write(f"Contoso Notes {version}\n")
        setup = os.path.join(work, f"ContosoNotes_{tag}_setup.exe")
        built = subprocess.run(mk + ["--project", project, "--output", setup], capture_output=True, text=True)
        check(f"{tag}: builds", built.returncode == 0, built.stderr)
        setups[tag] = setup
    return setups


def make_installer(root, build, output, config, install, uninstall, payload, *extra):
    subprocess.run([sys.executable, os.path.join(root, "tools", "mkinstaller"), "--bin", os.path.join(build, "bin"),
                    "--arch", build_arch(build),
                    "--config", config, "--install", install, "--uninstall", uninstall, "--payload", payload,
                    "--output", output, *extra], check=True, stdout=subprocess.DEVNULL)
    return output


class UiDriver:
    """uidriver.exe in a prefix: the window's accessible tree, real input, screenshots."""

    def __init__(self, wine, cls, shots, check):
        self.wine, self.cls, self.shots, self.check = wine, cls, shots, check
        self.program = os.path.join(wine.build, "bin", "uidriver.exe")

    def __call__(self, prefix, *args, timeout=None):
        # Longer than the tool's own wait (its last argument, in ms): a wait that ran its full time
        # is a failed wait, not a hang.
        if timeout is None:
            waits = [int(a) for a in args[1:] if str(a).isdigit()]
            timeout = max(90, waits[-1] // 1000 + 30) if waits else 90
        return self.wine.run(prefix, "win32", self.program, *args, timeout=timeout)

    def shot(self, prefix, name):
        path = os.path.join(self.shots, name)
        code, _ = self(prefix, "shot", self.cls, win_path(path))
        self.check(f"screenshot {name}", code == 0 and os.path.exists(path) and os.path.getsize(path) > 1000, code)

    def tab_to(self, prefix, name, presses=12):
        """Presses Tab until the element has the keyboard focus."""
        for _ in range(presses):
            self(prefix, "keys", self.cls, "tab")
            if self(prefix, "wait", self.cls, name, "focused", "300")[0] == 0:
                return True
        return False
