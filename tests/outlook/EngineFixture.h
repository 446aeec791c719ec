// Live settings, the pending list's text, the Outlook stand-in on a calendar file and an outbox
// folder, and the engine connected to them; the clock is the test's. No window is made.
#pragma once
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "outlook/OutlookAutomation.h"
#include "standin/Standin.h"
#include "tests/support/Calendar.h"
#include "tests/support/FakeSettings.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"

namespace hv::test {

class EngineTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    ScriptedHost host;
    FakeSettings settings;
    std::wstring list;  // the pending list as the engine last showed it
    std::wstring folder = MakeTempFolder(L"hv_engine");
    std::wstring outbox = folder + L"\\outbox";
    std::wstring calendarFile = folder + L"\\calendar.ics";
    standin::Config config;
    std::shared_ptr<standin::Server> server;
    std::unique_ptr<outlook::OutlookAutomation> engine;
    bool outlookRunning = true;    // whether Outlook's process runs
    bool outlookReachable = true;  // whether attaching to it works
    int attaches = 0;
    std::vector<std::wstring> balloons;  // the tray's balloons, as the engine asked for them

    EngineTest() {
        config.calendarFile = calendarFile;
        config.outboxFolder = outbox;
        config.topFolderName = L"Mailbox - Test User";  // no security notice in these tests
        host.SetNow(2026, 12, 7, 8, 0, 0);
    }
    ~EngineTest() override {
        engine.reset();
        server.reset();
        RemoveFolder(outbox);
        RemoveFolder(folder);
    }

    void WriteCalendar(const std::vector<Event>& events) {
        std::ofstream(calendarFile.c_str(), std::ios::binary | std::ios::trunc) << Ics(events);
    }

    // An engine on these settings and this list, opening its session through `factory`.
    std::unique_ptr<outlook::OutlookAutomation> MakeEngine(outlook::ApplicationFactory factory) {
        return std::make_unique<outlook::OutlookAutomation>(host, settings, ShowList(), std::move(factory));
    }
    outlook::ListShow ShowList() {
        return [this](const std::wstring& text) { list = text; };
    }

    // Loads the settings (defaults: subject, times and location ticked), sets the address and opens
    // the session on the given calendar.
    void Start(const std::vector<Event>& events, const std::wstring& address = L"pager@example.com") {
        WriteCalendar(events);
        server = standin::CreateServer(config);
        settings.store.LoadSettings();
        settings.SetText(settings::kEmailAddress, address);
        engine = std::make_unique<outlook::OutlookAutomation>(
            host, settings, ShowList(), [this] { return server->CreateApplication(); },
            [this]() -> outlook::Dispatch {
                ++attaches;
                EXPECT_TRUE(outlookRunning) << "attaching while no Outlook runs starts one";
                if (!outlookReachable)
                    throw outlook::AutomationError(CO_E_SERVER_EXEC_FAILURE, L"Server execution failed");
                return server->CreateApplication();
            },
            [this] { return outlookRunning; });
        engine->ShowBalloonsWith([this](const std::wstring& text, bool) { balloons.push_back(text); });
        ASSERT_NE(engine->OpenOutlookSession(), L"Nothing");
    }

    // One full poll at that time of day.
    void Tick(int hour, int minute, int second = 0) {
        host.SetTime(hour, minute, second);
        engine->Poll();
    }

    std::vector<Message> Sent() { return ReadOutbox(outbox); }
    std::vector<std::wstring> SentSubjects() {
        std::vector<std::wstring> s;
        for (const Message& m : Sent()) s.push_back(m.subject);
        return s;
    }
    std::wstring List() { return list; }
};

}  // namespace hv::test
