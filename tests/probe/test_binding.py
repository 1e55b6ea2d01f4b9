"""The module in this process is bound to the probe library."""

from __future__ import annotations

from pathlib import Path

import FoliantConversion as fc
from probe_control import GET_VERSION, Probe


def test_module_is_bound_to_the_probe(probe: Probe) -> None:
    probe.set_version(b"bound-check")
    assert fc.LibraryManager.get_version() == "bound-check"
    assert probe.only_call().function == GET_VERSION
    assert Path(fc.__file__).parent == probe.path.parent
