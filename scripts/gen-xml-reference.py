#!/usr/bin/env python3
"""Writes docs/xml-reference.md from the XML Schema docs/kdx2xml.xsd.

    scripts/gen-xml-reference.py           regenerate the reference
    scripts/gen-xml-reference.py --check   fail when the reference is stale or
                                           the schema breaks a house rule

The house rules checked on every run: no xs:any or xs:anyAttribute; every
element, attribute, type, group and enumeration value that the reference shows
carries documentation; every type or group that is referred to exists and
every named one is used.
"""

import argparse
import os
import sys
import xml.etree.ElementTree as ET

XS = "{http://www.w3.org/2001/XMLSchema}"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_SCHEMA = os.path.join(ROOT, "docs", "kdx2xml.xsd")
DEFAULT_OUTPUT = os.path.join(ROOT, "docs", "xml-reference.md")


class SchemaError(Exception):
    pass


def local(tag):
    return tag[len(XS):] if tag.startswith(XS) else tag


def doc_of(node):
    """The documentation text of a declaration, or None."""
    ann = node.find(XS + "annotation")
    if ann is None:
        return None
    parts = [d.text.strip() for d in ann.findall(XS + "documentation") if d.text and d.text.strip()]
    return " ".join(parts) if parts else None


def md_cell(text):
    return text.replace("|", "\\|").replace("\n", " ")


class Schema:
    def __init__(self, path):
        self.path = path
        self.tree = ET.parse(path)
        self.root = self.tree.getroot()
        if self.root.tag != XS + "schema":
            raise SchemaError("%s is not an XML Schema" % path)
        self.simple, self.complex, self.groups, self.attr_groups, self.elements = {}, {}, {}, {}, {}
        self.order = []  # named declarations in file order
        tables = {"simpleType": self.simple, "complexType": self.complex, "group": self.groups,
                  "attributeGroup": self.attr_groups, "element": self.elements}
        for node in self.root:
            kind = local(node.tag)
            if kind in tables:
                name = node.get("name")
                if name in tables[kind] or (kind in ("simpleType", "complexType") and
                                            name in self.simple.keys() | self.complex.keys()):
                    raise SchemaError("%s %s is declared twice" % (kind, name))
                tables[kind][name] = node
                self.order.append((kind, name))
        self.errors = []
        self.used = set()

    # ---- checks ----

    def check(self):
        for node in self.root.iter():
            kind = local(node.tag)
            if kind in ("any", "anyAttribute"):
                self.errors.append("xs:%s is not allowed" % kind)
            if kind in ("element", "attribute") and node.get("ref") is None and not doc_of(node):
                self.errors.append("%s %s has no documentation" % (kind, node.get("name")))
            if kind in ("simpleType", "complexType", "group", "attributeGroup") and node.get("name") \
                    and not doc_of(node):
                self.errors.append("%s %s has no documentation" % (kind, node.get("name")))
            for attr in ("type", "base", "itemType"):
                ref = node.get(attr)
                if ref:
                    self.use_type(ref, node)
            if node.get("memberTypes"):
                for ref in node.get("memberTypes").split():
                    self.use_type(ref, node)
            if kind == "group" and node.get("ref"):
                self.use(self.groups, "group", node.get("ref"))
            if kind == "attributeGroup" and node.get("ref"):
                self.use(self.attr_groups, "attributeGroup", node.get("ref"))
        for kind, name in self.order:
            if kind != "element" and (kind, name) not in self.used:
                self.errors.append("%s %s is never used" % (kind, name))
        if len(self.elements) != 1:
            self.errors.append("the schema must declare exactly one root element")
        if self.errors:
            raise SchemaError("\n".join(self.errors))

    def use_type(self, ref, node):
        if ref.startswith("xs:"):
            return
        if ref in self.simple:
            self.used.add(("simpleType", ref))
        elif ref in self.complex:
            self.used.add(("complexType", ref))
        else:
            self.errors.append("type %s (used by %s %s) is not declared"
                               % (ref, local(node.tag), node.get("name")))

    def use(self, table, kind, ref):
        if ref not in table:
            self.errors.append("%s %s is not declared" % (kind, ref))
        self.used.add((kind, ref))

    # ---- queries ----

    def attributes(self, ctype):
        """The attribute declarations of a complex type, base type first, groups expanded."""
        out = []
        content = ctype.find(XS + "complexContent")
        holder = ctype
        if content is not None:
            ext = content.find(XS + "extension")
            if ext is None:
                raise SchemaError("complexType %s: only extension is supported" % ctype.get("name"))
            out.extend(self.attributes(self.complex[ext.get("base")]))
            holder = ext
        self._collect_attributes(holder, out)
        return out

    def _collect_attributes(self, holder, out):
        for node in holder:
            kind = local(node.tag)
            if kind == "attribute":
                out.append(node)
            elif kind == "attributeGroup":
                self._collect_attributes(self.attr_groups[node.get("ref")], out)

    def model(self, ctype):
        """The content particles of a complex type: (base model, own model); None for no content."""
        content = ctype.find(XS + "complexContent")
        if content is not None:
            ext = content.find(XS + "extension")
            base = self.model(self.complex[ext.get("base")])
            own = self._particle_of(ext)
            parts = [p for p in (base, own) if p is not None]
            if not parts:
                return None
            if len(parts) == 1:
                return parts[0]
            node = ET.Element(XS + "sequence")
            node.extend(parts)
            return node
        return self._particle_of(ctype)

    @staticmethod
    def _particle_of(holder):
        for node in holder:
            if local(node.tag) in ("sequence", "choice", "all", "group"):
                return node
        return None


