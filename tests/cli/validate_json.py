#!/usr/bin/env python3
"""Holds gelvar-cli's JSON documents against docs/gelvar-cli.schema.json: those the builders make
(written by the json_samples program), outputs the program gives as they are, and documents the
schema must refuse, so that it cannot pass by accepting anything."""
import json
import pathlib
import subprocess
import sys
import tempfile

import jsonschema

# What gelvar-cli prints for the commands whose members it sets itself.
PROGRAM_OUTPUTS = [
    [{"path": "/dev/ttyACM0", "description": "Uno \"R3\""}],
    {"command": "test", "result": "accepted"},
    {"command": "command stop-min-heat", "result": "no reply"},
    {"command": "log", "file": "/tmp/u.log", "records": 1, "unwritten records": 0},
    {"command": "watch"},
    {"command": "sensor-test temperature", "lines": ["Temperature sensor 2: 23.4 \u00b0C"]},
    {"command": "read-parameters", "report": "/tmp/r.par", "error": {"status": 4, "messages": ["cannot write"]}},
]

REFUSED = {
    "a unit inside a value": {"command": "read-variables", "passes": [{"HtgSlGuTemp": "12.5 \u00b0C"}]},
    "a window text for a number": {"command": "read-parameters", "parameters": {"HtgHighTemp": "    3 \u00b0C"}},
    "a state without its code": {"command": "read-parameters", "parameters": {"HtgMode": {"text": "Active"}}},
    "a key that is no column": {"command": "read-variables", "passes": [{"High Temp. Limit": 3}]},
    "an unknown command": {"command": "reboot"},
    "an error without status": {"command": "test", "error": {"messages": []}},
}


def main(samples_program, schema_path):
    schema = json.loads(pathlib.Path(schema_path).read_text(encoding="utf-8"))
    validator = jsonschema.Draft202012Validator(schema)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([samples_program, folder], check=True)
        files = sorted(pathlib.Path(folder).glob("*.json"))
        if not files:
            failures.append("json_samples wrote nothing")
        documents = [(f.name, json.loads(f.read_text(encoding="utf-8"))) for f in files]
    documents += [(f"program output {i + 1}", d) for i, d in enumerate(PROGRAM_OUTPUTS)]
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
    sys.exit(main(sys.argv[1], sys.argv[2]))
