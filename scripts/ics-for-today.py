#!/usr/bin/python3
"""Writes an iCalendar file of today's appointments placed relative to the current time, for the
Outlook stand-in to serve as the user's calendar.

    ics-for-today.py OUT.ics --demo                 the run command's demo calendar
    ics-for-today.py OUT.ics --events JSON          appointments described in JSON (a list)

Each appointment of the JSON list may have:
    id          a short name (for the manifest)
    summary     the subject
    due         "HH:MM", the local minute of today in which its notification is due, or
    due_in      N: the minute that begins between N - 0.5 and N + 0.5 minutes from now (so 1, 2
                and 3 give three minutes in a row, the first at least half a minute away)
    reminder    minutes of reminder lead (a VALARM); the start is that much after the due minute
    minutes     length in minutes (30 when missing)
    allday      true: an all-day appointment of today (its due minute does not matter)
    daily       true: a daily series that began three days ago; today's occurrence is the one due
    moved       true (with daily): yesterday's occurrence was changed (another subject, two
                hours away), as a user moves one meeting of a series
    location, organizer, description, categories    texts

The manifest (one JSON object per appointment: id, summary, location, organizer, description,
allday, due, start, end with times as "HH:MM") is written to standard output, or to the file given
with --manifest.
"""
import argparse
import datetime as dt
import json
import os
import sys
import uuid

DEMO = [
    {"id": "reminder", "summary": "Budget review", "due_in": 1, "reminder": 1, "minutes": 45,
     "location": "Room 4", "description": "Bring the third-quarter figures."},
    {"id": "meeting", "summary": "Project sync", "due_in": 2, "minutes": 30,
     "location": "Main hall", "organizer": "Pat Lee"},
    {"id": "daily", "summary": "Daily stand-up", "due_in": 3, "daily": True,
     "moved": True, "minutes": 15, "location": "Team corner"},
]


def escape_text(text):
    """TEXT value escaping of RFC 5545: backslash, semicolon, comma and line breaks."""
    out = text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
    return out.replace("\r\n", "\\n").replace("\n", "\\n").replace("\r", "\\n")


def fold(line):
    """Content lines longer than 75 octets are folded (CR LF and a blank), never inside a
    UTF-8 sequence."""
    data = line.encode("utf-8")
    parts = []
    while len(data) > 75:
        cut = 75 if not parts else 74
        while cut > 0 and (data[cut] & 0xC0) == 0x80:
            cut -= 1
        parts.append(data[:cut])
        data = data[cut:]
    parts.append(data)
    return b"\r\n ".join(parts) + b"\r\n"


def stamp(moment):
    return moment.strftime("%Y%m%dT%H%M%S")


def utc_stamp():
    return dt.datetime.now(dt.timezone.utc).strftime("%Y%m%dT%H%M%SZ")


def due_minute(event, now):
    if "due" in event:
        hours, minutes = (int(p) for p in event["due"].split(":"))
        return now.replace(hour=hours, minute=minutes, second=0, microsecond=0)
    earliest = now + dt.timedelta(seconds=60 * int(event.get("due_in", 1)) - 30)
    minute = earliest.replace(second=0, microsecond=0)
    return minute if minute == earliest else minute + dt.timedelta(minutes=1)


def event_lines(event, now):
    today = now.date()
    uid = event.get("uid") or "%s-%s@horavane.test" % (event.get("id", "event"), uuid.uuid4().hex[:8])
    common = [("SUMMARY", escape_text(event.get("summary", "")))]
    for key, name in (("location", "LOCATION"), ("description", "DESCRIPTION"), ("categories", "CATEGORIES")):
        if event.get(key):
            common.append((name, escape_text(event[key])))
    if event.get("organizer"):
        address = event["organizer"].lower().replace(" ", ".")
        common.append(("ORGANIZER;CN=\"%s\"" % event["organizer"].replace('"', "'"), "mailto:%s@example.com" % address))

    lines = []
    if event.get("allday"):
        start = dt.datetime.combine(today, dt.time())
        end = start + dt.timedelta(days=1)
        lines += ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:" + utc_stamp(),
                  "DTSTART;VALUE=DATE:" + today.strftime("%Y%m%d"),
                  "DTEND;VALUE=DATE:" + (today + dt.timedelta(days=1)).strftime("%Y%m%d")]
    else:
        reminder = event.get("reminder")
        start = due_minute(event, now) + dt.timedelta(minutes=int(reminder or 0))
        end = start + dt.timedelta(minutes=int(event.get("minutes", 30)))
        first = start - dt.timedelta(days=3) if event.get("daily") else start
        lines += ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:" + utc_stamp(),
                  "DTSTART:" + stamp(first), "DTEND:" + stamp(first + (end - start))]
        if event.get("daily"):
            lines.append("RRULE:FREQ=DAILY;COUNT=10")
    lines += ["%s:%s" % pair for pair in common]
    if not event.get("allday") and event.get("reminder") is not None:
        lines += ["BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Reminder",
                  "TRIGGER:-PT%dM" % int(event["reminder"]), "END:VALARM"]
    lines.append("END:VEVENT")
    if event.get("daily") and event.get("moved") and not event.get("allday"):
        yesterday = start - dt.timedelta(days=1)
        # Two hours away, on the same day.
        moved = yesterday + dt.timedelta(hours=-2 if yesterday.hour >= 2 else 2)
        lines += ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:" + utc_stamp(),
                  "RECURRENCE-ID:" + stamp(yesterday),
                  "DTSTART:" + stamp(moved), "DTEND:" + stamp(moved + (end - start)),
                  "SUMMARY:" + escape_text(event.get("summary", "") + " (moved)"), "END:VEVENT"]
    manifest = {
        "id": event.get("id", uid), "summary": event.get("summary", ""),
        "location": event.get("location", ""), "organizer": event.get("organizer", ""),
        "description": event.get("description", ""), "allday": bool(event.get("allday")),
        "due": None if event.get("allday") else due_minute(event, now).strftime("%H:%M"),
        "start": start.strftime("%H:%M"), "end": end.strftime("%H:%M"),
    }
    return lines, manifest


def write_calendar(path, events, now):
    body = [b"BEGIN:VCALENDAR\r\n", b"VERSION:2.0\r\n", b"PRODID:-//Horavane//end-to-end calendar//EN\r\n"]
    manifest = []
    for event in events:
        lines, entry = event_lines(event, now)
        body += [fold(line) for line in lines]
        manifest.append(entry)
    body.append(b"END:VCALENDAR\r\n")
    # Written whole and then renamed, so that a reader never sees half a calendar.
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(b"".join(body))
    os.replace(temporary, path)
    return manifest


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output")
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--demo", action="store_true")
    group.add_argument("--events")
    parser.add_argument("--manifest")
    args = parser.parse_args()
    events = DEMO if args.demo else json.loads(args.events)
    manifest = write_calendar(args.output, events, dt.datetime.now())
    text = "".join(json.dumps(entry, ensure_ascii=False) + "\n" for entry in manifest)
    if args.manifest:
        with open(args.manifest, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
