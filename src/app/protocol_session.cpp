// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/protocol_session.h"

ProtocolSession::ProtocolSession(const EngineSettings& settings) : ftp(settings), sftp(settings) {}

void ProtocolSession::SetLogin(const RemoteLogin& login)
{
    RemoteSession* wanted = login.protocol == RemoteProtocol::Sftp ? static_cast<RemoteSession*>(&sftp) : &ftp;
    if (wanted != active && !active->Connected()) {
        wanted->Operations().host = active->Operations().host;
        active = wanted;
    }
    active->SetLogin(login);
}
