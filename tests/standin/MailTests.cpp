// Mail through IDispatch (recipients, Resolve, Send and a sent item that is gone), the outbox
// (one whole .eml per message, nothing half-written) and the message's header encoding.
// StandinOutboxForPython writes messages into HV_OUTBOX_CHECK_DIR (when set) with a list of what was
// sent, for check_outbox.py to read back with Python's own mail parser.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/MailMessage.h"
#include "standin/Standin.h"
#include "tests/standin/Automation.h"

namespace hv::test {
namespace {

std::wstring Widen(const char* text) {
    std::wstring out;
    while (*text) out += static_cast<wchar_t>(*text++);
    return out;
}

// A fresh folder under the user's temporary folder, removed with its files afterwards.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"standin-" + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64());
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }

    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(folder + L"\\" + name);
                else
                    ::DeleteFileW((folder + L"\\" + name).c_str());
            } while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring path_;
};

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class StandinMail : public testing::Test {
protected:
    StandinMail() : folder(L"outbox") {
        standin::Config config;
        config.outboxFolder = Outbox();
        config.currentUser = L"Jane Roe";
        server = standin::CreateServer(config);
        app = server->CreateApplication();
    }
    std::wstring Outbox() const { return folder.Path() + L"\\nested\\outbox"; }

    TempFolder folder;
    std::shared_ptr<standin::Server> server;
    ComPtr<IDispatch> app;
};

TEST_F(StandinMail, ResolveAcceptsPlainAddressesOnly) {
    const struct {
        const wchar_t* address;
        bool resolves;
    } cases[] = {
        {L"pat@example.com", true},
        {L"pat@localhost", true},
        {L"first.last+pager@sms.example.co.uk", true},
        {L"o'brien@example.ie", true},
        {L"", false},
        {L"pat", false},
        {L"@example.com", false},
        {L"pat@", false},
        {L"pat@@example.com", false},
        {L"a@b@example.com", false},
        {L"pat@exa mple.com", false},
        {L" pat@example.com", false},
        {L"pat@example.com\r\nBcc: someone@example.com", false},
        {L"Pat Lee <pat@example.com>", false},
        {L".pat@example.com", false},
        {L"pat..lee@example.com", false},
        {L"pat@-example.com", false},
        {L"pat@example..com", false},
        {L"pät@example.com", false},
        {L"pat@example.com;other@example.com", false},
    };
    auto mail = Object(app.Get(), L"CreateItem", {0});
    auto recipients = Object(mail.Get(), L"Recipients");
    for (const auto& c : cases) {
        auto recipient = Object(recipients.Get(), L"Add", {c.address});
        EXPECT_FALSE(Flag(recipient.Get(), L"Resolved")) << c.address;
        EXPECT_EQ(Flag(recipient.Get(), L"Resolve"), c.resolves) << c.address;
        EXPECT_EQ(Flag(recipient.Get(), L"Resolved"), c.resolves) << c.address;
        EXPECT_EQ(Text(recipient.Get(), L"Name"), c.address);
        EXPECT_EQ(Text(recipient.Get(), L"Address"), c.resolves ? c.address : L"") << c.address;
    }
    EXPECT_EQ(Number(recipients.Get(), L"Count"), static_cast<long>(std::size(cases)));
}

