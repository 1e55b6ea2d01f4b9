"""python -m foliant_convert: the same as the foliant-convert command."""

from __future__ import annotations

import sys

from .command import main

sys.exit(main())
