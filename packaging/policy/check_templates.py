#!/usr/bin/env python3
"""Checks the Group Policy templates: Calvera.admx and the Calvera.adml of every language.

    check_templates.py [FOLDER]     (default: the folder of this script)

Each file is validated with xmllint against schema/PolicyDefinitions.xsd; then the references
that a schema cannot see are followed:
- in the .admx: parent categories, supportedOn references, namespace prefixes, superseded
  .adm file names, element ids, and that every policy is a computer policy under the one key;
- between the .admx and each .adml: every $(string.ID) and $(presentation.ID) is defined and
  nothing else is, every control of a presentation edits an element of the policy that shows
  it, with a control of the element's kind, every element has its control, and each language
  lays out its controls as en-US does;
- the .adml revision is at least the .admx minRequiredRevision.
Prints every fault found and exits with 1 when there is one.
"""

import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
TEMPLATE = "Calvera.admx"
LANGUAGES = ("en-US", "fr-FR", "ko-KR", "pt-BR", "ru-RU")
POLICY_KEY = r"Software\Policies\Tolvane\Calvera"
POLICY_CLASS = "Machine"

# Which presentation control edits which kind of policy element.
CONTROL_FOR_ELEMENT = {
    "boolean": {"checkBox"},
    "decimal": {"decimalTextBox"},
    "longDecimal": {"longDecimalTextBox"},
    "text": {"textBox", "comboBox"},
    "enum": {"dropdownList"},
    "list": {"listBox"},
    "multiText": {"multiTextBox"},
}
CONTROLS = {name for names in CONTROL_FOR_ELEMENT.values() for name in names}
REFERENCE = re.compile(r"\$\((string|presentation)\.([^)]*)\)")


class Report:
    def __init__(self):
        self.faults = []

    def fault(self, where, text):
        self.faults.append(f"{where}: {text}")
        print(f"FAULT {where}: {text}", file=sys.stderr)


def local(tag):
    return tag[len(NS):] if tag.startswith(NS) else tag


