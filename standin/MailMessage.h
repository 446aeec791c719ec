// One sent mail as an RFC 5322 message: headers whose texts are encoded (RFC 2047) whenever they
// hold anything but short plain ASCII (or blanks a reader would drop), so that no text can start
// a header of its own and every text reads back as it was written, and a UTF-8 body in base64.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "standin/CivilTime.h"

namespace standin {

struct OutgoingMessage {
    std::wstring fromName, fromAddress;
    std::vector<std::wstring> to, cc;
    std::wstring subject, body;
    Ticks localTime = 0;
    Ticks utcOffset = 0;    // local time minus UTC, in seconds
    std::string messageId;  // without the angle brackets
};

// The whole message, CR LF line ends, no line longer than 76 characters.
std::string ComposeMessage(const OutgoingMessage& message);

// What a message says, read back from the text ComposeMessage wrote: the Subject, the To
// and Cc addresses and the body, as they were before encoding (line breaks in the body as CR LF).
struct ComposedParts {
    std::wstring subject, body;
    std::vector<std::wstring> to, cc;
};
ComposedParts ReadComposedMessage(std::string_view text);

// "Name: text" with its CR LF, the text encoded and folded when it needs to be.
std::string UnstructuredHeader(std::string_view name, std::wstring_view text);
// "Tue, 08 Dec 2026 22:16:31 +0100"
std::string Rfc5322Date(Ticks localTime, Ticks utcOffset);
std::string Base64(std::string_view bytes);
std::string WideToUtf8(std::wstring_view text);

// local@domain: one "@", a dot-atom before it, a host name (with or without dots) after it, no
// blanks or control characters anywhere.
bool IsPlainMailAddress(std::wstring_view address);

}  // namespace standin
