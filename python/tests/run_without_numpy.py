"""Runs the binding's tests as on an interpreter without numpy: the import
of numpy fails everywhere in this process. Usage: python3 run_without_numpy.py"""

import os
import sys
import unittest

sys.modules["numpy"] = None  # `import numpy` raises ImportError from here on

HERE = os.path.dirname(os.path.abspath(__file__))
suite = unittest.defaultTestLoader.discover(HERE, top_level_dir=HERE)
result = unittest.TextTestRunner(verbosity=1).run(suite)
sys.exit(0 if result.wasSuccessful() else 1)