def validate(path, schema, report):
    result = subprocess.run(["xmllint", "--noout", "--schema", str(schema), str(path)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        for line in result.stderr.strip().splitlines():
            if not line.endswith(" fails to validate"):
                report.fault(path.name if path.suffix == ".admx" else str(path), line)
        return False
    return True


def references(root):
    """(kind, id, where) for every $(string.X) and $(presentation.X) in the .admx."""
    found = []
    for node in root.iter():
        owner = node.get("name") or node.get("id") or local(node.tag)
        for attribute, value in node.attrib.items():
            for match in REFERENCE.finditer(value):
                found.append((match.group(1), match.group(2),
                              f"{local(node.tag)} '{owner}' {attribute}"))
    return found


class Template:
    """What the .admx defines and uses."""

    def __init__(self, root, report):
        self.root = root
        namespaces = root.find(f"{NS}policyNamespaces")
        self.target = namespaces.find(f"{NS}target").get("prefix")
        self.using = {u.get("prefix") for u in namespaces.findall(f"{NS}using")}
        self.categories = {c.get("name"): c for c in root.iter(f"{NS}category")}
        self.policies = {p.get("name"): p for p in root.iter(f"{NS}policy")}
        supported = root.find(f"{NS}supportedOn")
        self.supported = set()
        if supported is not None:
            for tag in ("product", "majorVersion", "minorVersion", "definition"):
                self.supported |= {n.get("name") for n in supported.iter(f"{NS}{tag}")}
        self.minimum_revision = root.find(f"{NS}resources").get("minRequiredRevision")
        self.report = report

    def resolve(self, reference, defined, what, where):
        """A reference is local, prefixed by the target, or names another namespace that the
        file declares with <using>."""
        prefix, _, name = reference.rpartition(":")
        if prefix and prefix != self.target:
            if prefix not in self.using:
                self.report.fault(TEMPLATE, f"{where}: {what} '{reference}' has the prefix "
                                  f"'{prefix}', which no <using> declares")
            return
        if name not in defined:
            self.report.fault(TEMPLATE, f"{where}: {what} '{reference}' is not defined")

    def check(self):
        report = self.report
        for superseded in self.root.findall(f"{NS}supersededAdm"):
            name = superseded.get("fileName", "")
            if not name.lower().endswith(".adm") or len(name) <= 4:
                report.fault(TEMPLATE, f"supersededAdm fileName '{name}' is not an .adm file")
        for kind in ("and", "or"):
            for group in self.root.iter(f"{NS}{kind}"):
                for item in group:
                    self.resolve(item.get("ref"), self.supported, "supportedOn component",
                                 "supportedOn definition")
        for name, category in self.categories.items():
            parent = category.find(f"{NS}parentCategory")
            if parent is not None:
                self.resolve(parent.get("ref"), self.categories, "category",
                             f"category '{name}' parentCategory")
        self.check_category_cycles()
        for name, policy in self.policies.items():
            where = f"policy '{name}'"
            parent = policy.find(f"{NS}parentCategory")
            if parent is None:
                report.fault(TEMPLATE, f"{where} has no parentCategory")
            else:
                self.resolve(parent.get("ref"), self.categories, "category",
                             f"{where} parentCategory")
            self.resolve(policy.find(f"{NS}supportedOn").get("ref"), self.supported,
                         "supportedOn definition", f"{where} supportedOn")
            if policy.get("class") != POLICY_CLASS:
                report.fault(TEMPLATE, f"{where} is of class '{policy.get('class')}', "
                             f"not {POLICY_CLASS}")
            for node in policy.iter():
                for attribute in ("key", "defaultKey"):
                    key = node.get(attribute)
                    if key is not None and key != POLICY_KEY:
                        report.fault(TEMPLATE, f"{where}: {local(node.tag)} {attribute} "
                                     f"'{key}' is not {POLICY_KEY}")
            ids = [e.get("id") for e in self.elements(policy)]
            for duplicate in sorted({i for i in ids if ids.count(i) > 1}):
                report.fault(TEMPLATE, f"{where} has two elements with the id '{duplicate}'")
            if self.elements(policy) and policy.get("presentation") is None:
                report.fault(TEMPLATE, f"{where} has elements but no presentation")

    def check_category_cycles(self):
        for name in self.categories:
            seen = [name]
            current = self.categories[name]
            while (parent := current.find(f"{NS}parentCategory")) is not None:
                ref = parent.get("ref").rpartition(":")[2]
                if ref not in self.categories or parent.get("ref").partition(":")[0] in self.using:
                    break
                if ref in seen:
                    self.report.fault(TEMPLATE, f"categories form a cycle: "
                                      f"{' -> '.join(seen + [ref])}")
                    return
                seen.append(ref)
                current = self.categories[ref]

    @staticmethod
    def elements(policy):
        holder = policy.find(f"{NS}elements")
        return list(holder) if holder is not None else []


def presentation_layout(presentation):
    """The controls of a presentation without their texts, to compare languages."""
    return [(local(c.tag), tuple(sorted(c.attrib.items()))) for c in presentation
            if local(c.tag) in CONTROLS]


def check_language(path, template, used, layouts, report):
    where = str(path.relative_to(path.parent.parent))
    root = ET.parse(path).getroot()
    revision = root.get("revision")
    if tuple(map(int, revision.split("."))) < tuple(map(int, template.minimum_revision.split("."))):
        report.fault(where, f"revision {revision} is below the minRequiredRevision "
                     f"{template.minimum_revision} of {TEMPLATE}")
    if root.get("schemaVersion") != template.root.get("schemaVersion"):
        report.fault(where, f"schemaVersion {root.get('schemaVersion')} differs from "
                     f"{TEMPLATE}'s {template.root.get('schemaVersion')}")
    strings = {s.get("id") for s in root.iter(f"{NS}string")}
    presentations = {p.get("id"): p for p in root.iter(f"{NS}presentation")}
    defined = {"string": strings, "presentation": set(presentations)}
    for kind, ident, user in used:
        if ident not in defined[kind]:
            report.fault(where, f"{kind} '{ident}', used by {user} in {TEMPLATE}, is not defined")
    for kind, idents in defined.items():
        for ident in sorted(idents - {i for k, i, _ in used if k == kind}):
            report.fault(where, f"{kind} '{ident}' is defined but {TEMPLATE} never uses it")

    for name, policy in template.policies.items():
        reference = policy.get("presentation")
        if reference is None:
            continue
        ident = REFERENCE.fullmatch(reference).group(2)
        presentation = presentations.get(ident)
        if presentation is None:
            continue  # reported above
        elements = {e.get("id"): local(e.tag) for e in Template.elements(policy)}
        edited = set()
        for control in presentation:
            kind = local(control.tag)
            if kind not in CONTROLS:
                continue
            ref = control.get("refId")
            if ref not in elements:
                report.fault(where, f"presentation '{ident}': {kind} refId '{ref}' names no "
                             f"element of policy '{name}'")
                continue
            if kind not in CONTROL_FOR_ELEMENT[elements[ref]]:
                report.fault(where, f"presentation '{ident}': a {kind} cannot edit the "
                             f"{elements[ref]} element '{ref}'")
            if ref in edited:
                report.fault(where, f"presentation '{ident}': two controls edit '{ref}'")
            edited.add(ref)
        for missing in sorted(set(elements) - edited):
            report.fault(where, f"presentation '{ident}': no control edits the element "
                         f"'{missing}' of policy '{name}'")
        layout = presentation_layout(presentation)
        expected = layouts.setdefault(ident, (where, layout))
        if expected[1] != layout:
            report.fault(where, f"presentation '{ident}' lays out its controls differently "
                         f"from {expected[0]}: {layout} against {expected[1]}")


def main():
    folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent)
    schema = pathlib.Path(__file__).parent / "schema" / "PolicyDefinitions.xsd"
    report = Report()
    admx = folder / TEMPLATE
    files = [admx] + [folder / language / "Calvera.adml" for language in LANGUAGES]
    for path in files:
        if not path.is_file():
            report.fault(str(path), "missing")
    valid = all([validate(path, schema, report) for path in files if path.is_file()])
    if valid and not report.faults:
        template = Template(ET.parse(admx).getroot(), report)
        template.check()
        used = references(template.root)
        layouts = {}
        for path in files[1:]:
            check_language(path, template, used, layouts, report)
    if report.faults:
        print(f"{len(report.faults)} faults in the policy templates of {folder}", file=sys.stderr)
        return 1
    print(f"policy templates of {folder}: {len(files)} files valid, references complete")
    return 0


if __name__ == "__main__":
    sys.exit(main())
