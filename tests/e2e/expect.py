#!/usr/bin/python3
"""What a user should see for the appointments of a calendar manifest (written by
scripts/ics-for-today.py), and whether the outbox holds exactly that.

    expect.py line MANIFEST ID              the pending viewer's line for the appointment
    expect.py subject MANIFEST ID [opts]    the subject of its notification
    expect.py outbox FOLDER MANIFEST --to ADDRESS --expect ID@HH:MM ... [opts] [--only]
                                            checks the sent messages; prints what it found
    expect.py sent FOLDER --subject TEXT --to ADDRESS [--body TEXT] [--count N]
                                            exactly N messages (1) with that subject to that
                                            address, to it alone (and with that body)

Texts for the driver (line, subject) come with the driver's escapes: \\n, \\r, \\\\ and \\uXXXX.
--expect ID@HH:MM: exactly one message for the appointment, sent inside that local minute;
--expect ID@FROM-TO (seconds since the epoch): sent inside that span. --absent ID: none sent.
--only: no other message either. Options: --fields subject,time,location[,organizer] (the ticked
subject boxes; the default is the program's own default), --comments (the body box is ticked),
--user NAME (the stand-in's current user), --am/--pm (the locale's designators).
"""
import argparse
import datetime as dt
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import outbox  # noqa: E402  (scripts/outbox.py)

DEFAULT_FIELDS = "subject,time,location"


def load_manifest(path):
    with open(path, encoding="utf-8") as f:
        return {entry["id"]: entry for entry in (json.loads(line) for line in f if line.strip())}


def medium_time(hh_mm, am, pm):
    """The "Medium Time" form: two-digit hour 01 to 12, colon, minutes, blank, designator."""
    hours, minutes = (int(p) for p in hh_mm.split(":"))
    return "%02d:%02d %s" % (hours % 12 or 12, minutes, am if hours < 12 else pm)


def as_outlook_gives(text):
    """A calendar text as the stand-in (like Outlook) hands it out: line breaks as CR LF."""
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def viewer_line(entry, am, pm):
    return "%s - %s" % (medium_time(entry["start"], am, pm), as_outlook_gives(entry["summary"]))


def subject_of(entry, fields, am, pm, user):
    line = "" if fields & {"subject", "time", "location", "organizer"} else "Appointment"
    if "subject" in fields:
        line = as_outlook_gives(entry["summary"])
    if "time" in fields:
        if entry["allday"]:
            line += " (All Day)"
        else:
            line += " (%s - %s)" % (medium_time(entry["start"], am, pm), medium_time(entry["end"], am, pm))
    if "location" in fields and entry["location"]:
        line += " >" + as_outlook_gives(entry["location"])
    organizer = entry["organizer"] or user  # without an organizer the stand-in names the user
    if "organizer" in fields and organizer != user:
        line += " / " + organizer
    return line


def driver_escape(text):
    out = []
    for ch in text:
        if ch in "\\\n\r":
            out.append({"\\": "\\\\", "\n": "\\n", "\r": "\\r"}[ch])
        elif 0x20 <= ord(ch) <= 0x7E:
            out.append(ch)
        else:  # UTF-16 code units, as the program holds its text
            data = ch.encode("utf-16-le")
            out += ["\\u%04X" % int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]
    return "".join(out)


def window_of(span, today):
    """(first, last) datetimes of a due minute "HH:MM" or a span "FROM-TO" in epoch seconds."""
    if ":" in span:
        hours, minutes = (int(p) for p in span.split(":"))
        first = dt.datetime.combine(today, dt.time(hours, minutes)).astimezone()
        return first, first + dt.timedelta(seconds=59.999)
    start, end = (float(p) for p in span.split("-"))
    return (dt.datetime.fromtimestamp(start).astimezone(), dt.datetime.fromtimestamp(end).astimezone())


