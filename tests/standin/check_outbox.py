"""Reads the messages the stand-in wrote (see MailTests.cpp, OutboxForPython) with Python's own
mail parser and checks that each one decodes back to exactly what was sent: one Subject header
with the original text, the original body, the recipients, and no header that a text could
have smuggled in.

Usage: check_outbox.py <outbox check folder>
"""
import email.policy
import email.utils
import json
import os
import sys
from email.parser import BytesParser

ALLOWED_HEADERS = {"from", "to", "cc", "subject", "date", "message-id", "mime-version",
                   "content-type", "content-transfer-encoding"}


def lines_of(text):
    return text.replace("\r\n", "\n").replace("\r", "\n")


def check(folder, case):
    failures = []
    where = os.path.join(folder, case["folder"])
    names = sorted(os.listdir(where))
    emls = [n for n in names if n.endswith(".eml")]
    if len(emls) != 1 or len(names) != 1:
        return [f"{case['folder']}: expected exactly one .eml and nothing else, found {names}"]
    raw = open(os.path.join(where, emls[0]), "rb").read()
    for number, line in enumerate(raw.split(b"\r\n")):
        if len(line) > 78:
            failures.append(f"line {number} is {len(line)} characters long")
    if b"\n" in raw.replace(b"\r\n", b"") or b"\r" in raw.replace(b"\r\n", b""):
        failures.append("a bare CR or LF in the message")

    message = BytesParser(policy=email.policy.default).parsebytes(raw)
    if message.defects:
        failures.append(f"defects: {message.defects}")
    keys = [k.lower() for k in message.keys()]
    unexpected = set(keys) - ALLOWED_HEADERS
    if unexpected:
        failures.append(f"unexpected headers {sorted(unexpected)}")
    for name in ALLOWED_HEADERS - {"cc"}:
        if keys.count(name) != 1:
            failures.append(f"{name} appears {keys.count(name)} times")

    subject = str(message["Subject"])
    if subject != case["subject"]:
        failures.append(f"subject {subject!r} is not {case['subject']!r}")
    body = message.get_content()
    if lines_of(body) != lines_of(case["body"]):
        failures.append(f"body {body!r} is not {case['body']!r}")
    to = [address for _, address in email.utils.getaddresses([str(v) for v in message.get_all("To", [])])]
    cc = [address for _, address in email.utils.getaddresses([str(v) for v in message.get_all("Cc", [])])]
    if to != case["to"] or cc != case["cc"]:
        failures.append(f"recipients {to} / {cc} are not {case['to']} / {case['cc']}")
    if message.get_content_type() != "text/plain" or message.get_content_charset() != "utf-8":
        failures.append(f"content type {message['Content-Type']}")
    if email.utils.parsedate_to_datetime(str(message["Date"])).tzinfo is None:
        failures.append(f"date without an offset: {message['Date']}")
    sender = message["From"].addresses
    if len(sender) != 1 or "@" not in sender[0].addr_spec:
        failures.append(f"sender {message['From']}")
    return [f"{case['folder']}: {f}" for f in failures]


def main():
    folder = sys.argv[1]
    cases = json.load(open(os.path.join(folder, "expected.json"), encoding="utf-8"))
    if not cases:
        print("no messages listed")
        return 1
    failures = [f for case in cases for f in check(folder, case)]
    for f in failures:
        print(f)
    print(f"{len(cases)} messages checked, {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