def occurs(node):
    lo = node.get("minOccurs", "1")
    hi = node.get("maxOccurs", "1")
    return lo, hi


def occurs_suffix(node):
    lo, hi = occurs(node)
    if (lo, hi) == ("1", "1"):
        return ""
    if (lo, hi) == ("0", "1"):
        return "?"
    if (lo, hi) == ("0", "unbounded"):
        return "*"
    if (lo, hi) == ("1", "unbounded"):
        return "+"
    if lo == hi:
        return "{%s}" % lo
    return "{%s,%s}" % (lo, "" if hi == "unbounded" else hi)


class Writer:
    def __init__(self, schema):
        self.s = schema
        self.out = []
        self.sections = []   # (anchor, title) in order
        self.places = {}     # type or group name -> [(parent anchor, element name, doc)]
        self.visit_order = []

    # ---- traversal ----

    def walk(self):
        root_name, root = next(iter(self.s.elements.items()))
        seen = set()

        def visit(kind, name):
            if (kind, name) in seen:
                return
            seen.add((kind, name))
            self.visit_order.append((kind, name))
            node = self.s.complex[name] if kind == "complexType" else self.s.groups[name]
            model = self.s.model(node) if kind == "complexType" else Schema._particle_of(node)
            for child_kind, child_name in self.children_types(model, name):
                visit(child_kind, child_name)
            content = node.find(XS + "complexContent")
            if content is not None:
                visit("complexType", content.find(XS + "extension").get("base"))

        self.places.setdefault(root.get("type"), []).append((None, root_name, doc_of(root)))
        visit("complexType", root.get("type"))

    def children_types(self, model, parent):
        found = []
        if model is None:
            return found
        for node in model.iter():
            kind = local(node.tag)
            if kind == "element":
                t = node.get("type")
                if t in self.s.complex:
                    self.places.setdefault(t, []).append((parent, node.get("name"), doc_of(node)))
                    found.append(("complexType", t))
            elif kind == "group" and node.get("ref"):
                ref = node.get("ref")
                self.places.setdefault(ref, []).append((parent, None, None))
                found.append(("group", ref))
        return found

    # ---- rendering ----

    def grammar(self, node, top=True):
        kind = local(node.tag)
        if kind == "element":
            return node.get("name") + occurs_suffix(node)
        if kind == "group":
            return "[%s]%s" % (node.get("ref"), occurs_suffix(node))
        parts = [self.grammar(c, False) for c in node
                 if local(c.tag) in ("element", "group", "sequence", "choice")]
        sep = " | " if kind == "choice" else ", "
        text = sep.join(parts)
        suffix = occurs_suffix(node)
        if suffix or (len(parts) > 1 and not top):
            text = "(" + text + ")" + suffix
        return text

    def particle_rows(self, model, rows, optional=False, repeated=False):
        """Element and group particles of a model in document order, each with how often it
        can occur in its parent, the enclosing groups and alternatives counted."""
        kind = local(model.tag)
        lo, hi = occurs(model)
        optional = optional or lo == "0"
        repeated = repeated or hi != "1"
        alternatives = [n for n in model if local(n.tag) in ("element", "group", "sequence", "choice")]
        if kind == "choice" and len(alternatives) > 1:
            optional = True
        for node in alternatives:
            k = local(node.tag)
            if k in ("sequence", "choice"):
                self.particle_rows(node, rows, optional, repeated)
                continue
            nlo, nhi = occurs(node)
            first = "0" if optional else nlo
            last = "n" if repeated and nhi != "0" or nhi == "unbounded" else nhi
            rows.append((k, node, first if first == last else "%s..%s" % (first, last)))
        return rows

    def type_link(self, name):
        if name is None:
            return ""
        if name.startswith("xs:"):
            return "`%s`" % name
        return "[%s](#%s)" % (name, name)

    def simple_summary(self, node):
        """Short text of an attribute's value type, anonymous types included."""
        if node.get("type"):
            return self.type_link(node.get("type"))
        if node.get("fixed") is not None:
            return "`%s`" % node.get("fixed")
        st = node.find(XS + "simpleType")
        if st is None:
            return "`xs:string`"
        return self.anonymous_summary(st)

    def anonymous_summary(self, st):
        r = st.find(XS + "restriction")
        if r is None:
            return "(see the schema)"
        enums = [e.get("value") for e in r.findall(XS + "enumeration")]
        if enums:
            return ", ".join("`%s`" % v for v in enums)
        text = self.type_link(r.get("base"))
        lo = r.find(XS + "minInclusive")
        hi = r.find(XS + "maxInclusive")
        pat = r.find(XS + "pattern")
        if lo is not None and hi is not None:
            text += ", %s to %s" % (lo.get("value"), hi.get("value"))
        elif hi is not None:
            text += ", at most %s" % hi.get("value")
        elif lo is not None:
            text += ", at least %s" % lo.get("value")
        if pat is not None:
            text += ", pattern `%s`" % pat.get("value")
        min_length = r.find(XS + "minLength")
        if min_length is not None:
            text += ", at least %s item%s" % (min_length.get("value"),
                                              "" if min_length.get("value") == "1" else "s")
        return text

    def write_places(self, name):
        places = []
        for place in self.places.get(name, []):
            if all(place[:2] != p[:2] for p in places):
                places.append(place)
        lines = []
        for parent, element, doc in places:
            if parent is None and element is not None:
                lines.append("- the root element `%s`" % element)
            elif element is None:
                lines.append("- content of %s" % self.type_link(parent))
            else:
                lines.append("- `%s` in %s: %s" % (element, self.title_link(parent), doc))
        if lines:
            self.out.append("Appears as:")
            self.out.append("")
            self.out.extend(lines)
            self.out.append("")

    def title_link(self, name):
        return "[%s](#%s)" % (self.titles.get(name, name), name)

    def section_title(self, kind, name):
        if kind == "group":
            return "%s (content group)" % name
        elements = []
        for _, element, _ in self.places.get(name, []):
            if element and element not in elements:
                elements.append(element)
        if not elements:
            return name
        return " / ".join("`%s`" % e for e in elements) + " (%s)" % name

    def write_complex(self, name):
        node = self.s.complex[name]
        self.out.append('<a id="%s"></a>' % name)
        self.out.append("### %s" % self.titles[name])
        self.out.append("")
        self.out.append(doc_of(node))
        self.out.append("")
        content = node.find(XS + "complexContent")
        if content is not None:
            base = content.find(XS + "extension").get("base")
            self.out.append("Extends %s: its attributes and children come first." % self.title_link(base))
            self.out.append("")
        self.write_places(name)
        attrs = self.s.attributes(node)
        if attrs:
            self.out.append("Attributes, in the order written:")
            self.out.append("")
            self.out.append("| Attribute | Value | Written | Meaning |")
            self.out.append("|---|---|---|---|")
            for a in attrs:
                use = "always" if a.get("use") == "required" else "optional"
                self.out.append("| `%s` | %s | %s | %s |" % (
                    a.get("name"), md_cell(self.simple_summary(a)), use, md_cell(doc_of(a))))
            self.out.append("")
        else:
            self.out.append("No attributes.")
            self.out.append("")
        self.write_model(self.s.model(node))

    def write_group(self, name):
        node = self.s.groups[name]
        self.out.append('<a id="%s"></a>' % name)
        self.out.append("### %s" % self.titles[name])
        self.out.append("")
        self.out.append(doc_of(node))
        self.out.append("")
        self.write_places(name)
        self.write_model(Schema._particle_of(node))

    def write_model(self, model):
        if model is None:
            self.out.append("No children.")
            self.out.append("")
            return
        self.out.append("Children, in document order: `%s`" % self.grammar(model))
        self.out.append("")
        self.out.append("| Child | Type | Occurs | Meaning |")
        self.out.append("|---|---|---|---|")
        for kind, node, occ in self.particle_rows(model, []):
            if kind == "element":
                self.out.append("| `%s` | %s | %s | %s |" % (
                    node.get("name"), self.type_link(node.get("type")), occ, md_cell(doc_of(node))))
            else:
                ref = node.get("ref")
                self.out.append("| [%s](#%s) | content group | %s | %s |" % (
                    ref, ref, occ, md_cell(doc_of(self.s.groups[ref]))))
        self.out.append("")

    def write_simple(self, name):
        node = self.s.simple[name]
        self.out.append('<a id="%s"></a>' % name)
        self.out.append("### %s" % name)
        self.out.append("")
        self.out.append(doc_of(node))
        self.out.append("")
        restriction = node.find(XS + "restriction")
        lst = node.find(XS + "list")
        union = node.find(XS + "union")
        if lst is not None:
            self.out.append("A list of %s separated by blanks." % self.type_link(lst.get("itemType")))
        elif union is not None:
            members = (union.get("memberTypes") or "").split()
            texts = [self.type_link(m) for m in members]
            texts += [self.anonymous_summary(st) for st in union.findall(XS + "simpleType")]
            self.out.append("One of: %s." % "; ".join(texts))
        elif restriction is not None:
            base = restriction.get("base")
            inner = restriction.find(XS + "simpleType")
            if inner is not None and inner.find(XS + "list") is not None:
                item = inner.find(XS + "list").get("itemType")
                text = "A list of %s separated by blanks" % self.type_link(item)
            else:
                text = "Based on %s" % self.type_link(base)
            facets = []
            for f in restriction:
                k = local(f.tag)
                if k == "minLength":
                    facets.append("at least %s item%s" % (f.get("value"), "" if f.get("value") == "1" else "s"))
                elif k == "minInclusive":
                    facets.append("at least %s" % f.get("value"))
                elif k == "maxInclusive":
                    facets.append("at most %s" % f.get("value"))
            if facets:
                text += ", " + ", ".join(facets)
            self.out.append(text + ".")
            enums = restriction.findall(XS + "enumeration")
            if enums:
                self.out.append("")
                self.out.append("| Value | Meaning |")
                self.out.append("|---|---|")
                for e in enums:
                    self.out.append("| `%s` | %s |" % (md_cell(e.get("value")), md_cell(doc_of(e) or "")))
            for p in restriction.findall(XS + "pattern"):
                self.out.append("")
                self.out.append("Pattern (the whole value must match):")
                self.out.append("")
                self.out.append("```")
                self.out.append(p.get("value"))
                self.out.append("```")
        self.out.append("")

    def render(self):
        self.walk()
        self.titles = {}
        for kind, name in self.visit_order:
            self.titles[name] = self.section_title(kind, name)
        o = self.out
        o.append("# XML reference")
        o.append("")
        o.append("<!-- Generated from docs/kdx2xml.xsd by scripts/gen-xml-reference.py; do not edit. -->")
        o.append("")
        o.append(doc_of(self.s.root))
        o.append("")
        o.append("The schema, [kdx2xml.xsd](kdx2xml.xsd) (XML Schema 1.0), checks a document:")
        o.append("")
        o.append("    xmllint --noout --schema docs/kdx2xml.xsd document.xml")
        o.append("")
        o.append("How to read this reference:")
        o.append("")
        o.append("- Every element has a section named by its type, since the same element name means "
                 "different things in different places (an `Item` of signatures is not an `Item` of an "
                 "act). The section lists where the element appears, its attributes and its children.")
        o.append("- Attributes are listed in the order the library writes them. \"always\" marks an "
                 "attribute that is written in every element of that kind; an optional attribute is "
                 "left out when its value is the default named in its description.")
        o.append("- Children are written in the order given by the content line: `,` separates "
                 "children in sequence, `|` alternatives; `?` marks an optional child, `*` any number, "
                 "`+` at least one, `{n}` exactly n. A bracketed name is a content group.")
        o.append("- Numbers and dates have the text forms of the [value types](#value-types). Decimal "
                 "numbers use the decimal separator of the converting environment: \",\" or \".\".")
        o.append("- The root element is the same for every kind of document; its \"DocumentType\" tells "
                 "the kind, and the first child (or, for the smaller kinds, the set of children) tells "
                 "it too. XML Schema 1.0 gives one element name one type among the children of one "
                 "element, so `Chapters` (and the `Chapter` and `Position` inside it) and `Indexes` "
                 "under `Document` admit what any kind writes there; their descriptions say which "
                 "kind writes which attribute or child.")
        o.append("")
        o.append("## Contents")
        o.append("")
        for kind, name in self.visit_order:
            o.append("- [%s](#%s)" % (self.titles[name], name))
        o.append("- [Value types](#value-types)")
        o.append("")
        o.append("## Elements")
        o.append("")
        for kind, name in self.visit_order:
            if kind == "complexType":
                self.write_complex(name)
            else:
                self.write_group(name)
        o.append('<a id="value-types"></a>')
        o.append("## Value types")
        o.append("")
        for kind, name in self.s.order:
            if kind == "simpleType":
                self.write_simple(name)
        unreached = [n for k, n in self.s.order if k in ("complexType", "group")
                     and (k, n) not in set(self.visit_order)]
        if unreached:
            raise SchemaError("not reachable from the root element: " + ", ".join(unreached))
        while o and o[-1] == "":
            o.pop()
        return "\n".join(o) + "\n"


def generate(schema_path):
    schema = Schema(schema_path)
    schema.check()
    return Writer(schema).render()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the reference on disk instead of writing it")
    parser.add_argument("--schema", default=DEFAULT_SCHEMA)
    parser.add_argument("--output", default=DEFAULT_OUTPUT)
    args = parser.parse_args()
    try:
        text = generate(args.schema)
    except (SchemaError, ET.ParseError) as e:
        print("gen-xml-reference: %s: %s" % (args.schema, e), file=sys.stderr)
        return 1
    if args.check:
        try:
            with open(args.output, encoding="utf-8") as f:
                current = f.read()
        except OSError as e:
            print("gen-xml-reference: %s" % e, file=sys.stderr)
            return 1
        if current != text:
            print("gen-xml-reference: %s is stale; run scripts/gen-xml-reference.py" % args.output,
                  file=sys.stderr)
            return 1
        return 0
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