def check_outbox(args, manifest):
    fields = set(filter(None, args.fields.split(",")))
    messages = outbox.read_outbox(args.folder)
    problems, claimed = [], set()
    today = dt.date.today()
    for item in args.expect:
        key, _, span = item.partition("@")
        entry = manifest[key]
        subject = subject_of(entry, fields, args.am, args.pm, args.user)
        matching = [m for m in messages if m["subject"] == subject]
        claimed.update(m["file"] for m in matching)
        if len(matching) != 1:
            problems.append("%s: %d messages with the subject %r" % (key, len(matching), subject))
            continue
        m = matching[0]
        first, last = window_of(span, today)
        if not (m["date"] and first <= m["date"] <= last):
            problems.append("%s: sent at %s, not between %s and %s" % (key, m["date"], first.time(), last.time()))
        if m["to_addresses"] != [args.to]:
            problems.append("%s: sent to %r, not to %r" % (key, m["to_addresses"], args.to))
        wanted_body = entry["description"] if args.comments else ""
        if m["body"].replace("\r\n", "\n").rstrip("\n") != wanted_body.replace("\r\n", "\n").rstrip("\n"):
            problems.append("%s: body %r, not %r" % (key, m["body"], wanted_body))
    for m in messages:  # no calendar text may start a header of its own
        extra = [h for h in m["headers"] if h.lower() in ("bcc", "cc")]
        if extra:
            problems.append("%s carries %s" % (m["file"], ", ".join(extra)))
    for key in args.absent:
        subject = subject_of(manifest[key], fields, args.am, args.pm, args.user)
        if any(m["subject"] == subject for m in messages):
            problems.append("%s: was sent, but must not be" % key)
    if args.only:
        others = [m for m in messages if m["file"] not in claimed]
        problems += ["unexpected message: %s" % outbox.line_of(m) for m in others]
    for m in messages:
        print("  outbox: " + outbox.line_of(m))
    for p in problems:
        print("FAIL: " + p, file=sys.stderr)
    return 1 if problems else 0


def check_sent(args):
    messages = outbox.read_outbox(args.folder)
    for m in messages:
        print("  outbox: " + outbox.line_of(m))
    matching = [m for m in messages if m["subject"] == args.subject and args.to in m["to_addresses"]]
    problems = []
    if len(matching) != args.count:
        problems.append("%d messages %r to %s, not %d" % (len(matching), args.subject, args.to, args.count))
    for m in matching:
        if m["to_addresses"] != [args.to]:
            problems.append("sent to %r, not only to %r" % (m["to_addresses"], args.to))
        if args.body is not None and m["body"].rstrip("\r\n") != args.body:
            problems.append("body %r, not %r" % (m["body"], args.body))
    for p in problems:
        print("FAIL: " + p, file=sys.stderr)
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("line", "subject"):
        p = sub.add_parser(name)
        p.add_argument("manifest")
        p.add_argument("id")
    check = sub.add_parser("outbox")
    check.add_argument("folder")
    check.add_argument("manifest")
    check.add_argument("--to", required=True)
    check.add_argument("--expect", action="append", default=[])
    check.add_argument("--absent", action="append", default=[])
    check.add_argument("--only", action="store_true")
    sent = sub.add_parser("sent")
    sent.add_argument("folder")
    sent.add_argument("--subject", required=True)
    sent.add_argument("--to", required=True)
    sent.add_argument("--body")
    sent.add_argument("--count", type=int, default=1)
    for p in (sub.choices[name] for name in ("line", "subject", "outbox")):
        p.add_argument("--fields", default=DEFAULT_FIELDS)
        p.add_argument("--comments", action="store_true")
        p.add_argument("--user", default="Test User")
        p.add_argument("--am", default="AM")
        p.add_argument("--pm", default="PM")
    args = parser.parse_args()
    if args.command == "sent":
        return check_sent(args)
    manifest = load_manifest(args.manifest)
    if args.command == "outbox":
        return check_outbox(args, manifest)
    entry = manifest[args.id]
    if args.command == "line":
        print(driver_escape(viewer_line(entry, args.am, args.pm)))
    else:
        fields = set(filter(None, args.fields.split(",")))
        print(driver_escape(subject_of(entry, fields, args.am, args.pm, args.user)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
