#!/usr/bin/env python3
"""Holds gelvar-cli's JSON documents against docs/gelvar-cli.schema.json: those the builders make
and those gelvar-cli printed (written by test programs into the folder $GELVAR_JSON_SAMPLES names), or
files given, and documents the schema must refuse, so that it cannot pass by accepting anything.

usage: validate_json.py SCHEMA (--samples COMMAND... | DOCUMENT...)"""
import argparse
import json
import os
import pathlib
import shlex
import subprocess
import sys
import tempfile

import jsonschema

REFUSED = {
    "a unit inside a value": {"command": "read-variables", "passes": [{"HtgSlGuTemp": "12.5 \u00b0C"}], "units": {}},
    "a window text for a number": {"command": "read-parameters", "parameters": {"HtgHighTemp": "    3 \u00b0C"}},
    "a state without its code": {"command": "read-parameters", "parameters": {"HtgMode": {"text": "Active"}}},
    "a key that is no column": {"command": "read-variables", "passes": [{"High Temp. Limit": 3}], "units": {}},
    "an unknown command": {"command": "reboot"},
    "an error without status": {"command": "test", "error": {"messages": []}},
    "a run neither done nor failed": {"command": "read-parameters"},
    "a temperature as its line": {
        "command": "sensor-test temperature",
        "lines": ["Temperature sensor 1: 23.4 \u00b0C"],
        "temperature": "23.4 \u00b0C",
        "units": {"temperature": "\u00b0C"},
    },
    "results of both sensor types": {
        "command": "sensor-test read-recorded",
        "lines": [],
        "recorded": {
            "timing": {"Ti": 9, "Tm": 5, "N": 2},
            "samples": [],
            "results": {"Uo": 1, "Uso": 1, "To": 1, "Rm": 1, "Rs": 1, "tK": 1},
            "units": {},
        },
    },
}


def documents_of(args):
    if not args.samples:
        return [(path, json.loads(pathlib.Path(path).read_text(encoding="utf-8"))) for path in args.documents]
    with tempfile.TemporaryDirectory() as folder:
        for command in args.samples:
            subprocess.run(shlex.split(command), check=True, env={**os.environ, "GELVAR_JSON_SAMPLES": folder},
                           stdout=subprocess.DEVNULL)
        files = sorted(pathlib.Path(folder).glob("*.json"))
        return [(f.name, json.loads(f.read_text(encoding="utf-8"))) for f in files]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("schema")
    parser.add_argument("--samples", action="append", help="a command writing documents into $GELVAR_JSON_SAMPLES")
    parser.add_argument("documents", nargs="*")
    args = parser.parse_args()
    schema = json.loads(pathlib.Path(args.schema).read_text(encoding="utf-8"))
    validator = jsonschema.Draft202012Validator(schema)
    documents = documents_of(args)
    failures = [] if documents else ["no documents"]
    for name, document in documents:
        errors = [e.message for e in validator.iter_errors(document)]
        if errors:
            failures.append(f"{name}: {errors[0]}")
    for name, document in REFUSED.items():
        if validator.is_valid(document):
            failures.append(f"accepted {name}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(documents)} documents valid, {len(REFUSED)} refused" if not failures else "FAILED")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
