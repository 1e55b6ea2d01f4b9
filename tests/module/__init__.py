"""Tests of the Python surface of FoliantConversion, run against the real
conversion library."""
