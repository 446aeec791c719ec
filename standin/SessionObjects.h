// Application, NameSpace and MAPIFolder: the way from "Outlook.Application" to the folders.
#pragma once
#include "standin/CalendarObjects.h"
#include "standin/DispatchObject.h"

namespace standin {

class ApplicationObject final : public DispatchObject {
public:
    explicit ApplicationObject(std::shared_ptr<ServerState> server);

private:
    void Answer(int index, Call& call) override;
    ComPtr<IDispatch> Session();

    ComPtr<IDispatch> session_;  // Session and GetNamespace("MAPI") give the same NameSpace
};

class NameSpaceObject final : public DispatchObject {
public:
    explicit NameSpaceObject(std::shared_ptr<ServerState> server);

private:
    void Answer(int index, Call& call) override;
};

class FolderObject final : public DispatchObject {
public:
    enum class Which { Calendar, Inbox, Outbox, Top };
    FolderObject(std::shared_ptr<ServerState> server, Which which);

private:
    void Answer(int index, Call& call) override;
    ItemsObject::Holding Holding() const;

    Which which_;
};

}  // namespace standin
