// The outbox folder: each message lands there whole or not at all (written as "<name>.tmp",
// then renamed to "<name>.eml"), so a reader never sees half a message.
#pragma once
#include <string>

namespace standin {

// Creates the folder (and its parents) when missing and stores the message under a new unique
// name. Returns the path of the .eml file; throws std::runtime_error with a description when the
// message could not be stored.
std::wstring DeliverToOutbox(const std::wstring& folder, const std::string& message);

// The folder and every missing parent; false when it cannot be made.
bool CreateFolderTree(const std::wstring& folder);

}  // namespace standin
