#!/usr/bin/python3
"""Reads the Outlook stand-in's outbox: one RFC 5322 message file (.eml) per sent mail.

    outbox.py list FOLDER                      every message, oldest first, one line each
    outbox.py watch FOLDER --count N [--timeout S]
                                               prints each message as it lands from now on,
                                               until N have landed (exit 0) or the time is up
                                               (exit 1)

A line is the local time of sending, the recipient and the subject (line breaks shown as \\n).
"""
import argparse
import email
import email.policy
import os
import sys
import time


def read_message(path):
    """The message's headers and body as texts, and its time of sending as an aware datetime."""
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    body = message.get_body(preferencelist=("plain",))
    to = message.get("To")
    return {
        "file": os.path.basename(path),
        "headers": list(message.keys()),
        "to": str(to) if to is not None else "",
        "to_addresses": [a.addr_spec for a in to.addresses] if to is not None else [],
        "subject": str(message.get("Subject", "")),
        "date": message["Date"].datetime if message["Date"] is not None else None,
        "body": body.get_content() if body is not None else "",
    }


def message_files(folder):
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".eml"))


def read_outbox(folder):
    return [read_message(path) for path in message_files(folder)]


def line_of(message):
    sent = message["date"].astimezone().strftime("%H:%M:%S") if message["date"] else "--:--:--"
    subject = message["subject"].replace("\r", "\\r").replace("\n", "\\n")
    to = ", ".join(message["to_addresses"]) or message["to"]
    if len(to) > 72:
        to = "%s...%s (%d characters)" % (to[:24], to[-24:], len(to))
    return "%s  to %s  subject: %s" % (sent, to, subject)


def watch(folder, count, timeout):
    """Prints each message that lands from now on; messages already there are left out."""
    seen = set(message_files(folder))
    landed = 0
    end = time.monotonic() + timeout
    while landed < count:
        for path in message_files(folder):
            if path not in seen:
                seen.add(path)
                landed += 1
                print(line_of(read_message(path)), flush=True)
        if landed >= count:
            break
        if time.monotonic() >= end:
            return 1
        time.sleep(0.5)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    listing = sub.add_parser("list")
    listing.add_argument("folder")
    watching = sub.add_parser("watch")
    watching.add_argument("folder")
    watching.add_argument("--count", type=int, required=True)
    watching.add_argument("--timeout", type=float, default=600)
    args = parser.parse_args()
    if args.command == "list":
        for message in read_outbox(args.folder):
            print(line_of(message))
        return 0
    return watch(args.folder, args.count, args.timeout)


if __name__ == "__main__":
    sys.exit(main())
