"""The Python binding against the built shared library and the bundled sample."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.environ["KDX2XML_SOURCE_DIR"], "bindings", "python"))
import kdx2xml  # noqa: E402


class BindingTest(unittest.TestCase):
    def test_converts_the_sample(self):
        path = os.path.join(os.environ["KDX2XML_SOURCE_DIR"], "examples", "pricelist.kdx")
        with open(path, "rb") as f:
            xml = kdx2xml.convert(f.read()).decode("cp1251")
        self.assertTrue(xml.startswith('<?xml version="1.0" encoding="windows-1251"?>'))
        self.assertIn('Caption="Бетоны и растворы"', xml)

    def test_failure_carries_class_and_message(self):
        with self.assertRaises(kdx2xml.ConversionError) as ctx:
            kdx2xml.convert(b"KR00\x05")
        self.assertEqual(ctx.exception.failure_class, "EConvertException")
        self.assertEqual(ctx.exception.message, "Неподдерживаемый тип документа: 5")


if __name__ == "__main__":
    unittest.main()
