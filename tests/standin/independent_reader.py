#!/usr/bin/env python3
"""The occurrences of each calendar in reader_cases.tsv, day by day, as an independent reader
finds them: Debian's python3-icalendar reads the file and python3-recurring-ical-events expands
its series. The stand-in's Items.Find/FindNext is compared with what this writes
(IndependentReaderTests.cpp).

Usage: independent_reader.py TABLE DATA_DIR OUTPUT LOCAL_ZONE

For each calendar the output holds a line "calendar FILE\tNOTE", then for every day of the
table's span a line "day YYYY-MM-DD" followed by one line per occurrence that starts on that day
in LOCAL_ZONE: "YYYY-MM-DD HH:MM - YYYY-MM-DD HH:MM|SUBJECT". A calendar this reader cannot read
gets a line "error MESSAGE" instead of its days."""
import datetime
import sys

import icalendar
import pytz
import recurring_ical_events


def calendars_in(text):
    # Some files hold several calendars; the stand-in reads them all.
    return icalendar.Calendar.from_ical(text, multiple=True)


def local_wall(value, zone):
    """A start or end as the stand-in gives it: whole days at local midnight, floating times as
    written, zoned times converted to the local zone."""
    if not isinstance(value, datetime.datetime):
        return datetime.datetime(value.year, value.month, value.day)
    if value.tzinfo is None:
        return value
    return value.astimezone(zone).replace(tzinfo=None)


def subject(event):
    text = str(event.get("SUMMARY", ""))
    # Outlook keeps a cancelled meeting on the calendar with "Canceled: " before its subject
    # (see the stand-in's reader); the independent reader leaves the subject as it is.
    if str(event.get("STATUS", "")).upper() == "CANCELLED":
        text = "Canceled: " + text
    return text


def end_of(event, start):
    end = start
    if "DTEND" in event:
        end = event["DTEND"].dt
    elif "DURATION" in event:
        end = start + event["DURATION"].dt
    # A whole day without an end lasts that day (RFC 5545, 3.6.1); the expansion gives it none.
    if not isinstance(start, datetime.datetime) and end <= start:
        end = start + datetime.timedelta(days=1)
    return end


def occurrences(text, first, last, zone):
    """Lines per local start day in [first, last]."""
    by_day = {}
    span_from = zone.localize(datetime.datetime.combine(first - datetime.timedelta(days=2), datetime.time()))
    span_to = zone.localize(datetime.datetime.combine(last + datetime.timedelta(days=3), datetime.time()))
    for calendar in calendars_in(text):
        for event in recurring_ical_events.of(calendar).between(span_from, span_to):
            start = event["DTSTART"].dt
            begins, ends = local_wall(start, zone), local_wall(end_of(event, start), zone)
            if first <= begins.date() <= last:
                line = "%s - %s|%s" % (begins.strftime("%Y-%m-%d %H:%M"), ends.strftime("%Y-%m-%d %H:%M"), subject(event))
                by_day.setdefault(begins.date(), []).append(line)
    return by_day


def main(table, data_dir, output, zone_name):
    zone = pytz.timezone(zone_name)
    out = []
    with open(table, encoding="utf-8") as rows:
        for row in rows:
            if not row.strip() or row.startswith("#"):
                continue
            name, first, last, note = (row.rstrip("\n").split("\t") + [""])[:4]
            first, last = datetime.date.fromisoformat(first), datetime.date.fromisoformat(last)
            out.append("calendar %s\t%s" % (name, note))
            try:
                with open("%s/%s" % (data_dir, name), "rb") as f:
                    by_day = occurrences(f.read(), first, last, zone)
            except Exception as e:  # what this reader cannot read is reported, not fatal
                out.append("error %s: %s" % (type(e).__name__, str(e).replace("\n", " ")[:200]))
                continue
            day = first
            while day <= last:
                out.append("day %s" % day.isoformat())
                out.extend(sorted(by_day.get(day, [])))
                day += datetime.timedelta(days=1)
    with open(output, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(*sys.argv[1:5])