TEST_F(StandinMail, SendNeedsResolvedRecipientsAndWritesOneWholeMessage) {
    auto mail = Object(app.Get(), L"CreateItem", {0});
    Put(mail.Get(), L"Subject", L"Budget review (09:00 AM - 10:00 AM)");
    Put(mail.Get(), L"Body", L"See you there.");
    EXPECT_EQ(Text(mail.Get(), L"Subject"), L"Budget review (09:00 AM - 10:00 AM)");

    Outcome out;
    EXPECT_EQ(TryInvoke(mail.Get(), L"Send", DISPATCH_METHOD, {}, out), DISP_E_EXCEPTION);  // nobody to send to
    EXPECT_EQ(out.description, L"Outlook does not recognize one or more names.");
    auto recipients = Object(mail.Get(), L"Recipients");
    auto pager = Object(recipients.Get(), L"Add", {L"pager@example.com"});
    EXPECT_EQ(Number(pager.Get(), L"Type"), 1);
    EXPECT_EQ(TryInvoke(mail.Get(), L"Send", DISPATCH_METHOD, {}, out), DISP_E_EXCEPTION);  // not resolved
    EXPECT_EQ(out.description, L"Outlook does not recognize one or more names.");
    EXPECT_TRUE(FilesIn(Outbox()).empty());

    ASSERT_TRUE(Flag(pager.Get(), L"Resolve"));
    auto copy = Object(recipients.Get(), L"Add", {L"copy@example.com"});
    Put(copy.Get(), L"Type", 2);
    ASSERT_TRUE(Flag(copy.Get(), L"Resolve"));
    EXPECT_EQ(TryInvoke(copy.Get(), L"Type", DISPATCH_PROPERTYPUT, {7}, out), DISP_E_EXCEPTION);
    EXPECT_EQ(Text(mail.Get(), L"To"), L"pager@example.com");
    Perform(mail.Get(), L"Send");

    const auto files = FilesIn(Outbox());  // the folder and its parent were created
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), L".eml");
    const std::string message = ReadBytes(Outbox() + L"\\" + files[0]);
    EXPECT_NE(message.find("\r\nTo: pager@example.com\r\n"), std::string::npos) << message;
    EXPECT_NE(message.find("\r\nCc: copy@example.com\r\n"), std::string::npos) << message;
    EXPECT_EQ(message.rfind("From: Jane Roe <jane.roe@", 0), 0u) << message;

    // The item is gone: every member of it and of its recipients fails now.
    for (IDispatch* gone : {mail.Get(), recipients.Get(), pager.Get()}) {
        EXPECT_EQ(TryInvoke(gone, L"Class", DISPATCH_PROPERTYGET, {}, out), DISP_E_EXCEPTION);
        EXPECT_EQ(out.description, L"The item has been moved or deleted.");
    }
    EXPECT_EQ(TryInvoke(mail.Get(), L"Send", DISPATCH_METHOD, {}, out), DISP_E_EXCEPTION);
    EXPECT_EQ(FilesIn(Outbox()).size(), 1u);
}

TEST_F(StandinMail, OnlyMailItemsCanBeCreated) {
    Outcome out;
    for (int type : {1, 2, 7, -1}) {
        EXPECT_EQ(TryInvoke(app.Get(), L"CreateItem", DISPATCH_METHOD, {type}, out), DISP_E_EXCEPTION) << type;
    }
    auto mail = Object(app.Get(), L"CreateItem", {L"0"});
    EXPECT_EQ(Number(mail.Get(), L"Class"), 43);
    EXPECT_EQ(Text(mail.Get(), L"Subject"), L"");
}

TEST(StandinMailToAnUnwritableOutbox, FailsAndKeepsTheItem) {
    TempFolder folder(L"blocked");
    ::CreateDirectoryW(folder.Path().c_str(), nullptr);
    const std::wstring blocker = folder.Path() + L"\\file";
    std::ofstream(blocker.c_str()) << "not a folder";
    standin::Config config;
    config.outboxFolder = blocker + L"\\outbox";
    auto server = standin::CreateServer(config);
    auto app = server->CreateApplication();
    auto mail = Object(app.Get(), L"CreateItem", {0});
    auto r = Object(Object(mail.Get(), L"Recipients").Get(), L"Add", {L"pat@example.com"});
    Flag(r.Get(), L"Resolve");
    Outcome out;
    EXPECT_EQ(TryInvoke(mail.Get(), L"Send", DISPATCH_METHOD, {}, out), DISP_E_EXCEPTION);
    EXPECT_NE(out.description.find(L"could not be sent"), std::wstring::npos) << out.description;
    EXPECT_EQ(Text(mail.Get(), L"Subject"), L"");  // not sent, so not gone
}

// ---- the message text ----

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
    return lines;
}

