"""The XML Schema docs/kdx2xml.xsd against what the library writes.

Every document of the conformance corpus and every bundled sample converted by
the command-line tool must validate; altered documents must not, so that the
schema is known to be tight where it claims to be; and the schema must keep
the rules the reference generator enforces.

Environment: KDX2XML_SOURCE_DIR (the source tree), KDX2XML_CLI (the
command-line tool), XMLLINT (optional, default "xmllint").
"""

import glob
import os
import re
import runpy
import shutil
import subprocess
import tempfile
import types
import unittest

SOURCE_DIR = os.environ.get(
    "KDX2XML_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SCHEMA = os.path.join(SOURCE_DIR, "docs", "kdx2xml.xsd")
CORPUS = os.path.join(SOURCE_DIR, "tests", "conformance")
EXAMPLES = os.path.join(SOURCE_DIR, "examples")
CLI = os.environ.get("KDX2XML_CLI")
XMLLINT = os.environ.get("XMLLINT", "xmllint")


def validate(paths):
    """Runs xmllint over the files; returns {path: error text} of those that fail."""
    failures = {}
    for start in range(0, len(paths), 200):
        chunk = paths[start:start + 200]
        run = subprocess.run([XMLLINT, "--noout", "--schema", SCHEMA] + chunk,
                             capture_output=True, text=True, encoding="utf-8", errors="replace")
        for path in chunk:
            if (path + " validates") not in run.stderr:
                lines = [l for l in run.stderr.splitlines() if l.startswith(path + ":")]
                failures[path] = "\n".join(lines) or run.stderr.strip()
    return failures


def corpus_folders():
    """The corpus folder and its subfolders that hold expected XML."""
    folders = [CORPUS] + sorted(d for d in glob.glob(os.path.join(CORPUS, "*")) if os.path.isdir(d))
    return [d for d in folders if glob.glob(os.path.join(d, "*.xml"))]


def failure_report(failures, limit=10):
    items = sorted(failures.items())
    text = "\n".join("%s\n%s" % (p, e) for p, e in items[:limit])
    if len(items) > limit:
        text += "\n... and %d more" % (len(items) - limit)
    return text


def setUpModule():
    if shutil.which(XMLLINT) is None:
        raise RuntimeError("xmllint not found (scripts/deps.sh installs libxml2-utils)")


class CorpusValidates(unittest.TestCase):
    def test_every_expected_document_validates(self):
        total = 0
        for folder in corpus_folders():
            with self.subTest(folder=os.path.relpath(folder, SOURCE_DIR)):
                paths = sorted(glob.glob(os.path.join(folder, "*.xml")))
                total += len(paths)
                failures = validate(paths)
                self.assertEqual({}, failures, failure_report(failures))
        self.assertGreater(total, 0, "no XML in " + CORPUS)


@unittest.skipUnless(CLI, "KDX2XML_CLI is not set")
class ConvertedOutputValidates(unittest.TestCase):
    """The tool's own output: the bundled samples under both decimal separators, and the
    corpus documents under the separator the corpus does not use."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="kdx2xml-schema-")
        self.addCleanup(shutil.rmtree, self.tmp)

    def test_bundled_samples(self):
        samples = sorted(glob.glob(os.path.join(EXAMPLES, "*.kdx")))
        self.assertTrue(samples, "no samples in " + EXAMPLES)
        outputs = []
        for separator, tag in ((",", "comma"), (".", "point")):
            for sample in samples:
                out = os.path.join(self.tmp, "%s-%s.xml" % (os.path.basename(sample), tag))
                run = subprocess.run([CLI, sample, "--decimal-separator", separator, "-o", out],
                                     capture_output=True, text=True)
                self.assertEqual(0, run.returncode, "%s: %s" % (sample, run.stderr))
                outputs.append(out)
        failures = validate(outputs)
        self.assertEqual({}, failures, failure_report(failures))

    def test_corpus_with_decimal_point(self):
        outputs = []
        for folder in corpus_folders():
            inputs = sorted(glob.glob(os.path.join(folder, "*.kdx")))
            out_dir = os.path.join(self.tmp, os.path.basename(folder))
            # Inputs that are meant to fail make the batch exit with 1; their
            # failures are the conformance test's business.
            subprocess.run([CLI, "--decimal-separator", ".", "-d", out_dir, "-j", "2"] + inputs,
                           capture_output=True)
            outputs += sorted(glob.glob(os.path.join(out_dir, "*.xml")))
        self.assertGreater(len(outputs), 0, "the tool converted nothing")
        failures = validate(outputs)
        self.assertEqual({}, failures, failure_report(failures))


def cp(text):
    return text.encode("cp1251")


# Changes a document the library cannot have written. Each entry: what it
# breaks, the pattern that finds a place for it in some corpus document (bytes,
# windows-1251), the replacement, and a text xmllint's complaint must contain.
ALTERATIONS = [
    ("unknown attribute", rb'<Parameters ', rb'<Parameters Bogus="1" ', "'Bogus'"),
    ("unknown element", rb'<OsInfo', rb'<Bogus/><OsInfo', "'Bogus'"),
    ("children out of order", rb'(\s*<Variables>.*?</Variables>)(\s*<Chapters>.*?</Chapters>)',
     rb'\2\1', "'Variables'"),
    ("chapter list of the wrong kind", rb'(<Options [^>]*Mode="Cons"[^>]*/>)',
     rb'\1<RegionInfo RegionName="x" Zone84ID="1" Zone01ID="1"/>', "'RegionInfo'"),
    ("one of the eight additional-cost chapters missing", rb'<AddZatrGlava Glava="8"/>', b"",
     "Expected is ( AddZatrGlava )"),
    ("required attribute missing", rb'(<Vid_Rab[^>]*?) ID="[^"]*"', rb'\1', "'ID'"),
    ("malformed date", rb'DateBase="(\d\d)\.(\d\d)\.(\d{4})"', rb'DateBase="\3-\2-\1"', "'DateBase'"),
    ("impossible date", rb'MakingDate="[^"]*"', rb'MakingDate="32.01.2020"', "'MakingDate'"),
    ("unknown option name", rb'<Parameters Options="', rb'<Parameters Options="Bogus ', "'Bogus'"),
    ("unknown enumeration value", rb'BasePrices="2001"', rb'BasePrices="2002"', "'BasePrices'"),
    ("wage fund with another cost part", rb'NaclMask="[^"]*"', b'NaclMask="' + cp("ФОТ ПЗ") + b'"',
     "'NaclMask'"),
    ("decimal with a trailing zero", rb'(<AddZatr [^>]*?Value=")[^"]*"', rb'\g<1>1,50"', "'Value'"),
    ("decimal with digit grouping", rb'(<Elem [^>]*?PriceCE=")[^"]*"', rb'\g<1>1 000"', "'PriceCE'"),
    ("float with a plus in the exponent", rb'(<(?:Tzr|Tzm|Mch|Mat) [^>]*?Quantity=")[^"]*"',
     rb'\g<1>1,5E+20"', "'Quantity'"),
    ("integer with a plus sign", rb'(<Chapter [^>]*?SysID=")(\d+)"', rb'\1+\2"', "'SysID'"),
    ("flag written with its default", rb'(<AddOnType [^>]*?)/>', rb'\1 Active="Yes"/>', "'Active'"),
]


# Value forms the library writes that the corpus happens not to show; each must
# still validate. Each entry: the form, the pattern of its place, the replacement.
UNSEEN_FORMS = [
    ("quantity with a rounding precision", rb'(<Position [^>]*? Quantity=")[^"]*"',
     rb'\g<1>' + cp("ОКР(12,5; 2)") + b'"'),
    ("rounding precision of a tiny quantity", rb'(<Position [^>]*? Quantity=")[^"]*"',
     rb'\g<1>' + cp("ОКР(1E-6; -3)") + b'"'),
    ("float that is not a number", rb'(<(?:Tzr|Tzm|Mch|Mat) [^>]*?Quantity=")[^"]*"', rb'\g<1>NAN"'),
    ("negative infinite float", rb'(<(?:Tzr|Tzm|Mch|Mat) [^>]*?Quantity=")[^"]*"', rb'\g<1>-INF"'),
    ("smallest float", rb'(<(?:Tzr|Tzm|Mch|Mat) [^>]*?Quantity=")[^"]*"',
     rb'\g<1>4,94065645841247E-324"'),
    ("float with a decimal point", rb'(<(?:Tzr|Tzm|Mch|Mat) [^>]*?Quantity=")[^"]*"',
     rb'\g<1>0.00001"'),
    ("date outside the calendar", rb'DateBase="[^"]*"', rb'DateBase="00.00.0000"'),
    ("first calendar date", rb'DateBase="[^"]*"', rb'DateBase="01.01.0001"'),
    ("smallest currency value", rb'(<AddZatr [^>]*?Value=")[^"]*"', rb'\g<1>-922337203685477.5808"'),
    ("disabled cost row", rb'(<Position [^>]*?Obosn="[^"]*")(?! Options=)',
     rb'\1 Options="Reserved Disabled"'),
]


class AlteredDocuments(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.documents = []
        for folder in corpus_folders():
            for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
                with open(path, "rb") as f:
                    cls.documents.append((path, f.read()))

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="kdx2xml-schema-")
        self.addCleanup(shutil.rmtree, self.tmp)

    def alter(self, number, pattern, replacement):
        """The first corpus document with a place for the pattern, altered there; its path
        and the path of the altered copy."""
        regex = re.compile(pattern, re.DOTALL)
        base = next(((p, d) for p, d in self.documents if regex.search(d)), None)
        self.assertIsNotNone(base, "no corpus document has a place for this alteration")
        path, data = base
        altered, count = regex.subn(replacement, data, count=1)
        self.assertEqual(1, count)
        self.assertNotEqual(data, altered)
        out = os.path.join(self.tmp, "altered-%02d.xml" % number)
        with open(out, "wb") as f:
            f.write(altered)
        return path, out

    def test_what_the_library_cannot_write_fails(self):
        for number, (what, pattern, replacement, complaint) in enumerate(ALTERATIONS):
            with self.subTest(alteration=what):
                path, out = self.alter(number, pattern, replacement)
                failures = validate([out])
                self.assertIn(out, failures, "%s altered (%s) still validates" % (path, what))
                self.assertIn(complaint, failures[out])

    def test_forms_the_corpus_lacks_validate(self):
        for number, (what, pattern, replacement) in enumerate(UNSEEN_FORMS):
            with self.subTest(form=what):
                path, out = self.alter(number, pattern, replacement)
                failures = validate([out])
                self.assertEqual({}, failures, "%s altered (%s)" % (path, what))


def load_generator():
    """The reference generator's functions and constants, run from its file."""
    names = runpy.run_path(os.path.join(SOURCE_DIR, "scripts", "gen-xml-reference.py"),
                           run_name="gen_xml_reference")
    return types.SimpleNamespace(**names)


class SchemaHouseRules(unittest.TestCase):
    """The generator refuses a schema that breaks the rules the reference relies on."""

    @classmethod
    def setUpClass(cls):
        cls.gen = load_generator()
        with open(SCHEMA, encoding="utf-8") as f:
            cls.text = f.read()

    def generate_from(self, text):
        fd, path = tempfile.mkstemp(suffix=".xsd")
        self.addCleanup(os.remove, path)
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
        return self.gen.generate(path)

    def assertRefused(self, text, message):
        with self.assertRaises(self.gen.SchemaError) as caught:
            self.generate_from(text)
        self.assertIn(message, str(caught.exception))

    def test_the_schema_keeps_the_rules(self):
        self.assertIn("## Value types", self.generate_from(self.text))

    def test_undocumented_attribute_is_refused(self):
        documented = ('<xs:attribute name="TempZone" type="UInt8">\n'
                      '      <xs:annotation><xs:documentation>')
        self.assertIn(documented, self.text)
        bare = re.sub(r'(<xs:attribute name="TempZone" type="UInt8">)\s*<xs:annotation>.*?</xs:annotation>',
                      r'\1', self.text, count=1, flags=re.DOTALL)
        self.assertRefused(bare, "attribute TempZone has no documentation")

    def test_wildcards_are_refused(self):
        loose = self.text.replace('<xs:complexType name="NumberingType">\n',
                                  '<xs:complexType name="NumberingType">\n    <xs:anyAttribute/>\n', 1)
        self.assertNotEqual(self.text, loose)
        self.assertRefused(loose, "xs:anyAttribute is not allowed")

    def test_unknown_and_unused_types_are_refused(self):
        self.assertRefused(self.text.replace('type="NumberingMode"', 'type="NumberingModes"', 1),
                           "type NumberingModes")
        self.assertRefused(self.text.replace('type="NumberingMode"', 'type="Text"', 1),
                           "simpleType NumberingMode is never used")


if __name__ == "__main__":
    unittest.main()
