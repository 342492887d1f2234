"""What the package carries besides the module: the project's version and its sample package."""

import subprocess

import zelp7x
from conftest import BIN_DIR


def test_the_package_carries_the_projects_version_and_sample(tmp_path):
    tool = subprocess.run([str(BIN_DIR / "zelp7x_host"), "--version"], check=True,
                          capture_output=True, text=True)
    assert tool.stdout.split() == ["zelp7x_host", zelp7x.__version__]

    written = tmp_path / "sample.pkg"
    subprocess.run([str(BIN_DIR / "morvel_pkg_sample"), str(written)], check=True,
                   stdout=subprocess.DEVNULL)
    assert zelp7x.sample_package().read_bytes() == written.read_bytes()