std::string Decode64(const std::string& text) {
    DWORD size = 0;
    if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size,
                                nullptr, nullptr)) {
        return "<not base64>";
    }
    std::string out(size, '\0');
    ::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                           reinterpret_cast<BYTE*>(out.data()), &size, nullptr, nullptr);
    out.resize(size);
    return out;
}

bool IsWholeUtf8(const std::string& bytes) {
    return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                  static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

TEST(StandinHeaderEncoding, PlainShortTextStaysAndEverythingElseIsEncodedInWholeCharacters) {
    const struct {
        std::wstring text;
        bool plain;
    } cases[] = {
        {L"Budget review (09:00 AM - 10:00 AM) >Room 4 / Pat Lee", true},
        {L"", true},
        {L"Line one\r\nBcc: attacker@example.com", false},
        {L"Tab\tinside", false},
        {L" (09:00 AM - 10:00 AM) >Room 4", false},  // a leading blank would be lost after the colon
        {L"Trailing blank ", false},
        {L"Two  blanks", false},
        {L"Réunion", false},
        {L"=?UTF-8?B?SGk=?= looks encoded", false},
        {std::wstring(120, L'x'), false},
        {std::wstring(40, L'ä') + L"📅👩‍💻" + std::wstring(30, L'€'), false},
    };
    for (const auto& c : cases) {
        const std::string header = standin::UnstructuredHeader("Subject", c.text);
        const auto lines = Lines(header);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("Subject: ", 0), 0u);
        std::string decoded;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), 76u) << lines[i];
            EXPECT_EQ(lines[i].find_first_of("\t\r\n"), std::string::npos);
            if (i > 0) {
                EXPECT_EQ(lines[i][0], ' ');  // a continuation, never a header of its own
            }
        }
        if (c.plain) {
            EXPECT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0], "Subject: " + standin::WideToUtf8(c.text));
            continue;
        }
        // Every encoded word decodes to whole UTF-8 characters; together they give the text back.
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string rest = i == 0 ? lines[i].substr(9) : lines[i].substr(1);
            size_t pos = 0;
            while (pos < rest.size()) {
                ASSERT_EQ(rest.compare(pos, 10, "=?UTF-8?B?"), 0) << rest;
                const size_t end = rest.find("?=", pos + 10);
                ASSERT_NE(end, std::string::npos);
                const std::string bytes = Decode64(rest.substr(pos + 10, end - pos - 10));
                EXPECT_TRUE(IsWholeUtf8(bytes));
                decoded += bytes;
                pos = end + 2;
                if (pos < rest.size()) {
                    ASSERT_EQ(rest[pos], ' ');
                    ++pos;
                }
            }
        }
        EXPECT_EQ(decoded, standin::WideToUtf8(c.text));
    }
}

TEST(StandinHeaderEncoding, DatesCarryTheLocalOffset) {
    const standin::Ticks t = standin::ToTicks(standin::CivilDateTime{2026, 12, 8, 22, 16, 31});
    const struct {
        standin::Ticks offset;
        const char* text;
    } cases[] = {
        {0, "Tue, 08 Dec 2026 22:16:31 +0000"},
        {-5 * 3600, "Tue, 08 Dec 2026 22:16:31 -0500"},
        {5 * 3600 + 1800, "Tue, 08 Dec 2026 22:16:31 +0530"},
        {-(3 * 3600 + 1800), "Tue, 08 Dec 2026 22:16:31 -0330"},
    };
    for (const auto& c : cases) EXPECT_EQ(standin::Rfc5322Date(t, c.offset), c.text);
    EXPECT_EQ(standin::Rfc5322Date(standin::ToTicks(standin::CivilDateTime{2027, 1, 1}), 0),
              "Fri, 01 Jan 2027 00:00:00 +0000");
}

