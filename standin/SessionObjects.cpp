#include "standin/SessionObjects.h"

#include "standin/CalendarObjects.h"
#include "standin/MailObjects.h"
#include "standin/LocalZone.h"
#include "standin/ServerState.h"

namespace standin {
namespace {

// Outlook's numbers for default folders and item types: Microsoft's "OlDefaultFolders
// enumeration (Outlook)" (learn.microsoft.com/office/vba/api/outlook.oldefaultfolders):
// olFolderOutbox 4 "The Outbox folder.", olFolderInbox 6, olFolderCalendar 9.
constexpr long kFolderOutbox = 4;
constexpr long kFolderInbox = 6;
constexpr long kFolderCalendar = 9;
constexpr long kMailItem = 0;
constexpr long kAppointmentItem = 1;

}  // namespace

ApplicationObject::ApplicationObject(std::shared_ptr<ServerState> server)
    : DispatchObject(std::move(server), kinds::kApplication) {}

ComPtr<IDispatch> ApplicationObject::Session() {
    if (!session_) session_ = Make<NameSpaceObject>();
    return session_;
}

void ApplicationObject::Answer(int index, Call& call) {
    using M = kinds::Application;
    switch (static_cast<M>(index)) {
        case M::GetNamespace:
            if (!SameName(call.Text(0), L"MAPI")) FailCall(L"The operation failed.");
            call.ReturnObject(Session());
            break;
        case M::Session: call.ReturnObject(Session()); break;
        case M::Version: call.ReturnText(Server().Settings().version); break;
        case M::CreateItem:
            if (call.Number(0) != kMailItem)
                FailCall(L"Could not complete the operation. One or more parameter values are not valid.");
            call.ReturnObject(Make<MailObject>(std::make_shared<MailState>()));
            break;
        case M::Name: call.ReturnText(L"Outlook"); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Application)); break;
    }
}

NameSpaceObject::NameSpaceObject(std::shared_ptr<ServerState> server)
    : DispatchObject(std::move(server), kinds::kNameSpace) {}

void NameSpaceObject::Answer(int index, Call& call) {
    using M = kinds::NameSpace;
    switch (static_cast<M>(index)) {
        case M::GetDefaultFolder: {
            const long which = call.Number(0);
            if (which == kFolderCalendar)
                call.ReturnObject(Make<FolderObject>(FolderObject::Which::Calendar));
            else if (which == kFolderInbox)
                call.ReturnObject(Make<FolderObject>(FolderObject::Which::Inbox));
            else if (which == kFolderOutbox)
                call.ReturnObject(Make<FolderObject>(FolderObject::Which::Outbox));
            else
                FailCall(L"The attempted operation failed.  An object could not be found.");
            break;
        }
        case M::CurrentUser: {
            auto user = std::make_shared<RecipientState>();
            user->name = Server().Settings().currentUser;
            user->address = Server().UserAddress();
            user->resolved = true;
            call.ReturnObject(Make<RecipientObject>(nullptr, std::move(user)));
            break;
        }
        case M::Type: call.ReturnText(L"MAPI"); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::NameSpace)); break;
        // Microsoft's "NameSpace.Offline property (Outlook)" (learn.microsoft.com/office/vba/api/
        // outlook.namespace.offline): "Returns a Boolean indicating True if Outlook is offline (not
        // connected to an Exchange server), and False if online (connected to an Exchange server).
        // Read-only." The user's Work Offline is offline too: "OlExchangeConnectionMode enumeration
        // (Outlook)", olOffline: "This also occurs when the user selects Work Offline from the File
        // menu."
        case M::Offline: call.ReturnFlag(Server().CurrentConditions().offline); break;
    }
}

FolderObject::FolderObject(std::shared_ptr<ServerState> server, Which which)
    : DispatchObject(std::move(server), kinds::kFolder), which_(which) {}

ItemsObject::Holding FolderObject::Holding() const {
    switch (which_) {
        case Which::Calendar: return ItemsObject::Holding::Appointments;
        case Which::Outbox: return ItemsObject::Holding::QueuedMail;
        case Which::Inbox:
        case Which::Top: break;
    }
    return ItemsObject::Holding::Nothing;
}

void FolderObject::Answer(int index, Call& call) {
    using M = kinds::Folder;
    switch (static_cast<M>(index)) {
        case M::Items: call.ReturnObject(Make<ItemsObject>(Holding())); break;
        case M::Parent:
            if (which_ == Which::Top)
                call.ReturnObject(Make<NameSpaceObject>());
            else
                call.ReturnObject(Make<FolderObject>(Which::Top));
            break;
        case M::Name:
            switch (which_) {
                case Which::Calendar: call.ReturnText(L"Calendar"); break;
                case Which::Inbox: call.ReturnText(L"Inbox"); break;
                case Which::Outbox: call.ReturnText(L"Outbox"); break;
                case Which::Top: call.ReturnText(Server().Settings().topFolderName); break;
            }
            break;
        case M::DefaultItemType: call.ReturnNumber(which_ == Which::Calendar ? kAppointmentItem : kMailItem); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Folder)); break;
    }
}

}  // namespace standin
