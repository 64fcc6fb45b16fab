"""Walks a Redfish service from its root and validates every answer against the DMTF JSON
Schema of its @odata.type, the schemas read from a folder (references to
http://redfish.dmtf.org/schemas/v1/ are resolved there, never fetched)."""

import json
import os
import re

SCHEMA_BASE = "http://redfish.dmtf.org/schemas/v1/"


class _NeverMatches(dict):
    """Every definition of a schema version not kept: it matches nothing."""

    def __missing__(self, key):
        return {"not": {}}


class SchemaStore:
    """The schema files of `folder`, loaded when a reference first names them; `used` records
    which ones a validation needed. The DMTF's unversioned schemas allow any version of a type
    (anyOf); only the newest of each is kept, so an older version matches nothing and an
    answer must follow the newest."""

    def __init__(self, folder):
        self.folder = folder
        self.loaded = {}
        self.used = set()

    def load(self, name):
        if name not in self.loaded:
            path = os.path.join(self.folder, name)
            if not os.path.exists(path) and re.match(r"^[A-Za-z0-9]+\.v\d+_\d+_\d+\.json$", name):
                return {"definitions": _NeverMatches()}
            if not os.path.exists(path):
                raise FileNotFoundError("schema %s is not in %s" % (name, self.folder))
            with open(path) as f:
                self.loaded[name] = json.load(f)
        self.used.add(name)
        return self.loaded[name]

    def resolver(self, referrer_name):
        import jsonschema

        def fetch(uri):
            if not uri.startswith(SCHEMA_BASE):
                raise ValueError("schema outside the DMTF set: " + uri)
            return self.load(uri[len(SCHEMA_BASE):])

        return jsonschema.RefResolver(SCHEMA_BASE + referrer_name, self.load(referrer_name),
                                      handlers={"http": fetch})

    def validate(self, document, file_name, definition):
        """Raises jsonschema.ValidationError when `document` does not follow the definition."""
        import jsonschema
        schema = {"$ref": "%s%s#/definitions/%s" % (SCHEMA_BASE, file_name, definition)}
        jsonschema.Draft4Validator(schema, resolver=self.resolver(file_name)).validate(document)


def schema_of(odata_type):
    """("Manager.v1_24_0.json", "Manager") of "#Manager.v1_24_0.Manager"."""
    namespace, _, definition = odata_type[1:].rpartition(".")
    return namespace + ".json", definition


def links_in(value):
    """Every @odata.id in a document (fragments into the same document left out)."""
    found = []
    if isinstance(value, dict):
        for key, member in value.items():
            if key == "@odata.id" and isinstance(member, str) and "#" not in member:
                found.append(member)
            else:
                found.extend(links_in(member))
    elif isinstance(value, list):
        for member in value:
            found.extend(links_in(member))
    return found


def crawl(get, store, start="/redfish/v1/"):
    """GETs every resource reachable from `start` with `get(path) -> (status, document)` and
    validates each. Returns {path: @odata.type}; raises AssertionError naming the resource
    that fails."""
    seen = {}
    queue = [start]
    while queue:
        path = queue.pop()
        if path.rstrip("/") in (p.rstrip("/") for p in seen):
            continue
        status, document = get(path)
        if status != 200:
            raise AssertionError("GET %s answered %d: %s" % (path, status, document))
        check_document(store, path, document)
        seen[path] = document["@odata.type"]
        queue.extend(links_in(document))
    return seen


def check_document(store, path, document):
    """Validates one answer; members given whole (a log's entries) are validated on their own
    and stand as links in their collection."""
    import jsonschema
    if "@odata.type" not in document or "@odata.id" not in document:
        raise AssertionError("%s has no @odata.type or @odata.id" % path)
    if document["@odata.id"].rstrip("/") != path.rstrip("/"):
        raise AssertionError("%s says it is %s" % (path, document["@odata.id"]))
    members = document.get("Members")
    if isinstance(members, list) and any("@odata.type" in m for m in members):
        for member in members:
            check_document(store, member["@odata.id"], member)
        document = dict(document, Members=[{"@odata.id": m["@odata.id"]} for m in members])
    file_name, definition = schema_of(document["@odata.type"])
    try:
        store.validate(document, file_name, definition)
    except jsonschema.ValidationError as error:
        raise AssertionError("%s (%s) does not follow its schema: %s at %s" % (
            path, document["@odata.type"], error.message, list(error.absolute_path)))