TEST(StandinHeaderEncoding, Base64AgreesWithWindows) {
    std::string bytes;
    for (int length = 0; length < 70; ++length) {
        const std::string mine = standin::Base64(bytes);
        DWORD size = 0;
        ::CryptBinaryToStringA(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                               CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, nullptr, &size);
        std::string theirs(size, '\0');
        ::CryptBinaryToStringA(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                               CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, theirs.data(), &size);
        theirs.resize(size);
        EXPECT_EQ(mine, bytes.empty() ? "" : theirs) << length;
        bytes += static_cast<char>(length * 37 + 200);
    }
}

// ---- messages for Python's mail parser ----

struct Sent {
    const char* name;
    std::wstring subject, body;
    std::vector<std::wstring> to, cc;
};

std::string JsonText(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::wstring>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + JsonText(items[i]);
    return out + "]";
}

TEST(StandinOutboxForPython, EachMessageLandsWholeInItsFolder) {
    const char* shared = std::getenv("HV_OUTBOX_CHECK_DIR");
    TempFolder temp(L"outbox-check");
    const std::wstring base = shared ? Widen(shared) : temp.Path();
    const std::vector<Sent> messages = {
        {"injection",
         L"Réunion budget\r\nBcc: attacker@example.com\r\nX-Injected: yes",
         L"Première ligne\r\nSecond line\r\n€ und Umlaute äöü",
         {L"pager@example.com"},
         {}},
        {"long-ascii",
         L"Quarterly planning session with the whole department (all teams) in the large conference room "
         L"on the third floor, bring laptops",
         std::wstring(300, L'a') + L"\r\n" + std::wstring(10, L'b'),
         {L"a@example.com", L"b@example.com"},
         {L"c@example.com"}},
        {"plain", L"Budget review (09:00 AM - 10:00 AM) >Room 4 / Pat Lee", L"", {L"pager@sms.example.net"}, {}},
        {"blanks", L" / Pat Lee", L"  indented\r\n", {L"pager@example.com"}, {}},
        {"lookalike", L"=?UTF-8?B?SGk=?= is not encoded", L"=?UTF-8?B?SGk=?=", {L"pager@example.com"}, {}},
        {"symbols",
         L"Meeting 📅 with 👩‍💻\tand a bell \x07 at the end",
         L"Lines\nwith\rmixed\r\nbreaks",
         {L"pager@example.com"},
         {}},
    };
    std::string manifest = "[\n";
    for (size_t i = 0; i < messages.size(); ++i) {
        const Sent& m = messages[i];
        const std::wstring folder = base + L"\\" + Widen(m.name);
        TempFolder::RemoveTree(folder);
        standin::Config config;
        config.outboxFolder = folder;
        auto server = standin::CreateServer(config);
        auto app = server->CreateApplication();
        auto mail = Object(app.Get(), L"CreateItem", {0});
        Put(mail.Get(), L"Subject", m.subject);
        Put(mail.Get(), L"Body", m.body);
        auto recipients = Object(mail.Get(), L"Recipients");
        for (const auto& a : m.to) ASSERT_TRUE(Flag(Object(recipients.Get(), L"Add", {a}).Get(), L"Resolve"));
        for (const auto& a : m.cc) {
            auto r = Object(recipients.Get(), L"Add", {a});
            Put(r.Get(), L"Type", 2);
            ASSERT_TRUE(Flag(r.Get(), L"Resolve"));
        }
        Perform(mail.Get(), L"Send");
        const auto files = FilesIn(folder);
        ASSERT_EQ(files.size(), 1u) << m.name;  // one .eml and no .tmp left behind
        EXPECT_EQ(files[0].substr(files[0].size() - 4), L".eml") << m.name;
        manifest += std::string("  {\"folder\": \"") + m.name + "\", \"subject\": " + JsonText(m.subject) +
                    ", \"body\": " + JsonText(m.body) + ", \"to\": " + JsonList(m.to) + ", \"cc\": " + JsonList(m.cc) +
                    "}" + (i + 1 < messages.size() ? ",\n" : "\n");
    }
    manifest += "]\n";
    std::ofstream((base + L"\\expected.json").c_str(), std::ios::binary | std::ios::trunc) << manifest;
}

}  // namespace
}  // namespace hv::test
