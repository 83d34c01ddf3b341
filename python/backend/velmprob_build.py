"""Build backend of the velmprob Python package, standard library only.

pip runs it through the hooks of pyproject.toml. It needs nothing from a
package index (no setuptools, no wheel package), so `pip install ./python`
works offline with any pip that understands pyproject.toml.

The wheel holds the package and, when the checkout's build tree holds them
(build/stats and build/threaded), copies of both library editions in
velmprob/lib/<edition>/, where the package finds them first, each with the
companion library of array loops built beside it, and of velmsim's engine
(build/libvelmsim.so) in velmprob/lib/, for velmprob.sim. It also records
the checkout's location, so that an installed package still finds the build
tree when no copy was bundled. Set VELMPROB_BUNDLE=0 to leave the libraries
out, or VELMPROB_BUILD_DIR to take them from another build tree.
"""

import base64
import hashlib
import io
import os
import re
import sysconfig
import tarfile
import zipfile

NAME = "velmprob"
SUMMARY = "Python binding of the velmprob probability engine (ctypes)"
EDITIONS = ("stats", "threaded")

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))  # python/
CHECKOUT = os.path.dirname(HERE)


def _version():
    """The project's version: from project() in the checkout's CMakeLists.txt,
    or from the PKG-INFO of an unpacked source distribution."""
    for path, pattern in ((os.path.join(CHECKOUT, "CMakeLists.txt"),
                           r"project\(velmprob\s+VERSION\s+([0-9][0-9.]*)"),
                          (os.path.join(HERE, "PKG-INFO"), r"^Version:\s*(\S+)")):
        if os.path.isfile(path):
            with open(path, encoding="utf-8") as f:
                found = re.search(pattern, f.read(), re.MULTILINE)
            if found:
                return found.group(1)
    raise RuntimeError("velmprob: no version found in CMakeLists.txt or PKG-INFO")


VERSION = _version()


def _library_name(stem="velmprob"):
    platform = sysconfig.get_platform()
    if platform.startswith("win"):
        return stem + ".dll"
    if platform.startswith("macosx"):
        return "lib%s.dylib" % stem
    return "lib%s.so" % stem


def _is_checkout():
    return os.path.isfile(os.path.join(CHECKOUT, "export", "velmprob.h"))


def _bundled_libraries():
    if os.environ.get("VELMPROB_BUNDLE", "1") == "0":
        return []
    build = os.environ.get("VELMPROB_BUILD_DIR") or os.path.join(CHECKOUT, "build")
    found = []
    for edition in EDITIONS:
        path = os.path.join(build, edition, _library_name())
        if os.path.isfile(path):
            found.append((edition, path))
            # The companion library goes only with its edition.
            bulk = os.path.join(build, edition, _library_name("velmprob_bulk"))
            if os.path.isfile(bulk):
                found.append((edition, bulk))
    # velmsim's engine, for velmprob.sim, beside the editions' folders.
    velmsim = os.path.join(build, _library_name("velmsim"))
    if os.path.isfile(velmsim):
        found.append(("", velmsim))
    return found


def _metadata():
    readme = os.path.join(HERE, "README.md")
    text = [
        "Metadata-Version: 2.1",
        "Name: " + NAME,
        "Version: " + VERSION,
        "Summary: " + SUMMARY,
        "Requires-Python: >=3.8",
    ]
    if os.path.isfile(readme):
        text.append("Description-Content-Type: text/markdown")
        with open(readme, encoding="utf-8") as f:
            return "\n".join(text) + "\n\n" + f.read()
    return "\n".join(text) + "\n"


def _package_files():
    pkg = os.path.join(HERE, NAME)
    for name in sorted(os.listdir(pkg)):
        if name.endswith(".py") and name not in ("_origin.py", "_version.py"):
            yield os.path.join(NAME, name), os.path.join(pkg, name)


def _digest(data):
    raw = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(raw).rstrip(b"=").decode("ascii")


class _Wheel:
    def __init__(self, directory, tag, purelib):
        self.dist_info = "%s-%s.dist-info" % (NAME, VERSION)
        self.filename = "%s-%s-%s.whl" % (NAME, VERSION, tag)
        self.path = os.path.join(directory, self.filename)
        self.tag = tag
        self.purelib = purelib
        self.records = []
        self.zip = zipfile.ZipFile(self.path, "w", zipfile.ZIP_DEFLATED)

    def add(self, arcname, data, executable=False):
        if isinstance(data, str):
            data = data.encode("utf-8")
        info = zipfile.ZipInfo(arcname, date_time=(2020, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = (0o755 if executable else 0o644) << 16
        self.zip.writestr(info, data)
        self.records.append("%s,%s,%d" % (arcname, _digest(data), len(data)))

    def close(self):
        self.add(self.dist_info + "/METADATA", _metadata())
        self.add(self.dist_info + "/WHEEL",
                 "Wheel-Version: 1.0\nGenerator: velmprob_build\nRoot-Is-Purelib: %s\nTag: %s\n"
                 % ("true" if self.purelib else "false", self.tag))
        record = self.dist_info + "/RECORD"
        self.records.append(record + ",,")
        info = zipfile.ZipInfo(record, date_time=(2020, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        self.zip.writestr(info, "\n".join(self.records) + "\n")
        self.zip.close()
        return self.filename


def _platform_tag():
    return "py3-none-" + sysconfig.get_platform().replace("-", "_").replace(".", "_")


# ---- PEP 517 / PEP 660 hooks ------------------------------------------------

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    libraries = _bundled_libraries()
    wheel = _Wheel(wheel_directory, _platform_tag() if libraries else "py3-none-any",
                   purelib=not libraries)
    for arcname, path in _package_files():
        with open(path, "rb") as f:
            wheel.add(arcname, f.read())
    wheel.add(NAME + "/_version.py",
              "# Generated from the project's version when the wheel was built.\n"
              "__version__ = %r\n" % VERSION)
    if _is_checkout():
        wheel.add(NAME + "/_origin.py",
                  "# Where this package was installed from.\nCHECKOUT = %r\n" % CHECKOUT)
    for edition, path in libraries:
        with open(path, "rb") as f:
            wheel.add("/".join(part for part in (NAME, "lib", edition, os.path.basename(path)) if part),
                      f.read(), executable=True)
    return wheel.close()


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # The package stays in the checkout; a .pth file puts python/ on the path.
    wheel = _Wheel(wheel_directory, "py3-none-any", purelib=True)
    wheel.add("_velmprob_editable.pth", HERE + "\n")
    return wheel.close()


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (NAME, VERSION)
    filename = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, filename), "w:gz") as tar:
        for root, dirs, files in os.walk(HERE):
            dirs[:] = sorted(d for d in dirs if d not in ("__pycache__", "lib")
                             and not d.endswith(".egg-info"))
            for name in sorted(files):
                if name.endswith((".pyc", ".so", ".dll", ".dylib")) or name in ("_origin.py", "_version.py"):
                    continue
                path = os.path.join(root, name)
                tar.add(path, os.path.join(base, os.path.relpath(path, HERE)))
        data = ("Metadata-Version: 2.1\nName: %s\nVersion: %s\nSummary: %s\n"
                % (NAME, VERSION, SUMMARY)).encode("utf-8")
        info = tarfile.TarInfo(base + "/PKG-INFO")
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return filename
