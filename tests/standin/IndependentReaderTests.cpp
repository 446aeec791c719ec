// Every calendar of reader_cases.tsv read by the stand-in and by an independent reader (Debian's
// python3-icalendar and python3-recurring-ical-events, run by independent_reader.py at test
// time): day by day, the occurrences that Items.Find/FindNext yield with the program's day filter
// are the ones the independent reader finds, or differ where the table says why the stand-in is
// right. Runs as the ctest standin_reader_compare with HV_READER_EXPECTED set (see CMakeLists.txt);
// without it the case is skipped.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/Standin.h"
#include "tests/standin/Automation.h"

namespace hv::test {
namespace {

using Lines = std::vector<std::wstring>;

struct ExpectedDay {
    std::string day;  // YYYY-MM-DD
    Lines occurrences;
};

struct ExpectedCalendar {
    std::string file, reason, error;
    std::vector<ExpectedDay> days;
};

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::vector<ExpectedCalendar> ReadExpected(const char* path) {
    std::vector<ExpectedCalendar> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("calendar ", 0) == 0) {
            const size_t tab = line.find('\t');
            out.push_back({line.substr(9, tab - 9), tab == std::string::npos ? "" : line.substr(tab + 1), "", {}});
        } else if (out.empty()) {
            continue;
        } else if (line.rfind("error ", 0) == 0) {
            out.back().error = line.substr(6);
        } else if (line.rfind("day ", 0) == 0) {
            out.back().days.push_back({line.substr(4), {}});
        } else if (!line.empty() && !out.back().days.empty()) {
            out.back().days.back().occurrences.push_back(FromUtf8(line));
        }
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The day filter exactly as the program writes it in an en-US locale.
std::wstring DayFilter(const std::string& isoDay) {
    const std::wstring d = FromUtf8(isoDay);
    const std::wstring us = std::to_wstring(std::stoi(d.substr(5, 2))) + L"/" +
                            std::to_wstring(std::stoi(d.substr(8, 2))) + L"/" + d.substr(0, 4);
    return L"[Start] >= \"" + us + L" 00:00 AM\" and [Start] <= \"" + us + L" 11:59 PM\"";
}

// "start - end|subject" of every item of the day, sorted.
Lines StandinDay(IDispatch* items, const std::string& isoDay) {
    Lines lines;
    for (ComPtr<IDispatch> item = Object(items, L"Find", {DayFilter(isoDay)}); item;
         item = Object(items, L"FindNext")) {
        lines.push_back(When(item.Get(), L"Start") + L" - " + When(item.Get(), L"End") + L"|" +
                        Text(item.Get(), L"Subject"));
        if (lines.size() > 1000) break;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::wstring Joined(const Lines& lines) {
    std::wstring out;
    for (const auto& l : lines) out += L"\n    " + l;
    return out.empty() ? L" (none)" : out;
}

TEST(StandinIndependentReader, EachCalendarGivesTheIndependentReadersOccurrencesDayByDay) {
    const char* expectedPath = std::getenv("HV_READER_EXPECTED");
    ASSERT_NE(expectedPath, nullptr) << "run it as the ctest standin_reader_compare, which reads the expected file";
    const auto calendars = ReadExpected(expectedPath);
    ASSERT_FALSE(calendars.empty()) << expectedPath;
    for (const auto& calendar : calendars) {
        standin::Config config;
        config.calendarText = ReadFile(std::string(HV_TEST_DATA_DIR) + "/" + calendar.file);
        ASSERT_FALSE(config.calendarText.empty()) << calendar.file;
        const auto server = standin::CreateServer(config);
        const ComPtr<IDispatch> app = server->CreateApplication();
        const ComPtr<IDispatch> items = Object(
            Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
        Perform(items.Get(), L"Sort", {L"[Start]"});
        Put(items.Get(), L"IncludeRecurrences", true);

        bool agree = calendar.error.empty();
        for (const auto& day : calendar.days) {
            const Lines ours = StandinDay(items.Get(), day.day);
            if (ours == day.occurrences) continue;
            agree = false;
            if (calendar.reason.empty()) {
                ADD_FAILURE() << calendar.file << " on " << day.day << "\n  stand-in:" << Joined(ours)
                              << "\n  independent reader:" << Joined(day.occurrences);
            } else {
                std::wcout << FromUtf8(calendar.file + " on " + day.day) << L" (differs as the table says)\n  stand-in:"
                           << Joined(ours) << L"\n  independent reader:" << Joined(day.occurrences) << L"\n";
            }
        }
        if (calendar.reason.empty()) {
            EXPECT_TRUE(calendar.error.empty())
                << calendar.file << ": the independent reader failed: " << calendar.error;
        } else {
            EXPECT_FALSE(agree) << calendar.file << " now agrees with the independent reader: drop its reason ("
                                << calendar.reason << ")";
        }
    }
}

}  // namespace
}  // namespace hv::test
